// The display-device library, call by call. For layout changes the order and the flags of the
// ChangeDisplaySettingsExA calls are the contract: a detach or a move is stored with CDS_NORESET and only
// the final call with no device and no mode ("apply") carries them out together, and Windows detaches a
// display only when it is given a size of 0 by 0 with DM_PELSWIDTH, DM_PELSHEIGHT and DM_POSITION flagged.
// Each test lays out a machine, runs one operation and compares the calls with a table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dispo_dlg.h"
#include "machine.h"
#include "sysint/disp_dev.h"
#include "test_machine.h"

using namespace test_machine;
using Calls_t = std::vector<std::string>;

namespace {

constexpr char kSystemId[] = "PCI\\VEN_10DE&DEV_0421";
constexpr char kAdapterId[] = "ZTK\\USB2VGA";
constexpr char kMirrorId[] = "ZTK\\USB2VGAM";

// What EnumDisplaySettingsA reports as the fields of a registry mode: the mode's six and DM_POSITION.
// Operations that add their fields to the ones read keep these.
constexpr unsigned kRegFields = 0x7C00A0;

class DispDev : public Machine {
protected:
    // The system's display at (0, 0), 1280 wide, and the adapter's display, known but off the desktop.
    void SystemAndAdapter() {
        AddPrimary(kSystemId, {{1280, 1024, 32}, {1024, 768, 32}});
        AddDisplay(kAdapterId, {{1024, 768, 16}, {800, 600, 16}});
        DispDevInit();
    }

    static winsim::DisplayDevice& Display(int n) { return winsim::M().displays[static_cast<size_t>(n - 1)]; }

    static bool AttachedAt(int n, LONG x, LONG y) {
        const winsim::DisplayDevice& d = Display(n);
        return d.current.attached && d.current.x == x && d.current.y == y;
    }

    static DISPLAY_DEVICEA ById(const char* pszId) {
        DISPLAY_DEVICEA dd = {};
        snprintf(dd.DeviceID, sizeof(dd.DeviceID), "%s", pszId);
        return dd;
    }

    static std::vector<int> Flagged() {
        std::vector<int> slots;
        for (int i = 0; i < kDetachedDevSlots; ++i)
            if (DispDevDetachedSlot(i).bFlag)
                slots.push_back(i);
        return slots;
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Start-up

// The system's own display is never a mirroring driver nor one of the adapter's two devices (the adapter
// may well be primary at start, when Windows kept the last layout): the primary one, else the first
// attached, else the first; device 0 only when nothing else is there.
TEST_F(DispDev, InitRemembersTheSystemsOwnDisplayNeverTheAdaptersOrAMirror) {
    const struct {
        const char* name;
        void (*machine)();
        const char* remembered;
    } cases[] = {
        {"the adapter's display enumerates first",
         [] {
             AddDisplay(kAdapterId, {{1024, 768, 16}});
             AddPrimary(kSystemId, {{1280, 1024, 32}});
         },
         kSystemId},
        {"the adapter's display is primary, the system's beside it",
         [] {
             AddPrimary(kAdapterId, {{1024, 768, 16}});
             AddDisplay(kSystemId, {{1280, 1024, 32}}, true, 1024, 0);
         },
         kSystemId},
        {"an output the user keeps off comes first",
         [] {
             AddDisplay("PCI\\VEN_1002&DEV_5B60", {{1024, 768, 32}});
             AddPrimary(kSystemId, {{1280, 1024, 32}});
         },
         kSystemId},
        {"a foreign mirroring driver comes first",
         [] {
             AddDisplay("ROOT\\MIRROR", {{1280, 1024, 32}}, true).staticFlags =
                 DISPLAY_DEVICE_MIRRORING_DRIVER;
             AddPrimary(kSystemId, {{1280, 1024, 32}});
         },
         kSystemId},
        {"the adapter alone on the desktop, the system's display off",
         [] {
             AddPrimary(kAdapterId, {{1024, 768, 16}});
             AddDisplay(kMirrorId, {{1024, 768, 16}}).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
             AddDisplay(kSystemId, {{1280, 1024, 32}});
         },
         kSystemId},
        {"nothing but the adapter's devices",
         [] {
             AddPrimary(kAdapterId, {{1024, 768, 16}});
         },
         kAdapterId},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        winsim::BeginTestProcess();
        c.machine();
        // A previous program start in the same image left its state behind.
        DispDevDetachedSlot(4).bFlag = TRUE;
        DispDevOrgPrimary().bFlag = FALSE;
        DispDevForget();

        EXPECT_EQ(DispDevInit(kAdapterId, kMirrorId), 1);
        EXPECT_TRUE(DispDevInitDone());
        EXPECT_TRUE(DispDevOrgPrimary().bFlag);
        EXPECT_STREQ(DispDevOrgPrimary().dd.DeviceID, c.remembered);
        EXPECT_TRUE(Flagged().empty());
        EXPECT_EQ(DispDevLastResult(), DISP_CHANGE_SUCCESSFUL);
        EXPECT_TRUE(Calls().empty());
    }
}

TEST_F(DispDev, WithNoDisplayDeviceZeroAtStartExtendingAndRestoringTheSystemsDisplayDoNothing) {
    DispDevInit();
    EXPECT_FALSE(DispDevOrgPrimary().bFlag);
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}});
    DISPLAY_DEVICEA adapter = Record(1);
    EXPECT_EQ(DispDevAttachExtend(adapter), 0);
    DispDevRestoreOrgPrimary();
    EXPECT_EQ(DispDevPlaceOrgRight(), 1);
    EXPECT_EQ(DispDevDetachOrg(), 1);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), -1);
}

