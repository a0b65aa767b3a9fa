// The scenario language's own rules: times, quoting and the errors a scenario writer sees.
#include <gtest/gtest.h>

#include "machine.h"
#include "scenario.h"

using namespace winsim;

namespace {

// A scenario that must not load, the line its error names and, where given, what the error says.
struct BadScenario {
    const char* text;
    int line;
    const char* says = nullptr;
};

template <size_t N>
void ExpectRejectedAt(const BadScenario (&cases)[N]) {
    for (const BadScenario& c : cases) {
        SCOPED_TRACE(c.text);
        BeginTestProcess();
        std::vector<ScenarioEvent> events;
        ScenarioError error;
        EXPECT_FALSE(LoadScenario(c.text, events, error));
        EXPECT_EQ(error.line, c.line);
        if (c.says) {
            EXPECT_EQ(error.message, c.says);
        }
    }
}

} // namespace

TEST(ScenarioTime, MillisecondsOrSecondsWithUpToThreeDecimalsUpToTenMillionSeconds) {
    const struct {
        const char* text;
        bool ok;
        uint64_t ms;
    } cases[] = {
        {"1500", true, 1500},
        {"20.5s", true, 20500},
        {"0.001s", true, 1},
        {"10000000s", true, 10000000000},
        {"10000000000", true, 10000000000},
        {"10000000.001s", false, 0},
        {"10000000001", false, 0},
        {"99999999999999999999999", false, 0},
        {"18446744073709551616", false, 0},
        {"1.0005s", false, 0},
        {"1.s", false, 0},
        {".5s", false, 0},
        {"1e3s", false, 0},
        {"0x10s", false, 0},
        {"-1", false, 0},
        {"5m", false, 0},
        {"s", false, 0},
    };
    for (const auto& c : cases) {
        uint64_t ms = 7;
        EXPECT_EQ(ParseTime(c.text, ms), c.ok) << c.text;
        EXPECT_EQ(ms, c.ok ? c.ms : 7) << c.text;
    }
}

TEST(ScenarioText, EscapesWhatATraceLineCannotHoldPlainly) {
    EXPECT_EQ(EscapeText("got  device\n"), "got  device\\n");
    EXPECT_EQ(EscapeText("a\"b\\c\x01\xff"), "a\\\"b\\\\c\\x01\\xFF");
}

TEST(ScenarioLoad, TimelineKeepsQuotedCommandLinesAndEndsWithEnd) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("adapter plugged\nat 0 start\nat 2s start \"Close \"\nat 3s start res 1 2 3\n",
                             events, error))
        << error.message;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].args, "Close ");
    EXPECT_EQ(events[2].args, "res 1 2 3");
    EXPECT_EQ(events[3].kind, ScenarioEvent::Kind::End);
    EXPECT_EQ(events[3].time, 13000u);
}

TEST(ScenarioLoad, ErrorsNameTheLine) {
    const BadScenario cases[] = {
        {"os 5.1\nbogus\n", 2},      {"at 2s dump\nat 1s dump\n", 2},
        {"at 1s plug\n", 1},         {"profile \"VGA DONGLE\" Width wide\n", 1},
        {"end 5s\nat 6s dump\n", 2}, {"os 5.1 csd \"unterminated\n", 1},
    };
    ExpectRejectedAt(cases);
}

