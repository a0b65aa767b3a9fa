// Finding, opening and waiting for the adapter's driver, as the start-up timer does it.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>

namespace {

// The readiness polls among the driver requests; the bring-up after them sends more.
std::vector<std::string> ReadinessPolls(const SimRun& run) {
    std::vector<std::string> polls;
    for (const std::string& line : run.StateLines("driver ")) {
        if (line.find("READY") != std::string::npos)
            polls.push_back(line);
    }
    return polls;
}

const std::string kUsbClass = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
const std::string kAdapterPath = "\\\\?\\usb#vid_5a1e&pid_7300#5&2a1c3b&0&1" + kUsbClass;
const char* const kDisplay = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60\n";

std::vector<std::string> Texts(const SimRun& run) {
    std::vector<std::string> texts;
    for (const TraceLine& t : run.traces)
        texts.push_back(t.text);
    return texts;
}

} // namespace

TEST(DeviceChannel, TheFirstMatchingInterfaceWinsAndOthersAreTracedOnTheWay) {
    std::string foreign = "\\\\?\\usb#vid_046d&pid_c52b#6&1f3e&0&2" + kUsbClass;
    std::string decoy = "\\\\?\\usb#vid_5a1e&pid_7300#decoy" + kUsbClass;
    SimRun run = RunSim(std::string(kDisplay) + "usb " + foreign + "\nusb " + decoy +
                        "\nadapter plugged\nat 0 start\nend 4s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Enum USB device " + foreign + "\n"), 1);
    EXPECT_EQ(run.CountTrace("got  device\n"), 1);
    EXPECT_EQ(run.CountTrace("Enum USB device " + kAdapterPath + "\n"), 0);
    std::vector<std::string> handles = run.StateLines("handle ");
    ASSERT_EQ(handles.size(), 1u);
    EXPECT_NE(handles[0].find(" file \"" + Escaped(decoy) + "\""), std::string::npos);
}

// A path too short for the detail record makes its fetch fail; the interfaces after it are still looked at.
TEST(DeviceChannel, AnInterfaceWhosePathCannotBeReadHidesNoneAfterIt) {
    SimRun run = RunSim(std::string(kDisplay) + "usb ab\nadapter plugged\nat 0 start\nend 4s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Enum USB device 0: no path\n"), 1);
    EXPECT_EQ(run.CountTrace("got  device\n"), 1);
    EXPECT_EQ(run.StateLines("handle ").size(), 1u) << run.out;
}

TEST(DeviceChannel, AnUpperCasePathMatches) {
    SimRun run =
        RunSim(std::string(kDisplay) + "adapter plugged path \"" +
               Escaped("\\\\?\\USB#VID_5A1E&PID_7300#5&2A1C3B&0&1#{A5DCBF10-6530-11D2-901F-00C04FB951ED}") +
               "\"\nat 0 start\nend 4s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("got  device\n"), 1);
    EXPECT_EQ(run.StateLines("handle ").size(), 1u);
}

TEST(DeviceChannel, TheStartUpTimerOpensTheDriverAfterTwoSecondsAndRegistersForItsRemoval) {
    SimRun run = RunSim(std::string(kDisplay) + "adapter plugged\nat 0 start\nend 4s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const TraceLine* timer = run.FindTrace("STARTUP_TIMER\n");
    const TraceLine* opened = run.FindTrace("got  device\n");
    ASSERT_TRUE(timer && opened);
    EXPECT_EQ(timer->ms, 1000u);
    EXPECT_EQ(opened->ms, 3000u);
    std::vector<std::string> notify = run.StateLines("notify ");
    ASSERT_EQ(notify.size(), 2u);
    EXPECT_NE(notify[0].find(" interface size 32 active"), std::string::npos);
    EXPECT_NE(notify[1].find(" handle "), std::string::npos);
}

TEST(DeviceChannel, ReadinessAnsweredAtOnceTakesOnePollAndNoPause) {
    SimRun run = RunSim(std::string(kDisplay) + "adapter plugged\nat 0 start\nend 4s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ReadinessPolls(run).size(), 2u);
    EXPECT_TRUE(run.HasStateLine("driver 3000 1000 IOCTL_DEV_READY in - out 1 ok"));
    EXPECT_TRUE(run.HasStateLine("driver 3000 1000 IOCTL_MIR_DEV_READY in - out 1 ok"));
    for (const std::string& text : Texts(run))
        EXPECT_EQ(text.find("DZTK"), std::string::npos) << text;
}

TEST(DeviceChannel, ReadinessAfterAFewPollsCountsThemEveryHalfSecond) {
    SimRun run = RunSim(std::string(kDisplay) +
                        "adapter plugged ready-after 2 mirror-ready-after 1\nat 0 start\nend 6s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    ASSERT_TRUE(run.FindTrace("DZTK: WaitDevReady ... 2\n"));
    EXPECT_EQ(run.FindTrace("DZTK: WaitDevReady ... 1\n")->ms, 3500u);
    EXPECT_EQ(run.FindTrace("DZTK: WaitDevReady ... 2\n")->ms, 4000u);
    EXPECT_FALSE(run.FindTrace("DZTK: WaitDevReady ... 3\n"));
    EXPECT_EQ(run.FindTrace("DZTK: WaitMirDevReady ... 1\n")->ms, 4500u);
    EXPECT_EQ(ReadinessPolls(run).size(), 5u);
}

TEST(DeviceChannel, ADriverThatNeverAnswersIsPolled42TimesOver20AndAHalfSeconds) {
    SimRun run = RunSim(std::string(kDisplay) + "adapter plugged ready-after never\nat 0 start\nend 60s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> polls = ReadinessPolls(run);
    ASSERT_EQ(polls.size(), 42u);
    EXPECT_EQ(polls.front().rfind("driver 3000 ", 0), 0u);
    EXPECT_EQ(polls.back().rfind("driver 23500 ", 0), 0u);
    for (int count = 1; count <= 41; ++count)
        EXPECT_EQ(run.CountTrace("DZTK: WaitDevReady ... " + std::to_string(count) + "\n"), 1) << count;
    EXPECT_EQ(run.CountTrace("DZTK: WaitDevReady ... 42\n"), 0);
    // The bring-up gives up: the mirror device is never asked.
    EXPECT_EQ(run.CountTrace("DZTK: WaitMirDevReady ... 1\n"), 0);
}

TEST(DeviceChannel, WithoutAnAdapterNothingIsOpenedAndTheProgramWaits) {
    SimRun run = RunSim(std::string(kDisplay) + "at 0 start\nend 10s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("STARTUP_TIMER\n"), 1);
    EXPECT_EQ(run.CountTrace("got  device\n"), 0);
    EXPECT_TRUE(run.StateLines("handle ").empty());
    EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe running cmd \"\""));
}

TEST(DeviceChannel, ADriverThatCannotBeOpenedLeavesTheAdapterNotReady) {
    SimRun run = RunSim(std::string(kDisplay) + "adapter plugged open-fails\nat 0 start\nend 6s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("got  device\n"), 1);
    EXPECT_EQ(run.CountTrace("Device arrival\n"), 1);
    EXPECT_TRUE(run.StateLines("driver ").empty());
    // Only the USB class registration exists; there is no handle to register.
    EXPECT_EQ(run.StateLines("notify ").size(), 1u);
}