TEST_F(DispDev, BeforeInitOnlyTheModeSettersAndTheLastResultWork) {
    SystemAndAdapter();
    DispDevForget();
    const LONG nLastResult = DispDevLastResult();
    DISPLAY_DEVICEA system = Record(0);
    DISPLAY_DEVICEA adapter = Record(1);
    DEVMODEA dm = {};
    EXPECT_EQ(DispDevFindById(kAdapterId, adapter), 0);
    EXPECT_EQ(DispDevGetRegMode(system, dm), 0);
    EXPECT_EQ(DispDevIsAttached(system), 0);
    EXPECT_EQ(DispDevRestorePrimary(system), 0);
    DispDevRestoreOrgPrimary();
    EXPECT_EQ(DispDevMakePrimary(adapter), 0);
    EXPECT_EQ(DispDevAttachAtOrigin(adapter, 800, 600, 16), 0);
    EXPECT_EQ(DispDevDetach(system), 0);
    EXPECT_EQ(DispDevSetOrgPrimary(), 0);
    EXPECT_EQ(DispDevPlaceOrgRight(), 0);
    EXPECT_EQ(DispDevDetachOrg(), 0);
    EXPECT_EQ(DispDevDetachOthers(adapter), 0);
    EXPECT_EQ(DispDevReattachOthers(), 0);
    EXPECT_EQ(DispDevAttachExtend(adapter), 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), -1);

    EXPECT_EQ(DispDevLastResult(), nLastResult);
    EXPECT_EQ(DispDevSetMode(1024, 768, 32, system), 1);
    EXPECT_EQ(Calls(), Calls_t{"\\\\.\\DISPLAY1 1024x768x32@60 pos 0,0 fields "
                               "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY "
                               "flags CDS_UPDATEREGISTRY"});
}

// ---------------------------------------------------------------------------------------------------------
// Looking devices up