// The display lines: every option lands on the device, and the machine starts as Windows would lay it out.
TEST(ScenarioDisplays, OptionsDescribeTheDevicesAndTheDesktopStartsLaidOut) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario(
        "display PCI\\VEN_8086&DEV_2A42 primary modes 1280x1024x32@60,75 1024x768x32@60 current 1024x768x32\n"
        "display PCI\\VEN_10DE&DEV_0421 name \\\\.\\DISPLAYV1 string \"Second card\" key \"KEY\" removable "
        "modes 800x600x32@60 attached refuses 800x600x32@60\n"
        "display MIRROR\\X mirror modes 1024x768x16 registry 1024x768x16 no-registry-mode\n"
        "display PCI\\VEN_1002&DEV_5B60 modes 640x480x32 pos 5000,0 registry off\n"
        "quirk strict-detach no-packing\nquirk stacked-keeps-position\n",
        events, error))
        << error.line << ": " << error.message;
    const Vec<DisplayDevice>& d = M().displays;
    ASSERT_EQ(d.size(), 4u);
    EXPECT_TRUE(d[0].primary && d[0].registryPrimary && d[0].current.attached);
    EXPECT_EQ(d[0].current.mode, (DisplayMode{1024, 768, 32, 60}));
    EXPECT_EQ(d[0].modes.size(), 3u);
    EXPECT_EQ(d[1].name, "\\\\.\\DISPLAYV1");
    EXPECT_EQ(d[1].description, "Second card");
    EXPECT_EQ(d[1].deviceKey, "KEY");
    EXPECT_EQ(d[1].staticFlags, DWORD(DISPLAY_DEVICE_REMOVABLE));
    EXPECT_TRUE(d[1].current.attached);
    EXPECT_EQ(d[1].current.x, 1024); // to the right of the primary
    EXPECT_EQ(d[1].refusedModes.size(), 1u);
    EXPECT_EQ(d[2].staticFlags, DWORD(DISPLAY_DEVICE_MIRRORING_DRIVER));
    EXPECT_FALSE(d[2].current.attached);
    EXPECT_EQ(d[2].registry.mode, (DisplayMode{1024, 768, 16, 60}));
    EXPECT_TRUE(d[2].registryMissing);
    EXPECT_FALSE(d[3].current.attached);
    EXPECT_EQ(d[3].registry.mode.width, 0u);
    EXPECT_EQ(d[3].registry.x, 5000);
    EXPECT_TRUE(M().displayQuirks.strictDetach);
    EXPECT_TRUE(M().displayQuirks.noPacking);
    EXPECT_TRUE(M().displayQuirks.stackedKeepsPosition);
    EXPECT_FALSE(M().displayQuirks.strictPrimary);
    // XP keeps each device's switch in its video key.
    EXPECT_NE(FindKey(M().hklm, AttachSwitchPath(d[0]).c_str()), nullptr);
}

TEST(ScenarioDisplays, AWindowsWithoutAPrimaryBringsUpItsFirstDisplay) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("os 6.1\ndisplay A modes 800x600x32\ndisplay B modes 1024x768x32 attached\n",
                             events, error))
        << error.message;
    const Vec<DisplayDevice>& d = M().displays;
    EXPECT_FALSE(d[0].current.attached);
    EXPECT_TRUE(d[1].primary);
    EXPECT_EQ(d[1].current.x, 0);
    EXPECT_TRUE(AttachSwitchPath(d[1]).empty()); // Windows 7 keeps it to itself
}

// The adapter's own display devices come from the build and exist while it is plugged in.
TEST(ScenarioDisplays, TheAdapterBringsItsDisplayAndMirrorDriver) {
    BeginTestProcess();
    M().program.adapterDisplayId = "ZTK\\USB2VGA";
    M().program.adapterMirrorId = "ZTK\\USB2VGAM";
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("display PCI\\VEN_10DE&DEV_0421 primary modes 1280x1024x32\n"
                             "adapter modes 1024x768x32@60,75 800x600x16 removable resume-reenumerates "
                             "resume-not-ready 2 attach-refuses 3 mirror-no-32\n",
                             events, error))
        << error.message;
    const Vec<DisplayDevice>& d = M().displays;
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[1].deviceId, "ZTK\\USB2VGA");
    EXPECT_EQ(d[2].deviceId, "ZTK\\USB2VGAM");
    EXPECT_EQ(d[1].name, "\\\\.\\DISPLAY2");
    EXPECT_TRUE(d[1].ofAdapter && d[2].ofAdapter);
    EXPECT_FALSE(d[1].present); // not plugged
    EXPECT_EQ(d[1].staticFlags, DWORD(DISPLAY_DEVICE_REMOVABLE));
    EXPECT_EQ(d[2].staticFlags, DWORD(DISPLAY_DEVICE_MIRRORING_DRIVER));
    EXPECT_TRUE(M().adapter.mirrorNo32);
    EXPECT_EQ(d[2].modes.size(), 3u);
    EXPECT_EQ(d[1].registry.mode, (DisplayMode{1024, 768, 32, 60}));
    const AdapterDevice& a = M().adapter;
    EXPECT_TRUE(a.resumeReenumerates);
    EXPECT_EQ(a.resumeNotReady, 2);
    EXPECT_EQ(a.attachRefuses, 3);
    EXPECT_EQ(a.attachRefusalsLeft, 0); // until a resume
    PlugAdapter();
    EXPECT_TRUE(M().displays[1].present);
    EXPECT_FALSE(M().displays[1].current.attached);
}

