// The simulated display API, one group per rule of docs/winsim-display.md. Each group names the fact it
// encodes; a rule that is our own choice says so ("S:").
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <string>
#include <vector>

using namespace winsim;

namespace {

const DisplayMode k1280{1280, 1024, 32, 60};
const DisplayMode k1280at75{1280, 1024, 32, 75};
const DisplayMode k1024{1024, 768, 32, 60};
const DisplayMode k1024at16{1024, 768, 16, 60};
const DisplayMode k800{800, 600, 32, 60};

constexpr DWORD kPosFreq = DM_POSITION | DM_DISPLAYFREQUENCY;                                     // 0x400020
constexpr DWORD kDetachFields = DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY; // 0x580020
constexpr DWORD kFullMode = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;   // 0x5C0000
constexpr DWORD kStage = CDS_UPDATEREGISTRY | CDS_NORESET;

struct DisplayChange {
    WPARAM bpp;
    LPARAM size;
    int depth; // ChangeDisplaySettingsExA calls in progress when it arrived
    DWORD currentWidth;
};
std::vector<DisplayChange> g_changes;

LRESULT CALLBACK ListeningProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPLAYCHANGE) {
        DEVMODEA now{};
        now.dmSize = sizeof now;
        EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &now);
        g_changes.push_back(DisplayChange{wParam, lParam, M().displayChangeDepth, now.dmPelsWidth});
    }
    return 0;
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        g_changes.clear();
    }

    // The next \\.\DISPLAYn; an attached one runs its first mode at (x, y) and has saved the same.
    static DisplayDevice& Add(const char* id, std::vector<DisplayMode> modes, bool attached, LONG x = 0,
                              LONG y = 0) {
        Machine& m = M();
        m.displays.emplace_back();
        DisplayDevice& d = m.displays.back();
        d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size())).c_str();
        d.description = "Display adapter";
        d.deviceId = id;
        for (const DisplayMode& mode : modes)
            d.modes.push_back(mode);
        d.current = DisplaySettings{d.modes.front(), x, y, attached};
        d.registry = d.current;
        if (!attached)
            d.current.mode = DisplayMode{};
        return d;
    }
    static DisplayDevice& AddPrimary(std::vector<DisplayMode> modes = {k1280, k1280at75, k1024, k800}) {
        DisplayDevice& d = Add("PCI\\VEN_10DE&DEV_0421", modes, true);
        d.primary = d.registryPrimary = true;
        return d;
    }

    static DEVMODEA Dm(DWORD fields, DWORD w = 0, DWORD h = 0, DWORD bpp = 0, DWORD hz = 0, LONG x = 0,
                       LONG y = 0) {
        DEVMODEA dm{};
        dm.dmSize = sizeof dm;
        dm.dmFields = fields;
        dm.dmPelsWidth = w;
        dm.dmPelsHeight = h;
        dm.dmBitsPerPel = bpp;
        dm.dmDisplayFrequency = hz;
        dm.dmPosition.x = x;
        dm.dmPosition.y = y;
        return dm;
    }
    static LONG Cds(const char* device, DEVMODEA dm, DWORD flags) {
        return ChangeDisplaySettingsExA(device, &dm, nullptr, flags, nullptr);
    }
    static LONG Place(const char* device, LONG x, LONG y, DWORD flags = kStage) {
        return Cds(device, Dm(DM_POSITION, 0, 0, 0, 0, x, y), flags);
    }
    static LONG Detach(const char* device, DWORD flags = kStage) {
        return Cds(device, Dm(kDetachFields, 0, 0, 0, 60), flags);
    }
    static LONG Apply() { return ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr); }

    static DEVMODEA Settings(const char* device, DWORD which) {
        DEVMODEA dm{};
        dm.dmSize = sizeof dm;
        EXPECT_TRUE(EnumDisplaySettingsA(device, which, &dm)) << device;
        return dm;
    }
    static DWORD State(const char* device) {
        DISPLAY_DEVICEA dd{};
        dd.cb = sizeof dd;
        for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &dd, 0); ++i) {
            if (std::string(dd.DeviceName) == device)
                return dd.StateFlags;
        }
        ADD_FAILURE() << device << " not enumerated";
        return 0;
    }
    static bool Attached(const char* device) { return State(device) & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP; }
    static bool Primary(const char* device) { return State(device) & DISPLAY_DEVICE_PRIMARY_DEVICE; }
    static POINTL Where(const char* device) { return Settings(device, ENUM_CURRENT_SETTINGS).dmPosition; }

    static HWND ListeningWindow() {
        Window& w = NewWindowRecord("TestClass", "listener", 0);
        w.proc = ListeningProc;
        return ToHwnd(w.handle);
    }
};