TEST_F(DispDev, DevicesAreFoundByIdWithoutRegardToCaseAndAMissLeavesTheRecord) {
    SystemAndAdapter();
    DISPLAY_DEVICEA dd = ById("ztk\\usb2vga");
    ASSERT_EQ(DispDevFindById(dd.DeviceID, dd), 1);
    EXPECT_STREQ(dd.DeviceName, "\\\\.\\DISPLAY2");
    EXPECT_STREQ(dd.DeviceID, kAdapterId);

    DISPLAY_DEVICEA missing = ById("ZTK\\USBVGA04");
    snprintf(missing.DeviceName, sizeof(missing.DeviceName), "stale");
    EXPECT_EQ(DispDevFindById("ZTK\\USBVGA04", missing), 0);
    EXPECT_EQ(DispDevIsAttached(missing), 0);
    EXPECT_STREQ(missing.DeviceName, "stale");

    // A record with only its id is brought up to date.
    DISPLAY_DEVICEA system = ById(kSystemId);
    EXPECT_EQ(DispDevIsAttached(system), 1);
    EXPECT_STREQ(system.DeviceName, "\\\\.\\DISPLAY1");
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevIsAttached(adapter), 0);
    EXPECT_STREQ(adapter.DeviceName, "\\\\.\\DISPLAY2");
}

TEST_F(DispDev, TheRegistryModeGivesOnlyItsDepthAndSize) {
    SystemAndAdapter();
    DEVMODEA dm = {};
    dm.dmDisplayFrequency = 99;
    dm.dmFields = 0x1234;
    ASSERT_EQ(DispDevGetRegMode(Record(1), dm), 1);
    EXPECT_EQ(dm.dmPelsWidth, 1024u);
    EXPECT_EQ(dm.dmPelsHeight, 768u);
    EXPECT_EQ(dm.dmBitsPerPel, 16u);
    EXPECT_EQ(dm.dmDisplayFrequency, 99u);
    EXPECT_EQ(dm.dmFields, 0x1234u);

    Display(2).registry.mode.bpp = 0;
    EXPECT_EQ(DispDevGetRegMode(Record(1), dm), 0) << "a registry mode without a depth";
    Display(2).registryMissing = true;
    EXPECT_EQ(DispDevGetRegMode(Record(1), dm), 0);
}

// ---------------------------------------------------------------------------------------------------------
// Modes

TEST_F(DispDev, ARefusedModeIsTriedAgainAtItsLowestListedRate) {
    // The stored 85 Hz of the current mode does not exist for the new one.
    AddPrimary(kSystemId,
               {{1280, 1024, 32, 85}, {1024, 768, 16, 75}, {1024, 768, 16, 60}, {1024, 768, 16, 70}});
    DispDevInit();
    EXPECT_EQ(DispDevSetModeReset(1024, 768, 16, Record(0)), 0);
    EXPECT_EQ(
        Calls(),
        (Calls_t{
            "\\\\.\\DISPLAY1 1024x768x16@85 pos 0,0 fields "
            "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags "
            "CDS_UPDATEREGISTRY|CDS_RESET",
            "\\\\.\\DISPLAY1 1024x768x16@60 pos 0,0 fields "
            "DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_RESET",
        }));
    EXPECT_EQ(Results(), (std::vector<long>{DISP_CHANGE_BADMODE, DISP_CHANGE_SUCCESSFUL}));
    EXPECT_EQ(Display(1).current.mode, (winsim::DisplayMode{1024, 768, 16, 60}));
    EXPECT_EQ(Display(1).registry.mode, (winsim::DisplayMode{1024, 768, 16, 60}));
}

TEST_F(DispDev, AModeTheDeviceDoesNotListIsTriedOnce) {
    AddPrimary(kSystemId, {{1280, 1024, 32, 85}, {1024, 768, 16, 60}});
    DispDevInit();
    EXPECT_EQ(DispDevSetModeReset(1024, 768, 32, Record(0)), 0);
    EXPECT_EQ(Calls(), Calls_t{"\\\\.\\DISPLAY1 1024x768x32@85 pos 0,0 fields "
                               "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY "
                               "flags CDS_UPDATEREGISTRY|CDS_RESET"});
    EXPECT_EQ(Display(1).current.mode, (winsim::DisplayMode{1280, 1024, 32, 85}));
}

