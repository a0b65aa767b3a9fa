// The tray icon through the adapter's life and a restart of the shell, the mouse presses that open the
// menu, and the menu itself in each of its cases. Both deliverables where they differ.
#include <gtest/gtest.h>

#include "sim_runner.h"

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const std::string kXp = "os 5.1\n";
const std::string kNvidia = "display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60\n";
// The worked example's list: two depths at each of three sizes.
const std::string kAdapter =
    "adapter plugged modes 800x600x16 800x600x32 1024x768x16 1024x768x32 1280x1024x16 1280x1024x32\n";

std::string Profile(int nState, const std::string& more = "") {
    return "profile \"VGA DONGLE\" DispState " + std::to_string(nState) +
           "\nprofile \"VGA DONGLE\" FirstRun 1\nprofile \"VGA DONGLE\" Width 1024\n"
           "profile \"VGA DONGLE\" Height 768\nprofile \"VGA DONGLE\" BitDepth 32\n" +
           more;
}

// The notification record on this 64-bit simulator: the version-2 layout, which the shipped 32-bit
// build sends as 488 bytes. The icon is a copy of the small-icon size (16 pixels at 96 DPI) that stays
// alive while the program runs, also through a restart of the shell.
std::string TrayLine(Deliverable d) {
    return std::string(
               "tray 0x10010 id 128 pid 1000 flags 7 callback 0xC001 icon 0x30010 16x16 size 504 tip \"") +
           (d == Deliverable::Duodesk ? "USB 2.0 VGA DEVICE-1" : "USB 2.0 VGA DEVICE-3") + "\"";
}

const Lines kStateItems = {"  [ ] \"USB-VGA(Primary)\" 32771", "  [ ] \"USB-VGA(Extended)\" 32772",
                           "  [ ] \"USB-VGA(Off)\" 32774", "  [ ] \"USB-VGA(Mirror)\" 32773"};

} // namespace

TEST(TrayIcon, ShowsFromTheAdapterOpeningToItsRemovalAndComesBackWhenTheShellRestarts) {
    for (Deliverable d : {Deliverable::Duodesk, Deliverable::Duodeskb}) {
        SCOPED_TRACE(ExeName(d));
        SimRun run = RunSim(kXp + kNvidia + Profile(2) + kAdapter +
                                "at 0 start\nat 3000 dump\nat 3001 dump\nat 10s unplug\nat 11s dump\n"
                                "at 12s shell-restart\nat 13s dump\nat 20s plug\nat 29s dump\n"
                                "at 30s shell-restart\nend 31s\n",
                            d);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const Lines shown = {TrayLine(d)};
        // The start-up timer opens the adapter at 1 s, after the composition pause of 2 s; the icon shows
        // as soon as it is open, before the driver has reported ready.
        EXPECT_EQ(run.StateLines("tray ", "dump 3000"), Lines{});
        EXPECT_EQ(run.StateLines("tray ", "dump 3001"), shown);
        // Gone with the adapter, and back once the shell restarted, although the adapter is still out.
        EXPECT_EQ(run.StateLines("tray ", "dump 11000"), Lines{});
        EXPECT_EQ(run.StateLines("tray ", "dump 13000"), shown);
        // The plug-in adds it once more, which the shell refuses as a duplicate; a restart re-adds it.
        EXPECT_EQ(run.StateLines("tray ", "dump 29000"), shown);
        EXPECT_EQ(run.StateLines("tray "), shown);
        EXPECT_EQ(run.CountTrace("Device arrival\n"), 2);
    }
}