const char* const D1 = "\\\\.\\DISPLAY1";
const char* const D2 = "\\\\.\\DISPLAY2";
const char* const D3 = "\\\\.\\DISPLAY3";

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Validation. F: hwnd must be NULL and lParam NULL without CDS_VIDEOPARAMETERS; CDS_NORESET and CDS_GLOBAL
// need CDS_UPDATEREGISTRY; unknown and monitor names give DISP_CHANGE_BADPARAM even with CDS_TEST (MSDN
// ChangeDisplaySettingsEx, Wine monitor tests). S: the exact code for a contradictory CDS_RESET|CDS_NORESET
// is DISP_CHANGE_BADFLAGS, as ReactOS answers.
using DisplayValidation = DisplayTest;

TEST_F(DisplayValidation, ParametersAndFlagCombinationsAreCheckedBeforeAnything) {
    AddPrimary();
    DEVMODEA dm = Dm(kFullMode, 1024, 768, 32, 60);
    int dummy = 0;
    EXPECT_EQ(ChangeDisplaySettingsExA(D1, &dm, reinterpret_cast<HWND>(1), 0, nullptr), DISP_CHANGE_BADPARAM);
    EXPECT_EQ(ChangeDisplaySettingsExA(D1, &dm, nullptr, 0, &dummy), DISP_CHANGE_BADPARAM);
    EXPECT_EQ(Cds(D1, dm, CDS_NORESET), DISP_CHANGE_BADFLAGS);
    EXPECT_EQ(Cds(D1, dm, CDS_GLOBAL), DISP_CHANGE_BADFLAGS);
    EXPECT_EQ(Cds(D1, dm, CDS_RESET | CDS_NORESET | CDS_UPDATEREGISTRY), DISP_CHANGE_BADFLAGS);
    EXPECT_EQ(Cds("invalid", dm, CDS_TEST), DISP_CHANGE_BADPARAM);
    EXPECT_EQ(Cds("\\\\.\\DISPLAY0", dm, CDS_TEST), DISP_CHANGE_BADPARAM);
    EXPECT_EQ(Cds("\\\\.\\DISPLAY1\\Monitor0", dm, CDS_TEST), DISP_CHANGE_BADPARAM);
    // None of them changed anything.
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1280u);
    EXPECT_EQ(Settings(D1, ENUM_REGISTRY_SETTINGS).dmPelsWidth, 1280u);
}

// F: a mode must be in the device's list; a frequency of 0 means "the default"; CDS_TEST only checks
// (MSDN, Wine vid_modes_test). S: a mode the scenario marks refused answers DISP_CHANGE_BADMODE.
TEST_F(DisplayValidation, ModesMustBeListedAndTestOnlyChecks) {
    DisplayDevice& d = AddPrimary();
    d.refusedModes.push_back(k800);
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1600, 1200, 32, 60), 0), DISP_CHANGE_BADMODE);
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1024, 768, 16, 60), 0), DISP_CHANGE_BADMODE);
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1280, 1024, 32, 85), 0), DISP_CHANGE_BADMODE);
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 800, 600, 32, 60), 0), DISP_CHANGE_BADMODE);
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1024, 768, 32, 0), CDS_TEST), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Cds(D1, Dm(DM_PELSWIDTH | DM_PELSHEIGHT, 1024, 768), CDS_TEST), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1280u);
    // A NULL device is the primary display; a frequency of 0 keeps the one the display runs.
    EXPECT_EQ(Cds(nullptr, Dm(DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY, 1280, 1024, 0, 0), 0),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmDisplayFrequency, 60u);
    EXPECT_EQ(Cds(nullptr, Dm(DM_DISPLAYFREQUENCY, 0, 0, 0, 75), 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmDisplayFrequency, 75u);
}

// ---------------------------------------------------------------------------------------------------------
// Staging. F: CDS_UPDATEREGISTRY|CDS_NORESET saves without changing the display; the apply call
// ChangeDisplaySettingsEx(NULL, NULL, NULL, 0, NULL) makes every saved setting current; a device name with a
// NULL mode applies that device only; unflagged members keep their values (MSDN, Wine monitor tests).
using DisplayStaging = DisplayTest;