TEST_F(DispDev, TheSecondAttemptIsMadeOnceAndAnsweredWithZeroWhateverComesOfIt) {
    winsim::DisplayDevice& d = AddPrimary(kSystemId, {{1280, 1024, 32, 60}, {1024, 768, 16, 60}});
    d.refusedModes.push_back(winsim::DisplayMode{1024, 768, 16, 60});
    DispDevInit();
    EXPECT_EQ(DispDevSetMode(1024, 768, 16, Record(0)), 0);
    EXPECT_EQ(Calls(),
              (Calls_t{
                  "\\\\.\\DISPLAY1 1024x768x16@60 pos 0,0 fields "
                  "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags "
                  "CDS_UPDATEREGISTRY",
                  "\\\\.\\DISPLAY1 1024x768x16@60 pos 0,0 fields "
                  "DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY",
              }));
}

TEST_F(DispDev, AnAcceptedModeTakesOneCallWithTheStoredPositionAndRate) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16, 75}, {800, 600, 16, 75}}, true, 1280, 0);
    DispDevInit();
    EXPECT_EQ(DispDevSetMode(800, 600, 16, Record(1)), 1);
    EXPECT_EQ(DispDevSetModeReset(1024, 768, 16, Record(1)), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY2 800x600x16@75 pos 1280,0 fields "
                           "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags "
                           "CDS_UPDATEREGISTRY",
                           "\\\\.\\DISPLAY2 1024x768x16@75 pos 1280,0 fields "
                           "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY flags "
                           "CDS_UPDATEREGISTRY|CDS_RESET",
                       }));
    EXPECT_EQ(Display(2).current.mode, (winsim::DisplayMode{1024, 768, 16, 75}));
}

// ---------------------------------------------------------------------------------------------------------
// One device

TEST_F(DispDev, DetachingADeviceThatIsNotAttachedDoesNothing) {
    SystemAndAdapter();
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevDetach(adapter), 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), -1) << "no registry write either";
}

TEST_F(DispDev, DetachingStoresAZeroSizeAtTheOriginAndResetsAtOnce) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    DispDevInit();
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevDetach(adapter), 1);
    EXPECT_STREQ(adapter.DeviceName, "\\\\.\\DISPLAY2") << "refreshed by id";
    EXPECT_EQ(Calls(), Calls_t{"\\\\.\\DISPLAY2 0x0x16@60 pos 0,0 fields "
                               "DM_POSITION|DM_DISPLAYORIENTATION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|"
                               "DM_DISPLAYFREQUENCY|DM_DISPLAYFLAGS flags CDS_UPDATEREGISTRY|CDS_RESET"});
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), 0);
    EXPECT_FALSE(Display(2).current.attached);
    EXPECT_EQ(DispDevLastResult(), Results().back());
}

TEST_F(DispDev, MakingADevicePrimaryPutsItAtTheOriginWithItsStoredMode) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    DispDevInit();
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevMakePrimary(adapter), 1);
    EXPECT_EQ(Calls(),
              Calls_t{"\\\\.\\DISPLAY2 1024x768x16@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY flags "
                      "CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_RESET"});
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), 1);
    EXPECT_TRUE(Display(2).primary);
    EXPECT_TRUE(AttachedAt(2, 0, 0));
}

TEST_F(DispDev, ADeviceWithoutARegistryModeIsNotMadePrimary) {
    SystemAndAdapter();
    Display(2).registryMissing = true;
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevMakePrimary(adapter), 0);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), -1);
}

