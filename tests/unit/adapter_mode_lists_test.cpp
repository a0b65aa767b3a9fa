// The resolution lists: which of the modes Windows reports for a display device end up in which list, in
// which order and with which labels, and the primary display's list of sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include "adapter/mode_sort_list.h"
#include "adapter_test_world.h"

using namespace adapter_test;

TEST(ModeSortList, KeepsWidthHeightDepthOrderEachTripleOnceComparedUnsigned) {
    ModeSortList set;
    const unsigned triples[][3] = {{1024, 768, 32}, {800, 600, 16},  {0x80000000u, 1, 1},
                                   {1024, 600, 32}, {1024, 768, 16}, {800, 600, 16}};
    for (const auto& t : triples)
        set.Insert(t[0], t[1], t[2]);
    Strings got;
    unsigned w = 7, h = 7, d = 7;
    for (unsigned i = 0; set.Get(i, &w, &h, &d); ++i)
        got.push_back(Text(w, h, d));
    EXPECT_EQ(got, (Strings{"800x600x16", "1024x600x32", "1024x768x16", "1024x768x32", "2147483648x1x1"}));
    EXPECT_EQ(set.Count(), 5u);
    EXPECT_FALSE(set.Insert(800, 600, 16));
    EXPECT_FALSE(set.Get(5, &w, &h, &d));
    EXPECT_EQ(Text(w, h, d), "2147483648x1x1"); // a failed Get leaves the outputs alone
}

TEST(ModeSortList, StaysSortedAndCompleteWellBeyondItsFirstAllocation) {
    ModeSortList set;
    for (unsigned i = 0; i < 300; ++i) // 37 and 300 share no factor: every k once, scrambled
        EXPECT_TRUE(set.Insert(1000 + (i * 37) % 300, 500, 32));
    ASSERT_EQ(set.Count(), 300u);
    for (unsigned i = 0, w = 0; i < 300; ++i) {
        ASSERT_TRUE(set.Get(i, &w, nullptr, nullptr));
        EXPECT_EQ(w, 1000 + i);
    }
}

// ---------------------------------------------------------------------------------------------------------

using ModeLists = AdapterWorld;

TEST_F(ModeLists, TheMenuListFollowsTheRotation) {
    // clang-format off
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId,
                    {{640, 480, 16}, {640, 480, 32}, {800, 600, 16}, {800, 600, 32}, {1024, 768, 16}, {1024, 768, 32},
                     {1280, 1024, 16}, {1280, 1024, 32}, {600, 800, 16}, {599, 800, 32}, {768, 1024, 8}});
    // clang-format on
    const Strings landscape = {"800X600X16",  "800X600X32",   "1024X768X16",
                               "1024X768X32", "1280X1024X16", "1280X1024X32"};
    // Portrait takes every mode from 600 wide above 8 bits.
    Strings portrait = {"600X800X16", "640X480X16", "640X480X32"};
    portrait.insert(portrait.end(), landscape.begin(), landscape.end());
    const Strings expected[] = {landscape, portrait, landscape, portrait};
    for (int nRotation = 0; nRotation < 4; ++nRotation) {
        m_adapter.m_nRotation = nRotation;
        EXPECT_TRUE(m_adapter.GetDispRes());
        EXPECT_EQ(Labels(m_adapter.m_pDispResHead), expected[nRotation]) << "rotation " << nRotation;
    }
}

TEST_F(ModeLists, LandscapeWantsAtMost768LinesUpTo1024WideAndTracesOnlyTheWiderModes) {
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId,
                    {{800, 600, 16},
                     {800, 600, 24},
                     {1024, 800, 32},
                     {1024, 768, 8},
                     {1152, 864, 24},
                     {1152, 864, 24, 75},
                     {1280, 1024, 8}});
    m_adapter.GetDispRes();
    EXPECT_EQ(Labels(m_adapter.m_pDispResHead), (Strings{"800X600X16", "1152X864X24"}));
    // The repeat of 1152x864x24 at another rate comes right behind it and is passed over unseen.
    EXPECT_EQ(TracesFrom("Enter GetDispRes"), "Enter GetDispRes \\\\.\\DISPLAY2\n"
                                              "insert res x: 1152 y: 864 z: 24\n"
                                              "Enter GetFullDispRes \\\\.\\DISPLAY2\n"
                                              "list cnt 2\n"
                                              "Enter EnumFullDispMode \\\\.\\DISPLAY2\n"
                                              "list cnt 6\n");
}

TEST_F(ModeLists, ARotationOutsideTheFourOffersNothingUnlessEveryModeIsAskedFor) {
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId,
                    {{1024, 768, 16}, {640, 480, 8}, {1024, 768, 16, 75}, {320, 200, 4}, {1024, 768, 16}});
    m_adapter.m_nRotation = 5;
    m_adapter.GetDispRes();
    EXPECT_EQ(m_adapter.m_pDispResHead, nullptr);
    EXPECT_TRUE(m_adapter.SetAllModes(true));
    EXPECT_EQ(Labels(m_adapter.m_pDispResHead), (Strings{"320X200X4", "640X480X8", "1024X768X16"}));
    m_adapter.SetAllModes(false);
    EXPECT_EQ(m_adapter.m_bAllModes, FALSE);
    EXPECT_EQ(m_adapter.m_pDispResHead, nullptr);
}

TEST_F(ModeLists, ALabelIsCutToItsFieldAndStaysTerminated) {
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId, {{1000000000, 1000000000, 32}});
    m_adapter.SetAllModes(true);
    EXPECT_EQ(Labels(m_adapter.m_pDispResHead), (Strings{"1000000000X10000000"}));
}

