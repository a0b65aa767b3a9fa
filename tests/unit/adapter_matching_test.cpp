// Matching resolutions against the lists: a saved resolution at bring-up, the adapter's resolution after a
// rotation, and the mode the adapter mirrors the primary display at.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "adapter_test_world.h"

using namespace adapter_test;

namespace {

class Matching : public AdapterWorld {
protected:
    void SetResolution(int w, int h, int d) {
        m_adapter.m_nWidth = w;
        m_adapter.m_nHeight = h;
        m_adapter.m_nBpp = d;
    }

    // Runs CheckInitResolution and gives "WxHxD true|false" of its outputs and result.
    std::string CheckInit(int w, int h, int d) {
        int ow = 7, oh = 8, od = 9;
        const bool bFound = m_adapter.CheckInitResolution(w, h, d, &ow, &oh, &od);
        return Text(ow, oh, od) + (bFound ? " true" : " false");
    }

    // A plugged adapter whose driver channel is open, so that the requests reach the driver's log.
    void OpenDriver() {
        const char* pszPath =
            "\\\\?\\usb#vid_5a1e&pid_7300#5&2a1c3b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
        winsim::UsbInterface& usb = winsim::M().usb.emplace_back();
        usb.path = pszPath;
        usb.isAdapter = true;
        winsim::M().adapter.declared = true;
        winsim::M().adapter.interfaceIndex = 0;
        winsim::PlugAdapter();
        m_adapter.m_hDevice = CAdapter::OpenDevicePath(pszPath);
        ASSERT_NE(m_adapter.m_hDevice, INVALID_HANDLE_VALUE);
    }
};

} // namespace

TEST_F(Matching, ASavedResolutionIsAcceptedOnlyWhenTheFullListHasItInAllThreeValues) {
    SetResolution(1024, 768, 16);
    EXPECT_FALSE(m_adapter.CheckResolution()); // the empty list
    m_adapter.m_pFullDispResHead = MakeList({{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}});
    EXPECT_TRUE(m_adapter.CheckResolution());
    EXPECT_EQ(Resolution(), "1024x768x16");
    SetResolution(1024, 600, 32);
    EXPECT_FALSE(m_adapter.CheckResolution());
    EXPECT_EQ(Resolution(), "1024x600x32");
    EXPECT_EQ(Traces(), (Strings{"[CheckResolution] Didn't got same resolution\n",
                                 "[CheckResolution] Got same resolution\n",
                                 "[CheckResolution] Didn't got same resolution\n"}));
}

TEST_F(Matching, AFirstRunResolutionTakesTheFirstModeAtLeastAsLargeOrElseTheLargest) {
    SetResolution(1, 2, 3);
    EXPECT_EQ(CheckInit(1024, 768, 32), "7x8x9 false"); // an empty list leaves the outputs
    EXPECT_EQ(Resolution(), "0x0x0");
    EXPECT_TRUE(Traces().empty());

    m_adapter.m_pFullDispResHead =
        MakeList({{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}, {1280, 1024, 32}});
    SetResolution(1, 2, 3);
    EXPECT_EQ(CheckInit(1024, 768, 32), "1024x768x32 true");
    EXPECT_EQ(Resolution(), "0x0x0");
    SetResolution(1, 2, 3);
    EXPECT_EQ(CheckInit(1600, 1200, 32), "1280x1024x32 false");
    EXPECT_EQ(Resolution(), "0x0x0");
    EXPECT_EQ(CheckInit(-1, 600, 16), "1280x1024x32 false"); // unsigned: -1 is larger than anything
    EXPECT_EQ(Traces(),
              (Strings{"[CheckInitResolution] Got record resolution samller than device\n",
                       "[CheckInitResolution] Didn't find record resolution bigger than device, use the "
                       "most big\n",
                       "[CheckInitResolution] Didn't find record resolution bigger than device, use the "
                       "most big\n"}));
}