TEST_F(DispDev, AttachingAtTheOriginStoresTheModeThenApplies) {
    SystemAndAdapter();
    EXPECT_EQ(DispDevAttachAtOrigin(Record(1), 800, 600, 16), 1);
    EXPECT_EQ(Calls(), (Calls_t{"\\\\.\\DISPLAY2 800x600x16@60 pos 0,0 fields "
                                "DM_POSITION|DM_DISPLAYORIENTATION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|"
                                "DM_DISPLAYFREQUENCY|DM_DISPLAYFLAGS flags CDS_UPDATEREGISTRY|CDS_NORESET",
                                "apply"}));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), 1);
    EXPECT_EQ(DispDevLastResult(), Results().back());
    EXPECT_TRUE(Display(2).current.attached);
}

// ---------------------------------------------------------------------------------------------------------
// Which display is primary

TEST_F(DispDev, RestoringAPrimaryResetsItAsPrimaryOnlyWhenNothingLiesLeftOfIt) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    DispDevInit();
    EXPECT_EQ(DispDevRestorePrimary(Record(1)), 1);
    EXPECT_EQ(Calls(),
              (Calls_t{
                  "\\\\.\\DISPLAY2 1024x768x16@60 pos 1280,0 fields DM_POSITION|DM_DISPLAYFREQUENCY flags "
                  "CDS_UPDATEREGISTRY|CDS_NORESET",
                  "\\\\.\\DISPLAY2 1024x768x16@60 pos 1280,0 fields DM_POSITION|DM_DISPLAYFREQUENCY flags 0",
              }));
    winsim::M().displayChanges.clear();
    DispDevRestoreOrgPrimary();
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_SET_PRIMARY|CDS_RESET",
                       }));
}

TEST_F(DispDev, TheSystemsDisplayBecomesPrimaryAgainAtTheOrigin) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    DispDevInit();
    EXPECT_EQ(DispDevSetOrgPrimary(), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_SET_PRIMARY",
                       }));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), 1);
}

TEST_F(DispDev, WithoutItsRegistryModeTheSystemsDisplayOnlyGetsItsFlag) {
    SystemAndAdapter();
    Display(1).registryMissing = true;
    EXPECT_EQ(DispDevSetOrgPrimary(), 1);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), 1);
}

TEST_F(DispDev, TheSystemsDisplayGoesRightOfEveryOtherAttachedDisplayButMirrors) {
    // The adapter's display is primary; the system's display sits beside it.
    AddDisplay(kSystemId, {{1280, 1024, 32}}, true, 1024, 0);
    AddPrimary(kAdapterId, {{1024, 768, 16}});
    AddDisplay(kMirrorId, {{1024, 768, 16}}, true, 0, 0).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    AddDisplay("PCI\\VEN_1002&DEV_9999", {{800, 600, 32}}, true, 2304, 0);
    AddDisplay("PCI\\VEN_1002&DEV_AAAA", {{640, 480, 32}}); // off the desktop
    DispDevInit(kAdapterId, kMirrorId);
    EXPECT_EQ(DispDevPlaceOrgRight(), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 1824,0 fields "
                           "DM_POSITION|DM_DISPLAYORIENTATION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_"
                           "DISPLAYFREQUENCY|DM_DISPLAYFLAGS flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), 1);
    EXPECT_EQ(DispDevLastResult(), Results().front()) << "the stored change's result, not the apply's";
}

TEST_F(DispDev, DetachingTheSystemsDisplayStoresThenSaves) {
    AddDisplay(kSystemId, {{1280, 1024, 32}}, true, 1024, 0);
    AddPrimary(kAdapterId, {{1024, 768, 16}});
    DispDevInit(kAdapterId, kMirrorId);
    EXPECT_EQ(DispDevDetachOrg(), 1);
    EXPECT_EQ(Calls(),
              (Calls_t{
                  "\\\\.\\DISPLAY1 0x0x32@60 pos 0,0 fields "
                  "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY flags CDS_NORESET",
                  "\\\\.\\DISPLAY1 0x0x32@60 pos 0,0 fields "
                  "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY",
              }));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), 0);
}

