// The resolution items of the tray menu and the 15-second confirmation that a resolution above
// 1024 x 768 needs: the countdown, each way to answer it, and the messages its nested loop still handles.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kMachine = "os 5.1\n"
                             "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n"
                             "adapter plugged modes 1280x1024x32 1024x768x32 800x600x32\n"
                             "profile \"VGA DONGLE\" DispState 2\nprofile \"VGA DONGLE\" FirstRun 1\n";

std::string Resolution(int w, int h) {
    return "profile \"VGA DONGLE\" Width " + std::to_string(w) + "\nprofile \"VGA DONGLE\" Height " +
           std::to_string(h) + "\nprofile \"VGA DONGLE\" BitDepth 32\n";
}

// The menu opens at 20 s and the item is picked at 21 s.
std::string PickAt21(const std::string& path) {
    return "at 0 start\nat 20s tray-click right\nat 21s menu pick \"Resolution\" " + path + "\n";
}
const std::string kHigh = "\"High Resolution\" \"&1280X1024X32\"";

std::string AdapterMode(const SimRun& run, const std::string& heading = "final") {
    std::string desk = run.Desk(heading);
    size_t usb = desk.find("USB ");
    return usb == std::string::npos ? desk : desk.substr(usb, desk.find(';', usb) - usb);
}

int SavesFrom(const SimRun& run, uint64_t ms) {
    int saves = 0;
    for (const TraceLine& t : run.traces)
        saves += t.ms >= ms && t.text == "save ini VGA DONGLE\n";
    return saves;
}

// The text of a control of the open dialog in a dump.
std::string ControlText(const SimRun& run, int id, const std::string& heading) {
    for (const std::string& line : run.StateLines("control ", heading)) {
        if (line.find(" id " + std::to_string(id) + " ") != std::string::npos)
            return line.substr(line.find(" text \"") + 7, line.size() - line.find(" text \"") - 8);
    }
    return "-";
}

struct Rect {
    long left = 0, top = 0, right = 0, bottom = 0;
};

// A display's place on the desktop, from an entry of Desk() ("DISPLAY1 primary 1280x1024x32@60 1280,0").
Rect DisplayRect(const std::string& desk, const std::string& name) {
    size_t at = desk.find(name + " ");
    if (at == std::string::npos)
        return {};
    std::string entry = desk.substr(at, desk.find(';', at) - at);
    long w = 0, h = 0, x = 0, y = 0;
    size_t mode = entry.find_first_of("0123456789", name.size());
    if (mode == std::string::npos || sscanf(entry.c_str() + mode, "%ldx%ld", &w, &h) != 2 ||
        sscanf(entry.c_str() + entry.rfind(' ') + 1, "%ld,%ld", &x, &y) != 2)
        return {};
    return {x, y, x + w, y + h};
}

} // namespace