TEST_F(DisplayStaging, NoResetSavesAndTheApplyCallMakesItCurrent) {
    AddPrimary();
    ListeningWindow();
    EXPECT_EQ(Cds(D1, Dm(DM_PELSWIDTH | DM_PELSHEIGHT | DM_POSITION, 1024, 768), kStage),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1280u);
    DEVMODEA saved = Settings(D1, ENUM_REGISTRY_SETTINGS);
    EXPECT_EQ(saved.dmPelsWidth, 1024u);
    EXPECT_EQ(saved.dmBitsPerPel, 32u);
    EXPECT_EQ(saved.dmDisplayFrequency, 60u);
    EXPECT_TRUE(saved.dmFields & DM_POSITION);
    EXPECT_TRUE(g_changes.empty());
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1024u);
    EXPECT_EQ(g_changes.size(), 1u);
}

TEST_F(DisplayStaging, ADeviceApplyTakesOnlyThatDevicesSavedSettings) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024, k800}, true, 1280, 0);
    EXPECT_EQ(Cds(D1, Dm(DM_PELSWIDTH | DM_PELSHEIGHT, 1024, 768), kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Cds(D2, Dm(DM_PELSWIDTH | DM_PELSHEIGHT, 800, 600), kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(ChangeDisplaySettingsExA(D2, nullptr, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D2, ENUM_CURRENT_SETTINGS).dmPelsWidth, 800u);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1280u);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Settings(D1, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1024u);
}

// ---------------------------------------------------------------------------------------------------------
// Detach and attach. F: a detach needs DM_PELSWIDTH|DM_PELSHEIGHT of 0 as well as DM_POSITION; DM_POSITION
// alone, or a zero size without DM_POSITION, leaves the device attached; a detached device answers
// ENUM_CURRENT_SETTINGS with zeros; attaching with a dynamic (CDS_RESET-only) call fails with
// DISP_CHANGE_FAILED (Wine monitor and sysparams tests). S: a dynamic detach answers success and changes
// nothing.
using DisplayDetach = DisplayTest;

TEST_F(DisplayDetach, OnlyAZeroSizeWithPositionAndSizeFlaggedDetaches) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, true, 1280, 0);
    EXPECT_EQ(Cds(D2, Dm(DM_POSITION), kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Cds(D2, Dm(DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT, 0, 0, 32), kStage),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Settings(D2, ENUM_CURRENT_SETTINGS).dmPelsWidth, 1024u);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 2);

    EXPECT_EQ(Detach(D2), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2)); // staged only
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D2));
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
    DEVMODEA off = Settings(D2, ENUM_CURRENT_SETTINGS);
    EXPECT_EQ(off.dmPelsWidth, 0u);
    EXPECT_EQ(off.dmBitsPerPel, 0u);
    EXPECT_EQ(off.dmDisplayFrequency, 0u);
}

TEST_F(DisplayDetach, AttachingAndDetachingGoThroughTheRegistry) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, false);
    Add("PCI\\VEN_1002&DEV_5B61", {k1024}, true, 1280, 0);
    EXPECT_EQ(Cds(D2, Dm(kFullMode | DM_POSITION, 1024, 768, 32, 60, 1280, 0), CDS_RESET),
              DISP_CHANGE_FAILED);
    EXPECT_FALSE(Attached(D2));
    EXPECT_EQ(Detach(D3, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D3));
    // With CDS_UPDATEREGISTRY the one call does both.
    EXPECT_EQ(
        Cds(D2, Dm(kFullMode | DM_POSITION, 1024, 768, 32, 60, 2304, 0), CDS_UPDATEREGISTRY | CDS_RESET),
        DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_EQ(Detach(D3, CDS_UPDATEREGISTRY | CDS_RESET), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D3));
}

// ---------------------------------------------------------------------------------------------------------
// The last display. F: with a single display, staging its detach and applying both succeed and it stays
// attached; Wine: "Detaching all modes is not permitted" (Wine monitor tests).
using DisplayLastDisplay = DisplayTest;