// ---------------------------------------------------------------------------------------------------------
// Extending the desktop

TEST_F(DispDev, ExtendingPutsADisplayStoredAtTheOriginRightOfTheSystemsDisplay) {
    SystemAndAdapter();
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevAttachExtend(adapter), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_RESET",
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos 1280,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), 1);
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(2))), 1);
    EXPECT_TRUE(AttachedAt(1, 0, 0));
    EXPECT_TRUE(AttachedAt(2, 1280, 0));
    EXPECT_EQ(DispDevLastResult(), Results().back());
}

TEST_F(DispDev, ExtendingKeepsAStoredPlaceAndDetachesAnAttachedDisplayFirst) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, -1024, 0);
    DispDevInit();
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevAttachExtend(adapter), 1);
    // The detach stores the origin as the display's place, so the display then goes beside the system's.
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_RESET",
                           "\\\\.\\DISPLAY2 0x0x16@60 pos 0,0 fields "
                           "DM_POSITION|DM_DISPLAYORIENTATION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_"
                           "DISPLAYFREQUENCY|DM_DISPLAYFLAGS flags CDS_UPDATEREGISTRY|CDS_RESET",
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos 1280,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));

    // Stored elsewhere while off the desktop: that place is kept.
    winsim::M().displayChanges.clear();
    DispDevDetach(adapter);
    Display(2).registry.x = -1024;
    Display(2).registry.y = 256;
    winsim::M().displayChanges.clear();
    EXPECT_EQ(DispDevAttachExtend(adapter), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_RESET",
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos -1024,256 fields "
                           "DM_POSITION|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_TRUE(AttachedAt(2, -1024, 256));
}

TEST_F(DispDev, ARefusedPlaceIsRetriedAtExactlyTheSystemsWidth) {
    SystemAndAdapter();
    Display(2).registry.x = 3000;
    Display(2).registry.y = 77;
    Display(2).refusedModes.push_back(winsim::DisplayMode{1024, 768, 16, 60});
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevAttachExtend(adapter), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY1 1280x1024x32@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_SET_PRIMARY|CDS_RESET",
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos 3000,77 fields "
                           "DM_POSITION|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos 1280,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_EQ(Results()[1], DISP_CHANGE_BADMODE);
}

TEST_F(DispDev, ExtendingWithoutTheSystemsRegistryModeStillPlacesTheDisplayAtTheOrigin) {
    SystemAndAdapter();
    Display(1).registryMissing = true;
    DISPLAY_DEVICEA adapter = ById(kAdapterId);
    EXPECT_EQ(DispDevAttachExtend(adapter), 1);
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY2 1024x768x16@60 pos 0,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(1))), -1);
}

// ---------------------------------------------------------------------------------------------------------
// Every other display

class DispDevOthers : public DispDev {
protected:
    // The system's display, the adapter's (kept), its mirror driver, two more displays on the desktop and
    // one off it.
    void SetUp() override {
        DispDev::SetUp();
        AddPrimary(kSystemId, {{1280, 1024, 32}});
        AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
        AddDisplay(kMirrorId, {{1280, 1024, 32}}, true, 0, 0).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
        AddDisplay("PCI\\VEN_1002&DEV_0004", {{800, 600, 32}}, true, 2304, 0);
        AddDisplay("PCI\\VEN_1002&DEV_0005", {{640, 480, 32}});
        AddDisplay("PCI\\VEN_1002&DEV_0006", {{1600, 1200, 32}}, true, 0, 1024);
        DispDevInit();
    }
};

