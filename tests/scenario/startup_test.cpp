// Start-up as a user and an installer see it: one resident instance, verbs forwarded by a second start,
// and the installer's resolution preset.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <cstring>
#include <string>

namespace {

const char* const kMachine = "os 5.1 csd \"Service Pack 3\"\n"
                             "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60\n"
                             "adapter plugged\n";

std::string Posts(const SimRun& run) {
    std::string posts;
    for (const std::string& line : run.StateLines("post "))
        posts += line.substr(line.find("message")) + "\n";
    return posts;
}

// The resident instance starts at 0; the second start comes at 500 ms, before the resident's start-up timer.
SimRun SecondStart(const std::string& commandLine, Deliverable deliverable = Deliverable::Duodesk) {
    return RunSim(std::string(kMachine) + "at 0 start\nat 500 start " + commandLine + "\nend 600\n",
                  deliverable);
}

} // namespace

TEST(Startup, EachVerbPostsItsMessagesToTheRunningInstance) {
    struct Case {
        const char* commandLine;
        const char* posts;
    } cases[] = {
        {"Uninstall",
         "message \"TurnOff\" wparam 0 lparam 0\nmessage \"RemoveRegistry\" wparam 0 lparam 0\n"},
        {"Turnoff", "message \"TurnOff\" wparam 0 lparam 0\n"},
        {"Close", "message \"TurnOff\" wparam 5418 lparam 0\n"},
        {"r0", "message \"SISRotation\" wparam 1 lparam 0\n"},
        {"r90", "message \"SISRotation\" wparam 2 lparam 0\n"},
        {"r180", "message \"SISRotation\" wparam 3 lparam 0\n"},
        {"r270", "message \"SISRotation\" wparam 4 lparam 0\n"},
        {"close", "message \"TurnOff\" wparam 5418 lparam 0\n"},
        {"UNINSTALL",
         "message \"TurnOff\" wparam 0 lparam 0\nmessage \"RemoveRegistry\" wparam 0 lparam 0\n"},
        // The verb is the whole text after the program name and the blanks the C runtime skips.
        {"\"Close \"", ""},
        {"\"  Close\"", "message \"TurnOff\" wparam 5418 lparam 0\n"},
        {"/Close", ""},
        {"Close now", ""},
        {"res 800 600 16", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        SimRun run = SecondStart(c.commandLine);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(Posts(run), c.posts);
        std::vector<unsigned> pids = run.Pids();
        ASSERT_EQ(pids.size(), 2u);
        EXPECT_TRUE(run.HasStateLine("process " + std::to_string(pids[1]) + " duodesk.exe exit 0 cmd \"" +
                                     (c.commandLine[0] == '"'
                                          ? std::string(c.commandLine + 1, strlen(c.commandLine) - 2)
                                          : std::string(c.commandLine)) +
                                     "\""));
        // The running instance is untouched by the second start's own start-up; only Close and
        // Uninstall (its "RemoveRegistry") end it.
        bool closes = std::string(c.posts).find("5418") != std::string::npos ||
                      std::string(c.posts).find("RemoveRegistry") != std::string::npos;
        EXPECT_EQ(run.HasStateLine("mutex \"KIVA 7300\" handles 1"), !closes);
    }
}

TEST(Startup, OnlyDuodeskTracesTheRotationVerbsAndItTracesBeforeLookingForTheWindow) {
    SimRun alone = RunSim(std::string(kMachine) + "at 0 start r180\nat 500 start r180\nend 600\n");
    ASSERT_EQ(alone.exitStatus, 0) << alone.err;
    std::vector<unsigned> pids = alone.Pids();
    ASSERT_EQ(pids.size(), 2u);
    ASSERT_EQ(alone.TracesOf(pids[1]).size(), 1u);
    EXPECT_EQ(alone.TracesOf(pids[1])[0].text, "rotatin r180\n");
    // A first start with a verb ignores it and becomes the resident instance.
    EXPECT_EQ(alone.CountTrace("rotatin r180\n"), 1);

    SimRun b = SecondStart("r270", Deliverable::Duodeskb);
    ASSERT_EQ(b.exitStatus, 0) << b.err;
    EXPECT_EQ(b.CountTrace("rotatin r270\n"), 0);
    EXPECT_EQ(Posts(b), "message \"SISRotation\" wparam 4 lparam 0\n");
}

TEST(Startup, AFirstStartWithUninstallStaysResidentAndOnlyTheForwardedUninstallRemovesTheTree) {
    SimRun run =
        RunSim(std::string(kMachine) + "profile \"VGA DONGLE\" Width 800\n"
                                       "at 0 start Uninstall\nat 50 dump\nat 100 start Uninstall\nend 200\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    // The first start became resident, ignoring its verb; only the second one forwarded anything.
    EXPECT_EQ(Posts(run),
              "message \"TurnOff\" wparam 0 lparam 0\nmessage \"RemoveRegistry\" wparam 0 lparam 0\n");
    EXPECT_EQ(run.Saved("Width", "VGA DONGLE", "dump"), "800");
    EXPECT_EQ(run.Saved("Width"), "-");
    EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe exit 0 cmd \"Uninstall\""));
}

