// The state commands of the tray menu from every live state, rotation from the menu and from a second
// start, and "TurnOff".
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// Vista: the composition service exists, and a saved "primary ext" is brought up as it is.
const std::string kVista = "os 6.0\nservice UxSms running\n";
const std::string kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n";
const std::string kSecond = "display PCI\\VEN_1002&DEV_5B60 attached modes 1024x768x32@60\n";
const std::string kIntel = "display PCI\\VEN_8086&DEV_2A42 primary modes 1280x1024x32@60 1024x768x32@60\n";
const std::string kAdapter = "adapter plugged modes 1280x1024x32 1024x768x32 800x600x32\n";

std::string Profile(int nState, int nRotation = 0) {
    return "profile \"VGA DONGLE\" DispState " + std::to_string(nState) +
           "\nprofile \"VGA DONGLE\" FirstRun 1\nprofile \"VGA DONGLE\" Width 1024\n"
           "profile \"VGA DONGLE\" Height 768\nprofile \"VGA DONGLE\" BitDepth 32\n"
           "profile \"VGA DONGLE\" RotationState " +
           std::to_string(nRotation) + "\n";
}

// The machine brought up in a live state: 0 to 4. The live state 1 needs an Intel chip, which makes a
// primary adapter display the only one on the desktop.
std::string Machine(int nLive, int nRotation = 0) {
    return kVista + (nLive == 1 ? kIntel : kNvidia + kSecond) + Profile(nLive, nRotation) + kAdapter;
}

// The desktop after each command, with the system's own display (DISPLAY1) and a second one (DISPLAY2),
// or with the Intel chip's display alone.
const std::string kPrimaryExt = "DISPLAY1 1280x1024x32@60 2048,0; DISPLAY2 1024x768x32@60 1024,0; USB "
                                "primary 1024x768x32@60 0,0; MIR off";
const std::string kExtended = "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; USB "
                              "1024x768x32@60 2304,0; MIR off";
const std::string kMirror = "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; USB off; "
                            "MIR mirror 1280x1024x32@60 0,0";
const std::string kOff =
    "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; USB off; MIR off";
const std::string kIntelPrimary = "DISPLAY1 off; USB primary 1024x768x32@60 0,0; MIR off";
const std::string kIntelExtended = "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off";
const std::string kIntelMirror =
    "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0";
const std::string kIntelOff = "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off";

// What a command did, from its first trace to its save: the attach operations in order, as they trace
// themselves (the display-device library's steps are not traced), when it read the live state and when it
// saved, in ms since it began.
struct Done {
    Lines ops;
    int64_t stateReadAt = -1;
    int64_t savedAt = -1;
};

Done Command(const SimRun& run, uint64_t from) {
    Done done;
    const TraceLine* begin = nullptr;
    for (const TraceLine& t : run.traces) {
        if (t.ms < from || (begin == nullptr && t.text.rfind("On", 0) != 0))
            continue;
        begin = begin != nullptr ? begin : &t;
        const int64_t at = static_cast<int64_t>(t.ms - begin->ms);
        if (t.text.rfind("get display state", 0) == 0 && done.stateReadAt < 0)
            done.stateReadAt = at;
        // What the mirror bring-up found is detail, not an operation.
        const bool bMirrorDetail =
            t.text.rfind("AttachToDeskTopMir ", 0) == 0 && t.text != "AttachToDeskTopMir Start\n";
        for (const char* op : {"SetSysToPrimary", "DetachDev", "AttachToDeskTop"})
            if (t.text.rfind(op, 0) == 0 && !bMirrorDetail)
                done.ops.push_back(t.text.substr(0, t.text.find_last_not_of(" \n") + 1));
        if (t.text.rfind("save ini", 0) == 0) {
            done.savedAt = at;
            break;
        }
    }
    return done;
}

SimRun Pick(const std::string& machine, const std::string& label, Deliverable d = Deliverable::Duodesk) {
    return RunSim(
        machine + "at 0 start\nat 20s tray-click right\nat 21s menu pick \"" + label + "\"\nend 40s\n", d);
}

const char kSys[] = "SetSysToPrimary";
const char kDetach[] = "DetachDev ZTK\\USB2VGA";
const char kDetachMirror[] = "DetachDev ZTK\\USB2VGAM";
const char kExt[] = "AttachToDeskTopExt";
const char kPrimary[] = "AttachToDeskTopPrimary";
const char kMir[] = "AttachToDeskTopMir Start";

