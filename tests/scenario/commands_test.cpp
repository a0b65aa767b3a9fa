// The state commands of the tray menu from every live state, rotation from the menu and from a second
// start, and "TurnOff".
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <algorithm>
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

// The traces that name a step of a command, from its first trace to its save, each with its time since
// the command began: "+2500 SetSysToPrimary".
Lines Steps(const SimRun& run, uint64_t from) {
    static const char* const kSteps[] = {"On",
                                         "get display state",
                                         "SetSysToPrimary",
                                         "DetachDev",
                                         "AttachToDeskTop",
                                         "Stop DWM service",
                                         "Start DWM service",
                                         "Enable Composition",
                                         "Return DPI",
                                         "save ini"};
    Lines steps;
    uint64_t begin = 0;
    for (const TraceLine& t : run.traces) {
        if (t.ms < from || (steps.empty() && t.text.rfind("On", 0) != 0))
            continue;
        if (steps.empty())
            begin = t.ms;
        // What the mirror bring-up found is detail, not a step.
        if (t.text.rfind("AttachToDeskTopMir ", 0) == 0 && t.text != "AttachToDeskTopMir Start\n")
            continue;
        for (const char* step : kSteps) {
            if (t.text.rfind(step, 0) == 0) {
                std::string text = t.text;
                while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
                    text.pop_back();
                steps.push_back("+" + std::to_string(t.ms - begin) + " " + text);
                break;
            }
        }
        if (t.text.rfind("save ini", 0) == 0)
            break;
    }
    return steps;
}

SimRun Pick(const std::string& machine, const std::string& label, Deliverable d = Deliverable::Duodesk) {
    return RunSim(
        machine + "at 0 start\nat 20s tray-click right\nat 21s menu pick \"" + label + "\"\nend 40s\n", d);
}

struct CommandCase {
    int live;
    const char* label;
    Lines steps;
    std::string desk;
    const char* saved; // the profile's DispState afterwards
};

} // namespace