TEST(Startup, CloseEndsTheRunningInstanceAndALaterStartIsResidentAgain) {
    SimRun run = RunSim(std::string(kMachine) + "at 0 start\nat 7s start Close\nat 8s start\nend 9s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<unsigned> pids = run.Pids();
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_TRUE(run.HasStateLine("process " + std::to_string(pids[0]) + " duodesk.exe exit 0 cmd \"\""));
    EXPECT_TRUE(run.HasStateLine("process " + std::to_string(pids[2]) + " duodesk.exe running cmd \"\""));
    EXPECT_EQ(run.CountTrace("[OnTurnOff] Close Utility\n"), 1);
    EXPECT_EQ(run.StateLines("window ").size(), 1u);
}

TEST(Startup, ResPresetWritesTheFourValuesInOrderAndEndsWithoutTouchingTheAdapter) {
    SimRun run = RunSim(std::string(kMachine) + "at 0 start res 1280 1024 16\nend 5s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::string key = "reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\duodesk\\\\VGA DONGLE\" ";
    EXPECT_TRUE(run.HasStateLine(key + "\"FirstRun\" dword 0"));
    EXPECT_TRUE(run.HasStateLine(key + "\"Height\" dword 1024"));
    EXPECT_TRUE(run.HasStateLine(key + "\"Width\" dword 1280"));
    EXPECT_TRUE(run.HasStateLine(key + "\"BitDepth\" dword 16"));
    EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe exit 0 cmd \"res 1280 1024 16\""));
    EXPECT_TRUE(run.StateLines("driver ").empty());
    EXPECT_TRUE(run.StateLines("window ").empty());
    EXPECT_TRUE(run.StateLines("mutex ").empty());
}

TEST(Startup, ResPresetNeedsExactlyFourArgumentsAndParsesLikeAtoi) {
    struct Case {
        const char* commandLine;
        bool preset;
        int width;
    } cases[] = {
        {"res 1024 768", false, 0},  {"res 1024 768 32 x", false, 0},    {"RES 1024 768 32", true, 1024},
        {"res abc 768 32", true, 0}, {"res 1280px 1024 16", true, 1280},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        SimRun run = RunSim(std::string(kMachine) + "at 0 start " + c.commandLine + "\nend 2s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<std::string> widths =
            run.StateLines("reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\duodesk\\\\VGA DONGLE\" \"Width\"");
        if (c.preset) {
            ASSERT_EQ(widths.size(), 1u);
            EXPECT_EQ(widths[0].substr(widths[0].rfind(' ') + 1), std::to_string(c.width));
            EXPECT_TRUE(run.StateLines("window ").empty());
        } else {
            EXPECT_TRUE(widths.empty());
            // Not the preset: the utility starts normally and stays resident.
            EXPECT_EQ(run.StateLines("window ").size(), 1u);
            EXPECT_EQ(run.CountTrace("STARTUP_TIMER\n"), 1);
        }
    }
}

TEST(Startup, ResPresetFromASecondStartWritesNothingAndPostsNothing) {
    SimRun run = SecondStart("res 800 600 16");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.StateLines("reg \"HKCU").empty());
    EXPECT_TRUE(run.StateLines("post ").empty());
}

TEST(Startup, DuodeskAndDuodeskbAreSeparateInstancesWithTheirOwnNames) {
    SimRun b = RunSim(std::string(kMachine) + "at 0 start\nend 1s\n", Deliverable::Duodeskb);
    ASSERT_EQ(b.exitStatus, 0) << b.err;
    EXPECT_TRUE(b.HasStateLine("mutex \"KIVA 7304\" handles 1"));
    ASSERT_EQ(b.StateLines("window ").size(), 1u);
    EXPECT_NE(b.StateLines("window ")[0].find("title \"KIVA 7304\" hidden dialog 102"), std::string::npos);
    EXPECT_TRUE(b.HasStateLine("process 1000 duodeskb.exe running cmd \"\""));
}

// A scenario that does not load runs nothing: one line on stderr names the file, the line and the problem
// (control characters of a quoted word escaped), and the exit status is 2.
TEST(Startup, ABadScenarioIsOneLineNamingItsFileAndLineWithExitStatus2) {
    const struct {
        const char* scenario;
        const char* says; // after "FILE:"
    } cases[] = {
        {"os 5.1\nbogus\n", "2: unknown statement 'bogus'"},
        {"display A primary modes 800x600x32@\nat 0 start\n",
         "1: mode '800x600x32@': a rate is missing after @"},
        {"display A \"x\\ny\"\n", "1: bad display option or mode, not 'x\\x0Ay'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scenario);
        SimRun run = RunSim(c.scenario);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.out, "");
        const std::string file = run.err.substr(0, run.err.find(':'));
        EXPECT_EQ(file.rfind("/tmp/", 0), 0u) << run.err;
        EXPECT_EQ(run.err, file + ":" + c.says + "\n");
    }
}
