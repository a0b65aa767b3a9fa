// The adapter plugged in after start, pulled out in each display state, plugged in again; and USB arrivals
// and removals that are not the adapter's.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Build {
    Deliverable deliverable;
    std::string exe;
    std::string usbId;
    std::string displayId; // as traced, one backslash
    std::string otherUsbId;
};

const Build kBuilds[] = {
    {Deliverable::Duodesk, "duodesk", "vid_5a1e&pid_7300", "ZTK\\USB2VGA", "vid_5a1e&pid_7304"},
    {Deliverable::Duodeskb, "duodeskb", "vid_5a1e&pid_7304", "ZTK\\USBVGA04", "vid_5a1e&pid_7300"},
};

// A device-interface path as a scenario writes it unquoted and the program sees it.
std::string UsbPath(const std::string& id, const std::string& instance = "5&2a1c3b&0&1") {
    return "\\\\?\\usb#" + id + "#" + instance + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

// The desktop: each attached display as "NAME MODE at X,Y", the primary and mirror drivers marked.
std::vector<std::string> Desktop(const SimRun& run, const std::string& heading = "final") {
    std::vector<std::string> desktop;
    for (const std::string& line : run.StateLines("display ", heading)) {
        std::vector<std::string> w = Words(line);
        // display NAME id "ID" flags FLAGS current MODE pos X,Y registry ...
        if (w.size() < 10 || w[5].find("attached") == std::string::npos)
            continue;
        std::string name = w[1].substr(w[1].rfind('\\') + 1);
        desktop.push_back(name + " " + w[7] + " at " + w[9] +
                          (w[5].find("primary") != std::string::npos ? " primary" : "") +
                          (w[5].find("mirror") != std::string::npos ? " mirror" : ""));
    }
    return desktop;
}

// Whether the display with this DeviceID (as the dump prints it) is present.
bool Present(const SimRun& run, const std::string& dumpedId, const std::string& heading = "final") {
    for (const std::string& line : run.StateLines("display ", heading)) {
        if (line.find(" id \"" + dumpedId + "\" ") != std::string::npos)
            return line.find(" flags absent") == std::string::npos;
    }
    return false;
}

// The "VGA DONGLE" section of the profile.
std::map<std::string, int> Profile(const SimRun& run, const Build& build,
                                   const char* section = "VGA DONGLE") {
    std::string prefix = "reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\" + build.exe + "\\\\" + section + "\" \"";
    std::map<std::string, int> values;
    for (const std::string& line : run.StateLines(prefix)) {
        size_t end = line.find('"', prefix.size());
        int value = 0;
        if (end != std::string::npos && sscanf(line.c_str() + end, "\" dword %d", &value) == 1)
            values[line.substr(prefix.size(), end - prefix.size())] = value;
    }
    return values;
}

// The value of the one handle the program holds, as its trace prints it; -2 when it holds none or several.
int HeldHandle(const SimRun& run, const std::string& heading = "final") {
    std::vector<std::string> handles = run.StateLines("handle ", heading);
    unsigned handle = 0;
    if (handles.size() != 1 || sscanf(handles[0].c_str(), "handle %*u 0x%x", &handle) != 1)
        return -2;
    return static_cast<int>(handle);
}

std::string PlugInTrace(const Build& build, int handle) {
    return "Device " + build.usbId + " was plug-in and create file handle = " + std::to_string(handle) +
           " \n";
}

// A state line with its time taken out, so that two runs can be compared.
std::vector<std::string> Untimed(const SimRun& run, const std::string& prefix) {
    std::vector<std::string> lines;
    for (const std::string& line : run.StateLines(prefix)) {
        lines.push_back(line.substr(line.find(' ', prefix.size()) + 1));
    }
    return lines;
}

const std::string kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n";
const std::string kAdapterModes = " modes 1280x1024x32@60 1024x768x32@60 800x600x16@60\n";

std::string State(int state) {
    return "profile \"VGA DONGLE\" DispState " + std::to_string(state) + "\n";
}

} // namespace