// Each command reads the live state after the composition pause (Off has none), runs that state's steps
// 500 ms apart (the steps of the display-device library are not traced: they show as the gaps; a step
// that changes the primary display makes the window read the state again), then records its state and
// saves. The service was stopped once at the bring-up; the commands stop it again
// (which fails, as it is stopped) and only Off starts it.
TEST(StateCommands, EachCommandRunsTheStepsOfTheLiveStateThenRecordsAndSavesItsState) {
    const std::vector<CommandCase> cases = {
        {0,
         "USB-VGA(Primary)",
         {"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: primary ext",
          "+2000 save ini VGA DONGLE"},
         kPrimaryExt,
         "0"},
        {0,
         "USB-VGA(Extended)",
         {"+0 OnExt", "+0 Stop DWM service fail", "+2000 get display state: primary ext",
          "+2500 SetSysToPrimary", "+2500 get display state: extended", "+3000 DetachDev ZTK\\USB2VGA",
          "+4000 AttachToDeskTopExt", "+4000 save ini VGA DONGLE"},
         kExtended,
         "2"},
        {0,
         "USB-VGA(Mirror)",
         {"+0 OnMirror", "+0 Stop DWM service fail", "+2000 get display state: primary ext",
          "+3000 SetSysToPrimary", "+3000 get display state: extended", "+3500 DetachDev ZTK\\USB2VGA",
          "+4000 AttachToDeskTopExt", "+4500 DetachDev ZTK\\USB2VGA", "+4500 AttachToDeskTopMir Start",
          "+5000 save ini VGA DONGLE"},
         kMirror,
         "3"},
        {0,
         "USB-VGA(Off)",
         {"+0 OnOff", "+0 get display state: primary ext", "+1000 SetSysToPrimary",
          "+1000 get display state: extended", "+1500 DetachDev ZTK\\USB2VGA",
          "+2000 Start DWM service success", "+2000 Enable Composition", "+2000 save ini VGA DONGLE"},
         kOff,
         "4"},
        {1,
         "USB-VGA(Primary)",
         {"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: primary only",
          "+2000 save ini VGA DONGLE"},
         kIntelPrimary,
         "1"},
        {1,
         "USB-VGA(Extended)",
         {"+0 OnExt", "+0 Stop DWM service fail", "+2000 get display state: primary only",
          "+2500 SetSysToPrimary", "+2500 get display state: extended", "+3000 DetachDev ZTK\\USB2VGA",
          "+3500 AttachToDeskTopExt", "+3500 save ini VGA DONGLE"},
         kIntelExtended,
         "2"},
        {1,
         "USB-VGA(Mirror)",
         {"+0 OnMirror", "+0 Stop DWM service fail", "+2000 get display state: primary only",
          "+2500 SetSysToPrimary", "+2500 get display state: extended", "+3000 DetachDev ZTK\\USB2VGA",
          "+3500 AttachToDeskTopExt", "+4000 DetachDev ZTK\\USB2VGA", "+4000 AttachToDeskTopMir Start",
          "+4000 save ini VGA DONGLE"},
         kIntelMirror,
         "3"},
        {1,
         "USB-VGA(Off)",
         {"+0 OnOff", "+0 get display state: primary only", "+500 SetSysToPrimary",
          "+500 get display state: extended", "+1000 DetachDev ZTK\\USB2VGA",
          "+1000 Start DWM service success", "+1000 Enable Composition", "+1000 save ini VGA DONGLE"},
         kIntelOff,
         "4"},
        {2,
         "USB-VGA(Primary)",
         {"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: extended",
          "+2000 AttachToDeskTopPrimary", "+2000 get display state: primary ext",
          "+2000 save ini VGA DONGLE"},
         kPrimaryExt,
         "0"},
        {2,
         "USB-VGA(Extended)",
         {"+0 OnExt", "+0 Stop DWM service fail", "+2000 get display state: extended",
          "+2000 save ini VGA DONGLE"},
         kExtended,
         "2"},
        {2,
         "USB-VGA(Mirror)",
         {"+0 OnMirror", "+0 Stop DWM service fail", "+2000 get display state: extended",
          "+2000 DetachDev ZTK\\USB2VGA", "+2000 AttachToDeskTopMir Start", "+2000 save ini VGA DONGLE"},
         kMirror,
         "3"},
        {2,
         "USB-VGA(Off)",
         {"+0 OnOff", "+0 get display state: extended", "+0 DetachDev ZTK\\USB2VGA",
          "+0 Start DWM service success", "+0 Enable Composition", "+0 save ini VGA DONGLE"},
         kOff,
         "4"},
        {3,
         "USB-VGA(Primary)",
         {"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: mirror",
          "+2000 DetachDev ZTK\\USB2VGAM", "+2000 OnPrimary", "+2000 Return DPI to x = 1024, y = 768, z = 32",
          "+2500 AttachToDeskTopExt", "+3000 AttachToDeskTopPrimary", "+3000 get display state: primary ext",
          "+3000 save ini VGA DONGLE"},
         kPrimaryExt,
         "0"},
        {3,
         "USB-VGA(Extended)",
         {"+0 OnExt", "+0 Stop DWM service fail", "+2000 get display state: mirror",
          "+2000 DetachDev ZTK\\USB2VGAM", "+2000 OnExt Set DPI X =1024, Y =768, z =32",
          "+2000 Return DPI to x = 1024, y = 768, z = 32", "+2000 AttachToDeskTopExt",
          "+2000 save ini VGA DONGLE"},
         kExtended,
         "2"},
        {3,
         "USB-VGA(Mirror)",
         {"+0 OnMirror", "+0 Stop DWM service fail", "+2000 get display state: mirror",
          "+2000 save ini VGA DONGLE"},
         kMirror,
         "3"},
        {3,
         "USB-VGA(Off)",
         {"+0 OnOff", "+0 get display state: mirror", "+0 DetachDev ZTK\\USB2VGAM", "+0 OnOff",
          "+0 Start DWM service success", "+0 Enable Composition", "+0 save ini VGA DONGLE"},
         kOff,
         "4"},
        {4,
         "USB-VGA(Primary)",
         {"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: off",
          "+2000 AttachToDeskTopExt", "+2500 AttachToDeskTopPrimary", "+2500 get display state: primary ext",
          "+2500 save ini VGA DONGLE"},
         kPrimaryExt,
         "0"},
        {4,
         "USB-VGA(Extended)",
         {"+0 OnExt", "+0 Stop DWM service fail", "+2000 get display state: off",
          "+2000 Return DPI to x = 1024, y = 768, z = 32", "+2000 AttachToDeskTopExt",
          "+2000 save ini VGA DONGLE"},
         kExtended,
         "2"},
        {4,
         "USB-VGA(Mirror)",
         {"+0 OnMirror", "+0 Stop DWM service fail", "+2000 get display state: off",
          "+2000 AttachToDeskTopMir Start", "+2000 save ini VGA DONGLE"},
         kMirror,
         "3"},
        {4,
         "USB-VGA(Off)",
         {"+0 OnOff", "+0 get display state: off", "+0 Start DWM service success", "+0 Enable Composition",
          "+0 save ini VGA DONGLE"},
         kOff,
         "4"},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " from live state " + std::to_string(c.live));
        SimRun run = Pick(Machine(c.live), c.label);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(Steps(run, 21000), c.steps);
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(run.Saved("DispState"), c.saved);
        const bool bOff = std::string(c.label) == "USB-VGA(Off)";
        EXPECT_TRUE(run.HasStateLine(bOff ? "service UxSms running starts 1 stops 1"
                                          : "service UxSms stopped starts 0 stops 1"));
    }
}

TEST(StateCommands, PrimaryFromOffWithAStoredRotationAttachesThroughTheRotationAlone) {
    SimRun run = Pick(Machine(4, /*nRotation*/ 1), "USB-VGA(Primary)");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Steps(run, 21000),
              (Lines{"+0 OnPrimary", "+0 Stop DWM service fail", "+2000 get display state: off",
                     "+2000 Return DPI to x = 1280, y = 1024, z = 32", "+2000 AttachToDeskTopPrimary",
                     "+2000 save ini VGA DONGLE"}));
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
