// The simulated display API, continued: the "Attach.ToDesktop" switch and the DeviceKey forms of each
// Windows version, the machine options (quirks) that give the stricter readings some versions show, the
// hardware coming and going, and the call sequences the program makes, played at the API level so that
// the model is seen to reach the layouts those sequences reached on real Windows XP and 7.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <string>
#include <vector>

using namespace winsim;

namespace {

const DisplayMode k1280{1280, 1024, 32, 60};
const DisplayMode k1024{1024, 768, 32, 60};
const DisplayMode k800{800, 600, 32, 60};

constexpr DWORD kPosFreq = 0x400020;     // DM_DISPLAYFREQUENCY | DM_POSITION
constexpr DWORD kZeroSize = 0x580020;    // DM_DISPLAYFREQUENCY | DM_PELSHEIGHT | DM_PELSWIDTH | DM_POSITION
constexpr DWORD kFullPos = 0x5C0020;     // the same with DM_BITSPERPEL
constexpr DWORD kResetSave = 0x40000001; // CDS_RESET | CDS_UPDATEREGISTRY
constexpr DWORD kResetPrimarySave = 0x40000011; // CDS_RESET | CDS_SET_PRIMARY | CDS_UPDATEREGISTRY
constexpr DWORD kStage = 0x10000001;            // CDS_NORESET | CDS_UPDATEREGISTRY

const char* const D1 = "\\\\.\\DISPLAY1";
const char* const D2 = "\\\\.\\DISPLAY2";
const char* const D3 = "\\\\.\\DISPLAY3";

class DisplaySequenceTest : public ::testing::Test {
protected:
    void SetUp() override { BeginTestProcess(); }