TEST_F(DispDevOthers, EveryOtherAttachedDisplayIsStoredOffThenAllGoTogether) {
    EXPECT_EQ(DispDevDetachOthers(Record(1)), 1);
    EXPECT_EQ(
        Calls(),
        (Calls_t{
            "\\\\.\\DISPLAY4 0x0x32@60 pos 0,0 fields "
            "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
            "\\\\.\\DISPLAY6 0x0x32@60 pos 0,0 fields "
            "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
            "apply",
        }));
    EXPECT_EQ(Flagged(), (std::vector<int>{0, 1}));
    EXPECT_STREQ(DispDevDetachedSlot(0).dd.DeviceName, "\\\\.\\DISPLAY4");
    EXPECT_STREQ(DispDevDetachedSlot(1).dd.DeviceName, "\\\\.\\DISPLAY6");
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(4))), 0);
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(6))), 0);
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(5))), -1);
    EXPECT_FALSE(Display(4).current.attached);
    EXPECT_FALSE(Display(6).current.attached);
    EXPECT_TRUE(Display(2).current.attached);
}

TEST_F(DispDevOthers, NothingToDetachMeansNoApply) {
    DispDevDetachOthers(Record(1));
    winsim::M().displayChanges.clear();
    EXPECT_EQ(DispDevDetachOthers(Record(1)), 1);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(DispDevOthers, ReattachedDisplaysGoRightOfTheWidthsUpToThemUnlessTheyKeptAPlace) {
    DispDevDetachOthers(Record(1));
    // The detach stored the origin for both; one of them is then given a place of its own.
    Display(6).registry.x = -1600;
    Display(6).registry.y = 0;
    winsim::M().displayChanges.clear();
    EXPECT_EQ(DispDevReattachOthers(), 1);
    // Display 4: 1280 + 1024 (the mirror driver does not count) + its own 800.
    EXPECT_EQ(Calls(), (Calls_t{
                           "\\\\.\\DISPLAY4 800x600x32@60 pos 3104,0 fields DM_POSITION|DM_DISPLAYFREQUENCY "
                           "flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "\\\\.\\DISPLAY6 1600x1200x32@60 pos -1600,0 fields "
                           "DM_POSITION|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
                           "apply",
                       }));
    EXPECT_TRUE(Flagged().empty());
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(4))), 1);
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(6))), 1);
    EXPECT_TRUE(Display(4).current.attached);
    EXPECT_TRUE(AttachedAt(6, -1600, 0));
    EXPECT_FALSE(Display(5).current.attached) << "never detached by the library, never attached by it";

    // Nothing remembered: the walk still ends in an apply.
    winsim::M().displayChanges.clear();
    EXPECT_EQ(DispDevReattachOthers(), 1);
    EXPECT_EQ(Calls(), Calls_t{"apply"});
}

TEST_F(DispDevOthers, ASecondDetachBeforeTheReattachForgetsNoDisplay) {
    DispDevDetachOthers(Record(1));
    // Display 6 comes back behind the library's back (the user attaches it again), then everything else
    // is taken off again.
    Display(6).current = Display(6).registry;
    Display(6).current.attached = true;
    Display(6).current.y = 1024;
    EXPECT_EQ(DispDevDetachOthers(Record(1)), 1);
    EXPECT_EQ(Flagged(), (std::vector<int>{0, 1})) << "display 6 keeps its one slot";
    winsim::M().displayChanges.clear();
    DispDevReattachOthers();
    EXPECT_EQ(Calls().size(), 3u) << ::testing::PrintToString(Calls());
    EXPECT_TRUE(Display(4).current.attached);
    EXPECT_TRUE(Display(6).current.attached);
    EXPECT_TRUE(Flagged().empty());
}

TEST_F(DispDevOthers, AFailingRegistryReadEndsTheDetachButWhatWasStoredIsApplied) {
    Display(6).registryMissing = true;
    DispDevDetachOthers(Record(1));
    EXPECT_EQ(
        Calls(),
        (Calls_t{
            "\\\\.\\DISPLAY4 0x0x32@60 pos 0,0 fields "
            "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET",
            "apply"}));
    EXPECT_EQ(Flagged(), std::vector<int>{0});
    EXPECT_EQ(AttachFlag(XpVideoKey(Display(6))), 0) << "the flag is written before the mode is read";
}