TEST(ScenarioEvents, DisplayModeNamesADeviceOrThePrimaryAndMayBeTemporary) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(
        LoadScenario("display A primary modes 800x600x32\n"
                     "at 1s display-mode 1024x768x16\nat 2s display-mode \\\\.\\DISPLAY2 800x600x32@75\n"
                     "at 3s display-mode 800x600x32 temporary\nat 4s display-mode A 800x600x32 temporary\n",
                     events, error))
        << error.message;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(std::vector<bool>(
                  {events[0].temporary, events[1].temporary, events[2].temporary, events[3].temporary}),
              std::vector<bool>({false, false, true, true}));
    EXPECT_EQ(events[2].device, "");
    EXPECT_EQ(events[3].device, "A");
    EXPECT_EQ(events[0].kind, ScenarioEvent::Kind::DisplayMode);
    EXPECT_EQ(events[0].device, "");
    EXPECT_EQ(events[0].width, 1024u);
    EXPECT_EQ(events[0].bpp, 16u);
    EXPECT_EQ(events[0].frequency, 0u);
    EXPECT_EQ(events[1].device, "\\\\.\\DISPLAY2");
    EXPECT_EQ(events[1].frequency, 75u);
}

TEST(ScenarioMachine, PrivilegesAndRefusingKeysAndASiblingProgramsSection) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario(
        "privilege SeSecurityPrivilege absent\n"
        "regkey \"HKLM\\\\SYSTEM\\\\Locked\" deny-write deny-security dword Attach.ToDesktop 1\n"
        "display A primary modes 800x600x32 video-key-read-only\n"
        "regkey \"HKCU\\\\Software\\\\Kiva Dongle\\\\other\\\\X\" dword A 1 deny-delete enum-fails 1015\n",
        events, error))
        << error.message;
    EXPECT_FALSE(M().securityPrivilegeHeld);
    RegKey* sibling = FindKey(M().hkcu, "Software\\Kiva Dongle\\other\\X");
    ASSERT_NE(sibling, nullptr);
    EXPECT_TRUE(sibling->denyDelete);
    EXPECT_EQ(sibling->enumFails, 1015);
    RegKey* locked = FindKey(M().hklm, "SYSTEM\\Locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_TRUE(locked->denyWrite && locked->denySecurity);
    EXPECT_FALSE(locked->denyDelete);
    EXPECT_EQ(locked->values.size(), 1u);
    RegKey* video = FindKey(M().hklm, AttachSwitchPath(M().displays[0]).c_str());
    ASSERT_NE(video, nullptr);
    EXPECT_TRUE(video->denyWrite);
    EXPECT_FALSE(video->denySecurity);
}

TEST(ScenarioDisplays, MistakesNameTheLine) {
    const BadScenario cases[] = {
        {"display A primary modes 800x600x32\ndisplay B primary modes 800x600x32\n", 2},
        {"display A modes 800x600x32 current 640x480x32\n", 1},
        {"display A modes 800x600x32 pos 5\n", 1},
        {"display A mirror primary modes 800x600x32\n", 1},
        {"display A modes 800x600x32 sideways\n", 1},
        {"quirk strict-detach made-up\n", 1},
        {"privilege SeBackupPrivilege absent\n", 1},
        {"uac maybe\n", 1, "uac wants on or off"},
        {"user admin standard\n", 1, "unexpected text after user wants admin or standard: 'standard'"},
        {"regkey \"HKCU\\\\X\" enum-fails\n", 1,
         "enum-fails wants an error code (a number from 1 to 2147483647)"},
        {"regkey \"HKCU\\\\X\" enum-fails 0\n", 1,
         "enum-fails wants an error code (a number from 1 to 2147483647)"},
        {"regkey \"HKCU\\\\X\" deny-delete now\n", 1, "unknown regkey option 'now'"},
        {"adapter attach-refuses never\n", 1, "attach-refuses wants a count from 0 to 2147483647"},
        {"adapter resume-not-ready\n", 1, "resume-not-ready wants a count from 0 to 2147483647"},
        {"at 1s display-mode big\n", 1},
        {"at 1s display-mode A 800x600x32 now\n", 1, "display-mode wants [DEVICE] WxHxBPP[@HZ] [temporary]"},
        {"at 1s display-mode temporary\n", 1,
         "display-mode wants [DEVICE] WxHxBPP[@HZ] [temporary], not 'temporary'"},
        {"os 6.1\ndisplay A primary modes 800x600x32 video-key-read-only key \"short\"\n", 2},
    };
    ExpectRejectedAt(cases);
}