    static DisplayDevice& Add(const char* id, std::vector<DisplayMode> modes, bool attached, LONG x = 0) {
        Machine& m = M();
        m.displays.emplace_back();
        DisplayDevice& d = m.displays.back();
        d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size())).c_str();
        d.deviceId = id;
        for (const DisplayMode& mode : modes)
            d.modes.push_back(mode);
        d.current = DisplaySettings{d.modes.front(), x, 0, attached};
        d.registry = d.current;
        if (!attached)
            d.current.mode = DisplayMode{};
        return d;
    }
    // The system's own display, primary, and the adapter's display, detached, with 1024x768 saved.
    static void SystemAndAdapter() {
        DisplayDevice& s = Add("PCI\\VEN_10DE&DEV_0421", {k1280, k1024}, true);
        s.primary = s.registryPrimary = true;
        Add("ZTK\\USB2VGA", {k1024, k800}, false);
        SeedAttachSwitches();
    }

    // What the program's operations do: read the saved settings, change some members, call.
    static DEVMODEA Saved(const char* device) {
        DEVMODEA dm{};
        dm.dmSize = sizeof dm;
        EXPECT_TRUE(EnumDisplaySettingsA(device, ENUM_REGISTRY_SETTINGS, &dm));
        return dm;
    }
    static LONG Cds(const char* device, DEVMODEA dm, DWORD flags) {
        return ChangeDisplaySettingsExA(device, &dm, nullptr, flags, nullptr);
    }
    static LONG PlaceSaved(const char* device, LONG x, LONG y, DWORD flags) {
        DEVMODEA dm = Saved(device);
        dm.dmFields = kPosFreq;
        dm.dmPosition.x = x;
        dm.dmPosition.y = y;
        return Cds(device, dm, flags);
    }
    static LONG DetachSaved(const char* device, DWORD flags) {
        DEVMODEA dm = Saved(device);
        dm.dmFields |= kZeroSize;
        dm.dmPosition.x = dm.dmPosition.y = 0;
        dm.dmPelsWidth = dm.dmPelsHeight = 0;
        return Cds(device, dm, flags);
    }
    static LONG Apply() { return ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr); }

    // The program marks a device's video key the way its Windows version names it.
    static void WriteSwitch(const DisplayDevice& d, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, AttachSwitchPath(d).c_str(), &key), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Attach.ToDesktop", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static DWORD ReadSwitch(const DisplayDevice& d) {
        RegKey* key = FindKey(M().hklm, AttachSwitchPath(d).c_str());
        if (!key)
            return 99;
        auto it = key->values.find(Str("Attach.ToDesktop"));
        if (it == key->values.end())
            return 98;
        DWORD value = 0;
        memcpy(&value, it->second.data.data(), 4);
        return value;
    }

    static DWORD State(const char* device) {
        DISPLAY_DEVICEA dd{};
        dd.cb = sizeof dd;
        for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &dd, 0); ++i) {
            if (std::string(dd.DeviceName) == device)
                return dd.StateFlags;
        }
        return 0;
    }
    static bool Attached(const char* device) { return State(device) & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP; }
    static bool Primary(const char* device) { return State(device) & DISPLAY_DEVICE_PRIMARY_DEVICE; }
    static DEVMODEA Current(const char* device) {
        DEVMODEA dm{};
        EnumDisplaySettingsA(device, ENUM_CURRENT_SETTINGS, &dm);
        return dm;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// DeviceKey and the switch's place. F: display devices report a key below ...\Control\Video\{VideoID}\0000
// on XP to 7 (Wine monitor tests); a mirror driver installed as a bare service keeps its settings below the
// service's DeviceN, and XP keeps "Attach.ToDesktop" in the Current hardware profile's copy of the key (DDK
// mirror sample, mirror-driver clients). S: Windows 2000 reports ...\ControlSet001\Services\<service>\Device0
// (the 48 characters a program strips there), and Vista and 7 keep the switch where a program cannot reach.
using DisplayKeys = DisplaySequenceTest;

TEST_F(DisplayKeys, EachVersionFormsItsKeysItsOwnWay) {
    Add("PCI\\VEN_10DE&DEV_0421", {k1280}, true);
    Add("ZTK\\USB2VGAM", {k1280}, false).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    DisplayDevice& video = M().displays[0];
    DisplayDevice& mirror = M().displays[1];
    Str videoKey = DeviceKeyOf(video);
    EXPECT_EQ(videoKey.find("\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\{"), 0u);
    EXPECT_EQ(videoKey.substr(videoKey.size() - 6), "}\\0000");
    EXPECT_EQ(AttachSwitchPath(video), "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\"
                                       "CurrentControlSet\\Control\\Video\\" +
                                           videoKey.substr(videoKey.find('{')));
    EXPECT_EQ(DeviceKeyOf(mirror).find("\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\{"),
              0u);
    EXPECT_NE(DeviceKeyOf(mirror), videoKey);
    // A mirror driver installed as a bare service keeps its switch below its service on XP.
    mirror.deviceKey = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\mirror\\Device0";
    EXPECT_EQ(AttachSwitchPath(mirror),
              "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Services\\"
              "mirror\\Device0");
    mirror.deviceKey.clear();

    M().os.minor = 0; // Windows 2000
    EXPECT_EQ(DeviceKeyOf(video), "\\REGISTRY\\Machine\\System\\ControlSet001\\Services\\display1\\Device0");
    EXPECT_EQ(DeviceKeyOf(video).substr(48), "display1\\Device0");
    EXPECT_EQ(AttachSwitchPath(video), "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001\\System\\"
                                       "CurrentControlSet\\SERVICES\\display1\\Device0");

    EXPECT_EQ(DeviceKeyOf(mirror).substr(48), "mirror2\\Device0");

    M().os.major = 6;
    M().os.minor = 1;
    EXPECT_EQ(DeviceKeyOf(video), videoKey);
    EXPECT_TRUE(AttachSwitchPath(video).empty());
    // A key the scenario gives is reported as given.
    video.deviceKey = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vga\\Device0";
    DISPLAY_DEVICEA dd{};
    dd.cb = sizeof dd;
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &dd, 0));
    EXPECT_STREQ(dd.DeviceKey, "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vga\\Device0");
}

// ---------------------------------------------------------------------------------------------------------
// "Attach.ToDesktop". F: on XP the value in the device's video key is the switch that puts a device on the
// desktop at the next apply; writing 1 and then calling ChangeDisplaySettings loads it, writing 0 takes it
// off (Mirror Driver Installation docs, DDK mirror sample). S: the same holds for ordinary displays; a
// detach turns the switch off but keeps the saved resolution, so an attach that flags only DM_POSITION
// (and DM_DISPLAYFREQUENCY) brings the device back at that resolution.
using DisplayAttachSwitch = DisplaySequenceTest;

