// What the program finds out about the machine at start (Windows version and edition, an Intel chip on
// the system's display) and the composition service it stops before the driver is opened.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

const char* const kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60\n";

std::vector<std::string> TextsOf(const SimRun& run, unsigned pid) {
    std::vector<std::string> texts;
    for (const TraceLine& t : run.TracesOf(pid))
        texts.push_back(t.text);
    return texts;
}

// The traces before the first one that starts with `stop`.
std::vector<std::string> TextsBefore(const SimRun& run, const std::string& stop) {
    std::vector<std::string> texts;
    for (const TraceLine& t : run.traces) {
        if (t.text.rfind(stop, 0) == 0)
            break;
        texts.push_back(t.text);
    }
    return texts;
}

} // namespace

TEST(Probes, TheWindowsVersionIsTracedFirstThingAndOnlyForTheVersionsItKnows) {
    struct Case {
        const char* os;
        std::vector<std::string> traces;
    } cases[] = {
        {"os 5.0 csd \"Service Pack 4\"", {"OS : Windows 2000\n"}},
        {"os 5.1 csd \"Service Pack 3\"", {"OS : Windows XP, Service Pack = 0\n"}},
        {"os 5.1 csd \"Services Pack 2\"", {"OS : Windows XP, Service Pack = 2\n"}},
        {"os 6.0 csd \"Service Pack 2\"", {"OS : Windows Vista\n"}},
        {"os 6.1 edition Professional", {"OS : Windows 7\n"}},
        {"os 6.1 edition Starter", {"OS : Windows 7\n", "Starter Edition \n"}},
        {"os 6.2 build 9200", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.os);
        SimRun run = RunSim(std::string(c.os) + "\n" + kNvidia + "at 0 start\nend 2s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        // Probed while the window object is built, before the window exists and registers for devices.
        EXPECT_EQ(TextsBefore(run, "Handle of device notification"), c.traces);
    }
}

TEST(Probes, AnIntelChipOnTheSystemsDisplayIsFoundRightAfterTheWindowExists) {
    SimRun run = RunSim("os 6.1\n"
                        "display PCI\\VEN_8086&DEV_2A42&SUBSYS_01F91028 primary modes 1280x800x32@60\n"
                        "at 0 start\nend 2s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<std::string> texts = TextsOf(run, 1000);
    const std::vector<std::string> expected = {
        "OS : Windows 7\n",    "Handle of device notification 7a0000",
        "Detect Intxl chip\n", "Detect Intxl chip 1, bRet = 1, PCI\\VEN_8086&DEV_2A42&SUBSYS_01F91028\n",
        "Found Intxl \n",
    };
    ASSERT_GE(texts.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 5), expected);
}

TEST(Probes, WithoutAnIntelChipEveryDisplayIsLookedAtAndTheLastOneNamedTwice) {
    SimRun run = RunSim(std::string(kNvidia) + "display PCI\\VEN_1002&DEV_9442 modes 1024x768x32@60\n" +
                        "at 0 start\nend 2s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Detect Intxl chip 1, bRet = 1, PCI\\VEN_10DE&DEV_0421\n"), 1);
    EXPECT_EQ(run.CountTrace("Detect Intxl chip 2, bRet = 1, PCI\\VEN_1002&DEV_9442\n"), 1);
    EXPECT_EQ(run.CountTrace("Detect Intxl chip 3, bRet = 0, PCI\\VEN_1002&DEV_9442\n"), 1);
    EXPECT_EQ(run.CountTrace("Found Intxl \n"), 0);
}

TEST(Probes, ASecondStartProbesNothing) {
    SimRun run = RunSim(std::string("os 6.1 edition Starter\n") +
                        "display PCI\\VEN_8086&DEV_2A42 primary modes 1280x800x32@60\n"
                        "at 0 start\nat 500 start Turnoff\nend 1s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<unsigned> pids = run.Pids();
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_TRUE(run.TracesOf(pids[1]).empty());
    EXPECT_EQ(run.CountTrace("OS : Windows 7\n"), 1);
    EXPECT_EQ(run.CountTrace("Detect Intxl chip\n"), 1);
}

TEST(Probes, CompositionIsStoppedWhenTheAdapterIsFoundAndTheDriverOpensTwoSecondsLater) {
    SimRun run = RunSim(std::string("os 6.1\n") + kNvidia + "service UxSms running\nadapter plugged\n" +
                        "at 0 start\nend 5s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const TraceLine* stop = run.FindTrace("Stop DWM service success\n");
    const TraceLine* opened = run.FindTrace("got  device\n");
    ASSERT_TRUE(stop && opened);
    EXPECT_EQ(stop->ms, 1000u);
    EXPECT_EQ(opened->ms, 3000u);
    EXPECT_TRUE(run.HasStateLine("service UxSms stopped starts 0 stops 1"));
    EXPECT_EQ(run.StateLines("handle ").size(), 1u);
}

TEST(Probes, WithoutTheAdapterCompositionIsLeftRunning) {
    SimRun run = RunSim(std::string("os 6.1\n") + kNvidia + "service UxSms running\nat 0 start\nend 5s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Stop DWM service success\n"), 0);
    EXPECT_TRUE(run.HasStateLine("service UxSms running starts 0 stops 0"));
}

TEST(Probes, WhereThereIsNoCompositionServiceTheDriverStillOpensAfterThePause) {
    SimRun run = RunSim(std::string("os 5.1 csd \"Service Pack 3\"\n") + kNvidia + "adapter plugged\n" +
                        "at 0 start\nend 5s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const TraceLine* failed = run.FindTrace("OpenService fail\n");
    const TraceLine* opened = run.FindTrace("got  device\n");
    ASSERT_TRUE(failed && opened);
    EXPECT_EQ(failed->ms, 1000u);
    EXPECT_EQ(opened->ms, 3000u);
    EXPECT_TRUE(run.StateLines("service ").empty());
}

TEST(Probes, CompositionThatIsAlreadyStoppedIsReportedAndTheDriverStillOpens) {
    SimRun run = RunSim(std::string("os 6.0\n") + kNvidia + "service UxSms stopped\nadapter plugged\n" +
                        "at 0 start\nend 5s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Stop DWM service fail\n"), 1);
    EXPECT_EQ(run.CountTrace("Stop DWM Service\n"), 1);
    EXPECT_EQ(run.FindTrace("got  device\n")->ms, 3000u);
    EXPECT_TRUE(run.HasStateLine("service UxSms stopped starts 0 stops 0"));
}