TEST_F(Matching, AfterARotationTheFirstMenuModeThatHoldsTheOldResolutionIsTaken) {
    SetResolution(1280, 1024, 32);
    EXPECT_EQ(m_pDlg->RecheckResolution(TRUE), 0);
    EXPECT_EQ(Resolution(), "1280x1024x32"); // the empty list leaves it
    EXPECT_EQ(Traces(), (Strings{"[Recheck Resolution] m_pAdapter->m_pDispResHead == NULL \n"}));

    m_adapter.m_pDispResHead = MakeList({{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}});
    EXPECT_EQ(m_pDlg->RecheckResolution(FALSE), 0);
    EXPECT_EQ(Resolution(), "1024x768x32"); // larger than all: the last
    SetResolution(1024, 768, 32);
    EXPECT_EQ(m_pDlg->RecheckResolution(FALSE), 1);
    EXPECT_EQ(Resolution(), "1024x768x32");
    SetResolution(1024, 600, 24);
    EXPECT_EQ(m_pDlg->RecheckResolution(TRUE), 1);
    EXPECT_EQ(Resolution(), "1024x768x32");
}

TEST_F(Matching, TheMirrorSizeIsTheSameOrTheNextTallerOfTheSameWidthOrTheLastNarrower) {
    struct Case {
        std::initializer_list<Mode> menu;
        unsigned w, h, d;
        const char* pszResult; // the mode afterwards; "!" when nothing was selected
    } cases[] = {
        {{{1024, 768, 32}, {1280, 1024, 32}, {1400, 1050, 32}}, 1366, 768, 32, "1280x1024x32"},
        {{{1280, 720, 32}, {1280, 1024, 32}}, 1280, 800, 32, "1280x1024x32"},
        {{{1024, 768, 32}, {1600, 1200, 32}}, 1920, 1080, 32, "!"},
        {{}, 1024, 768, 32, "!"},
        {{{800, 600, 32}, {1024, 768, 32}}, 640, 480, 32, "800x600x32"},
        // The depth: the wanted one, else the largest smaller one of that size, never one of another size.
        {{{1024, 768, 8}, {1024, 768, 16}, {1024, 768, 32}}, 1024, 768, 24, "1024x768x16"},
        {{{1024, 768, 8}, {1024, 768, 16}, {1024, 768, 32}}, 1024, 768, 32, "1024x768x32"},
        {{{1024, 768, 32}, {1280, 768, 16}, {1360, 768, 32}}, 1280, 768, 32, "1280x768x16"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Text(c.w, c.h, c.d));
        FreeDispResList(m_adapter.m_pDispResHead);
        m_adapter.m_pDispResHead = MakeList(c.menu);
        DEVMODEA dm = MakeMode(c.w, c.h, c.d);
        MirrorCenter center = {};
        const bool bFound = m_adapter.FindMirrorRes(&dm, &center);
        EXPECT_EQ(bFound, std::string(c.pszResult) != "!");
        EXPECT_EQ(Text(dm), bFound ? c.pszResult : Text(c.w, c.h, c.d));
        EXPECT_EQ(Text(center.dwMirWidth, center.dwMirHeight, center.dwMirBpp), Text(dm));
        EXPECT_EQ(center.dwFrequency, 60u);
    }
}

TEST_F(Matching, TheMirrorSearchTracesItsCandidatesAndItsChoice) {
    m_adapter.m_pDispResHead = MakeList({{1024, 768, 32}, {1280, 1024, 32}, {1400, 1050, 32}});
    DEVMODEA dm = MakeMode(1366, 768, 32);
    MirrorCenter center = {};
    m_adapter.FindMirrorRes(&dm, &center);
    EXPECT_EQ(TracesFrom("Mirror"), "Mirror looking for width = 1024, height =768  \n"
                                    "Mirror looking for width = 1280, height =1024  \n"
                                    "Mirror set 1280 1024 32 \n"
                                    "set mirror center IOCTL failed, handle is invalid\n");
}