TEST_F(DisplayLastDisplay, TheOnlyDisplayIsNeverDetached) {
    AddPrimary();
    Add("USBDISPLAY\\MIRROR", {k1280}, false).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    EXPECT_EQ(Detach(D1), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D1));
    EXPECT_EQ(Detach(D1, CDS_UPDATEREGISTRY | CDS_RESET), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D1));
    // A mirror driver is no display of its own: it does not keep the desktop alive.
    EXPECT_EQ(Cds(D2, Dm(kFullMode | DM_POSITION, 1280, 1024, 32, 60), kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Detach(D1), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D1));
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
}

// ---------------------------------------------------------------------------------------------------------
// Positions. F: the primary display is always at (0,0); a secondary staged to overlap it by one pixel is
// moved to touch it, a one-pixel gap is removed, the eight adjacent placements are kept, and a secondary
// to the right of a primary that changes resolution moves to x = the new width (Wine monitor tests).
// S: the packing order, and that a display given the top-left corner of another goes to its right.
using DisplayPacking = DisplayTest;

TEST_F(DisplayPacking, OverlapsAndGapsAreRemovedAndAdjacentPlacesKept) {
    AddPrimary({k1024, k800});
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, true, 1024, 0);
    struct Case {
        LONG x, y, wantX, wantY;
    } cases[] = {
        {1023, 0, 1024, 0},     {1025, 0, 1024, 0},         {0, 767, 0, 768},     {-1025, 0, -1024, 0},
        {1024, 0, 1024, 0},     {-1024, 0, -1024, 0},       {0, 768, 0, 768},     {0, -768, 0, -768},
        {1024, 384, 1024, 384}, {-1024, -384, -1024, -384}, {512, 768, 512, 768}, {-512, -768, -512, -768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(Place(D2, c.x, c.y), DISP_CHANGE_SUCCESSFUL);
        EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
        POINTL at = Where(D2);
        EXPECT_EQ(at.x, c.wantX);
        EXPECT_EQ(at.y, c.wantY);
        EXPECT_EQ(Where(D1).x, 0);
        EXPECT_EQ(Where(D1).y, 0);
    }
}

TEST_F(DisplayPacking, ThePrimaryStaysAtTheOriginAndItsNeighbourFollowsItsSize) {
    AddPrimary({k1024, k800});
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, true, 1024, 0);
    EXPECT_EQ(Cds(D1, Dm(DM_PELSWIDTH | DM_PELSHEIGHT, 800, 600), CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Where(D2).x, 800);
    EXPECT_EQ(Where(D2).y, 0);
    // Asking the primary to sit elsewhere moves the desktop around it instead.
    EXPECT_EQ(Place(D1, 300, 200, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Where(D1).x, 0);
    EXPECT_EQ(Where(D1).y, 0);
    EXPECT_EQ(Settings(D1, ENUM_REGISTRY_SETTINGS).dmPosition.x, 0);
    POINTL at = Where(D2);
    EXPECT_TRUE(at.x == 800 || at.x == -1024 || at.y == 600 || at.y == -768) << at.x << "," << at.y;
}

TEST_F(DisplayPacking, ADisplayGivenAnotherOnesCornerGoesToItsRight) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, false);
    Add("PCI\\VEN_1002&DEV_5B61", {k800}, false);
    EXPECT_EQ(Place(D2, 0, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Place(D3, 0, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Where(D2).x, 1280);
    EXPECT_EQ(Where(D2).y, 0);
    EXPECT_EQ(Where(D3).x, 2304);
    EXPECT_EQ(Where(D3).y, 0);
    // The place the desktop gave them is what Windows saves.
    EXPECT_EQ(Settings(D3, ENUM_REGISTRY_SETTINGS).dmPosition.x, 2304);
}

// ---------------------------------------------------------------------------------------------------------
// The primary display. F: CDS_SET_PRIMARY makes the device primary; the working recipe stages the new
// primary at (0,0) with CDS_SET_PRIMARY|CDS_UPDATEREGISTRY|CDS_NORESET and the others shifted by the same
// offset, then applies (MSDN; practitioners' reports); exactly one device is primary, and a REMOVABLE device
// cannot be (MSDN DISPLAY_DEVICE). S: a primary detached while others stay passes the role to the first
// display left.
using DisplaySetPrimary = DisplayTest;

TEST_F(DisplaySetPrimary, StagedSetPrimaryMovesTheOriginToTheNewPrimary) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, true, 1280, 0);
    EXPECT_EQ(Cds(D2, Dm(DM_POSITION, 0, 0, 0, 0, 0, 0), CDS_SET_PRIMARY | kStage), DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Place(D1, -1280, 0), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D2));
    EXPECT_FALSE(Primary(D1));
    EXPECT_EQ(Where(D2).x, 0);
    EXPECT_EQ(Where(D1).x, -1280);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}