TEST(TrayIcon, APressOfEitherButtonOpensTheMenuOnceAndOtherMouseMessagesDoNothing) {
    const struct {
        const char* click;
        int menus;
    } cases[] = {{"right", 1}, {"left", 1}, {"double", 1}, {"move", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.click);
        SimRun run = RunSim(kXp + kNvidia + Profile(2) + kAdapter + "at 0 start\nat 10s tray-click " +
                            c.click + "\nat 11s menu dismiss\nend 12s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<ShownMenu> menus = run.Menus();
        ASSERT_EQ(static_cast<int>(menus.size()), c.menus);
        EXPECT_EQ(run.CountTrace("Right Mouse click\n"), c.menus);
        for (const ShownMenu& menu : menus) {
            EXPECT_EQ(menu.ms, 10000u);
            EXPECT_TRUE(menu.foreground) << "a notification-icon menu must be owned by the foreground window";
            EXPECT_EQ(menu.closing, "dismiss");
        }
        // Every menu built for the opening is destroyed after it.
        EXPECT_EQ(run.StateLines("hmenu "), Lines{});
    }
}

TEST(TrayIcon, AClickWithNoIconShownOpensNothing) {
    SimRun run = RunSim(kXp + kNvidia + "adapter\nat 0 start\nat 5s tray-click right\nend 6s\n");
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.CountTrace("Right Mouse click\n"), 0);
    EXPECT_TRUE(run.Menus().empty());
    EXPECT_FALSE(run.OutputLines("note 5000 ").empty());
}

namespace {

struct MenuCase {
    const char* name;
    std::string scenario; // the machine; the right click comes at 30 s
    Lines items;
};

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A state item as the menu shows it.
std::string Item(const char* label, int id, bool checked, const char* suffix = "") {
    return std::string("  [") + (checked ? "x" : " ") + "] \"" + label + "\" " + std::to_string(id) + suffix;
}

Lines StateItems(int checked, bool grey = false, bool offEnabled = false) {
    auto suffix = [&](bool off) { return grey && !(off && offEnabled) ? " grey" : ""; };
    return {Item("USB-VGA(Primary)", 32771, checked == 0 || checked == 1, suffix(false)),
            Item("USB-VGA(Extended)", 32772, checked == 2, suffix(false)),
            Item("USB-VGA(Off)", 32774, checked == 4, suffix(true)),
            Item("USB-VGA(Mirror)", 32773, checked == 3, suffix(false))};
}

const Lines kRotationTop = {"  [ ] \"Rotation\" popup"};
Lines Rotation(int checked) {
    const char* labels[] = {"0 degrees", "90 degrees", "180 degrees", "270 degrees"};
    Lines lines = kRotationTop;
    for (int i = 0; i < 4; ++i)
        lines.push_back(std::string("      [") + (i == checked ? "x" : " ") + "] \"" + labels[i] + "\" " +
                        std::to_string(32776 + i));
    return lines;
}

} // namespace