// Scenarios that declare no display of their own keep the adapter's display off.
TEST(ScenarioDisplays, TheAdaptersDisplayIsNeverBroughtUpByTheMachine) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("adapter plugged\n", events, error)) << error.message;
    ASSERT_EQ(M().displays.size(), 2u);
    EXPECT_FALSE(M().displays[0].current.attached);
    EXPECT_FALSE(M().displays[0].primary);
    EXPECT_TRUE(M().displays[0].present);
}

// The user's side of the desktop and the posts of other programs, each event with what it carries.
TEST(ScenarioEvents, TheUsersAndOtherProgramsEventsCarryWhatTheyName) {
    BeginTestProcess();
    std::vector<ScenarioEvent> e;
    ScenarioError error;
    ASSERT_TRUE(LoadScenario("at 1s tray-click double\nat 1s tray-click move\nat 2s shell-restart\n"
                             "at 3s menu pick \"Resolution\" \"High Resolution\" Off\nat 3s menu dismiss\n"
                             "at 4s dialog press escape\nat 5s post \"TurnOff\" 0x152A -2\n"
                             "at 6s dump \"Mirror, 1280 x 1024\"\n",
                             e, error))
        << error.message;
    ASSERT_EQ(e.size(), 9u);
    using K = ScenarioEvent::Kind;
    EXPECT_EQ(std::vector<K>({e[0].kind, e[2].kind, e[3].kind, e[4].kind, e[5].kind, e[6].kind}),
              std::vector<K>(
                  {K::TrayClick, K::ShellRestart, K::MenuPick, K::MenuDismiss, K::DialogPress, K::Post}));
    EXPECT_EQ(e[0].click, TrayClick::Double);
    EXPECT_EQ(e[1].click, TrayClick::Move);
    EXPECT_EQ(e[3].labels, (std::vector<std::string>{"Resolution", "High Resolution", "Off"}));
    EXPECT_EQ(e[5].press, DialogPress::Escape);
    EXPECT_EQ(e[6].message, "TurnOff");
    EXPECT_EQ(e[6].wParam, 5418u);
    EXPECT_EQ(e[6].lParam, -2);
    EXPECT_EQ(e[7].message, "Mirror, 1280 x 1024");
}

// The machine's power and the end of the session: each event with its options.
TEST(ScenarioEvents, PowerAndSessionEventsCarryTheirOptions) {
    BeginTestProcess();
    std::vector<ScenarioEvent> e;
    ScenarioError error;
    ASSERT_TRUE(
        LoadScenario("at 1s suspend\nat 2s resume\nat 3s suspend\nat 4s resume unattended\n"
                     "at 5s logoff\nat 6s shutdown cancelled\nat 7s logoff cancelled\nat 8s shutdown\n",
                     e, error))
        << error.message;
    ASSERT_EQ(e.size(), 9u);
    using K = ScenarioEvent::Kind;
    EXPECT_EQ(std::vector<K>(
                  {e[0].kind, e[1].kind, e[2].kind, e[3].kind, e[4].kind, e[5].kind, e[6].kind, e[7].kind}),
              std::vector<K>({K::Suspend, K::Resume, K::Suspend, K::Resume, K::Logoff, K::Shutdown, K::Logoff,
                              K::Shutdown}));
    EXPECT_EQ(std::vector<bool>({e[1].unattended, e[3].unattended}), std::vector<bool>({false, true}));
    EXPECT_EQ(std::vector<bool>({e[4].cancelled, e[5].cancelled, e[6].cancelled, e[7].cancelled}),
              std::vector<bool>({false, true, true, false}));
    const BadScenario cases[] = {
        {"at 1s suspend now\n", 1, "unexpected text after the event"},
        {"at 1s resume later\n", 1, "resume wants nothing or unattended, not 'later'"},
        {"at 1s resume unattended now\n", 1, "unexpected text after the event"},
        {"at 1s logoff forced\n", 1, "logoff wants nothing or cancelled, not 'forced'"},
        {"at 1s shutdown cancelled twice\n", 1, "unexpected text after the event"},
    };
    ExpectRejectedAt(cases);
}