TEST_F(DisplaySetPrimary, OneCallSetPrimaryAndTheRemovableException) {
    AddPrimary();
    DisplayDevice& usb = Add("USBDISPLAY\\DISPLAY", {k1024}, true, 1280, 0);
    usb.staticFlags = DISPLAY_DEVICE_REMOVABLE;
    EXPECT_EQ(Cds(D2, Dm(kPosFreq, 0, 0, 0, 60), CDS_RESET | CDS_SET_PRIMARY | CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D1));
    usb.staticFlags = 0;
    EXPECT_EQ(Cds(D2, Dm(kPosFreq, 0, 0, 0, 60), CDS_RESET | CDS_SET_PRIMARY | CDS_UPDATEREGISTRY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Primary(D2));
    EXPECT_FALSE(Primary(D1));
    EXPECT_EQ(Where(D2).x, 0);
    EXPECT_EQ(Where(D1).x, 1024); // it had the corner: it goes to the right
}

TEST_F(DisplaySetPrimary, DetachingThePrimaryHandsTheRoleOn) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, true, 1280, 0);
    EXPECT_EQ(Detach(D1, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    EXPECT_FALSE(Attached(D1));
    EXPECT_TRUE(Primary(D2));
    EXPECT_EQ(Where(D2).x, 0);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
}

// ---------------------------------------------------------------------------------------------------------
// Mirror drivers. F: a mirror driver takes exactly the rectangle it is given, may cover other displays, is
// not a monitor (SM_CMONITORS) and is never primary (Mirror Drivers docs, MSDN DISPLAY_DEVICE).
using DisplayMirror = DisplayTest;

TEST_F(DisplayMirror, AMirrorTakesItsRectangleAndNeverLeads) {
    AddPrimary();
    Add("USBDISPLAY\\MIRROR", {k1280, k1024}, false).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    EXPECT_EQ(Cds(D2, Dm(DM_POSITION | kFullMode, 1024, 768, 32, 60, 100, 50), kStage | CDS_SET_PRIMARY),
              DISP_CHANGE_SUCCESSFUL);
    EXPECT_EQ(Apply(), DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(Attached(D2));
    EXPECT_TRUE(State(D2) & DISPLAY_DEVICE_MIRRORING_DRIVER);
    EXPECT_FALSE(Primary(D2));
    EXPECT_TRUE(Primary(D1));
    EXPECT_EQ(Where(D2).x, 100);
    EXPECT_EQ(Where(D2).y, 50);
    EXPECT_EQ(Where(D1).x, 0);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 1);
    // A mirror has no monitor of its own.
    DISPLAY_DEVICEA monitor{};
    monitor.cb = sizeof monitor;
    EXPECT_FALSE(EnumDisplayDevicesA(D2, 0, &monitor, 0));
    EXPECT_TRUE(EnumDisplayDevicesA(D1, 0, &monitor, 0));
    EXPECT_STREQ(monitor.DeviceName, "\\\\.\\DISPLAY1\\Monitor0");
}

// ---------------------------------------------------------------------------------------------------------
// WM_DISPLAYCHANGE. F: sent to every top-level window with the primary's depth and size; sent from inside
// the call that made the change (so the program's own window procedure is re-entered); not sent for
// CDS_TEST, staged calls or an unchanged mode without CDS_RESET; sent when displays are switched on or off
// (MSDN WM_DISPLAYCHANGE; Wine sysparams tests; both re-implementations; GLFW report).
using DisplayChangeMessage = DisplayTest;

TEST_F(DisplayChangeMessage, SentFromInsideTheCallWithThePrimarysValues) {
    AddPrimary();
    ListeningWindow();
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1024, 768, 32, 60), CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(g_changes.size(), 1u);
    EXPECT_EQ(g_changes[0].bpp, 32u);
    EXPECT_EQ(g_changes[0].size, MAKELPARAM(1024, 768));
    EXPECT_EQ(g_changes[0].depth, 1);            // inside ChangeDisplaySettingsExA
    EXPECT_EQ(g_changes[0].currentWidth, 1024u); // the change is already made
    EXPECT_EQ(M().displayChangeDepth, 0);
}