TEST(Removal, APlugInAfterStartBringsTheAdapterUpInItsSavedStateExactlyAsAtStart) {
    const std::string machine =
        "os 5.1\n"
        "display PCI\\VEN_10DE&DEV_0421 primary modes 1600x1200x32@60 1280x1024x32@60 "
        "1024x768x32@60\n"
        "display PCI\\VEN_1002&DEV_5B60 modes 1024x768x32@60 attached\n"
        "profile \"VGA DONGLE\" Width 1280\nprofile \"VGA DONGLE\" Height 1024\n";
    for (const Build& build : kBuilds) {
        for (int state = 0; state <= 4; ++state) {
            SCOPED_TRACE(build.exe + " in state " + std::to_string(state));
            SimRun atStart =
                RunSim(machine + State(state) + "adapter plugged" + kAdapterModes + "at 0 start\nend 30s\n",
                       build.deliverable);
            SimRun later = RunSim(machine + State(state) + "adapter" + kAdapterModes +
                                      "at 0 start\nat 5s dump\nat 5s plug\nend 30s\n",
                                  build.deliverable);
            ASSERT_EQ(atStart.exitStatus, 0) << atStart.err;
            ASSERT_EQ(later.exitStatus, 0) << later.err;
            // Nothing of the adapter before the plug.
            EXPECT_EQ(Desktop(later, "dump"),
                      (std::vector<std::string>{"DISPLAY1 1600x1200x32@60 at 0,0 primary",
                                                "DISPLAY2 1024x768x32@60 at 1600,0"}));
            EXPECT_TRUE(later.StateLines("handle ", "dump").empty());
            // The same layout, the same display calls and driver requests, the same profile.
            EXPECT_EQ(Desktop(later), Desktop(atStart));
            EXPECT_EQ(Untimed(later, "cds "), Untimed(atStart, "cds "));
            EXPECT_EQ(Untimed(later, "driver "), Untimed(atStart, "driver "));
            EXPECT_EQ(Profile(later, build), Profile(atStart, build));
            if (state != 4) {
                EXPECT_NE(Desktop(later), Desktop(later, "dump"));
            }
        }
    }
}

TEST(Removal, APlugInIsOpenedAfterTheCompositionPauseAndBroughtUpByTheArrivalTimerTwoSecondsLater) {
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.exe);
        SimRun run = RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) +
                                "adapter" + kAdapterModes + "at 0 start\nat 5s plug\nend 20s\n",
                            build.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        // Without the adapter the start-up timer finds nothing and nothing else happens until the plug.
        std::vector<std::string> beforePlug;
        for (const TraceLine& t : run.traces) {
            if (t.ms > 0 && t.ms < 5000)
                beforePlug.push_back(t.text);
        }
        EXPECT_EQ(beforePlug, std::vector<std::string>{"STARTUP_TIMER\n"});

        int handle = HeldHandle(run);
        ASSERT_GT(handle, 0);
        EXPECT_NE(run.StateLines("handle ")[0].find(" file \"" + Escaped(UsbPath(build.usbId)) + "\""),
                  std::string::npos);

        const TraceLine* stop = run.FindTrace("Stop DWM service success\n");
        const TraceLine* opened = run.FindTrace(PlugInTrace(build, handle));
        const TraceLine* arrival = run.FindTrace("Device arrival\n");
        ASSERT_TRUE(stop && opened && arrival);
        EXPECT_EQ(stop->ms, 5000u);
        EXPECT_EQ(opened->ms, 7000u);
        EXPECT_EQ(arrival->ms, 9000u);
        EXPECT_EQ(run.CountTrace("Device arrival\n"), 1);
        EXPECT_EQ(run.CountTrace("got  device\n"), 0);
        EXPECT_TRUE(run.HasStateLine("service UxSms stopped starts 0 stops 1"));
        std::vector<std::string> notify = run.StateLines("notify ");
        ASSERT_EQ(notify.size(), 2u);
        EXPECT_NE(notify[1].find(" handle size "), std::string::npos);
        EXPECT_NE(notify[1].find(" active"), std::string::npos);
        EXPECT_EQ(Desktop(run), (std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary",
                                                          "DISPLAY2 1024x768x32@60 at 1280,0"}));
        EXPECT_TRUE(run.FindTrace("Got extend name \\\\.\\DISPLAY2 " + build.displayId + " \n"));
    }
}

namespace {

struct UnplugCase {
    const char* name;
    std::string machine;    // os, displays, what the profile holds
    int state;              // the profile's DispState at start
    const char* userMode;   // the mode the user gives the adapter's display before the unplug, or null
    const char* readBack;   // the state the removal reads back
    std::vector<int> saved; // DispState, Width, Height, BitDepth in the profile afterwards
    std::vector<std::string> desktop;
};

} // namespace

