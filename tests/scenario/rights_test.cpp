// User Account Control: what the program can do with the user's filtered token, and how an elevated
// instance still hears the shell and a second start at the user's normal rights.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string Machine(const std::string& os, const std::string& rights) {
    return "os " + os + "\n" + rights +
           "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n"
           "service UxSms running\n"
           "adapter plugged modes 1280x1024x32@60 1024x768x32@60\n"
           "profile \"VGA DONGLE\" DispState 2\nprofile \"VGA DONGLE\" FirstRun 1\n";
}

const char* const kNoRights = "Running without administrator rights: the desktop composition service and the "
                              "displays' attach switches cannot be changed\n";

} // namespace

// With an administrator's full token the composition service stops and the attach switch is written; with
// a filtered or a standard user's token both are refused, and the program says so once.
TEST(Rights, WithoutAnAdministratorsFullTokenTheProgramSaysSoOnceAndChangesNothingMachineWide) {
    const struct {
        const char* name;
        const char* rights;
        const char* start;
        bool full;
    } cases[] = {
        {"7, UAC on, not elevated", "uac on\n", "start", false},
        {"7, UAC on, elevated", "uac on\n", "start elevated", true},
        {"7, UAC off, standard user", "user standard\n", "start", false},
        {"7, UAC on, standard user, from the logon task", "uac on\nuser standard\n", "start elevated", false},
        {"7, UAC off, administrator", "", "start", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(Machine("6.1", c.rights) + "at 0 " + c.start + "\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace(kNoRights), c.full ? 0 : 1);
        EXPECT_EQ(run.StateLines("service UxSms "), Lines{c.full ? "service UxSms stopped starts 0 stops 1"
                                                                 : "service UxSms running starts 0 stops 0"});
        EXPECT_EQ(!run.StateLines("reg \"HKLM\\\\System").empty(), c.full) << "Attach.ToDesktop written";
    }
}

// The messages an instance takes from lower integrity: 7 filters per window, Vista per process, XP has no
// filter at all (and neither function to call).
TEST(Rights, LetsInExactlyItsFiveMessagesWhereWindowsFiltersThem) {
    const std::string kFive =
        " \"TaskbarCreated\" \"NotifyIcon\" \"TurnOff\" \"RemoveRegistry\" \"SISRotation\"";
    const struct {
        const char* os;
        Lines filters;
    } cases[] = {
        {"5.1", {}},
        {"6.0", {"filter process 1000" + kFive}},
        {"6.1", {"filter window 0x10010" + kFive}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.os);
        SimRun run = RunSim(Machine(c.os, "uac on\n") + "at 0 start elevated\nend 10s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.StateLines("filter "), c.filters);
    }
}

// An elevated instance on Vista and 7 still takes the verbs of a second start at normal rights and the
// shell's "TaskbarCreated"; a start at normal rights that the elevated instance's mutex refuses is a
// second start, not another instance.
TEST(Rights, AnElevatedInstanceHearsTheShellAndSecondStartsAtNormalRights) {
    for (const char* os : {"6.0", "6.1"}) {
        SCOPED_TRACE(os);
        SimRun run = RunSim(Machine(os, "uac on\n") +
                            "at 0 start elevated\nat 10s start\nat 20s start r90\nat 25s shell-restart\n"
                            "at 26s dump\nat 30s start Close\nend 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(run.Ended(1004)) << "the start refused the mutex";
        EXPECT_EQ(run.CountTrace("STARTUP_TIMER\n"), 1);
        EXPECT_EQ(run.Saved("RotationState"), "1");
        EXPECT_EQ(run.StateLines("tray ", "dump 26000").size(), 1u);
        EXPECT_TRUE(run.Ended(1000)) << "Close";
        EXPECT_EQ(run.OutputLines("note ").size(), 1u) << "nothing blocked";
    }
}
