// A primary display that the program lowered for mirroring and never put back (the program or Windows
// ended first) gets its saved resolution again at the next start.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>

namespace {

std::string SavedSystem(int x, int y, int z) {
    return "profile \"USBVGACONFIG\" SysX " + std::to_string(x) + "\nprofile \"USBVGACONFIG\" SysY " +
           std::to_string(y) + "\nprofile \"USBVGACONFIG\" SysZ " + std::to_string(z) + "\n";
}

// The fields of a mode set with its place.
const std::string kSize = "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY";
const std::string kSysValues = "reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\duodesk\\\\USBVGACONFIG\" ";

} // namespace

TEST(DisplayRestore, ASavedSystemResolutionIsPutBackAtStartAndStaysInTheProfile) {
    SimRun run = RunSim("display PCI\\VEN_10DE&DEV_0421 primary modes 800x600x16@60 1280x1024x32@60 "
                        "1024x768x16@60\n" +
                        SavedSystem(1280, 1024, 32) + "at 0 start\nend 2s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const TraceLine* init = run.FindTrace("Init 1280 1024 32\n");
    const TraceLine* restore = run.FindTrace("Restore system 1280 1024 32\n");
    const TraceLine* intel = run.FindTrace("Detect Intxl chip\n");
    ASSERT_TRUE(init && restore && intel);
    // The traces are in order: the chip is probed first, the restore follows its own announcement.
    EXPECT_LT(intel, init);
    EXPECT_EQ(init + 1, restore);
    // Written to the registry and in effect at once, without a reset.
    EXPECT_EQ(run.DisplayCalls(), std::vector<std::string>{"\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields " +
                                                           kSize + " flags CDS_UPDATEREGISTRY result 0"});
    ASSERT_EQ(run.StateLines("display \\\\.\\DISPLAY1 ").size(), 1u);
    EXPECT_NE(run.StateLines("display \\\\.\\DISPLAY1 ")[0].find(
                  "current 1280x1024x32@60 pos 0,0 registry 1280x1024x32@60 pos 0,0"),
              std::string::npos);
    EXPECT_TRUE(run.HasStateLine(kSysValues + "\"SysX\" dword 1280"));
    EXPECT_TRUE(run.HasStateLine(kSysValues + "\"SysY\" dword 1024"));
    EXPECT_TRUE(run.HasStateLine(kSysValues + "\"SysZ\" dword 32"));
}

TEST(DisplayRestore, NothingIsRestoredWhenAnyOfTheThreeValuesIsZeroOrMissing) {
    const std::string display =
        "display PCI\\VEN_10DE&DEV_0421 primary modes 800x600x16@60 1280x1024x32@60\n";
    for (const std::string& saved : {SavedSystem(1280, 1024, 0), SavedSystem(0, 1024, 32),
                                     std::string("profile \"USBVGACONFIG\" SysX 1280\n"), std::string()}) {
        SCOPED_TRACE(saved);
        SimRun run = RunSim(display + saved + "at 0 start\nend 2s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace("Restore system 1280 1024 32\n"), 0);
        EXPECT_TRUE(run.StateLines("cds ").empty());
    }
}

TEST(DisplayRestore, AStoredRefreshRateTheModeLacksFallsBackToItsLowestRate) {
    // The system's display runs at 85 Hz; the saved resolution exists only at 75 and 60.
    SimRun run = RunSim("display PCI\\VEN_10DE&DEV_0421 primary modes 800x600x16@85 1024x768x32@75,60\n" +
                        SavedSystem(1024, 768, 32) + "at 0 start\nend 2s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(
        run.DisplayCalls(),
        (std::vector<std::string>{
            "\\\\.\\DISPLAY1 1024x768x32@85 pos 0,0 fields " + kSize + " flags CDS_UPDATEREGISTRY result -2",
            "\\\\.\\DISPLAY1 1024x768x32@60 pos 0,0 fields DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|"
            "DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY result 0",
        }));
    EXPECT_NE(run.StateLines("display \\\\.\\DISPLAY1 ")[0].find("current 1024x768x32@60"),
              std::string::npos);
}

TEST(DisplayRestore, ASecondStartLeavesTheDisplayAlone) {
    SimRun run = RunSim("display PCI\\VEN_10DE&DEV_0421 primary modes 800x600x16@60 1280x1024x32@60\n" +
                        SavedSystem(1280, 1024, 32) + "at 0 start\nat 500 start Turnoff\nend 1s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Init 1280 1024 32\n"), 1);
    EXPECT_EQ(run.StateLines("cds ").size(), 1u);
}
