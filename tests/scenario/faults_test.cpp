// What the fault sweep found: a platform call that fails, or an adapter that was never brought up, must
// leave nothing behind and must not write over what the user saved. One case per mend.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

const std::string kMachine = "os 5.1\n"
                             "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n"
                             "profile \"VGA DONGLE\" DispState 2\nprofile \"VGA DONGLE\" Width 800\n"
                             "profile \"VGA DONGLE\" Height 600\nprofile \"VGA DONGLE\" BitDepth 16\n"
                             "profile \"VGA DONGLE\" RotationState 0\nprofile \"VGA DONGLE\" FirstRun 1\n";
const std::string kPlugged = "adapter plugged modes 1280x1024x32@60 1024x768x32@60 800x600x16@60\n";

} // namespace

TEST(FaultMends, AFailedCallOrAnAdapterNeverBroughtUpLeavesNoMenuAndKeepsTheUsersProfile) {
    const struct {
        const char* name;
        std::string scenario;
        std::string trace; // the trace of the mended path
        int menusLeft;     // menus that exist at the end
        const char* state; // the DispState saved at the end
    } cases[] = {
        // The resolution submenu cannot be made: the "High Resolution" submenu, made all the same, cannot
        // be attached to it and is destroyed instead of left over.
        {"the resolution submenu not made",
         "fail CreateMenu\n" + kPlugged + "at 0 start\nat 6s tray-click right\nat 7s menu dismiss\n",
         "High resolution menu not attached\n", 0, "2"},
        // A rotation while the adapter is not plugged in, and while its open had failed: nothing was
        // loaded, so nothing is saved.
        {"a rotation with the adapter unplugged", "adapter\nat 0 start\nat 5s start r90\n",
         "save ini VGA DONGLE skipped: the settings were never loaded\n", 0, "2"},
        {"a rotation after a failed open", "fail CreateFileA\n" + kPlugged + "at 0 start\nat 5s start r270\n",
         "save ini VGA DONGLE skipped: the settings were never loaded\n", 0, "2"},
        // The registry cannot answer the profile's reads: the adapter comes up with the defaults, and
        // neither the removal nor a command writes them over the user's values.
        {"profile reads that fail",
         "fail RegQueryValueExA times always error 1021\n" + kPlugged +
             "at 0 start\nat 20s tray-click right\nat 21s menu pick \"USB-VGA(Mirror)\"\n"
             "at 30s unplug\n",
         "load ini failed, the profile is kept as it is\n", 0, "2"},
        // "USB-VGA(Off)", offered while the driver never got ready, is remembered without the zeros of
        // settings never loaded.
        {"Off before the driver was ready",
         "adapter plugged ready-after never modes 1024x768x32@60\nprofile \"VGA DONGLE\" DispState 0\n"
         "at 0 start\nat 25s tray-click right\nat 26s menu pick \"USB-VGA(Off)\"\n",
         "Write display state off\n", 0, "4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(kMachine + c.scenario + "end 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_GE(run.CountTrace(c.trace), 1);
        EXPECT_EQ(run.StateLines("hmenu ").size(), size_t(c.menusLeft));
        EXPECT_EQ(run.Saved("Width") + " " + run.Saved("Height") + " " + run.Saved("BitDepth") + " " +
                      run.Saved("RotationState"),
                  "800 600 16 0");
        EXPECT_EQ(run.Saved("DispState"), c.state);
    }
}