TEST(Removal, AnUnplugInEachStateSavesWhatTheAdapterShowsAndGivesTheDesktopBack) {
    const std::string ati = "display PCI\\VEN_1002&DEV_5B60 modes 1024x768x32@60 attached\n";
    const std::vector<UnplugCase> cases = {
        {"primary ext, a second display extending it",
         "os 5.1\n" + kNvidia + ati,
         0,
         "800x600x16",
         "get display state: primary ext\n",
         {0, 800, 600, 16},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary", "DISPLAY2 1024x768x32@60 at 1280,0"}},
        {"primary ext on Windows 7, brought up as primary only",
         "os 6.1 edition Professional\n" + kNvidia + ati,
         0,
         nullptr,
         "get display state: primary ext\n",
         {0, 1024, 768, 32},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary", "DISPLAY2 1024x768x32@60 at 1280,0"}},
        {"primary only with an Intel chip",
         "os 5.1\ndisplay PCI\\VEN_8086&DEV_2A42 primary modes 1280x1024x32@60 1024x768x32@60\n",
         1,
         "1280x1024x32",
         "get display state: primary only\n",
         {1, 1280, 1024, 32},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary"}},
        {"extended",
         "os 6.1 edition Professional\n" + kNvidia,
         2,
         "800x600x16",
         "get display state: extended\n",
         {2, 800, 600, 16},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary"}},
        {"mirror, the mirror driver's mode",
         "os 6.0\n" + kNvidia,
         3,
         nullptr,
         "get display state: mirror\n",
         {3, 1280, 1024, 32},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary"}},
        // A display off the desktop reports a current mode of 0 x 0 x 0: nothing is saved, so the profile
        // keeps the resolution it had.
        {"off",
         "os 6.1 edition Professional\n" + kNvidia +
             "profile \"VGA DONGLE\" Width 800\n"
             "profile \"VGA DONGLE\" Height 600\nprofile \"VGA DONGLE\" BitDepth 16\n",
         4,
         nullptr,
         "get display state: off\n",
         {4, 800, 600, 16},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary"}},
    };
    for (const Build& build : kBuilds) {
        for (const UnplugCase& c : cases) {
            SCOPED_TRACE(build.exe + ", " + c.name);
            bool six = c.machine.rfind("os 6.", 0) == 0;
            std::string scenario = c.machine + State(c.state) + (six ? "service UxSms running\n" : "") +
                                   "adapter plugged" + kAdapterModes + "at 0 start\n";
            if (c.userMode)
                scenario += "at 8s display-mode " + build.displayId + " " + c.userMode + "\n";
            SimRun run = RunSim(scenario + "at 12s unplug\nend 20s\n", build.deliverable);
            ASSERT_EQ(run.exitStatus, 0) << run.err;

            std::map<std::string, int> profile = Profile(run, build);
            EXPECT_EQ((std::vector<int>{profile["DispState"], profile["Width"], profile["Height"],
                                        profile["BitDepth"]}),
                      c.saved);
            EXPECT_EQ(Desktop(run), c.desktop);
            EXPECT_FALSE(Present(run, Escaped(build.displayId)));

            bool attached = c.state != 4;
            std::vector<std::string> removal = {"Remove device \n", "Update displaydev successful\n",
                                                c.readBack};
            if (attached) {
                removal.push_back("save ini VGA DONGLE\n");
                removal.push_back("DISPLAYCHANGE x = " + std::to_string(c.saved[1]) + ", y = " +
                                  std::to_string(c.saved[2]) + ", z = " + std::to_string(c.saved[3]) + "\n");
            }
            removal.push_back("TurnOffDev \n");
            removal.push_back("Remove device and Close handle\n");
            EXPECT_EQ(run.CountTrace("save ini VGA DONGLE\n"), attached ? 1 : 0);
            if (six)
                removal.push_back("Enable Composition\n");
            EXPECT_TRUE(InOrder(run.TextsFrom(12000), removal));
            EXPECT_EQ(run.CountTrace("Remove device \n"), 1);
            EXPECT_EQ(run.CountTrace("Enable Composition\n"), six ? 1 : 0);
            if (six) {
                EXPECT_TRUE(run.HasStateLine("service UxSms running starts 1 stops 1"));
            }

            // The handle is closed and its registration ended; arrivals are still listened for.
            EXPECT_TRUE(run.StateLines("handle ").empty());
            std::vector<std::string> notify = run.StateLines("notify ");
            ASSERT_EQ(notify.size(), 2u);
            EXPECT_NE(notify[0].find(" interface size 32 active"), std::string::npos);
            EXPECT_NE(notify[1].find(" handle size "), std::string::npos);
            EXPECT_NE(notify[1].find(" inactive"), std::string::npos);
        }
    }
}

TEST(Removal, AMirrorUnplugPutsBackTheSystemResolutionOnlyWhenTheMirrorLoweredIt) {
    struct Case {
        const char* name;
        std::string machine;
        std::vector<std::string> desktopBefore, desktopAfter;
        int restores;
        std::vector<int> sysRes; // "SysX", "SysY", "SysZ" in the profile afterwards
    };
    const std::string sys = "display PCI\\VEN_10DE&DEV_0421 primary modes 1600x1200x32@60 1280x1024x32@60 "
                            "1024x768x32@60";
    const std::vector<Case> cases = {
        // The adapter shows at most 1280 x 1024, so the mirror lowered the system's display.
        {"lowered",
         sys + "\n",
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary", "DISPLAY3 1280x1024x32@60 at 0,0 mirror"},
         {"DISPLAY1 1600x1200x32@60 at 0,0 primary"},
         2,
         {1600, 1200, 32}},
        {"not lowered",
         sys + " current 1280x1024x32\n",
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary", "DISPLAY3 1280x1024x32@60 at 0,0 mirror"},
         {"DISPLAY1 1280x1024x32@60 at 0,0 primary"},
         0,
         {0, 0, 0}},
    };
    for (const Build& build : kBuilds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(build.exe + ", " + c.name);
            SimRun run = RunSim("os 6.1 edition Professional\n" + c.machine + State(3) + "adapter plugged" +
                                    kAdapterModes + "at 0 start\nat 10s dump\nat 12s unplug\nend 20s\n",
                                build.deliverable);
            ASSERT_EQ(run.exitStatus, 0) << run.err;
            EXPECT_EQ(Desktop(run, "dump"), c.desktopBefore);
            EXPECT_EQ(Desktop(run), c.desktopAfter);
            // Once when the mirror is taken off, once more on the way out.
            int restores = 0;
            for (const std::string& text : run.TextsFrom(12000)) {
                if (text.rfind("Restore system ", 0) == 0) {
                    EXPECT_EQ(text, "Restore system 1600 1200 32\n");
                    ++restores;
                }
            }
            EXPECT_EQ(restores, c.restores);
            std::map<std::string, int> profile = Profile(run, build);
            EXPECT_EQ((std::vector<int>{profile["DispState"], profile["Width"], profile["Height"],
                                        profile["BitDepth"]}),
                      (std::vector<int>{3, 1280, 1024, 32}));
            // A saved system resolution stays in the profile for the next start.
            std::map<std::string, int> sysRes = Profile(run, build, "USBVGACONFIG");
            EXPECT_EQ((std::vector<int>{sysRes["SysX"], sysRes["SysY"], sysRes["SysZ"]}), c.sysRes);
        }
    }
}

TEST(Removal, TheQueryAndTheCompletedRemovalRunTheRemovalOnceWhileTheDisplaysAreStillThere) {
    // Windows 7 brings a saved primary ext up as primary only, pausing a second in between; the adapter is
    // pulled during that pause and its notifications wait until the bring-up is done.
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.exe);
        SimRun run = RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(0) +
                                "adapter plugged" + kAdapterModes + "at 0 start\nat 3500 unplug\nend 10s\n",
                            build.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const TraceLine* removal = run.FindTrace("Remove device \n");
        ASSERT_TRUE(removal);
        EXPECT_EQ(removal->ms, 4000u);
        EXPECT_EQ(run.CountTrace("Remove device \n"), 1);
        EXPECT_EQ(run.CountTrace("Remove device and Close handle\n"), 1);
        EXPECT_EQ(run.CountTrace("Update displaydev Failed\n"), 0);
        EXPECT_TRUE(
            InOrder(run.TextsFrom(4000),
                    {"Remove device \n", "Update displaydev successful\n", "get display state: primary ext\n",
                     "DISPLAYCHANGE x = 1024, y = 768, z = 32\n", "SetSysToPrimary\n",
                     "DetachDev " + build.displayId + "\n", "get return 0\n", "TurnOffDev \n"}));
        // The removal's own calls reached a present adapter display and took it off the desktop.
        std::vector<std::string> removalCalls;
        for (const std::string& line : run.StateLines("cds 4000 ")) {
            if (line.find("\\\\.\\DISPLAY2 fields 0x7C00A0 mode 0x0x32@60") != std::string::npos)
                removalCalls.push_back(line);
        }
        ASSERT_FALSE(removalCalls.empty());
        for (const std::string& line : removalCalls)
            EXPECT_NE(line.find(" result 0"), std::string::npos) << line;
        EXPECT_EQ(Desktop(run), std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary"});
        EXPECT_FALSE(Present(run, Escaped(build.displayId)));
        EXPECT_TRUE(run.StateLines("handle ").empty());
    }
}

TEST(Removal, ArrivalsOfOtherUsbDevicesAreIgnoredAndTheAdapterStillComesUpAfterThem) {
    for (const Build& build : kBuilds) {
        for (const std::string& foreign :
             {UsbPath("vid_046d&pid_c52b", "6&1f3e&0&2"), UsbPath(build.otherUsbId, "5&2a1c3b&0&2")}) {
            SCOPED_TRACE(build.exe + ", " + foreign);
            SimRun run = RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) +
                                    "adapter" + kAdapterModes + "at 0 start\nat 5s plug-usb " + foreign +
                                    "\nat 9s dump\nat 10s plug\nat 20s unplug-usb " + foreign + "\nend 25s\n",
                                build.deliverable);
            ASSERT_EQ(run.exitStatus, 0) << run.err;
            // No composition pause, no open, no arrival timer for the foreign device.
            std::vector<std::string> afterForeign;
            for (const TraceLine& t : run.traces) {
                if (t.ms >= 5000 && t.ms < 10000)
                    afterForeign.push_back(t.text);
            }
            EXPECT_EQ(afterForeign, std::vector<std::string>{});
            EXPECT_TRUE(run.StateLines("handle ", "dump").empty());
            EXPECT_TRUE(run.HasStateLine("usb \"" + Escaped(foreign) + "\" present", "dump"));
            // The adapter afterwards: opened and brought up as ever; the foreign device's removal is not its.
            ASSERT_TRUE(run.FindTrace("Device arrival\n"));
            EXPECT_EQ(run.FindTrace("Device arrival\n")->ms, 14000u);
            EXPECT_EQ(run.CountTrace("Device arrival\n"), 1);
            EXPECT_EQ(run.CountTrace("Remove device \n"), 0);
            EXPECT_TRUE(run.HasStateLine("usb \"" + Escaped(foreign) + "\" absent"));
            EXPECT_EQ(run.StateLines("handle ").size(), 1u);
            EXPECT_EQ(Desktop(run), (std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary",
                                                              "DISPLAY2 1024x768x32@60 at 1280,0"}));
        }
    }
}

TEST(Removal, AnotherArrivalWithTheAdaptersIdIsIgnoredWhileTheAdapterIsOpen) {
    struct Case {
        const char* name;
        const char* adapter;
        const char* events;
        uint64_t arrivalMs;
    };
    // A second unit: while the first is up, and while the first waits for its arrival timer.
    const Case cases[] = {
        {"up", "adapter plugged", "at 0 start\nat 6s plug-usb SECOND\n", 3000},
        {"opened", "adapter", "at 0 start\nat 5s plug\nat 8s plug-usb SECOND\n", 9000},
    };
    for (const Build& build : kBuilds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(build.exe + ", " + c.name);
            std::string events = c.events;
            events.replace(events.find("SECOND"), 6, UsbPath(build.usbId, "5&2a1c3b&0&2"));
            SimRun run = RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) +
                                    c.adapter + kAdapterModes + events + "end 20s\n",
                                build.deliverable);
            ASSERT_EQ(run.exitStatus, 0) << run.err;
            ASSERT_EQ(run.CountTrace("Device arrival\n"), 1);
            EXPECT_EQ(run.FindTrace("Device arrival\n")->ms, c.arrivalMs);
            EXPECT_EQ(run.CountTrace("Stop DWM service success\n"), 1);
            std::vector<std::string> handles = run.StateLines("handle ");
            ASSERT_EQ(handles.size(), 1u);
            EXPECT_NE(handles[0].find(Escaped(UsbPath(build.usbId))), std::string::npos);
            EXPECT_TRUE(
                run.HasStateLine("usb \"" + Escaped(UsbPath(build.usbId, "5&2a1c3b&0&2")) + "\" present"));
        }
    }
}