TEST_F(Matching, TheDriverLearnsThePrimarySizeAndTheMirrorModeFoundOrNot) {
    OpenDriver();
    m_pDlg->m_nSysWidth = 1920;
    m_pDlg->m_nSysHeight = 1080;
    m_adapter.m_pDispResHead = MakeList({{1024, 768, 32}, {1600, 1200, 16}, {1920, 1200, 16}});
    for (unsigned w : {1920u, 2048u}) {
        DEVMODEA dm = MakeMode(w, 1080, 32);
        MirrorCenter center;
        memset(&center, 0xCD, sizeof(center));
        m_adapter.FindMirrorRes(&dm, &center);
        const winsim::DriverRequest& request = winsim::M().driverLog.back();
        EXPECT_EQ(request.code, 0x222198u);
        ASSERT_EQ(request.input.size(), sizeof(MirrorCenter));
        EXPECT_EQ(0, memcmp(request.input.data(), &center, sizeof(center)));
        const DWORD expected[7] = {1920, 1080, dm.dmPelsWidth, dm.dmPelsHeight, 60, dm.dmBitsPerPel, 0};
        EXPECT_EQ(0, memcmp(&center, expected, sizeof(expected)));
    }
    EXPECT_EQ(winsim::M().driverLog.size(), 2u);
    EXPECT_EQ(CountTrace("set mirror center IOCTL failed, handle is invalid\n"), 0);
    CloseHandle(m_adapter.m_hDevice);
}

TEST_F(Matching, TheNearestFullListModeStandsInWhenNothingElseFits) {
    DEVMODEA dm = MakeMode(1920, 1080, 32);
    m_adapter.NearestMirrorRes(&dm);
    EXPECT_EQ(Text(dm), "1920x1080x32"); // an empty list leaves the mode
    EXPECT_TRUE(Traces().empty());
    m_adapter.m_pFullDispResHead = MakeList({{800, 600, 32}, {1280, 1024, 16}, {1280, 1024, 32}});
    m_adapter.NearestMirrorRes(&dm);
    EXPECT_EQ(Text(dm), "1280x1024x32"); // wider than all: the last
    EXPECT_EQ(Traces(), (Strings{"Mirror set 1280 1024 32 \n"}));
    EXPECT_TRUE(winsim::M().driverLog.empty());
}