TEST_F(ModeLists, TheFullAndGroupedListsDropTheTinyModesEachInItsOwnWay) {
    // 320x200 is in no list, nor is 300x240; 320x240 at 8 bits only in the grouped list, at 16 in both.
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId,
                    {{320, 200, 16},
                     {300, 240, 16},
                     {320, 240, 8},
                     {320, 240, 16},
                     {299, 199, 8},
                     {1024, 768, 24},
                     {1024, 768, 15}});
    m_adapter.GetFullDispRes();
    EXPECT_EQ(Labels(m_adapter.m_pFullDispResHead), (Strings{"320x240x16"}));
    EXPECT_EQ(Labels(m_adapter.m_pFullDispModeHead), (Strings{"299x199", "320x240", "1024x768"}));
    EXPECT_EQ(m_adapter.m_nFullDispModeCount, 3u);
    const DispRes* p1024 = m_adapter.m_pFullDispModeHead->pNext->pNext;
    EXPECT_EQ(p1024->nDepthMask, 4u); // 15 bits has no bit, and does not count
    EXPECT_EQ(p1024->nDepthCount, 1u);
}

TEST_F(ModeLists, OneSizeAtEightSixteenAndThirtyTwoBitsIsOneGroupedNodeWithMaskElevenAndCountThree) {
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId,
                    {{1024, 768, 32}, {1024, 768, 8}, {800, 600, 16}, {1024, 768, 16}});
    m_adapter.EnumFullDispMode();
    ASSERT_EQ(Labels(m_adapter.m_pFullDispModeHead), (Strings{"800x600", "1024x768"}));
    EXPECT_EQ(m_adapter.m_pFullDispModeHead->pNext->nDepthMask, 11u);
    EXPECT_EQ(m_adapter.m_pFullDispModeHead->pNext->nDepthCount, 3u);
}

TEST_F(ModeLists, ADeviceThatEnumeratesNothingEmptiesEveryList) {
    AddPrimary("PCI\\VEN_1234", {{1024, 768, 32}});
    AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId, {{1024, 768, 32}, {1280, 1024, 32}});
    m_adapter.GetDispRes();
    ASSERT_EQ(m_adapter.m_nFullDispModeCount, 2u);
    // A stale name, and a record never filled in: an empty name must not be taken for the primary display.
    for (const char* pszName : {"\\\\.\\DISPLAY9", ""}) {
        snprintf(m_adapter.m_ddActive.DeviceName, sizeof(m_adapter.m_ddActive.DeviceName), "%s", pszName);
        Traces().clear();
        m_adapter.GetDispRes();
        EXPECT_EQ(m_adapter.m_pDispResHead, nullptr);
        EXPECT_EQ(m_adapter.m_pFullDispResHead, nullptr);
        EXPECT_EQ(m_adapter.m_pFullDispModeHead, nullptr);
        EXPECT_EQ(m_adapter.m_nFullDispModeCount, 0u);
        EXPECT_EQ(CountTrace("list cnt 0\n"), 2);
    }
}

// ---------------------------------------------------------------------------------------------------------

TEST_F(ModeLists, TheSystemListComesFromThePrimaryDisplayNotFromAMirrorDriverCarryingTheFlag) {
    AddPrimary("ZTK\\USB2VGAM", {{640, 480, 32}}).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    AddPrimary("PCI\\VEN_1234", {{1280, 1024, 32}, {800, 600, 16}, {800, 600, 32}, {1024, 768, 32}});
    EXPECT_EQ(m_pDlg->EnumSysDispMode(), 1);
    EXPECT_EQ(Labels(m_pDlg->m_pSysDispModeHead), (Strings{"800x600x0", "1024x768x0", "1280x1024x0"}));
    ASSERT_EQ(m_pDlg->m_nSysDispModeCount, 3u);
    const DispRes* p800 = m_pDlg->m_pSysDispModeHead;
    EXPECT_EQ(p800->nDepthMask, 10u);
    EXPECT_EQ(p800->pPrev, nullptr);
    EXPECT_EQ(p800->pNext->pPrev, p800);
    EXPECT_EQ(p800->pNext->pNext->pPrev, p800->pNext);
    EXPECT_EQ(TracesFrom("Enum system"), "Enum system display resolution\n"
                                         "Get system res begin\n"
                                         "list cnt 4\n"
                                         "x: 800 y: 600 z: 16\n"
                                         "x: 1024 y: 768 z: 32\n"
                                         "x: 1280 y: 1024 z: 32\n"
                                         "Get system res end\n");
}

TEST_F(ModeLists, TheSystemListIsReplacedByARebuildAndKeptWithoutAPrimaryDisplay) {
    winsim::DisplayDevice& primary = AddPrimary("PCI\\VEN_1234", {{1024, 768, 32}});
    m_pDlg->EnumSysDispMode();
    primary.modes.push_back(winsim::DisplayMode{1280, 1024, 32, 60});
    m_pDlg->EnumSysDispMode();
    EXPECT_EQ(m_pDlg->m_nSysDispModeCount, 2u);
    const DispRes* pOld = m_pDlg->m_pSysDispModeHead;
    primary.primary = false;
    Traces().clear();
    EXPECT_EQ(m_pDlg->EnumSysDispMode(), 0);
    EXPECT_EQ(m_pDlg->m_pSysDispModeHead, pOld);
    EXPECT_EQ(m_pDlg->m_nSysDispModeCount, 2u);
    EXPECT_EQ(TracesFrom("Enum system"), "Enum system display resolution\nCan't get system display device\n");
}