TEST(Removal, APlugInBeforeTheStartUpTimerOpensTheAdapterOnceAndBringsItUpOnce) {
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.exe);
        SimRun run =
            RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) + "adapter" +
                       kAdapterModes + "at 0 start\nat 500 plug\nat 10s unplug\nend 15s\n",
                   build.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        // The arrival opened it; the start-up timer, overdue by then, finds it open and leaves it to the
        // arrival timer.
        EXPECT_EQ(run.CountTrace("STARTUP_TIMER\n"), 1);
        EXPECT_EQ(run.CountTrace("got  device\n"), 0);
        EXPECT_EQ(run.CountTrace("Stop DWM service success\n"), 1);
        ASSERT_EQ(run.CountTrace("Device arrival\n"), 1);
        EXPECT_EQ(run.FindTrace("Device arrival\n")->ms, 4500u);
        EXPECT_EQ(run.StateLines("driver ").size(), 3u); // two readiness polls and the rotation
        // After the unplug nothing is left open or registered on the adapter.
        EXPECT_TRUE(run.StateLines("handle ").empty());
        std::vector<std::string> notify = run.StateLines("notify ");
        ASSERT_EQ(notify.size(), 2u);
        EXPECT_NE(notify[1].find(" inactive"), std::string::npos);
        EXPECT_EQ(Desktop(run), std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary"});
    }
}