TEST_F(DispDev, MoreDisplaysThanSlotsLeaveTheRestOnTheDesktop) {
    AddPrimary(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    for (int i = 0; i < 12; ++i) {
        const std::string id = "PCI\\VEN_1002&DEV_10" + std::to_string(10 + i);
        AddDisplay(id.c_str(), {{640, 480, 32}}, true, 2304 + 640 * i, 0);
    }
    DispDevInit();
    EXPECT_EQ(DispDevDetachOthers(Record(1)), 1);
    Calls_t calls = Calls();
    ASSERT_EQ(calls.size(), 10u);
    for (int n = 3; n <= 11; ++n)
        EXPECT_EQ(calls[n - 3],
                  "\\\\.\\DISPLAY" + std::to_string(n) +
                      " 0x0x32@60 pos 0,0 fields DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_DISPLAYFREQUENCY "
                      "flags CDS_UPDATEREGISTRY|CDS_NORESET");
    EXPECT_EQ(calls.back(), "apply");
    EXPECT_EQ(Flagged().size(), static_cast<size_t>(kDetachedDevSlots));
    for (int n = 12; n <= 14; ++n) {
        EXPECT_TRUE(Display(n).current.attached) << n;
        EXPECT_EQ(AttachFlag(XpVideoKey(Display(n))), -1) << n;
    }

    // Everything taken off comes back.
    winsim::M().displayChanges.clear();
    DispDevReattachOthers();
    EXPECT_EQ(Calls().size(), 10u);
    for (int n = 3; n <= 11; ++n)
        EXPECT_TRUE(Display(n).current.attached) << n;
    EXPECT_TRUE(Flagged().empty());
}

// ---------------------------------------------------------------------------------------------------------
// The main window puts the system's primary display back to a saved mode.

class RestoreSystem : public DispDev {
protected:
    void SetUp() override {
        DispDev::SetUp();
        m_pDlg = new CDispoDlg();
    }
    void TearDown() override {
        delete m_pDlg;
        DispDev::TearDown();
    }
    CDispoDlg* m_pDlg = nullptr;
};

TEST_F(RestoreSystem, ThePrimaryDisplayGetsTheModeWrittenToTheRegistry) {
    AddDisplay(kAdapterId, {{1024, 768, 16}}, true, 1280, 0);
    AddPrimary(kSystemId, {{1280, 1024, 32}, {1024, 768, 16}});
    DispDevInit();
    Traces().clear();
    EXPECT_EQ(m_pDlg->RestoreSystem(1024, 768, 16), 1);
    EXPECT_EQ(Traces(), Calls_t{"Restore system 1024 768 16\n"});
    EXPECT_EQ(Calls(), Calls_t{"\\\\.\\DISPLAY2 1024x768x16@60 pos 0,0 fields "
                               "DM_POSITION|DM_PELSWIDTH|DM_PELSHEIGHT|DM_BITSPERPEL|DM_DISPLAYFREQUENCY "
                               "flags CDS_UPDATEREGISTRY"});
    EXPECT_EQ(Display(2).registry.mode, (winsim::DisplayMode{1024, 768, 16, 60}));
}

TEST_F(RestoreSystem, WhenOnlyTheMirrorDriverIsPrimaryTheLastDeviceEnumeratedIsUsed) {
    AddDisplay(kSystemId, {{1280, 1024, 32}});
    AddDisplay(kAdapterId, {{1024, 768, 16}});
    winsim::DisplayDevice& mirror = AddDisplay(kMirrorId, {{1280, 1024, 32}}, true);
    mirror.staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    mirror.primary = true;
    DispDevInit();
    m_pDlg->RestoreSystem(1280, 1024, 32);
    ASSERT_EQ(Calls().size(), 1u);
    EXPECT_EQ(Calls()[0].rfind("\\\\.\\DISPLAY3 1280x1024x32@", 0), 0u) << Calls()[0];
}
