// The adapter's settings in the per-user profile: defaults, round trips, failed writes, the refresh rate
// and the saved system resolution.
#include <windows.h>

#include <gtest/gtest.h>

#include "adapter_test_world.h"

using namespace adapter_test;

namespace {

constexpr int kMissing = -12345;

class Settings : public AdapterWorld {
protected:
    int Stored(const char* pszSection, const char* pszValue) {
        return m_pApp->GetProfileInt(pszSection, pszValue, kMissing);
    }

    void DenyProfileWrites() {
        winsim::CreateKey(winsim::M().hkcu, "Software\\Kiva Dongle\\duodesk")->denyWrite = true;
    }

    // The adapter's display, its mode stored in the registry at the given refresh rate.
    DISPLAY_DEVICEA AdapterRecord(unsigned nRegistryHz) {
        AddDisplayNamed(kAdapterDisplay, kAdapterDeviceId, {{1024, 768, 32}}).registry.mode.frequency =
            nRegistryHz;
        DISPLAY_DEVICEA dd = {};
        dd.cb = sizeof(dd);
        snprintf(dd.DeviceName, sizeof(dd.DeviceName), "%s", kAdapterDisplay);
        return dd;
    }

    // The one display change made: the refresh rate alone, stored for every user.
    void ExpectRateChange(unsigned nHz) {
        ASSERT_EQ(winsim::M().displayChanges.size(), 1u);
        const winsim::DisplayChangeCall& call = winsim::M().displayChanges.front();
        EXPECT_EQ(call.device, kAdapterDisplay);
        EXPECT_EQ(DmFieldNames(call.fields), "DM_DISPLAYFREQUENCY");
        EXPECT_EQ(call.mode.frequency, nHz);
        EXPECT_EQ(CdsFlagNames(call.flags), "CDS_UPDATEREGISTRY|CDS_GLOBAL");
    }
};

} // namespace

TEST_F(Settings, AnEmptyProfileLoadsExtendedAt1024By768By32At60HertzWithNothingToRestore) {
    m_adapter.m_nDispState = DISP_OFF;
    EXPECT_TRUE(m_adapter.LoadSettings());
    EXPECT_EQ(m_adapter.m_nDispState, DISP_EXTENDED);
    EXPECT_EQ(Resolution(), "1024x768x32");
    EXPECT_EQ(m_adapter.m_nRotation, 0);
    EXPECT_EQ(Traces(), (Strings{"load ini\n"}));

    m_adapter.RestoreFrequency(AdapterRecord(75));
    EXPECT_EQ(m_adapter.m_nFrequency, 60u);
    EXPECT_EQ(CountTrace("restore frequence 60\n"), 1);
    ExpectRateChange(60);

    m_pApp->m_nSysX = 5;
    m_pApp->LoadSysRes();
    EXPECT_EQ(Text(m_pApp->m_nSysX, m_pApp->m_nSysY, m_pApp->m_nSysZ), "0x0x0");
}

TEST_F(Settings, WhatIsSavedLoadsBackTheSameFromTheDongleSection) {
    m_adapter.m_nDispState = DISP_MIRROR;
    m_adapter.m_nWidth = 1280;
    m_adapter.m_nHeight = 1024;
    m_adapter.m_nBpp = 16;
    m_adapter.m_nRotation = 3;
    EXPECT_TRUE(m_adapter.SaveSettings());
    EXPECT_EQ(Traces(), (Strings{"save ini VGA DONGLE\n"}));
    EXPECT_EQ(Stored("VGA DONGLE", "Width"), 1280);
    EXPECT_EQ(Stored("VGA DONGLE", "FirstRun"), kMissing);

    CAdapter fresh("vid_5a1e&pid_7300", kAdapterDeviceId, "ZTK\\USB2VGAM", 1);
    EXPECT_TRUE(fresh.LoadSettings());
    EXPECT_EQ(fresh.m_nDispState, DISP_MIRROR);
    EXPECT_EQ(Text(fresh.m_nWidth, fresh.m_nHeight, fresh.m_nBpp), "1280x1024x16");
    EXPECT_EQ(fresh.m_nRotation, 3);
}