TEST_F(Matching, TheMirrorDepthFallsOnlyToSmallerDepthsOfferedAtThatSize) {
    struct Case {
        unsigned nMask, nWanted, nResult;
    } cases[] = {{8 | 1, 32, 32}, {4 | 2, 32, 24}, {2 | 1, 32, 16}, {1, 32, 8}, {8 | 2, 24, 16},
                 {8, 24, 24},     {8 | 1, 16, 8},  {8, 16, 16},     {2, 8, 8},  {8, 15, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE("mask " + std::to_string(c.nMask) + " wanted " + std::to_string(c.nWanted));
        FreeDispResList(m_adapter.m_pFullDispModeHead);
        m_adapter.m_pFullDispModeHead = MakeGrouped({{800, 600, 8}, {1024, 768, c.nMask}});
        DEVMODEA dm = MakeMode(1024, 768, c.nWanted);
        EXPECT_TRUE(m_adapter.MatchMirrorDepth(&dm));
        EXPECT_EQ(dm.dmBitsPerPel, c.nResult);
    }
    DEVMODEA absent = MakeMode(1280, 1024, 32);
    EXPECT_FALSE(m_adapter.MatchMirrorDepth(&absent));
    EXPECT_EQ(Text(absent), "1280x1024x32");
    EXPECT_EQ(Traces(), (Strings{"Mirror can't get 100% match res\n"}));
}

// ---------------------------------------------------------------------------------------------------------
// Keeping the primary display mirrorable

class SyncMirror : public Matching {
protected:
    void SetUp() override {
        Matching::SetUp();
        AddPrimary("PCI\\VEN_1234",
                   {{1280, 1024, 32}, {800, 600, 24}, {800, 600, 8}, {1024, 768, 32}, {1280, 1024, 16}});
        m_pDlg->EnumSysDispMode();
        Traces().clear();
    }

    std::string Sync(unsigned w, unsigned h, unsigned d) {
        DEVMODEA dm = MakeMode(w, h, d);
        m_adapter.SyncMirrorDPI(&dm);
        return Text(dm);
    }
    std::string Saved() { return Text(m_pApp->m_nSysX, m_pApp->m_nSysY, m_pApp->m_nSysZ); }
};

TEST_F(SyncMirror, APrimaryModeTheAdapterHasOnlyGetsItsDepthMatched) {
    m_adapter.m_pFullDispModeHead = MakeGrouped({{1280, 1024, 2}});
    EXPECT_EQ(Sync(1280, 1024, 32), "1280x1024x16");
    EXPECT_EQ(Traces(), (Strings{"[SyncMirrorDPI] System x:1280 y:1024 z:32\n"}));
    EXPECT_EQ(Saved(), "0x0x0");
    EXPECT_TRUE(winsim::M().displayChanges.empty());
}

TEST_F(SyncMirror, APrimaryTooLargeForTheAdapterIsLoweredAfterItsResolutionIsSaved) {
    m_adapter.m_pFullDispModeHead = MakeGrouped({{800, 600, 2}, {1024, 768, 2 | 8}});
    EXPECT_EQ(Sync(1280, 1024, 32), "1024x768x32");
    EXPECT_EQ(Saved(), "1280x1024x32");
    EXPECT_EQ(Text(m_pApp->GetProfileInt("USBVGACONFIG", "SysX", 0),
                   m_pApp->GetProfileInt("USBVGACONFIG", "SysY", 0),
                   m_pApp->GetProfileInt("USBVGACONFIG", "SysZ", 0)),
              "1280x1024x32");
    const std::string steps = "Mirror can't get 100% match res\n"
                              "Mirror get current system res 1280 1024\n"
                              "Mirror previous 1024 768\n"
                              "Sync mirror DPI\n";
    EXPECT_EQ(TracesFrom("Mirror can't").substr(0, steps.size()), steps);
    EXPECT_EQ(Traces().back(), "Mirror match 1024 768 32 \n");
    bool bPrimaryLowered = false;
    for (const winsim::DisplayChangeCall& call : winsim::M().displayChanges)
        bPrimaryLowered =
            bPrimaryLowered || (call.device == "\\\\.\\DISPLAY1" &&
                                Text(call.mode.width, call.mode.height, call.mode.bpp) == "1024x768x32");
    EXPECT_TRUE(bPrimaryLowered);
}

TEST_F(SyncMirror, TheStepDownTriesEachSmallerSizeAtItsLargestDepth) {
    // 1024x768 is not the adapter's; 800x600 is, and the primary offers it at 24 bits at most.
    m_adapter.m_pFullDispModeHead = MakeGrouped({{800, 600, 8 | 4 | 2}});
    EXPECT_EQ(Sync(1280, 1024, 16), "800x600x24");
    EXPECT_EQ(CountTrace("Mirror previous 1024 768\n") + CountTrace("Mirror previous 800 600\n"), 2);
    EXPECT_EQ(Saved(), "1280x1024x16");
}

TEST_F(SyncMirror, WithoutAMatchingSmallerSizeTheNearestAdapterModeIsTakenAndNothingSaved) {
    m_adapter.m_pFullDispModeHead = MakeGrouped({{1600, 1200, 8}});
    m_adapter.m_pFullDispResHead = MakeList({{1600, 1200, 32}});
    EXPECT_EQ(Sync(1280, 1024, 32), "1600x1200x32");
    EXPECT_EQ(TracesFrom("No any"), "No any match resolution for mirror\nMirror set 1600 1200 32 \n");
    EXPECT_EQ(Saved(), "0x0x0");
    EXPECT_EQ(m_pApp->GetProfileInt("USBVGACONFIG", "SysX", -1), -1);
    EXPECT_TRUE(winsim::M().displayChanges.empty());
}

TEST_F(SyncMirror, APrimaryModeOfASizeTheSystemListNeverHadChangesNothing) {
    m_adapter.m_pFullDispModeHead = MakeGrouped({{800, 600, 2}});
    m_adapter.m_pFullDispResHead = MakeList({{800, 600, 16}});
    EXPECT_EQ(Sync(1366, 768, 32), "1366x768x32");
    EXPECT_EQ(Traces().back(), "Mirror can't get 100% match res\n");
    EXPECT_EQ(Saved(), "0x0x0");
}