TEST(Removal, ARePlugBringsTheAdapterBackInTheStateAndResolutionItWasPulledIn) {
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.exe);
        SimRun run =
            RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) +
                       "adapter plugged" + kAdapterModes + "at 0 start\nat 10s dump\nat 11s display-mode " +
                       build.displayId + " 800x600x16\nat 12s unplug\nat 20s plug\nend 30s\n",
                   build.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.CountTrace("Device arrival\n"), 2);
        const TraceLine* opened = run.FindTrace(PlugInTrace(build, HeldHandle(run)));
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->ms, 22000u);
        EXPECT_EQ(Desktop(run), (std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary",
                                                          "DISPLAY2 800x600x16@60 at 1280,0"}));
        // A new handle with a registration of its own; the old registration stays ended.
        ASSERT_GT(HeldHandle(run, "dump"), 0);
        EXPECT_NE(HeldHandle(run), HeldHandle(run, "dump"));
        std::vector<std::string> notify = run.StateLines("notify ");
        ASSERT_EQ(notify.size(), 3u);
        EXPECT_NE(notify[1].find(" inactive"), std::string::npos);
        EXPECT_NE(notify[2].find(" handle size "), std::string::npos);
        EXPECT_EQ(notify[2].find(" inactive"), std::string::npos);
        EXPECT_EQ(run.CountTrace("Stop DWM service success\n"), 2);
        EXPECT_EQ(run.CountTrace("Enable Composition\n"), 1);
    }
}

