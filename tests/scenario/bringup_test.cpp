// Bringing the adapter up as the profile left it: the layout each saved state gives on Windows XP, Vista,
// 7 and 7 Starter, the first run and the installer's preset, mirroring a primary display larger than the
// adapter can show, and a saved rotation. Both deliverables.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const std::string kXp = "os 5.1\n";
const std::string kVista = "os 6.0\n";
const std::string kSeven = "os 6.1 edition Professional\n";
const std::string kStarter = "os 6.1 edition Starter\n";

const std::string kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n";
// The system's own primary display and a second display beside it.
const std::string kTwoSystemDisplays =
    kNvidia + "display PCI\\VEN_1002&DEV_5B60 attached modes 1024x768x32@60\n";
const std::string kAdapterModes = "1280x1024x32 1024x768x32 800x600x32";

std::string Adapter(const std::string& modes = kAdapterModes, const std::string& options = "") {
    return "adapter plugged " + options + (options.empty() ? "" : " ") + "modes " + modes + "\n";
}

struct Value {
    const char* name;
    int value;
};

std::string Profile(std::initializer_list<Value> values) {
    std::string lines;
    for (const Value& v : values)
        lines += std::string("profile \"VGA DONGLE\" ") + v.name + " " + std::to_string(v.value) + "\n";
    return lines;
}

// A value of the program's profile, "-" when it is not there.
std::string Saved(const SimRun& run, const std::string& name, const std::string& section = "VGA DONGLE",
                  Deliverable d = Deliverable::Duodesk, const std::string& heading = "final") {
    const std::string prefix = std::string("reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\") + ExeName(d) +
                               "\\\\" + section + "\" \"" + name + "\" dword ";
    std::vector<std::string> lines = run.StateLines(prefix, heading);
    return lines.empty() ? "-" : lines[0].substr(prefix.size());
}

// The input bytes of every request of this kind the driver got, in order.
std::vector<std::string> Sent(const SimRun& run, const std::string& request) {
    std::vector<std::string> inputs;
    for (const std::string& line : run.StateLines("driver ")) {
        // driver MS PID REQUEST in BYTES ...
        std::vector<std::string> w = Words(line);
        if (w.size() >= 6 && w[3] == request)
            inputs.push_back(w[5]);
    }
    return inputs;
}

// Every trace that starts with this text, one after another.
std::string TracesStarting(const SimRun& run, const std::string& start) {
    std::string texts;
    for (const TraceLine& t : run.traces) {
        if (t.text.rfind(start, 0) == 0)
            texts += t.text;
    }
    return texts;
}

const std::string kExtended = "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; "
                              "USB 1024x768x32@60 2304,0; MIR off";
const std::string kPrimaryExt = "DISPLAY1 1280x1024x32@60 2048,0; DISPLAY2 1024x768x32@60 1024,0; "
                                "USB primary 1024x768x32@60 0,0; MIR off";
const std::string kPrimaryOnly = "DISPLAY1 off; DISPLAY2 off; USB primary 1024x768x32@60 0,0; MIR off";
const std::string kMirror = "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; USB off; "
                            "MIR mirror 1280x1024x32@60 0,0";
const std::string kOff =
    "DISPLAY1 primary 1280x1024x32@60 0,0; DISPLAY2 1024x768x32@60 1280,0; USB off; MIR off";

} // namespace