TEST(ScenarioEvents, UserEventsThatCannotBeCarriedOutAreRefused) {
    const char* const kPostUsage =
        "post wants \"NAME\" WPARAM LPARAM (numbers, decimal or 0x hex; LPARAM may be negative)";
    const BadScenario cases[] = {
        {"at 1s menu open \"Off\"\n", 1, "menu wants pick \"LABEL\" [\"LABEL\" ...] or dismiss"},
        {"at 1s menu pick\n", 1,
         "menu pick wants the label of an item, and of each submenu on the way to it"},
        {"at 1s menu dismiss now\n", 1, "unexpected text after the event"},
        {"at 1s tray-click middle\n", 1, "tray-click wants left, right, double or move"},
        {"at 1s shell-restart now\n", 1, "unexpected text after the event"},
        {"at 1s dialog ok\n", 1, "dialog wants press ok, cancel, escape or close"},
        {"at 1s dialog press enter\n", 1, "dialog wants press ok, cancel, escape or close"},
        {"at 1s post \"TurnOff\" 5418\n", 1, kPostUsage},
        {"at 1s post \"\" 1 2\n", 1, kPostUsage},
        {"at 1s post \"TurnOff\" -1 0\n", 1, kPostUsage},
        {"at 1s post \"TurnOff\" 1 0x8000000000000000\n", 1, kPostUsage},
        {"at 1s dump \"\"\n", 1, "a dump's caption cannot be empty"},
        {"at 1s dump \"Mirror\" now\n", 1, "unexpected text after the event"},
    };
    ExpectRejectedAt(cases);
}

