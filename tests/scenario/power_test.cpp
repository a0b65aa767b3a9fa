// Suspend and resume in every state on Windows XP and 7, the resume retries, the monitor power cycle a
// suspend leaves due, and changes of the primary display's resolution while mirroring and otherwise.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kXp = "os 5.1\n";
const std::string kSeven = "os 6.1 edition Professional\nservice UxSms running\n";
const std::string kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n";
const std::string kIntel = "display PCI\\VEN_8086&DEV_2A42 primary modes 1280x1024x32@60 1024x768x32@60\n";
const std::string kAdapterModes = " modes 1280x1024x32 1024x768x32 800x600x32";

std::string Profile(int nState) {
    return "profile \"VGA DONGLE\" DispState " + std::to_string(nState) +
           "\nprofile \"VGA DONGLE\" FirstRun 1\n";
}

// Trace texts from `from` to before `to` that start with one of the prefixes, each with its time:
// "31500 Set to primary".
Lines Marks(const SimRun& run, uint64_t from, uint64_t to, std::initializer_list<const char*> prefixes) {
    Lines marks;
    for (const TraceLine& t : run.traces) {
        if (t.ms < from || t.ms >= to)
            continue;
        for (const char* prefix : prefixes) {
            if (t.text.rfind(prefix, 0) == 0) {
                marks.push_back(std::to_string(t.ms) + " " + t.text.substr(0, t.text.size() - 1));
                break;
            }
        }
    }
    return marks;
}

const std::string kOff = "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off";

} // namespace