TEST(Removal, AnUnplugBeforeTheBringUpDropsTheHandleAndTheRePlugBringsTheAdapterUp) {
    // Pulled while the arrival timer waits: no handle registration exists yet, so only the interface's
    // own removal tells of it. The dead handle goes, and the re-plug is a new arrival.
    for (const Build& build : kBuilds) {
        SCOPED_TRACE(build.exe);
        SimRun run = RunSim("os 6.1 edition Professional\nservice UxSms running\n" + kNvidia + State(2) +
                                "adapter" + kAdapterModes +
                                "at 0 start\nat 5s plug\nat 8s unplug\nat 9s dump\nat 10s plug\nend 40s\n",
                            build.deliverable);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(
            InOrder(run.TextsFrom(8000),
                    {"Device " + build.usbId + " was removed before its handle heard of it\n",
                     "Remove device \n", "Remove device and Close handle\n", "Enable Composition\n"}));
        EXPECT_TRUE(run.StateLines("handle ", "dump").empty());
        EXPECT_EQ(run.CountTrace("Device arrival\n"), 1) << "the first arrival timer was stopped";
        int handle = HeldHandle(run);
        ASSERT_GT(handle, 0);
        const TraceLine* opened = run.FindTrace(PlugInTrace(build, handle));
        ASSERT_TRUE(opened);
        EXPECT_EQ(opened->ms, 12000u);
        EXPECT_EQ(Desktop(run), (std::vector<std::string>{"DISPLAY1 1280x1024x32@60 at 0,0 primary",
                                                          "DISPLAY2 1024x768x32@60 at 1280,0"}));
        EXPECT_EQ(run.CountTrace("Stop DWM service success\n"), 2);
    }
}