// Every number is read whole and within its limits, so that nothing wraps, is cut or overflows while the
// machine is laid out; every mistake of quoting is the one reported, and no word is ignored.
TEST(ScenarioLimits, NumbersOutOfRangeBadQuotingAndExtraWordsAreRefused) {
    const char* const kTime =
        "a time: milliseconds, or seconds with an s suffix and at most three decimals, up "
        "to 10000000s";
    const std::string lpTime = std::string("at wants ") + kTime + ", not '99999999999999999999999'";
    const std::string endTime = std::string("end wants ") + kTime + ", not '18446744073709551000'";
    std::string tooMany;
    for (int i = 0; i < 65; ++i)
        tooMany += "display D" + std::to_string(i) + " modes 800x600x32\n";
    const BadScenario cases[] = {
        // sizes, depths and rates
        {"display A primary modes 2000000000x2000000000x32\n", 1,
         "mode '2000000000x2000000000x32': width must be a number from 1 to 16384, not '2000000000'"},
        {"display A primary modes -1x-1x32\n", 1,
         "mode '-1x-1x32': width must be a number from 1 to 16384, not '-1'"},
        {"display A primary modes 99999999999x768x32\n", 1,
         "mode '99999999999x768x32': width must be a number from 1 to 16384, not '99999999999'"},
        {"display A primary modes 0x0x32\n", 1,
         "mode '0x0x32': width must be a number from 1 to 16384, not '0'"},
        {"display A primary modes 800x16385x32\n", 1,
         "mode '800x16385x32': height must be a number from 1 to 16384, not '16385'"},
        {"display A primary modes 800x600x33\n", 1,
         "mode '800x600x33': bits per pixel must be a number from 1 to 32, not '33'"},
        {"display A primary modes 800x600x32@4294967296\n", 1,
         "mode '800x600x32@4294967296': a rate must be a number from 1 to 1000, not '4294967296'"},
        {"display A primary modes 800x600x32@\n", 1, "mode '800x600x32@': a rate is missing after @"},
        {"display A primary modes 800x600x32@60,\n", 1, "mode '800x600x32@60,': a rate is missing after ,"},
        {"display A primary modes 800x600\n", 1, "mode '800x600': a mode is WxHxBPP[@HZ[,HZ...]]"},
        {"display A modes 800x600x32 current 800x600x32@4294967356\n", 1,
         "mode '800x600x32@4294967356': a rate must be a number from 1 to 1000, not '4294967356'"},
        {"display A modes 800x600x32 current 800x600x32@60,75\n", 1,
         "mode '800x600x32@60,75': one rate at most"},
        {"adapter modes 1024x768x32 99999x768x32\n", 1,
         "mode '99999x768x32': width must be a number from 1 to 16384, not '99999'"},
        {"at 1s display-mode 0x768x32\n", 1,
         "mode '0x768x32': width must be a number from 1 to 16384, not '0'"},
        // positions and how many displays
        {"display A primary modes 800x600x32\ndisplay B modes 800x600x32 pos 2147483000,0\n", 2,
         "pos wants X,Y, each a number from -16777216 to 16777216, not '2147483000,0'"},
        {"display A modes 800x600x32 pos 0,-16777217\n", 1,
         "pos wants X,Y, each a number from -16777216 to 16777216, not '0,-16777217'"},
        {tooMany.c_str(), 65, "at most 64 display devices, the adapter's two included"},
        // counts, the build, the version and registry numbers
        {"adapter ready-after 4294967295\n", 1, "ready-after wants a count from 0 to 2147483647, or never"},
        {"adapter set-mirror-fails 3000000000\n", 1, "set-mirror-fails wants a count from 0 to 2147483647"},
        {"os 5.1 build 99999999999\n", 1, "os build wants a number from 0 to 4294967295, not '99999999999'"},
        {"os 5.1x\n", 1, "os wants MAJOR.MINOR, each a number from 0 to 99, not '5.1x'"},
        {"profile \"VGA DONGLE\" Width 4294967296\n", 1,
         "profile wants a number from -2147483648 to 4294967295 (decimal, or hex after 0x), not "
         "'4294967296'"},
        {"regkey \"HKCU\\\\X\" dword A 1e3\n", 1,
         "dword wants a number from -2147483648 to 4294967295 (decimal, or hex after 0x), not '1e3'"},
        // times
        {"at 99999999999999999999999 dump\n", 1, lpTime.c_str()},
        {"at 1s dump\nend 18446744073709551000\n", 2, endTime.c_str()},
        // escapes and quotes
        {"os 5.1 csd \"ab\\x4\"\n", 1, "\\x wants two hex digits in a quoted text"},
        {"os 5.1 csd \"C:\\Windows\"\n", 1,
         "unknown escape \\W in a quoted text (a backslash is written \\\\)"},
        {"display \"PCI\\\\VEN_10DE\n", 1, "unterminated quoted text"},
        {"at \"1s dump\n", 1, "unterminated quoted text"},
        // words that would otherwise be ignored
        {"at 1s dump\nend 5s now\n", 2, "unexpected text after end TIME: 'now'"},
        {"privilege SeSecurityPrivilege held twice\n", 1,
         "unexpected text after privilege SeSecurityPrivilege held|absent: 'twice'"},
        {"service UxSms running now\n", 1,
         "unexpected text after service NAME running|stopped|absent: 'now'"},
        {"usb \\\\?\\usb#a b\n", 1, "unexpected text after usb PATH: 'b'"},
        {"profile \"VGA DONGLE\" Width 1024 768\n", 1,
         "unexpected text after profile \"SECTION\" NAME NUMBER: '768'"},
    };
    ExpectRejectedAt(cases);
}

// The limits themselves are allowed, and the run's implicit end comes 10 s after the last event without
// wrapping.
TEST(ScenarioLimits, TheLimitsThemselvesLoad) {
    BeginTestProcess();
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    ASSERT_TRUE(
        LoadScenario("os 99.0 build 4294967295\n"
                     "display A primary modes 16384x16384x32@1000 1x1x1@1\n"
                     "display B modes 16384x16384x32 pos -16777216,16777216 attached\n"
                     "adapter ready-after 2147483647 set-mirror-fails 2147483647\n"
                     "profile \"VGA DONGLE\" Width -2147483648\nprofile \"VGA DONGLE\" Height 0xFFFFFFFF\n"
                     "at 10000000s dump\n",
                     events, error))
        << error.line << ": " << error.message;
    EXPECT_EQ(M().os.build, 4294967295u);
    EXPECT_EQ(M().displays[0].modes[1], (DisplayMode{1, 1, 1, 1}));
    // Packed from the far corner against the primary, sharing one pixel of its lower edge.
    EXPECT_EQ(M().displays[1].current.x, -16383);
    EXPECT_EQ(M().displays[1].current.y, 16384);
    EXPECT_EQ(M().adapter.setMirrorFails, 2147483647);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].time, 10000010000u);
}