struct CommandCase {
    int live;
    const char* label;
    Lines ops;
    int waits; // the 500 ms waits between the operations
    std::string desk;
    const char* saved; // the profile's DispState afterwards
};

} // namespace

// Primary, Extended and Mirror stop the composition service and read the live state 2000 ms later; Off
// reads it at once and starts the service at the end. Then each runs that state's attach operations in
// their order with their 500 ms waits, records its state and saves.
TEST(StateCommands, EachCommandRunsTheAttachOperationsOfTheLiveStateInOrderThenSavesItsState) {
    const std::vector<CommandCase> cases = {
        {0, "USB-VGA(Primary)", {}, 0, kPrimaryExt, "0"},
        {0, "USB-VGA(Extended)", {kSys, kDetach, kExt}, 4, kExtended, "2"},
        {0, "USB-VGA(Mirror)", {kSys, kDetach, kExt, kDetach, kMir}, 6, kMirror, "3"},
        {0, "USB-VGA(Off)", {kSys, kDetach}, 4, kOff, "4"},
        {1, "USB-VGA(Primary)", {}, 0, kIntelPrimary, "1"},
        {1, "USB-VGA(Extended)", {kSys, kDetach, kExt}, 3, kIntelExtended, "2"},
        {1, "USB-VGA(Mirror)", {kSys, kDetach, kExt, kDetach, kMir}, 4, kIntelMirror, "3"},
        {1, "USB-VGA(Off)", {kSys, kDetach}, 2, kIntelOff, "4"},
        {2, "USB-VGA(Primary)", {kPrimary}, 0, kPrimaryExt, "0"},
        {2, "USB-VGA(Extended)", {}, 0, kExtended, "2"},
        {2, "USB-VGA(Mirror)", {kDetach, kMir}, 0, kMirror, "3"},
        {2, "USB-VGA(Off)", {kDetach}, 0, kOff, "4"},
        {3, "USB-VGA(Primary)", {kDetachMirror, kExt, kPrimary}, 2, kPrimaryExt, "0"},
        {3, "USB-VGA(Extended)", {kDetachMirror, kExt}, 0, kExtended, "2"},
        {3, "USB-VGA(Mirror)", {}, 0, kMirror, "3"},
        {3, "USB-VGA(Off)", {kDetachMirror}, 0, kOff, "4"},
        {4, "USB-VGA(Primary)", {kExt, kPrimary}, 1, kPrimaryExt, "0"},
        {4, "USB-VGA(Extended)", {kExt}, 0, kExtended, "2"},
        {4, "USB-VGA(Mirror)", {kMir}, 0, kMirror, "3"},
        {4, "USB-VGA(Off)", {}, 0, kOff, "4"},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " from live state " + std::to_string(c.live));
        SimRun run = Pick(Machine(c.live), c.label);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const bool bOff = std::string(c.label) == "USB-VGA(Off)";
        const Done done = Command(run, 21000);
        EXPECT_EQ(done.ops, c.ops);
        EXPECT_EQ(done.stateReadAt, bOff ? 0 : 2000);
        EXPECT_EQ(done.savedAt, done.stateReadAt + 500 * c.waits);
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(run.Saved("DispState"), c.saved);
        EXPECT_TRUE(run.HasStateLine(bOff ? "service UxSms running starts 1 stops 1"
                                          : "service UxSms stopped starts 0 stops 1"));
    }
}

TEST(StateCommands, PrimaryFromOffWithAStoredRotationAttachesThroughTheRotationAlone) {
    SimRun run = Pick(Machine(4, /*nRotation*/ 1), "USB-VGA(Primary)");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Command(run, 21000).ops, Lines{kPrimary});
    EXPECT_EQ(run.Saved("DispState"), "0");
}

TEST(StateCommands, OffWithoutTheAdapterOnlyRecordsTheChoiceForTheNextBringUp) {
    // Unplugged, the icon shows only once the shell has restarted; the recorded primary state leaves
    // "USB-VGA(Off)" to choose.
    const std::string machine = kVista + kNvidia + Profile(0) +
                                "adapter\nat 0 start\nat 5s shell-restart\n"
                                "at 6s tray-click right\nat 7s menu pick \"USB-VGA(Off)\"\n";
    const struct {
        const char* name;
        std::string more;
        const char* trace;
        const char* saved;
    } cases[] = {{"a profile that takes the value", "", "Write display state off\n", "4"},
                 {"a profile that refuses writes",
                  "regkey \"HKCU\\\\Software\\\\Kiva Dongle\\\\duodesk\\\\VGA DONGLE\" deny-write\n",
                  "Write display state failed\n", "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(c.more + machine + "end 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.TextsFrom(7000), (Lines{"OnOff\n", c.trace}));
        EXPECT_EQ(run.Saved("DispState"), c.saved);
        EXPECT_TRUE(run.HasStateLine("service UxSms running starts 0 stops 0"));
    }
}