TEST_F(DisplayChangeMessage, OnlyChangesThatHappenAreAnnounced) {
    AddPrimary();
    Add("PCI\\VEN_1002&DEV_5B60", {k1024}, false);
    ListeningWindow();
    Cds(D1, Dm(kFullMode, 1024, 768, 32, 60), CDS_TEST);
    Cds(D1, Dm(kFullMode, 1280, 1024, 32, 75), kStage);
    Cds(D1, Dm(kFullMode, 1280, 1024, 32, 75), kStage | CDS_TEST);
    Cds(D1, Dm(kFullMode, 1280, 1024, 32, 60), kStage); // back as it runs
    Cds(D1, Dm(kFullMode, 1280, 1024, 32, 60), 0);
    EXPECT_TRUE(g_changes.empty());
    Cds(D1, Dm(kFullMode, 1280, 1024, 32, 60), CDS_RESET);
    EXPECT_EQ(g_changes.size(), 1u);
    // A secondary coming on changes the desktop, not the primary: the message carries the primary's size.
    Cds(D2, Dm(kPosFreq, 0, 0, 0, 60, 1280, 0), kStage);
    Apply();
    ASSERT_EQ(g_changes.size(), 2u);
    EXPECT_EQ(g_changes[1].size, MAKELPARAM(1280, 1024));
}

TEST_F(DisplayChangeMessage, CallsFromTheWindowProcedureAreRecordedAfterTheCallThatSentIt) {
    AddPrimary();
    Window& w = NewWindowRecord("TestClass", "re-entering", 0);
    w.proc = [](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        if (message == WM_DISPLAYCHANGE && M().displayChangeDepth == 1) {
            DEVMODEA dm{};
            dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
            dm.dmPelsWidth = 800;
            dm.dmPelsHeight = 600;
            ChangeDisplaySettingsExA(nullptr, &dm, nullptr, CDS_TEST, nullptr);
        }
        return 0;
    };
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1024, 768, 32, 60), CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    const Vec<DisplayChangeCall>& calls = M().displayChanges;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].flags, DWORD(CDS_UPDATEREGISTRY));
    EXPECT_EQ(calls[0].mode.width, 1024u);
    EXPECT_EQ(calls[0].result, DISP_CHANGE_SUCCESSFUL);
    EXPECT_TRUE(calls[0].hasDevice);
    EXPECT_EQ(calls[0].device, "\\\\.\\DISPLAY1");
    EXPECT_EQ(calls[1].flags, DWORD(CDS_TEST));
    EXPECT_FALSE(calls[1].hasDevice);
    EXPECT_EQ(calls[1].mode.width, 800u);
    EXPECT_EQ(calls[0].pid, calls[1].pid);
}