TEST_F(Settings, EveryFailedWriteIsTracedAndTheRestAreStillTried) {
    DenyProfileWrites();
    m_adapter.m_nWidth = 1280;
    EXPECT_TRUE(m_adapter.SaveSettings());
    EXPECT_EQ(Traces(), (Strings{"save ini VGA DONGLE\n", "Write DPI setting y failed\n",
                                 "Write DPI setting x failed\n", "Write DPI setting z failed\n",
                                 "Write Display state failed\n", "Write RotationState failed\n"}));
    EXPECT_EQ(m_adapter.m_nWidth, 1280);

    Traces().clear();
    m_adapter.SaveFrequency(AdapterRecord(85));
    EXPECT_EQ(m_adapter.m_nFrequency, 85u);
    EXPECT_EQ(Traces(), (Strings{"save frequence 85\n", "Write frequence  failed\n"}));

    Traces().clear();
    m_pApp->m_nSysX = 1920;
    m_pApp->SaveSysRes();
    EXPECT_TRUE(Traces().empty());
}

TEST_F(Settings, WithoutAnApplicationThereIsNoProfileAndNothingChanges) {
    delete m_pApp;
    m_pApp = nullptr;
    m_adapter.m_nWidth = 1600;
    EXPECT_FALSE(m_adapter.LoadSettings());
    EXPECT_FALSE(m_adapter.SaveSettings());
    EXPECT_EQ(m_adapter.m_nWidth, 1600);
    EXPECT_EQ(m_adapter.m_nDispState, DISP_OFF);
}

TEST_F(Settings, TheSavedRateComesFromTheRegistryModeAndASavedZeroIsAppliedAsZero) {
    const DISPLAY_DEVICEA dd = AdapterRecord(75);
    m_adapter.SaveFrequency(dd);
    EXPECT_EQ(m_adapter.m_nFrequency, 75u);
    EXPECT_EQ(Stored("VGA DONGLE", "Frequence"), 75);
    EXPECT_EQ(Traces(), (Strings{"save frequence 75\n"}));
    ExpectRateChange(75);

    m_pApp->WriteProfileInt("VGA DONGLE", "Frequence", 0);
    winsim::M().displayChanges.clear();
    Traces().clear();
    m_adapter.RestoreFrequency(dd);
    EXPECT_EQ(m_adapter.m_nFrequency, 0u);
    EXPECT_EQ(Traces(), (Strings{"restore frequence 0\n"}));
    ExpectRateChange(0);
}

TEST_F(Settings, AnUnreadableRegistryModeOrAMissingDeviceNameLeavesTheRateAlone) {
    AddPrimary("PCI\\VEN_1234", {{1280, 1024, 32, 75}});
    const DISPLAY_DEVICEA dd = AdapterRecord(75);
    winsim::M().displays.back().registryMissing = true;
    const DISPLAY_DEVICEA neverFilled = {};
    m_pApp->WriteProfileInt("VGA DONGLE", "Frequence", 50);
    m_adapter.m_nFrequency = 72;
    for (const DISPLAY_DEVICEA* pdd : {&dd, &neverFilled}) {
        m_adapter.RestoreFrequency(*pdd);
        m_adapter.SaveFrequency(*pdd);
    }
    EXPECT_EQ(m_adapter.m_nFrequency, 72u);
    EXPECT_EQ(Stored("VGA DONGLE", "Frequence"), 50);
    EXPECT_TRUE(winsim::M().displayChanges.empty()); // above all, the primary display was not touched
    EXPECT_TRUE(Traces().empty());
}

TEST_F(Settings, TheSystemResolutionLivesInItsOwnSectionAndComesBack) {
    m_pApp->m_nSysX = 1920;
    m_pApp->m_nSysY = 1080;
    m_pApp->m_nSysZ = 32;
    m_pApp->SaveSysRes();
    EXPECT_EQ(
        Text(Stored("USBVGACONFIG", "SysX"), Stored("USBVGACONFIG", "SysY"), Stored("USBVGACONFIG", "SysZ")),
        "1920x1080x32");
    EXPECT_EQ(Stored("VGA DONGLE", "SysX"), kMissing);
    m_pApp->m_nSysX = m_pApp->m_nSysY = m_pApp->m_nSysZ = 0;
    m_pApp->LoadSysRes();
    EXPECT_EQ(Text(m_pApp->m_nSysX, m_pApp->m_nSysY, m_pApp->m_nSysZ), "1920x1080x32");
}
