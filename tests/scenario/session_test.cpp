// The end of the Windows session, uninstall's removal of the registry tree, and the system's own display
// as the utility finds it at start.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kMachine = "os 5.1\n"
                             "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n"
                             "adapter plugged modes 1280x1024x32@60,75 1024x768x32 800x600x32\n"
                             "profile \"VGA DONGLE\" DispState 2\nprofile \"VGA DONGLE\" FirstRun 1\n";

const std::string kOff = "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off";

} // namespace

// Asked, the utility saves the adapter's refresh rate and agrees; told, it turns the adapter off and ends,
// also when another program cancelled the end (the flag is not looked at).
TEST(EndSession, SavesTheRefreshRateThenTurnsTheAdapterOffAndEndsWhateverTheOutcome) {
    for (const char* end : {"logoff", "shutdown", "logoff cancelled"}) {
        SCOPED_TRACE(end);
        SimRun run = RunSim(kMachine + "at 0 start\nat 19s dump\nat 20s " + end + "\nend 30s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Saved("Frequence", "VGA DONGLE", "dump 19000"), "-");
        EXPECT_EQ(run.Saved("Frequence"), "60");
        EXPECT_TRUE(
            InOrder(run.TextsFrom(20000), {"save frequence 60\n", "Enable Composition\n", "EndSession\n",
                                           "get display state: extended\n", "DetachDev ZTK\\USB2VGA\n"}));
        EXPECT_EQ(run.Desk(), kOff);
        EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe exit 0 cmd \"\""));
        // The answer was yes: Windows went on and ended the session, unless another program cancelled.
        const std::string how = std::string(end).find("cancelled") != std::string::npos
                                    ? "logoff cancelled"
                                    : std::string(end) + " ended";
        EXPECT_EQ(run.StateLines("session "), Lines{"session 20000 " + how});
    }
}

namespace {

std::string Key(const std::string& path) {
    return "regkey \"HKCU\\\\Software\\\\" + path + "\"";
}

} // namespace

// "RemoveRegistry" deletes the program's whole tree, every program's sections, depth first with a trace
// for each subkey it visits; a key that refuses deletion keeps every key above it; with no tree there is
// nothing to do. The utility ends in every case, and alone (without "TurnOff" before it) it leaves the
// adapter's display as it was.
TEST(Uninstall, RemovesTheProgramsRegistryTreeBottomUpAndEnds) {
    const std::string tree = Key("Kiva Dongle\\\\duodeskb\\\\VGA DONGLE") + " dword Width 800\n" +
                             Key("Kiva Dongle\\\\other") + " dword X 1\n" + Key("Other Vendor") +
                             " dword Y 2\n" + "profile \"USBVGACONFIG\" SysX 0\n";
    const struct {
        const char* name;
        std::string scenario;
        Lines traces; // the removal's, in order
        Lines left;   // what remains of HKCU\Software: the keys with values
    } cases[] = {
        {"a tree of three programs",
         kMachine + tree + "at 0 start\nat 20s start Uninstall\n",
         {"remove registry \n", "OnRemove Reg\n", "SubKey : duodesk\n", "SubKey : USBVGACONFIG\n",
          "SubKey : VGA DONGLE\n", "SubKey : duodeskb\n", "SubKey : VGA DONGLE\n", "SubKey : other\n"},
         {"Other Vendor"}},
        {"a section that refuses deletion",
         kMachine + tree + Key("Kiva Dongle\\\\duodeskb\\\\VGA DONGLE") + " deny-delete\n" +
             "at 0 start\nat 20s start Uninstall\n",
         {"SubKey : duodesk\n", "SubKey : duodeskb\n", "SubKey : VGA DONGLE\n",
          "Fail to Delete SubKey VGA DONGLE\n", "Fail to Delete SubKey duodeskb\n",
          "Fail to Delete SubKey Kiva Dongle\n"},
         {"Kiva Dongle\\duodeskb\\VGA DONGLE", "Kiva Dongle\\other", "Other Vendor"}},
        {"a key whose subkeys cannot be enumerated",
         kMachine + tree + Key("Kiva Dongle\\\\other") + " enum-fails 1015\n" +
             Key("Kiva Dongle\\\\other\\\\deep") + " dword Z 3\nat 0 start\nat 20s start Uninstall\n",
         {"SubKey : other\n", "Fail to enumerate SubKey of other, error 1015\n",
          "Fail to Delete SubKey other\n", "Fail to Delete SubKey Kiva Dongle\n"},
         {"Kiva Dongle\\other", "Kiva Dongle\\other\\deep", "Other Vendor"}},
        {"no tree at all",
         "os 5.1\n" + Key("Other Vendor") + " dword Y 2\nat 0 start\nat 20s start Uninstall\n",
         {"remove registry \n", "OnRemove Reg\n", "Failed to open subkey Kiva Dongle\n"},
         {"Other Vendor"}},
        {"nothing written yet: the user's hive still has its Software key",
         "os 5.1\nat 0 start\nat 20s start Uninstall\n",
         {"remove registry \n", "OnRemove Reg\n", "Failed to open subkey Kiva Dongle\n"},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(c.scenario + "end 30s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        Lines traces;
        for (std::string t : run.TextsFrom(20000)) {
            if (t.rfind("hKey ", 0) == 0)
                t = t.substr(t.find("SubKey"));
            traces.push_back(t);
        }
        EXPECT_TRUE(InOrder(traces, c.traces));
        Lines left;
        const std::string prefix = "reg \"HKCU\\\\Software\\\\";
        for (const std::string& line : run.StateLines(prefix)) {
            std::string path = line.substr(prefix.size(), line.find('"', prefix.size()) - prefix.size());
            std::string unescaped;
            for (size_t i = 0; i < path.size(); ++i)
                unescaped += path[i] == '\\' ? path[++i] : path[i];
            if (left.empty() || left.back() != unescaped)
                left.push_back(unescaped);
        }
        EXPECT_EQ(left, c.left);
        EXPECT_TRUE(run.HasStateLine("process 1000 duodesk.exe exit 0 cmd \"\""));
    }
    // Alone, "RemoveRegistry" ends the utility and leaves the adapter's display on the desktop.
    SimRun alone = RunSim(kMachine + "at 0 start\nat 20s post \"RemoveRegistry\" 0 0\nend 30s\n");
    ASSERT_EQ(alone.exitStatus, 0) << alone.err;
    EXPECT_EQ(alone.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off");
    EXPECT_EQ(alone.Saved("DispState"), "-");
    EXPECT_TRUE(alone.HasStateLine("process 1000 duodesk.exe exit 0 cmd \"\""));
}

// An output the user keeps off comes first in the enumeration: it is not the system's own display, so
// the bring-up as primary and the removal leave it off, and the primary display is the system's again.
TEST(SystemDisplay, AnOutputTheUserKeepsOffIsNeverTakenForTheSystemsOwn) {
    SimRun run =
        RunSim("os 5.1\ndisplay PCI\\VEN_1002&DEV_5B60 detached modes 1024x768x32@60\n"
               "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n"
               "adapter plugged modes 1024x768x32\nprofile \"VGA DONGLE\" DispState 0\n"
               "profile \"VGA DONGLE\" FirstRun 1\nat 0 start\nat 19s dump\nat 20s unplug\nend 30s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.Desk("dump 19000"),
              "DISPLAY1 off; DISPLAY2 1280x1024x32@60 1024,0; USB primary 1024x768x32@60 0,0; MIR off");
    EXPECT_EQ(run.Desk(), "DISPLAY1 off; DISPLAY2 primary 1280x1024x32@60 0,0; USB off; MIR off");
}