// Before the sleep the adapter's display leaves the desktop by the state recorded last: a primary one
// gives the desktop back to the system's display; an extended or mirrored one saves the settings first.
// After the wake the primary one comes back from the primary timer (1 s) through the Primary command,
// the others from the secondary timer (2 s) through the bring-up. Windows XP asks before it suspends, and
// the second notification finds the display gone already.
TEST(Suspend, EveryStateLeavesTheDesktopForTheSleepAndComesBackAfterTheWake) {
    const Lines primaryBack = {"30000 Resume from suspend", "31000 resume from primary",
                               "31000 Try to resume from primary count = 1", "31500 Set to primary",
                               "31500 OnPrimary"};
    struct Case {
        std::string os;
        std::string display;
        int state;
        Lines suspend; // from 20 s on, up to the resume
        Lines resume;
        std::string after; // "" when the desktop is as it was before the sleep
    };
    const std::vector<Case> cases = {
        {kXp,
         kNvidia,
         0,
         {"20000 Goto suspend with cdeo = 0", "20000 Goto suspend from Primary",
          "20000 Goto suspend with cdeo = 4"},
         primaryBack,
         ""},
        {kXp,
         kIntel,
         1,
         {"20000 Goto suspend with cdeo = 0", "20000 Goto suspend from Primary",
          "20000 Goto suspend with cdeo = 4"},
         primaryBack,
         ""},
        {kXp,
         kNvidia,
         2,
         {"20000 Goto suspend with cdeo = 0", "20000 save ini VGA DONGLE",
          "20000 Goto suspend with cdeo = 4"},
         {"30000 Resume from suspend", "32000 Turn On device extended"},
         ""},
        {kXp,
         kNvidia,
         3,
         {"20000 Goto suspend with cdeo = 0", "20000 save ini VGA DONGLE", "20000 OnPM",
          "20000 Goto suspend with cdeo = 4"},
         {"30000 Resume from suspend", "32000 Turn On device Mirror"},
         ""},
        {kXp,
         kNvidia,
         4,
         {"20000 Goto suspend with cdeo = 0", "20000 Goto suspend with cdeo = 4"},
         {"30000 Resume from suspend"},
         ""},
        // Windows 7 suspends without asking. A saved primary ext comes up as primary only there; the
        // Primary command at the wake puts the system's display back beside it, as it does without an
        // Intel chip.
        {kSeven,
         kNvidia,
         0,
         {"20000 Goto suspend with cdeo = 4", "20000 Goto suspend from Primary"},
         primaryBack,
         "DISPLAY1 1280x1024x32@60 1024,0; USB primary 1024x768x32@60 0,0; MIR off"},
        {kSeven,
         kIntel,
         1,
         {"20000 Goto suspend with cdeo = 4", "20000 Goto suspend from Primary"},
         primaryBack,
         ""},
        {kSeven,
         kNvidia,
         2,
         {"20000 Goto suspend with cdeo = 4", "20000 save ini VGA DONGLE"},
         {"30000 Resume from suspend", "32000 Turn On device extended"},
         ""},
        {kSeven,
         kNvidia,
         3,
         {"20000 Goto suspend with cdeo = 4", "20000 save ini VGA DONGLE", "20000 OnPM"},
         {"30000 Resume from suspend", "32000 Turn On device Mirror"},
         ""},
        {kSeven, kNvidia, 4, {"20000 Goto suspend with cdeo = 4"}, {"30000 Resume from suspend"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os + c.display + "state " + std::to_string(c.state));
        SimRun run = RunSim(c.os + c.display + "adapter plugged" + kAdapterModes + "\n" + Profile(c.state) +
                            "at 0 start\nat 19s dump\nat 20s suspend\nat 25s dump\nat 30s resume\nend 60s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(Marks(run, 20000, 30000, {"Goto", "OnPM", "save ini"}), c.suspend);
        EXPECT_EQ(run.Desk("dump 25000"), kOff);
        EXPECT_EQ(Marks(run, 30000, 60000, {"Resume", "resume", "Try", "Set to", "OnPrimary", "Turn On"}),
                  c.resume);
        EXPECT_EQ(run.Desk(), c.after.empty() ? run.Desk("dump 19000") : c.after);
        EXPECT_EQ(run.CountTrace("resume from primary\n"), c.state <= 1 ? 1 : 0);
    }
}

// A display that will not come back is tried again every 2 s (plus the 500 ms it is given to settle),
// with the count going up, for as long as the adapter is there; once it is pulled out the next timer finds
// no device and stops. One that comes back after a few refusals resets the count.
TEST(Suspend, ThePrimaryResumeRetriesCountingUpUntilTheDisplayComesBackOrTheDeviceGoes) {
    const std::string machine = kXp + kNvidia + "adapter plugged" + kAdapterModes;
    SimRun refused = RunSim(machine + " attach-refuses 1000\n" + Profile(0) +
                            "at 0 start\nat 20s suspend\nat 30s resume\nat 40s unplug\nend 60s\n");
    ASSERT_EQ(refused.exitStatus, 0) << refused.err;
    EXPECT_EQ(Marks(refused, 30000, 60000, {"Try", "resume from", "Set to"}),
              (Lines{"31000 resume from primary", "31000 Try to resume from primary count = 1",
                     "33500 resume from primary", "33500 Try to resume from primary count = 2",
                     "36000 resume from primary", "36000 Try to resume from primary count = 3",
                     "38500 resume from primary", "38500 Try to resume from primary count = 4",
                     "41000 resume from primary"}));
    EXPECT_EQ(refused.Desk(), kOff);

    SimRun later =
        RunSim(machine + " attach-refuses 3\n" + Profile(0) +
               "at 0 start\nat 20s suspend\nat 30s resume\nat 40s suspend\nat 50s resume\nend 60s\n");
    ASSERT_EQ(later.exitStatus, 0) << later.err;
    EXPECT_EQ(
        Marks(later, 30000, 60000, {"Try", "Set to"}),
        (Lines{"31000 Try to resume from primary count = 1", "33500 Try to resume from primary count = 2",
               "34000 Set to primary", "51000 Try to resume from primary count = 1",
               "53500 Try to resume from primary count = 2", "54000 Set to primary"}));
    EXPECT_EQ(later.Desk(), "DISPLAY1 1280x1024x32@60 1024,0; USB primary 1024x768x32@60 0,0; MIR off");
}

TEST(Suspend, TheSecondaryResumeRetriesEveryFourSeconds) {
    SimRun run = RunSim(kXp + kNvidia + "adapter plugged" + kAdapterModes + " attach-refuses 1000\n" +
                        Profile(2) + "at 0 start\nat 20s suspend\nat 30s resume\nat 45s unplug\nend 60s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(Marks(run, 30000, 60000, {"Turn On"}),
              (Lines{"32000 Turn On device extended", "36000 Turn On device extended",
                     "40000 Turn On device extended", "44000 Turn On device extended"}));
}

// A driver slow to be ready after the wake, and an adapter that Windows finds again at the wake: the
// display still comes back, through a new handle in the second case.
TEST(Suspend, AResumeWaitsForASlowDriverAndFollowsAnAdapterFoundAgain) {
    for (const char* option : {" resume-not-ready 4", " resume-reenumerates"}) {
        SCOPED_TRACE(option);
        SimRun run = RunSim(kXp + kNvidia + "adapter plugged" + kAdapterModes + option + "\n" + Profile(2) +
                            "at 0 start\nat 19s dump\nat 20s suspend\nat 30s resume\nend 60s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk(), run.Desk("dump 19000"));
    }
}

// A suspend leaves a monitor power cycle due on Vista and later with an Intel chip; the next command that
// runs it (Extended from primary only) switches the monitors off and on once.
TEST(Suspend, LeavesAMonitorPowerCycleForTheNextCommandThatRunsIt) {
    SimRun run = RunSim(kSeven + kIntel + "adapter plugged" + kAdapterModes + "\n" + Profile(1) +
                        "at 0 start\nat 20s suspend\nat 30s resume\nat 40s tray-click right\n"
                        "at 41s menu pick \"USB-VGA(Extended)\"\nat 50s tray-click right\n"
                        "at 51s menu pick \"USB-VGA(Primary)\"\nat 60s tray-click right\n"
                        "at 61s menu pick \"USB-VGA(Extended)\"\nend 70s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    Lines monitor = run.StateLines("monitor ");
    ASSERT_EQ(monitor.size(), 2u) << "once, by the first Extended after the suspend";
    EXPECT_NE(monitor[0].find(" off"), std::string::npos);
    EXPECT_NE(monitor[1].find(" on"), std::string::npos);
    EXPECT_EQ(monitor[0].rfind("monitor 4", 0), 0u) << monitor[0];
}

// While mirroring, a new resolution of the primary display is matched again: the mirror follows, falling
// back from 32 to 16 bits where the mirror driver cannot run at 32. Outside the mirror a change only reads
// the state again, and a change that leaves the primary's saved mode as it was does nothing at all.
TEST(DisplayChange, TheMirrorFollowsTheNewPrimaryResolutionAndNothingElseMoves) {
    const std::string modes = " modes 1280x1024x32 1280x1024x16 1024x768x32 1024x768x16 800x600x32";
    const struct {
        const char* name;
        std::string adapter;
        int state;
        const char* change;
        bool matched;
        std::string desk;
    } cases[] = {
        {"mirroring", "adapter plugged" + modes, 3, "1024x768x32", true,
         "DISPLAY1 primary 1024x768x32@60 0,0; USB off; MIR mirror 1024x768x32@60 0,0"},
        {"mirroring with a driver that cannot at 32 bits", "adapter plugged mirror-no-32" + modes, 3,
         "1024x768x32", true, "DISPLAY1 primary 1024x768x32@60 0,0; USB off; MIR mirror 1024x768x16@60 0,0"},
        {"extended", "adapter plugged" + modes, 2, "1024x768x32", false,
         "DISPLAY1 primary 1024x768x32@60 0,0; USB 1024x768x32@60 1024,0; MIR off"},
        {"mirroring, a change the registry does not keep", "adapter plugged" + modes, 3,
         "1024x768x32 temporary", false,
         "DISPLAY1 primary 1024x768x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(kXp +
                            "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60 "
                            "1024x768x16@60\n" +
                            c.adapter + "\n" + Profile(c.state) + "at 0 start\nat 20s display-mode " +
                            c.change + "\nend 30s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace("Display resolution change [Mirror]\n"), c.matched ? 1 : 0);
        const bool temporary = std::string(c.change).find("temporary") != std::string::npos;
        EXPECT_EQ(Marks(run, 20000, 30000, {"get display state"}).empty(), temporary);
        EXPECT_EQ(run.Desk(), c.desk);
    }
}