TEST(Bringup, EachSavedStateComesUpInItsLayoutOnXpVistaSevenAndStarter) {
    struct Case {
        const std::string& os;
        int state;
        const std::string& desk;
        const char* turnOn; // the bring-up's own trace of the state it turns on
    } cases[] = {
        {kXp, 0, kPrimaryExt, "Turn On device Primary_ext\n"},
        {kXp, 1, kPrimaryOnly, "Turn On device Primary_only\n"},
        {kXp, 2, kExtended, "Turn On device extended\n"},
        {kXp, 3, kMirror, "Turn On device Mirror\n"},
        {kXp, 4, kOff, ""},
        {kXp, 7, kOff, ""}, // no state at all: nothing is turned on
        {kVista, 0, kPrimaryExt, "Turn On device Primary_ext\n"},
        // Windows 7 keeps no other display beside a primary adapter.
        {kSeven, 0, kPrimaryOnly, "Turn On device Primary_only\n"},
        {kSeven, 1, kPrimaryOnly, "Turn On device Primary_only\n"},
        {kSeven, 2, kExtended, "Turn On device extended\n"},
        {kSeven, 3, kMirror, "Turn On device Mirror\n"},
        {kSeven, 4, kOff, ""},
        // Starter only mirrors.
        {kStarter, 0, kMirror, "Turn On device Mirror\n"},
        {kStarter, 1, kMirror, "Turn On device Mirror\n"},
        {kStarter, 2, kMirror, "Turn On device Mirror\n"},
        {kStarter, 3, kMirror, "Turn On device Mirror\n"},
        {kStarter, 4, kOff, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os + "state " + std::to_string(c.state));
        SimRun run = RunSim(c.os + kTwoSystemDisplays + Adapter() +
                            Profile({{"DispState", c.state}, {"FirstRun", 1}}) + "at 0 start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(TracesStarting(run, "Turn On device"), c.turnOn);
        const bool mirror = c.desk == kMirror;
        EXPECT_EQ(Sent(run, "IOCTL_SET_MIRROR"),
                  mirror ? std::vector<std::string>{"01000000"} : std::vector<std::string>{});
        // Every state that puts the display on the desktop straightens the picture first.
        EXPECT_EQ(Sent(run, "IOCTL_SET_ROTATION"),
                  c.desk == kOff ? std::vector<std::string>{} : std::vector<std::string>{"00000000"});
        // The bring-up leaves the profile as it found it.
        EXPECT_EQ(Saved(run, "DispState"), std::to_string(c.state));
        EXPECT_EQ(Saved(run, "Width"), "-");
    }
}

TEST(Bringup, AnIntelSystemDisplayReadsAPrimaryAdapterBackAsPrimaryOnly) {
    struct Case {
        const char* display;
        const char* readBack;
        const char* saved;
    } cases[] = {
        {"PCI\\VEN_10DE&DEV_0421", "get display state: primary ext\n", "0"},
        {"PCI\\VEN_8086&DEV_2A42", "get display state: primary only\n", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.display);
        // The unplug reads the state back from the desktop and saves what it read.
        SimRun run = RunSim(kXp + "display " + c.display + " primary modes 1280x1024x32@60 1024x768x32@60\n" +
                            Adapter() + Profile({{"DispState", 0}, {"FirstRun", 1}}) +
                            "at 0 start\nat 8s dump\nat 9s unplug\nend 12s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        // The chip changes nothing in the layout itself.
        EXPECT_EQ(run.Desk("dump"),
                  "DISPLAY1 1280x1024x32@60 1024,0; USB primary 1024x768x32@60 0,0; MIR off");
        EXPECT_EQ(run.CountTrace("Turn On device Primary_ext\n"), 1);
        EXPECT_GE(run.CountTrace(c.readBack), 1);
        EXPECT_EQ(Saved(run, "DispState"), c.saved);
    }
}

// ---------------------------------------------------------------------------------------------------------
// The first run

TEST(BringupFirstRun, AnEmptyProfileComesUpExtendedAt1024By768By32AndMarksTheFirstRunDone) {
    struct Case {
        const std::string& os;
        const char* desk;
    } cases[] = {
        {kXp, "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off"},
        {kSeven, "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off"},
        {kStarter, "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        // The adapter's display was last set to 800x600: the first run does not keep that.
        SimRun run =
            RunSim(c.os + kNvidia + Adapter(kAdapterModes, "registry 800x600x32") + "at 0 start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(run.CountTrace("This is first run\n"), 1);
        EXPECT_EQ(run.CountTrace("[TurnONDev] Got 1024 768 32 from ini\n"), 1);
        EXPECT_EQ(Saved(run, "FirstRun"), "1");
        for (const char* name : {"DispState", "Width", "Height", "BitDepth", "RotationState"})
            EXPECT_EQ(Saved(run, name), "-") << name;
        EXPECT_EQ(Sent(run, "IOCTL_SET_ROTATION"), std::vector<std::string>{"00000000"});
    }
}

TEST(BringupFirstRun, OnlyAFirstRunThatPutsTheDisplayOnTheDesktopIsMarkedDone) {
    struct Case {
        int state;
        const char* firstRun;
    } cases[] = {{0, "1"}, {1, "1"}, {2, "1"}, {3, "-"}, {4, "-"}};
    for (const Case& c : cases) {
        SCOPED_TRACE("state " + std::to_string(c.state));
        SimRun run =
            RunSim(kXp + kNvidia + Adapter() + Profile({{"DispState", c.state}}) + "at 0 start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace("This is first run\n"), 1);
        EXPECT_EQ(Saved(run, "FirstRun"), c.firstRun);
    }
}

TEST(BringupFirstRun, TheInstallersPresetIsTheResolutionOfTheFirstRun) {
    SimRun run = RunSim(kXp + kNvidia + Adapter("1280x1024x32 1280x1024x16 1024x768x32 800x600x32") +
                        "at 0 start res 1280 1024 16\nat 1s start\nend 10s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1280x1024x16@60 1280,0; MIR off");
    EXPECT_EQ(run.CountTrace("[TurnONDev] Got 1280 1024 16 from ini\n"), 1);
    EXPECT_EQ(TracesStarting(run, "[CheciInitResolution]"), "");
    EXPECT_EQ(TracesStarting(run, "restore frequence"), "");
    EXPECT_EQ(Saved(run, "FirstRun"), "1");
    EXPECT_EQ(Saved(run, "Width") + "x" + Saved(run, "Height") + "x" + Saved(run, "BitDepth"),
              "1280x1024x16");
    // A second start after the first run brings the saved resolution up without a first run.
    SimRun again =
        RunSim(kXp + kNvidia + Adapter("1280x1024x32 1280x1024x16 1024x768x32 800x600x32") +
               "at 0 start res 1280 1024 16\nat 1s start\nat 9s start Close\nat 10s start\nend 20s\n");
    ASSERT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(again.CountTrace("This is first run\n"), 1);
    EXPECT_EQ(again.CountTrace("[TurnONDev] Got 1280 1024 16 from ini\n"), 1);
    EXPECT_EQ(again.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1280x1024x16@60 1280,0; MIR off");
}

TEST(BringupFirstRun, AResolutionTheAdapterLacksFallsBackToTheFirstListedOneThatHoldsIt) {
    struct Case {
        std::string setup; // the installer's preset, or a profile left by an earlier adapter
        const char* wanted;
        const char* check; // the trace of the search
        const char* got;
    } cases[] = {
        {"at 0 start res 1152 864 32\n", "1152x864x32",
         "[CheckInitResolution] Got record resolution samller than device\n", "1280x1024x32"},
        {"at 0 start res 1024 768 16\n", "1024x768x16",
         "[CheckInitResolution] Got record resolution samller than device\n", "1024x768x32"},
        {"at 0 start res 1920 1200 32\n", "1920x1200x32",
         "[CheckInitResolution] Didn't find record resolution bigger than device, use the most big\n",
         "1280x1024x32"},
        {Profile({{"FirstRun", 1}, {"Width", 1600}, {"Height", 1200}}), "1600x1200x32",
         "[CheckInitResolution] Didn't find record resolution bigger than device, use the most big\n",
         "1280x1024x32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wanted);
        SimRun run = RunSim(kXp + kNvidia + Adapter() + c.setup + "at 1s start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(),
                  "DISPLAY1 primary 1280x1024x32@60 0,0; USB " + std::string(c.got) + "@60 1280,0; MIR off");
        EXPECT_EQ(run.CountTrace(c.check), 1);
        std::string got = c.got;
        for (char& ch : got)
            ch = ch == 'x' ? ' ' : ch;
        EXPECT_EQ(run.CountTrace("[CheciInitResolution] Got " + got), 1);
        // The refused mode, then the saved refresh rate, then the mode found.
        std::vector<std::string> calls = run.DisplayCalls();
        ASSERT_GE(calls.size(), 3u);
        const std::string size = " fields DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|"
                                 "DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_RESET result ";
        EXPECT_EQ(calls[0], "\\\\.\\DISPLAY2 " + std::string(c.wanted) + "@60 pos 0,0" + size + "-2");
        EXPECT_EQ(calls[1], "\\\\.\\DISPLAY2 1024x768x32@60 pos 0,0 fields DM_DISPLAYFREQUENCY flags "
                            "CDS_UPDATEREGISTRY|CDS_GLOBAL result 0");
        EXPECT_EQ(calls[2], "\\\\.\\DISPLAY2 " + std::string(c.got) + "@60 pos 1280,0" + size + "0");
        EXPECT_EQ(run.CountTrace("restore frequence 60\n"), 1);
        // The profile keeps what was asked for.
        EXPECT_EQ(Saved(run, "Width") + "x" + Saved(run, "Height"),
                  std::string(c.wanted).substr(0, std::string(c.wanted).rfind('x')));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Mirroring

namespace {

// A primary display wider than any mode of the adapter, which it cannot mirror as it stands.
const std::string kWidePrimary = "display PCI\\VEN_10DE&DEV_0421 primary modes 1920x1200x32@60 "
                                 "1680x1050x32@60 1280x1024x32@60 1024x768x32@60\n";
const std::string kSmallerAdapter = "1600x1200x32 1280x1024x32 1024x768x32 800x600x32";

} // namespace

TEST(BringupMirror, APrimaryTooLargeIsLoweredToTheLargestSizeBothShowAndTheNextStartPutsItBack) {
    // The program ends without giving the primary display its resolution back, the adapter goes, and the
    // program starts again.
    SimRun run =
        RunSim(kXp + kWidePrimary + Adapter(kSmallerAdapter) + Profile({{"DispState", 3}, {"FirstRun", 1}}) +
               "at 0 start\nat 8s dump\nat 9s start Close\nat 9500 unplug\nat 10s start\nend 12s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<unsigned> pids = run.Pids();
    ASSERT_EQ(pids.size(), 3u);

    EXPECT_EQ(run.Desk("dump"),
              "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0");
    // The sizes of the primary display are tried from the next smaller one down.
    EXPECT_EQ(TracesStarting(run, "Mirror previous") + TracesStarting(run, "Sync mirror") +
                  TracesStarting(run, "Mirror match"),
              "Mirror previous 1680 1050\nMirror previous 1280 1024\nSync mirror DPI\nMirror match 1280 1024 "
              "32 \n");
    EXPECT_EQ(run.CountTrace("Restore system 1280 1024 32\n"), 1);
    for (const char* heading : {"dump", "final"}) {
        SCOPED_TRACE(heading);
        EXPECT_EQ(Saved(run, "SysX", "USBVGACONFIG", Deliverable::Duodesk, heading), "1920");
        EXPECT_EQ(Saved(run, "SysY", "USBVGACONFIG", Deliverable::Duodesk, heading), "1200");
        EXPECT_EQ(Saved(run, "SysZ", "USBVGACONFIG", Deliverable::Duodesk, heading), "32");
    }

    // The next start gives the primary display its own resolution back before anything else.
    const TraceLine* init = run.FindTrace("Init 1920 1200 32\n");
    ASSERT_NE(init, nullptr);
    EXPECT_EQ(init->pid, pids[2]);
    ASSERT_LT(init + 1, run.traces.data() + run.traces.size());
    EXPECT_EQ(init[1].text, "Restore system 1920 1200 32\n");
    EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1920x1200x32@60 0,0; USB off; MIR off");
}

TEST(BringupMirror, APrimaryWithNoSmallerSizeTheAdapterHasStaysAndTheMirrorTakesTheNearestMode) {
    SimRun run = RunSim(kXp + "display PCI\\VEN_10DE&DEV_0421 primary modes 1920x1200x32@60\n" +
                        Adapter(kSmallerAdapter) + Profile({{"DispState", 3}, {"FirstRun", 1}}) +
                        "at 0 start\nend 10s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("No any match resolution for mirror\n"), 1);
    EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1920x1200x32@60 0,0; USB off; MIR mirror 1600x1200x32@60 0,0");
    EXPECT_EQ(Saved(run, "SysX", "USBVGACONFIG"), "-");
    EXPECT_EQ(TracesStarting(run, "Restore system"), "");
}

// The start-up gives the primary display its saved resolution back before the adapter comes up; the main
// window follows that change, so the next mirror starts from the size it was given back.
TEST(BringupMirror, TheNextStartMirrorsThePrimaryAtTheSizeItWasGivenBack) {
    SimRun run =
        RunSim(kXp + kWidePrimary + Adapter(kSmallerAdapter) + Profile({{"DispState", 3}, {"FirstRun", 1}}) +
               "at 0 start\nat 9s start Close\nat 10s start\nend 20s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Init 1920 1200 32\n"), 1);
    EXPECT_EQ(run.CountTrace("Sync mirror DPI\n"), 2);
    EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0");
}

// ---------------------------------------------------------------------------------------------------------
// Rotation

TEST(BringupRotation, ASavedRotationTurnsTheResolutionToItsOrientationAndTellsTheDriver) {
    const char* const upright = "1280x1024x32 1024x1280x32 1024x768x32 800x600x32";
    const char* const tall = "1280x1024x32 1200x1600x32 1050x1680x32 1024x768x32";
    const char* const flat = "1280x1024x32 1024x768x32 800x600x32";
    struct Case {
        const char* modes;
        int width, height, rotation, state;
        const char* desk;
        std::vector<std::string> rotations; // what the driver was told
    } cases[] = {
        // Portrait: the pair is turned upright, and the first portrait mode that holds it is taken.
        {upright, 1280, 1024, 1, 2, "USB 1024x1280x32@60 1280,0", {"01000000"}},
        {tall, 1280, 1024, 1, 2, "USB 1050x1680x32@60 1280,0", {"01000000"}},
        {upright, 1280, 1024, 3, 0, "USB primary 1024x1280x32@60 0,0", {"03000000"}},
        // No portrait mode holds it: the last mode of the list.
        {flat, 1280, 1024, 1, 2, "USB 1280x1024x32@60 1280,0", {"01000000"}},
        // Landscape turns a portrait pair back.
        {upright, 1024, 1280, 0, 2, "USB 1280x1024x32@60 1280,0", {"00000000"}},
        {upright, 1280, 1024, 2, 2, "USB 1280x1024x32@60 1280,0", {"02000000"}},
        // The mirror copies the primary display as it stands, whatever rotation is saved.
        {upright, 1280, 1024, 1, 3, "MIR mirror 1280x1024x32@60 0,0", {"00000000"}},
        // A rotation the driver does not know is never sent; the resolution stays.
        {upright, 1280, 1024, 5, 2, "USB 1280x1024x32@60 1280,0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.modes) + " rotation " + std::to_string(c.rotation));
        SimRun run = RunSim(kXp + kNvidia + Adapter(c.modes) +
                            Profile({{"DispState", c.state},
                                     {"FirstRun", 1},
                                     {"Width", c.width},
                                     {"Height", c.height},
                                     {"RotationState", c.rotation}}) +
                            "at 0 start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const std::string desk = run.Desk();
        EXPECT_NE(desk.find(c.desk), std::string::npos) << desk;
        EXPECT_EQ(Sent(run, "IOCTL_SET_ROTATION"), c.rotations);
        EXPECT_EQ(run.CountTrace("[Recheck Resolution] m_pAdapter->m_pDispResHead == NULL \n"),
                  c.rotation > 3 ? 1 : 0);
    }
}

TEST(BringupRotation, ASavedResolutionTheRotationsMenuLacksComesUpAtTheFirstMenuModeThatHoldsIt) {
    const char* const modes =
        "1280x1024x32 1024x800x32 1024x768x32 1024x768x16 800x600x32 640x480x32 600x800x32 480x640x32";
    struct Case {
        int width, height, bpp, rotation;
        const char* got;
    } cases[] = {
        // Landscape offers nothing narrower than 800, and up to 1024 wide nothing taller than 768.
        {640, 480, 32, 0, "800x600x32"},
        {1024, 800, 32, 0, "1280x1024x32"},
        {1024, 768, 16, 0, "1024x768x16"},
        // Portrait offers nothing narrower than 600.
        {600, 800, 32, 1, "600x800x32"},
        {480, 640, 32, 1, "600x800x32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" + std::to_string(c.bpp) +
                     " rotation " + std::to_string(c.rotation));
        SimRun run = RunSim(kXp + kNvidia + Adapter(modes) +
                            Profile({{"DispState", 2},
                                     {"FirstRun", 1},
                                     {"Width", c.width},
                                     {"Height", c.height},
                                     {"BitDepth", c.bpp},
                                     {"RotationState", c.rotation}}) +
                            "at 0 start\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace("This is first run\n"), 0);
        EXPECT_EQ(run.Desk(),
                  "DISPLAY1 primary 1280x1024x32@60 0,0; USB " + std::string(c.got) + "@60 1280,0; MIR off");
    }
}

// ---------------------------------------------------------------------------------------------------------
// The driver, and the second deliverable

TEST(Bringup, OnStarterOnlyTheMirrorDeviceHasToReportReady) {
    struct Case {
        const std::string& os;
        const char* desk;
    } cases[] = {
        {kStarter, "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0"},
        {kXp, "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        SimRun run = RunSim(c.os + kNvidia + Adapter(kAdapterModes, "ready-after never") +
                            Profile({{"DispState", 2}, {"FirstRun", 1}}) + "at 0 start\nend 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(Sent(run, "IOCTL_DEV_READY").empty(), c.os == kStarter);
    }
}

TEST(Bringup, DuodeskbBringsUpItsOwnDevicesFromItsOwnProfile) {
    // The other deliverable's profile is there too, and says mirror.
    const std::string otherProfile = "regkey \"HKCU\\\\Software\\\\Kiva Dongle\\\\duodesk\\\\VGA DONGLE\" "
                                     "dword DispState 3 dword FirstRun 1\n";
    struct Case {
        const std::string& os;
        std::string profile;
        const char* desk;
        const char* firstRun;
    } cases[] = {
        {kXp, "", "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off", "1"},
        {kXp, Profile({{"DispState", 0}, {"FirstRun", 1}}),
         "DISPLAY1 1280x1024x32@60 1024,0; USB primary 1024x768x32@60 0,0; MIR off", "1"},
        {kXp, Profile({{"DispState", 4}}), "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off", "-"},
        {kSeven, Profile({{"DispState", 0}, {"FirstRun", 1}}),
         "DISPLAY1 off; USB primary 1024x768x32@60 0,0; MIR off", "1"},
        {kStarter, Profile({{"DispState", 2}, {"FirstRun", 1}}),
         "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os + c.profile);
        SimRun run = RunSim(c.os + kNvidia + Adapter() + otherProfile + c.profile + "at 0 start\nend 10s\n",
                            Deliverable::Duodeskb);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(), c.desk);
        EXPECT_EQ(Saved(run, "FirstRun", "VGA DONGLE", Deliverable::Duodeskb), c.firstRun);
        // It opened its own driver.
        ASSERT_EQ(run.StateLines("handle ").size(), 1u);
        EXPECT_NE(run.StateLines("handle ")[0].find("#vid_5a1e&pid_7304#"), std::string::npos);
        EXPECT_EQ(Saved(run, "FirstRun", "VGA DONGLE", Deliverable::Duodesk), "1");
    }
}