TEST_F(DisplayAttachSwitch, ADetachKeepsTheSavedResolutionForTheNextAttach) {
    SystemAndAdapter();
    const DisplayDevice& adapter = M().displays[1];
    ASSERT_EQ(PlaceSaved(D2, 1280, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ReadSwitch(adapter), 1u);
    ASSERT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Current(D2).dmPelsWidth, 1024u);
    ASSERT_EQ(DetachSaved(D2, kResetSave), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
    EXPECT_EQ(ReadSwitch(adapter), 0u);
    DEVMODEA saved = Saved(D2);
    EXPECT_EQ(saved.dmPelsWidth, 1024u);
    EXPECT_EQ(saved.dmPelsHeight, 768u);
    EXPECT_EQ(saved.dmBitsPerPel, 32u);
    EXPECT_EQ(saved.dmPosition.x, 0);
    // Only the position and the frequency: the saved resolution comes back.
    ASSERT_EQ(PlaceSaved(D2, 1280, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Current(D2).dmPelsWidth, 1024u);
    EXPECT_EQ(Current(D2).dmPosition.x, 1280);
}

TEST_F(DisplayAttachSwitch, OnXpTheProgramsWritesDecideTheNextApply) {
    SystemAndAdapter();
    DisplayDevice& adapter = M().displays[1];
    WriteSwitch(adapter, 1);
    EXPECT_FALSE(Attached(D2)); // nothing happens until the apply
    ASSERT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Current(D2).dmPelsWidth, 1024u);
    EXPECT_EQ(Current(D2).dmPosition.x, 1280);
    WriteSwitch(adapter, 0);
    ASSERT_EQ(ChangeDisplaySettingsExA(D2, nullptr, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
}

TEST_F(DisplayAttachSwitch, OnWindows7TheSwitchIsOutOfTheProgramsReach) {
    M().os.major = 6;
    M().os.minor = 1;
    SystemAndAdapter();
    DisplayDevice& adapter = M().displays[1];
    // Where the program would write on XP: an ordinary key to Windows 7.
    Str xpPath =
        Str("System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\"
            "Video\\") +
        DeviceKeyOf(adapter).substr(DeviceKeyOf(adapter).find('{'));
    SetDwordValue(CreateKey(M().hklm, xpPath.c_str()), "Attach.ToDesktop", 1);
    ASSERT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
    // The registry path of ChangeDisplaySettingsExA still works.
    ASSERT_EQ(PlaceSaved(D2, 1280, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
}

// ---------------------------------------------------------------------------------------------------------
// Quirks: the stricter readings, each off by default.
using DisplayQuirk = DisplaySequenceTest;

// F: "settings have to be saved to the registry first, and then call ChangeDisplaySettingsExA(device, NULL,
// NULL, 0, NULL)... otherwise on some older versions of Windows, e.g., XP and Win7, the adapter doesn't get
// detached" (Wine monitor tests).
TEST_F(DisplayQuirk, StrictDetachNeedsTheApply) {
    SystemAndAdapter();
    PlaceSaved(D2, 1280, 0, kStage);
    Apply();
    M().displayQuirks.strictDetach = true;
    EXPECT_EQ(DetachSaved(D2, kResetSave), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(ChangeDisplaySettingsExA(D2, nullptr, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
}

// F: practitioners report that a single CDS_SET_PRIMARY call is not enough: the change has to be staged and
// applied (The Old New Thing 2021-12-22 recipe; LittleBigMouse; blog.lohr.dev).
TEST_F(DisplayQuirk, StrictPrimaryNeedsTheApply) {
    SystemAndAdapter();
    PlaceSaved(D2, 1280, 0, kStage);
    Apply();
    M().displayQuirks.strictPrimary = true;
    EXPECT_EQ(PlaceSaved(D2, 0, 0, kResetPrimarySave), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D2));
    EXPECT_EQ(Current(D2).dmPosition.x, 0);
}

// F: "You cannot stop the primary display" (XP Display Properties).
TEST_F(DisplayQuirk, PrimaryCannotDetachKeepsThePrimaryOn) {
    SystemAndAdapter();
    PlaceSaved(D2, 1280, 0, kStage);
    Apply();
    M().displayQuirks.primaryCannotDetach = true;
    EXPECT_EQ(DetachSaved(D1, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D1));
    EXPECT_TRUE(Primary(D1));
    M().displayQuirks.primaryCannotDetach = false;
    EXPECT_EQ(DetachSaved(D1, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D1));
    EXPECT_TRUE(Primary(D2));
}

// F: the automatic placement was seen on the Windows 7 era test machines, not verified on XP (Wine monitor
// tests); without it a gap stays.
TEST_F(DisplayQuirk, NoPackingLeavesGapsAndOverlaps) {
    SystemAndAdapter();
    M().displayQuirks.noPacking = true;
    PlaceSaved(D2, 1300, 40, kStage);
    Apply();
    EXPECT_EQ(Current(D2).dmPosition.x, 1300);
    EXPECT_EQ(Current(D2).dmPosition.y, 40);
}

// F: an older revision of the tests asserted that a secondary placed exactly at the primary's position
// kept its position (Wine monitor tests, older revision).
TEST_F(DisplayQuirk, StackedKeepsPosition) {
    SystemAndAdapter();
    PlaceSaved(D2, 0, 1024, kStage);
    Apply();
    ASSERT_EQ(Current(D2).dmPosition.y, 1024);
    M().displayQuirks.stackedKeepsPosition = true;
    PlaceSaved(D2, 0, 0, kStage);
    Apply();
    EXPECT_EQ(Current(D2).dmPosition.x, 0);
    EXPECT_EQ(Current(D2).dmPosition.y, 1024);
    M().displayQuirks.stackedKeepsPosition = false;
    PlaceSaved(D2, 0, 0, kStage);
    Apply();
    EXPECT_EQ(Current(D2).dmPosition.x, 1280);
    EXPECT_EQ(Current(D2).dmPosition.y, 0);
}

// F: the MSDN DetachDisplay sample saves the registry settings before detaching because after the detach the
// registry holds a size of 0 (Enumeration and Display Control, KB306399).
TEST_F(DisplayQuirk, DetachClearsModeLosesTheSavedResolution) {
    SystemAndAdapter();
    PlaceSaved(D2, 1280, 0, kStage);
    Apply();
    M().displayQuirks.detachClearsMode = true;
    DetachSaved(D2, kResetSave);
    EXPECT_FALSE(Attached(D2));
    EXPECT_EQ(Saved(D2).dmPelsWidth, 0u);
    EXPECT_EQ(PlaceSaved(D2, 1280, 0, kStage), DISP_CHANGE_BADMODE);
    Apply();
    EXPECT_FALSE(Attached(D2));
}

// F: with CDS_UPDATEREGISTRY, a change that cannot be made now is saved and answered DISP_CHANGE_RESTART
// (MSDN ChangeDisplaySettingsEx).
TEST_F(DisplayQuirk, NeedsRestartSavesButDoesNotChange) {
    SystemAndAdapter();
    M().displayQuirks.needsRestart = true;
    DEVMODEA dm = Saved(D1);
    dm.dmFields = kFullPos;
    dm.dmPelsWidth = 1024;
    dm.dmPelsHeight = 768;
    EXPECT_EQ(Cds(D1, dm, CDS_UPDATEREGISTRY), DISP_CHANGE_RESTART);
    EXPECT_EQ(Current(D1).dmPelsWidth, 1280u);
    EXPECT_EQ(Saved(D1).dmPelsWidth, 1024u);
}

// ---------------------------------------------------------------------------------------------------------
// Hardware. S: when the adapter is pulled its displays leave the desktop; the first display left becomes
// primary, or comes on at its saved mode when none is left; the windows hear of it through their queue.
using DisplayHardware = DisplaySequenceTest;

TEST_F(DisplayHardware, PullingThePrimaryAdapterHandsTheDesktopBack) {
    SystemAndAdapter();
    M().displays[1].ofAdapter = true;
    PlaceSaved(D2, 0, 0, kResetPrimarySave);
    DetachSaved(D1, CDS_UPDATEREGISTRY);
    ASSERT_TRUE(Primary(D2));
    ASSERT_FALSE(Attached(D1));
    Window& w = NewWindowRecord("TestClass", "listener", 0);
    (void)w;
    M().displays[1].present = false;
    DisplayHardwareChanged();
    EXPECT_TRUE(Attached(D1));
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Current(D1).dmPelsWidth, 1280u);
    ASSERT_EQ(CurrentProcess().sent.size(), 1u);
    EXPECT_EQ(CurrentProcess().sent[0].message, UINT(WM_DISPLAYCHANGE));
}

// ---------------------------------------------------------------------------------------------------------
// The program's sequences on the default machine: each reaches the layout it was written for.
using ProgramSequences = DisplaySequenceTest;

// Extend: the system display made primary at the origin (CDS_RESET|CDS_SET_PRIMARY|CDS_UPDATEREGISTRY),
// the adapter's display staged at x = the primary's width with only DM_POSITION|DM_DISPLAYFREQUENCY,
// then applied.
TEST_F(ProgramSequences, ExtendPutsTheAdapterRightOfTheSystemDisplay) {
    SystemAndAdapter();
    WriteSwitch(M().displays[0], 1);
    EXPECT_EQ(PlaceSaved(D1, 0, 0, kResetPrimarySave), DISP_CHANGE_SUCCESSFUL);
    WriteSwitch(M().displays[1], 1);
    EXPECT_EQ(PlaceSaved(D2, 1280, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D1));
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Current(D2).dmPosition.x, 1280);
    EXPECT_EQ(Current(D2).dmPelsWidth, 1024u);
}

// Primary only, from extend: the system display detached (staged with CDS_NORESET alone, which is refused,
// then with CDS_UPDATEREGISTRY), then the adapter's display made primary at the origin. Then back: the
// system display placed right of it and applied, made primary (stage, then CDS_SET_PRIMARY alone), and the
// adapter's display detached.
TEST_F(ProgramSequences, PrimaryOnlyAndBack) {
    SystemAndAdapter();
    PlaceSaved(D2, 1280, 0, kStage);
    Apply();
    WriteSwitch(M().displays[0], 0);
    DEVMODEA off = Saved(D1);
    off.dmFields = kZeroSize;
    off.dmPelsWidth = off.dmPelsHeight = 0;
    off.dmPosition = POINTL{0, 0};
    EXPECT_EQ(Cds(D1, off, CDS_NORESET), DISP_CHANGE_BADFLAGS);
    EXPECT_EQ(Cds(D1, off, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    WriteSwitch(M().displays[1], 1);
    EXPECT_EQ(PlaceSaved(D2, 0, 0, kResetPrimarySave), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D1));
    EXPECT_TRUE(Primary(D2));
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);

    // Back to the system display.
    WriteSwitch(M().displays[0], 1);
    EXPECT_EQ(PlaceSaved(D1, 1024, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D1));
    EXPECT_EQ(Current(D1).dmPelsWidth, 1280u);
    EXPECT_EQ(Current(D1).dmPosition.x, 1024);
    EXPECT_EQ(PlaceSaved(D1, 0, 0, kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(PlaceSaved(D1, 0, 0, CDS_SET_PRIMARY), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D1));
    WriteSwitch(M().displays[1], 0);
    EXPECT_EQ(DetachSaved(D2, kResetSave), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Current(D1).dmPosition.x, 0);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
}

// Mirror: the mirror driver staged at the origin with the primary's size and applied; it copies the
// primary and the primary stays primary.
TEST_F(ProgramSequences, MirrorCoversThePrimary) {
    SystemAndAdapter();
    DisplayDevice& mirror = Add("ZTK\\USB2VGAM", {k1280, k1024}, false);
    mirror.staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    DEVMODEA dm = Saved(D3);
    dm.dmFields |= 0x580020;
    dm.dmPosition = POINTL{0, 0};
    dm.dmPelsWidth = 1280;
    dm.dmPelsHeight = 1024;
    dm.dmBitsPerPel = 32;
    EXPECT_EQ(Cds(D3, dm, kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D3));
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Current(D3).dmPosition.x, 0);
    EXPECT_EQ(Current(D3).dmPelsWidth, 1280u);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
}