// The question opens in front, centred on a display that stays on the desktop whatever the answer: the
// system's own display while it is on the desktop beside the adapter's, else the primary one, which is
// then the adapter's display itself.
TEST(Confirmation, OpensInFrontCentredOnTheSystemsDisplayWhileItIsAttached) {
    const struct {
        const char* name;
        const char* chip;
        int state;
        const char* on; // the display the dialog is centred on
    } cases[] = {
        {"primary, the system's display beside it", "PCI\\VEN_10DE&DEV_0421", 0, "DISPLAY1"},
        {"extended", "PCI\\VEN_10DE&DEV_0421", 2, "DISPLAY1"},
        {"primary only", "PCI\\VEN_8086&DEV_2A42", 1, "USB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run =
            RunSim("os 5.1\ndisplay " + std::string(c.chip) +
                   " primary modes 1280x1024x32@60 1024x768x32@60\n"
                   "adapter plugged modes 1280x1024x32 1024x768x32\nprofile \"VGA DONGLE\" DispState " +
                   std::to_string(c.state) + "\nprofile \"VGA DONGLE\" FirstRun 1\n" + Resolution(1024, 768) +
                   PickAt21(kHigh) + "at 22500 dump\nend 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const std::string desk = run.Desk("dump 22500");
        Rect dialog;
        std::string handle;
        for (const std::string& w : run.StateLines("window ", "dump 22500")) {
            if (w.find(" dialog 130 ") != std::string::npos) {
                handle = w.substr(7, w.find(' ', 7) - 7);
                sscanf(w.c_str() + w.find(" rect ") + 6, "%ld,%ld,%ld,%ld", &dialog.left, &dialog.top,
                       &dialog.right, &dialog.bottom);
            }
        }
        ASSERT_FALSE(handle.empty()) << testing::PrintToString(run.StateLines("window ", "dump 22500"));
        EXPECT_EQ(run.StateLines("foreground ", "dump 22500"), Lines{"foreground " + handle});
        const Rect display = DisplayRect(desk, c.on);
        EXPECT_EQ(dialog.right - dialog.left, 329);
        EXPECT_EQ(dialog.bottom - dialog.top, 225);
        EXPECT_LE(std::labs(dialog.left + dialog.right - display.left - display.right), 1) << desk;
        EXPECT_LE(std::labs(dialog.top + dialog.bottom - display.top - display.bottom), 1) << desk;
    }
}

// A larger resolution is applied at once and kept only when the user says so; every other answer, and
// none within 15 seconds, brings the old one back. The settings are saved once, with what is kept.
TEST(Confirmation, KeepsAResolutionAbove1024x768OnlyWhenTheUserConfirmsIt) {
    const struct {
        const char* answer; // at 25 s; "" lets the countdown run out
        const char* result;
        const char* kept;
        uint64_t endMs;
    } cases[] = {
        {"", "2", "USB 1024x768x32@60 1280,0", 36000},
        {"ok", "1", "USB 1280x1024x32@60 1280,0", 25000},
        {"cancel", "2", "USB 1024x768x32@60 1280,0", 25000},
        {"escape", "2", "USB 1024x768x32@60 1280,0", 25000},
        {"close", "2", "USB 1024x768x32@60 1280,0", 25000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.answer ? c.answer : "no answer");
        std::string answer = *c.answer ? std::string("at 25s dialog press ") + c.answer + "\n" : "";
        SimRun run = RunSim(kMachine + Resolution(1024, 768) + PickAt21(kHigh) + "at 22500 dump\n" + answer +
                            "end 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(InOrder(run.TextsFrom(21000), {"OnTraySetDPI nIndex 2\n", "set dpi 1280 1024 32\n"}));
        // Applied before the question.
        EXPECT_EQ(AdapterMode(run, "dump 22500"), "USB 1280x1024x32@60 1280,0");
        EXPECT_EQ(run.OutputLines("dialog "),
                  (Lines{"dialog 21000 1000 open 130 \"VGA Adapter Utility\"",
                         "dialog " + std::to_string(c.endMs) + " 1000 end 130 result " + c.result}));
        EXPECT_EQ(AdapterMode(run), c.kept);
        EXPECT_EQ(run.Saved("Width"), std::string(c.kept).substr(4, 4));
        EXPECT_EQ(SavesFrom(run, 21000), 1);
    }
}

TEST(Confirmation, CountsDownFrom15OnceASecondWithTheStringTableTexts) {
    SimRun run = RunSim(kMachine + Resolution(1024, 768) + PickAt21(kHigh) +
                        "at 21500 dump\nat 25500 dump\nat 35500 dump\nend 40s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ControlText(run, 1000, "dump 21500"), "15");
    EXPECT_EQ(ControlText(run, 1000, "dump 25500"), "11");
    EXPECT_EQ(ControlText(run, 1000, "dump 35500"), "1");
    const struct {
        int id;
        const char* text;
    } texts[] = {{1002, "Your desktop has been reconfigured"},
                 {1003, "Do you want to keep the setting?"},
                 {1004, "Reverting in"},
                 {1005, "Seconds"},
                 {1, "Ok"},
                 {2, "Cancel"}};
    for (const auto& t : texts)
        EXPECT_EQ(ControlText(run, t.id, "dump 21500"), t.text) << "control " << t.id;
    std::vector<std::string> windows = run.StateLines("window ", "dump 21500");
    EXPECT_TRUE(std::any_of(windows.begin(), windows.end(), [](const std::string& w) {
        return w.find("title \"VGA Adapter Utility\" visible dialog 130 modal") != std::string::npos;
    })) << testing::PrintToString(windows);
}

// Up to 1024 x 768 there is nothing to confirm; the resolution already shown changes nothing, not even
// the profile; an id past the end of the list (possible only once the list has changed) selects nothing.
TEST(Confirmation, AsksNothingUpTo1024x768AndDoesNothingForTheCurrentResolution) {
    const struct {
        const char* name;
        std::string scenario;
        const char* kept;
        int saves;
    } cases[] = {
        {"1024 x 768 from 800 x 600", kMachine + Resolution(800, 600) + PickAt21("\"&1024X768X32\""),
         "USB 1024x768x32@60 1280,0", 1},
        {"800 x 600 from 1024 x 768", kMachine + Resolution(1024, 768) + PickAt21("\"&800X600X32\""),
         "USB 800x600x32@60 1280,0", 1},
        {"the current 1024 x 768", kMachine + Resolution(1024, 768) + PickAt21("\"&1024X768X32\""),
         "USB 1024x768x32@60 1280,0", 0},
        {"an id past the list",
         kMachine + Resolution(1024, 768) + "at 0 start\nat 21s post \"WM_COMMAND\" 39960 0\n",
         "USB 1024x768x32@60 1280,0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(c.scenario + "end 30s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.OutputLines("dialog "), Lines{});
        EXPECT_EQ(AdapterMode(run), c.kept);
        EXPECT_EQ(SavesFrom(run, 21000), c.saves);
        EXPECT_EQ(run.CountTrace("OnTraySetDPI nIndex 10\n"), std::string(c.name) == "an id past the list");
    }
}

// While the question waits, the nested loop still handles the tray, a second start and the device: a
// menu opens, and an unplug takes the display and the icon away; the countdown then ends as usual.
TEST(Confirmation, TheCountdownsLoopStillHandlesTrayDeviceAndSecondStartMessages) {
    SimRun run =
        RunSim(kMachine + Resolution(1024, 768) + PickAt21(kHigh) +
               "at 23s tray-click right\nat 24s menu dismiss\nat 24500 start Turnoff\nat 26s unplug\n"
               "end 40s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    std::vector<ShownMenu> menus = run.Menus();
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[1].ms, 23000u);
    const TraceLine* turnOff = run.FindTrace("OnTurnOff\n");
    ASSERT_NE(turnOff, nullptr);
    EXPECT_EQ(turnOff->ms, 24500u);
    const TraceLine* removal = run.FindTrace("Remove device and Close handle\n");
    ASSERT_NE(removal, nullptr);
    EXPECT_EQ(removal->ms, 26000u);
    EXPECT_EQ(run.OutputLines("dialog ").back(), "dialog 36000 1000 end 130 result 2");
    EXPECT_EQ(run.StateLines("tray "), Lines{});
}

// Whatever ran while the question waited stands when it ends. A quit ends the dialog with nothing
// further; a display turned off or unplugged stays off; a deleted profile stays deleted; and the
// resolution the user never confirmed is not the one saved, whoever saved the settings meanwhile.
TEST(Confirmation, WhatRanWhileTheQuestionWaitedStandsWhenItEnds) {
    const struct {
        const char* name;
        const char* events; // the question is open from 21 s to 36 s
        bool adapterOn;
        const char* width;     // saved; "-" when the profile is gone
        const char* dispState; // saved
        bool running;
    } cases[] = {
        {"Close from a second start", "at 23s start Close\n", false, "1024", "2", false},
        {"Uninstall from a second start", "at 23s start Uninstall\n", false, "-", "-", false},
        {"Turnoff from a second start", "at 23s start Turnoff\n", false, "1024", "2", true},
        {"Off from the tray", "at 23s tray-click right\nat 24s menu pick \"USB-VGA(Off)\"\n", false, "1024",
         "4", true},
        {"an unplug", "at 23s unplug\n", false, "1024", "2", true},
        {"OK after Off from the tray",
         "at 23s tray-click right\nat 24s menu pick \"USB-VGA(Off)\"\nat 30s dialog press ok\n", false,
         "1280", "4", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimRun run = RunSim(kMachine + Resolution(1024, 768) + PickAt21(kHigh) + c.events + "end 40s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.Desk().find("USB ") != std::string::npos &&
                      run.Desk().find("USB off") == std::string::npos,
                  c.adapterOn)
            << run.Desk();
        EXPECT_EQ(run.Saved("Width"), c.width);
        EXPECT_EQ(run.Saved("DispState"), c.dispState);
        EXPECT_EQ(run.Ended(1000), !c.running);
    }
}