namespace {

// The rotation requests the driver got after the bring-up: their input words.
Lines RotationsSentFrom(const SimRun& run, uint64_t ms) {
    Lines sent;
    for (const std::string& line : run.StateLines("driver ")) {
        unsigned long long at = 0;
        char word[16] = "";
        if (sscanf(line.c_str(), "driver %llu %*u IOCTL_SET_ROTATION in %15s", &at, word) == 2 && at >= ms)
            sent.push_back(word);
    }
    return sent;
}

} // namespace

// Extended, primary ext and primary only come back in the state they were in, rotated; mirrored and off,
// nothing turns, but the settings are saved all the same. A second start's wParam 5 passes rotation 4,
// which is stored and never sent to the driver; 0 and 6 are refused.
TEST(Rotation, TurnsTheDisplayInTheStatesThatShowItAndSavesInEveryState) {
    const struct {
        int live;
        std::string event; // at 20 s
        Lines sent;
        const char* saved;
        int saves;
    } cases[] = {
        {2, "tray-click right\nat 21s menu pick \"Rotation\" \"90 degrees\"", {"01000000"}, "1", 1},
        {0, "tray-click right\nat 21s menu pick \"Rotation\" \"270 degrees\"", {"03000000"}, "3", 1},
        {1, "start r180", {"02000000"}, "2", 1},
        {3, "start r90", {}, "0", 1},
        {4, "start r270", {}, "0", 1},
        {2, "post \"SISRotation\" 5 0", {}, "4", 1},
        {2, "post \"SISRotation\" 0 0", {}, "0", 0},
        {2, "post \"SISRotation\" 6 0", {}, "0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event + " in live state " + std::to_string(c.live));
        SimRun run = RunSim(Machine(c.live) + "at 0 start\nat 20s " + c.event + "\nend 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(RotationsSentFrom(run, 20000), c.sent);
        EXPECT_EQ(run.Saved("RotationState"), c.saved);
        int saves = 0;
        for (const TraceLine& t : run.traces)
            saves += t.ms >= 20000 && t.text == "save ini VGA DONGLE\n";
        EXPECT_EQ(saves, c.saves);
    }
    for (int refused : {0, 6}) {
        SimRun run = RunSim(Machine(2) + "at 0 start\nat 20s post \"SISRotation\" " +
                            std::to_string(refused) + " 0\nend 21s\n");
        EXPECT_EQ(run.TextsFrom(20000),
                  Lines{"Command can not accept cmd = " + std::to_string(refused) + "\n"});
    }
}

// "Turnoff" (wParam 0) turns the adapter's display off and keeps the utility; "Close" (5418) also takes
// the icon away and ends it. A driver that is not ready is not turned off, but Close still closes.
TEST(TurnOff, TurnsTheDisplayOffAndClosesOnlyForTheCloseCode) {
    const struct {
        const char* name;
        std::string adapter;
        const char* verb;
        bool turnedOff;
        bool closed;
    } cases[] = {
        {"Turnoff", "adapter plugged", "Turnoff", true, false},
        {"Close", "adapter plugged", "Close", true, true},
        {"Close with a driver that never got ready", "adapter plugged ready-after never", "Close", false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(kVista + kNvidia + Profile(2) + c.adapter +
                            " modes 1024x768x32\nat 0 start\nat 40s start " + c.verb + "\nend 70s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<unsigned> pids = run.Pids();
        ASSERT_EQ(pids.size(), 2u);
        Lines resident;
        for (const TraceLine& t : run.TracesOf(pids[0]))
            if (t.ms >= 40000)
                resident.push_back(t.text);
        Lines expected = {"OnTurnOff\n"};
        if (c.turnedOff)
            expected.push_back("get display state: extended\n");
        if (c.closed)
            expected.push_back("[OnTurnOff] Close Utility\n");
        EXPECT_TRUE(InOrder(resident, expected));
        EXPECT_EQ(std::count(resident.begin(), resident.end(), "get display state: extended\n"),
                  c.turnedOff ? 1 : 0);
        EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off");
        EXPECT_EQ(run.StateLines("tray ").empty(), c.closed);
        EXPECT_EQ(run.HasStateLine("process " + std::to_string(pids[0]) + " duodesk.exe running cmd \"\""),
                  !c.closed);
    }
}