TEST(TrayMenu, ShowsTheLiveStateTheResolutionsAndTheRotationOrWhatTheProfileRecorded) {
    const std::string neverReady = "adapter plugged ready-after never\n";
    const Lines workedExample = {"  [ ] \"Resolution\" popup",
                                 "      [ ] \"&800X600X16\" 39950",
                                 "      [ ] \"&800X600X32\" 39951",
                                 "      ---",
                                 "      [ ] \"&1024X768X16\" 39952",
                                 "      [x] \"&1024X768X32\" 39953",
                                 "      ---",
                                 "      [ ] \"High Resolution\" popup",
                                 "          [ ] \"&1280X1024X16\" 39954",
                                 "          [ ] \"&1280X1024X32\" 39955"};
    std::vector<MenuCase> cases = {
        {"ready and extended: the worked example", kXp + kNvidia + Profile(2) + kAdapter,
         Join({StateItems(2), {"  ---"}, workedExample, Rotation(0)})},
        {"ready, a rotation of 180 degrees",
         kXp + kNvidia + Profile(2, "profile \"VGA DONGLE\" RotationState 2\n") + kAdapter,
         Join({StateItems(2), {"  ---"}, workedExample, Rotation(2)})},
        // A rotation outside 0..3 offers no resolution at all and checks no rotation.
        {"ready, a rotation of 7",
         kXp + kNvidia + Profile(2, "profile \"VGA DONGLE\" RotationState 7\n") + kAdapter,
         Join({StateItems(2), {"  ---", "  [ ] \"Resolution\" popup"}, Rotation(-1)})},
        {"ready and mirroring", kXp + kNvidia + Profile(3) + kAdapter,
         Join({StateItems(3),
               {"  ---", "  [ ] \"Resolution\" 32001 grey disabled",
                "  [ ] \"Rotation\" 32000 grey disabled"}})},
        {"ready on Windows 7 Starter, brought up as a mirror",
         "os 6.1 edition Starter\n" + kNvidia + Profile(2) + kAdapter,
         {Item("USB-VGA(Off)", 32774, false), Item("USB-VGA(Mirror)", 32773, true), "  ---"}},
        {"not ready on Windows 7 Starter, recorded off",
         "os 6.1 edition Starter\n" + kNvidia + Profile(4) + "adapter plugged mirror-ready-after never\n",
         {Item("USB-VGA(Off)", 32774, true, " grey"), Item("USB-VGA(Mirror)", 32773, false, " grey")}},
    };
    for (int saved : {0, 1, 2, 3, 4}) {
        cases.push_back({"not ready, recorded state", kXp + kNvidia + Profile(saved) + neverReady,
                         StateItems(saved, /*grey*/ true, /*offEnabled*/ saved <= 1)});
    }
    cases.push_back({"not ready, a recorded state of 9 checks nothing",
                     kXp + kNvidia + Profile(9) + neverReady, StateItems(-1, true)});
    for (const MenuCase& c : cases) {
        SCOPED_TRACE(c.name + std::string(" / ") + c.scenario);
        SimRun run =
            RunSim(c.scenario + "at 0 start\nat 30s tray-click right\nat 31s menu dismiss\nend 32s\n");
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<ShownMenu> menus = run.Menus();
        ASSERT_EQ(menus.size(), 1u);
        EXPECT_EQ(menus[0].items, c.items);
    }
}

// The built-in scenario tells the whole story once: bring-up, Mirror and back through the menu, a high
// resolution confirmed, the unplug and Close.
TEST(BuiltInScenario, ShowsTheMenuTheStateChangesAndAConfirmedHighResolution) {
    for (Deliverable d : {Deliverable::Duodesk, Deliverable::Duodeskb}) {
        SCOPED_TRACE(ExeName(d));
        SimRun run = RunBuiltInScenario(d);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<ShownMenu> menus = run.Menus();
        ASSERT_EQ(menus.size(), 3u);
        EXPECT_EQ(menus[0].closing, "pick \"USB-VGA(Mirror)\" id 32773");
        EXPECT_EQ(menus[1].closing, "pick \"USB-VGA(Extended)\" id 32772");
        EXPECT_EQ(menus[2].closing, "pick \"Resolution\" \"High Resolution\" \"&1280X1024X32\" id 39954");
        EXPECT_EQ(run.Desk("dump 12000"),
                  "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off");
        EXPECT_EQ(run.Desk("dump 20000"),
                  "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR mirror 1280x1024x32@60 0,0");
        EXPECT_EQ(run.Desk("dump 28000"), run.Desk("dump 12000"));
        EXPECT_EQ(run.Desk("dump 34000"),
                  "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1280x1024x32@60 1280,0; MIR off");
        EXPECT_EQ(run.OutputLines("dialog "), (Lines{"dialog 30000 1000 open 130 \"VGA Adapter Utility\"",
                                                     "dialog 33000 1000 end 130 result 1"}));
        EXPECT_EQ(run.Saved("Width"), "1280");
        EXPECT_EQ(run.Saved("DispState"), "2");
        EXPECT_EQ(run.Desk(), "DISPLAY1 primary 1280x1024x32@60 0,0; USB off; MIR off");
        EXPECT_TRUE(run.HasStateLine("process 1000 " + std::string(ExeName(d)) + ".exe exit 0 cmd \"\""));
    }
}