TEST_F(DisplayChangeMessage, AnotherProcessGetsItQueued) {
    AddPrimary();
    Process* other = New<Process>();
    other->pid = 2000;
    M().processes.push_back(other);
    Window& w = NewWindowRecord("TestClass", "other", 0);
    w.pid = 2000;
    EXPECT_EQ(Cds(D1, Dm(kFullMode, 1024, 768, 32, 60), CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(other->sent.size(), 1u);
    EXPECT_EQ(other->sent[0].message, UINT(WM_DISPLAYCHANGE));
    EXPECT_EQ(other->sent[0].wParam, 32u);
    EXPECT_EQ(other->sent[0].value, MAKELPARAM(1024, 768));
}

// The user's change in the Display control panel: made, saved unless it is temporary, and announced through
// the queue of every program with the primary's values, also when the display changed is not the primary.
TEST_F(DisplayChangeMessage, TheUsersChangeWaitsInEveryQueueAndATemporaryOneSavesNothing) {
    const struct {
        int device; // 0 the primary, 1 the secondary
        bool temporary;
        DisplayMode mode;
        DWORD savedWidth; // the registry mode the program reads back afterwards
        LPARAM size;      // of the primary, in WM_DISPLAYCHANGE
    } cases[] = {
        {0, false, k1024, 1024, MAKELPARAM(1024, 768)},
        {0, true, k1024, 1280, MAKELPARAM(1024, 768)},
        {1, false, k800, 800, MAKELPARAM(1280, 1024)},
        {1, true, k800, 1024, MAKELPARAM(1280, 1024)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "display " << c.device + 1 << (c.temporary ? " temporary" : ""));
        SetUp();
        AddPrimary();
        Add("PCI\\VEN_8086&DEV_2A42", {k1024, k800}, true, 1280, 0);
        ListeningWindow();
        DWORD self = CurrentProcess().pid;
        DWORD other = AddTestProcess();
        PlayTestProcess(other);
        ListeningWindow();
        PlayTestProcess(self);
        const char* name = c.device ? D2 : D1;
        EXPECT_EQ(UserChangeDisplayMode(M().displays[c.device], c.mode, c.temporary), DISP_CHANGE_SUCCESSFUL);
        EXPECT_TRUE(g_changes.empty());
        EXPECT_EQ(Settings(name, ENUM_CURRENT_SETTINGS).dmPelsWidth, c.mode.width);
        EXPECT_EQ(Settings(name, ENUM_REGISTRY_SETTINGS).dmPelsWidth, c.savedWidth);
        for (DWORD pid : {self, other}) {
            PlayTestProcess(pid);
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        }
        PlayTestProcess(self);
        ASSERT_EQ(g_changes.size(), 2u);
        for (const DisplayChange& change : g_changes) {
            EXPECT_EQ(change.bpp, 32u);
            EXPECT_EQ(change.size, c.size);
            EXPECT_EQ(change.depth, 0);
        }
        EXPECT_TRUE(M().displayChanges.empty()); // not a call of the program
    }
    // Without the registry the panel cannot switch on a display that is off.
    SetUp();
    AddPrimary();
    Add("PCI\\VEN_8086&DEV_2A42", {k1024, k800}, false);
    EXPECT_EQ(UserChangeDisplayMode(M().displays[1], k800, true), DISP_CHANGE_FAILED);
    EXPECT_FALSE(Attached(D2));
}

// ---------------------------------------------------------------------------------------------------------
// Enumeration. F: adapters enumerate in a fixed order until the index runs out; the monitor is
// <adapter>\Monitor0 with DISPLAY_DEVICE_ACTIVE|ATTACHED while attached; ENUM_REGISTRY_SETTINGS answers for
// every device, detached or not, with DM_POSITION; EDD_GET_DEVICE_INTERFACE_NAME empties the adapter's
// DeviceID on Vista and 7 and is ignored by XP (Wine monitor and sysparams tests). S: no-registry-mode.
using DisplayEnumeration = DisplayTest;

TEST_F(DisplayEnumeration, DevicesMonitorsAndSavedSettings) {
    AddPrimary();
    DisplayDevice& off = Add("PCI\\VEN_1002&DEV_5B60", {k1024}, false);
    DISPLAY_DEVICEA dd{};
    dd.cb = sizeof dd;
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 1, &dd, EDD_GET_DEVICE_INTERFACE_NAME));
    EXPECT_STREQ(dd.DeviceID, "PCI\\VEN_1002&DEV_5B60");
    EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 2, &dd, 0));
    M().os.major = 6;
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 1, &dd, EDD_GET_DEVICE_INTERFACE_NAME));
    EXPECT_STREQ(dd.DeviceID, "");
    ASSERT_TRUE(EnumDisplayDevicesA(D2, 0, &dd, 0));
    EXPECT_EQ(dd.StateFlags, DWORD(DISPLAY_DEVICE_ATTACHED));
    ASSERT_TRUE(EnumDisplayDevicesA(D1, 0, &dd, 0));
    EXPECT_EQ(dd.StateFlags, DWORD(DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED));

    DEVMODEA saved = Settings(D2, ENUM_REGISTRY_SETTINGS);
    EXPECT_EQ(saved.dmPelsWidth, 1024u);
    EXPECT_TRUE(saved.dmFields & DM_POSITION);
    EXPECT_EQ(saved.dmSize, offsetof(DEVMODEA, dmICMMethod));
    off.registryMissing = true;
    DEVMODEA dm{};
    EXPECT_FALSE(EnumDisplaySettingsA(D2, ENUM_REGISTRY_SETTINGS, &dm));
    // Past the last mode: Vista and later say ERROR_NO_MORE_FILES.
    SetLastError(0);
    EXPECT_FALSE(EnumDisplaySettingsA(D2, 1, &dm));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
}
