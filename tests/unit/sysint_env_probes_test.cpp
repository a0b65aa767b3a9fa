// The environment probes: what they conclude about the Windows version and edition, the graphics chip
// and the primary display, and the composition service and monitor power controls built on them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine.h"
#include "sysint/dwm_service.h"
#include "sysint/env_probes.h"
#include "test_machine.h"

using namespace test_machine;

namespace {

class EnvProbes : public Machine {
protected:
    static void SetEdition(const char* pszEdition) {
        winsim::RegKey* key =
            winsim::CreateKey(winsim::M().hklm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
        winsim::RegValue& v = key->values[winsim::Str("EditionID")];
        v.name = "EditionID";
        v.type = REG_SZ;
        v.data.assign(pszEdition, pszEdition + strlen(pszEdition) + 1);
    }

    static void SetService(winsim::ServiceState state) {
        winsim::M().services[winsim::Str("UxSms")].state = state;
    }
    static const winsim::Service& Service() { return winsim::M().services[winsim::Str("UxSms")]; }
};

} // namespace

TEST_F(EnvProbes, EachKnownVersionIsTracedAndOnlyWindows7SetsTheFlag) {
    struct Case {
        unsigned nMajor, nMinor;
        const char* pszCsd;
        const char* pszTrace; // "" = nothing traced
        BOOL bWin7;
    } cases[] = {
        {5, 0, "Service Pack 4", "OS : Windows 2000\n", FALSE},
        {5, 1, "", "OS : Windows XP, Service Pack = 0\n", FALSE},
        {5, 1, "Services Pack 2", "OS : Windows XP, Service Pack = 2\n", FALSE},
        {5, 1, "Services Pack 1", "OS : Windows XP, Service Pack = 1\n", FALSE},
        // What XP really reports: the compared texts differ in one letter, so this is "no service pack".
        {5, 1, "Service Pack 2", "OS : Windows XP, Service Pack = 0\n", FALSE},
        // All 16 bytes count, the terminating zero included.
        {5, 1, "Services Pack 2a", "OS : Windows XP, Service Pack = 0\n", FALSE},
        {5, 1, "services Pack 1", "OS : Windows XP, Service Pack = 0\n", FALSE},
        {5, 2, "Service Pack 2", "", FALSE},
        {6, 0, "Service Pack 2", "OS : Windows Vista\n", FALSE},
        {6, 1, "Service Pack 1", "OS : Windows 7\n", TRUE},
        {6, 2, "", "", FALSE},
        {10, 0, "", "", FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nMajor) + "." + std::to_string(c.nMinor) + " \"" + c.pszCsd + "\"");
        SetOs(c.nMajor, c.nMinor, c.pszCsd);
        Traces().clear();
        OSVERSIONINFOEXA osvi;
        BOOL bWin7 = 7, bStarter = 7;
        ProbeWindowsVersion(osvi, bWin7, bStarter);
        EXPECT_EQ(osvi.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXA));
        EXPECT_EQ(osvi.dwMajorVersion, c.nMajor);
        EXPECT_EQ(osvi.dwMinorVersion, c.nMinor);
        EXPECT_EQ(bWin7, c.bWin7);
        EXPECT_EQ(bStarter, FALSE);
        EXPECT_EQ(Traces(), *c.pszTrace ? std::vector<std::string>{c.pszTrace} : std::vector<std::string>{});
    }
}

TEST_F(EnvProbes, OnlyAnEditionOfExactlyStarterIsTheStarterEdition) {
    struct Case {
        const char* pszEdition; // null: no value
        BOOL bStarter;
    } cases[] = {
        {"Starter", TRUE},      {"StarterN", FALSE}, {"Starter Edition", FALSE}, {"starter", FALSE},
        {"HomePremium", FALSE}, {"", FALSE},         {nullptr, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszEdition ? c.pszEdition : "(no value)");
        winsim::BeginTestProcess();
        SetOs(6, 1);
        if (c.pszEdition)
            SetEdition(c.pszEdition);
        Traces().clear();
        OSVERSIONINFOEXA osvi;
        BOOL bWin7 = FALSE, bStarter = 7;
        ProbeWindowsVersion(osvi, bWin7, bStarter);
        EXPECT_EQ(bWin7, TRUE);
        EXPECT_EQ(bStarter, c.bStarter);
        std::vector<std::string> expected = {"OS : Windows 7\n"};
        if (c.bStarter)
            expected.push_back("Starter Edition \n");
        EXPECT_EQ(Traces(), expected);
    }
}

TEST_F(EnvProbes, AnOverlongEditionThatBeginsWithStarterIsNotStarter) {
    SetOs(6, 1);
    std::string edition = "Starter";
    edition.resize(80, 'x');
    SetEdition(edition.c_str());
    OSVERSIONINFOEXA osvi;
    BOOL bWin7 = FALSE, bStarter = FALSE;
    ProbeWindowsVersion(osvi, bWin7, bStarter);
    EXPECT_EQ(bStarter, FALSE);
}

TEST_F(EnvProbes, TheStarterEditionOnAnyOtherVersionIsNotLookedAt) {
    SetOs(6, 0);
    SetEdition("Starter");
    OSVERSIONINFOEXA osvi;
    BOOL bWin7 = FALSE, bStarter = FALSE;
    ProbeWindowsVersion(osvi, bWin7, bStarter);
    EXPECT_EQ(bStarter, FALSE);
    EXPECT_EQ(Traces(), std::vector<std::string>{"OS : Windows Vista\n"});
}

TEST_F(EnvProbes, AMirroringIntelDeviceIsSkippedAndALaterOneStillCounts) {
    AddPrimary("PCI\\VEN_10DE&DEV_0421", {{1280, 1024, 32}});
    AddDisplay("PCI\\VEN_8086&DEV_MIRR", {{1024, 768, 32}}).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    AddDisplay("pci\\ven_8086&dev_2a42", {{1024, 768, 32}});
    AddDisplay("PCI\\VEN_1002&DEV_9999", {{1024, 768, 32}});
    BYTE bIntel = 7;
    EXPECT_EQ(ProbeIntelChip(bIntel), TRUE);
    EXPECT_EQ(bIntel, 1);
    EXPECT_EQ(Traces(), (std::vector<std::string>{
                            "Detect Intxl chip\n",
                            "Detect Intxl chip 1, bRet = 1, PCI\\VEN_10DE&DEV_0421\n",
                            "Detect Intxl chip 2, bRet = 1, PCI\\VEN_8086&DEV_MIRR\n",
                            "Detect Intxl chip 3, bRet = 1, pci\\ven_8086&dev_2a42\n",
                            "Found Intxl \n",
                        }));
}

TEST_F(EnvProbes, WithoutAnIntelDeviceTheLastTraceRepeatsTheLastDevice) {
    AddPrimary("PCI\\VEN_10DE&DEV_0421", {{1280, 1024, 32}});
    AddDisplay("PCI\\VEN_8086&DEV_MIRR", {{1024, 768, 32}}).staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    BYTE bIntel = 1;
    EXPECT_EQ(ProbeIntelChip(bIntel), TRUE);
    EXPECT_EQ(bIntel, 0);
    EXPECT_EQ(Traces(), (std::vector<std::string>{
                            "Detect Intxl chip\n",
                            "Detect Intxl chip 1, bRet = 1, PCI\\VEN_10DE&DEV_0421\n",
                            "Detect Intxl chip 2, bRet = 1, PCI\\VEN_8086&DEV_MIRR\n",
                            "Detect Intxl chip 3, bRet = 0, PCI\\VEN_8086&DEV_MIRR\n",
                        }));
}

TEST_F(EnvProbes, NoDisplayDeviceAtAllGivesOneFailedStepWithAnEmptyId) {
    BYTE bIntel = 1;
    EXPECT_EQ(ProbeIntelChip(bIntel), TRUE);
    EXPECT_EQ(bIntel, 0);
    EXPECT_EQ(Traces(),
              (std::vector<std::string>{"Detect Intxl chip\n", "Detect Intxl chip 1, bRet = 0, \n"}));
}

TEST_F(EnvProbes, ThePrimaryModeIsTheRegistryModeOfTheFirstNonMirroringPrimary) {
    winsim::DisplayDevice& mirror = AddDisplay("ZTK\\USB2VGAM", {{800, 600, 16}}, true);
    mirror.staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    mirror.primary = true; // a mirror driver that claims the flag must not be taken for the system's display
    winsim::DisplayDevice& primary = AddPrimary("PCI\\VEN_10DE&DEV_0421", {{1280, 1024, 32}});
    primary.registry.mode = winsim::DisplayMode{1400, 1050, 16, 60}; // differs from what runs now
    int nBpp = 0, nWidth = 0, nHeight = 0;
    EXPECT_TRUE(ProbePrimaryMode(nBpp, nWidth, nHeight));
    EXPECT_EQ(nBpp, 16);
    EXPECT_EQ(nWidth, 1400);
    EXPECT_EQ(nHeight, 1050);
    EXPECT_FALSE(ProbePrimaryMode(nBpp, nWidth, nHeight)) << "unchanged";
    primary.registry.mode.bpp = 32;
    EXPECT_TRUE(ProbePrimaryMode(nBpp, nWidth, nHeight)) << "only the depth changed";
    EXPECT_EQ(nBpp, 32);
}

TEST_F(EnvProbes, WithoutAReadablePrimaryTheLastKnownModeStands) {
    AddDisplay("PCI\\VEN_10DE&DEV_0421", {{1280, 1024, 32}}, true);
    int nBpp = 16, nWidth = 800, nHeight = 600;
    EXPECT_FALSE(ProbePrimaryMode(nBpp, nWidth, nHeight)) << "no device is primary";
    winsim::M().displays[0].primary = true;
    winsim::M().displays[0].registryMissing = true;
    EXPECT_FALSE(ProbePrimaryMode(nBpp, nWidth, nHeight)) << "the primary's registry mode cannot be read";
    EXPECT_EQ(nBpp, 16);
    EXPECT_EQ(nWidth, 800);
    EXPECT_EQ(nHeight, 600);
}

TEST_F(EnvProbes, TheMonitorsAreCycledOnlyWithIntelOnVistaOrLaterAfterASuspend) {
    struct Case {
        BYTE bIntel;
        unsigned nMajor;
        BOOL bKick;
        bool bCycles;
    } cases[] = {
        {1, 6, TRUE, true},  {1, 10, TRUE, true},  {0, 6, TRUE, false},
        {1, 5, TRUE, false}, {1, 6, FALSE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.bIntel) + " " + std::to_string(c.nMajor) + " " +
                     std::to_string(c.bKick));
        winsim::BeginTestProcess();
        Traces().clear();
        OSVERSIONINFOEXA osvi = {};
        osvi.dwMajorVersion = c.nMajor;
        BOOL bKick = c.bKick;
        CyclePowerAfterResume(c.bIntel, osvi, bKick);
        const auto& power = winsim::M().monitorPower;
        if (c.bCycles) {
            ASSERT_EQ(power.size(), 2u);
            EXPECT_EQ(power[0].power, 2);
            EXPECT_EQ(power[1].power, -1);
            EXPECT_EQ(bKick, FALSE);
            EXPECT_EQ(Traces(), (std::vector<std::string>{"Vista and Intxl \n", "Turn off monitor \n",
                                                          "Turn on monitor \n"}));
        } else {
            EXPECT_TRUE(power.empty());
            EXPECT_EQ(bKick, c.bKick) << "left as it was";
            EXPECT_TRUE(Traces().empty());
        }
    }
}

TEST_F(EnvProbes, TwoSuspendsBeforeTheNextCommandGiveOneCycle) {
    OSVERSIONINFOEXA osvi = {};
    osvi.dwMajorVersion = 6;
    BOOL bKick = TRUE; // set by each of the two suspends
    CyclePowerAfterResume(1, osvi, bKick);
    CyclePowerAfterResume(1, osvi, bKick);
    EXPECT_EQ(winsim::M().monitorPower.size(), 2u);
}

TEST_F(EnvProbes, TheCompositionServiceStopsAndStartsWithEveryOutcomeTraced) {
    struct Case {
        winsim::ServiceState state;
        bool bRun;
        bool bResult;
        std::vector<std::string> traces;
        winsim::ServiceState after;
    } cases[] = {
        {winsim::ServiceState::Running,
         false,
         true,
         {"Stop DWM service success\n"},
         winsim::ServiceState::Stopped},
        {winsim::ServiceState::Stopped,
         false,
         false,
         {"Stop DWM service fail\n", "Stop DWM Service\n"},
         winsim::ServiceState::Stopped},
        {winsim::ServiceState::Stopped,
         true,
         true,
         {"Start DWM service success\n"},
         winsim::ServiceState::Running},
        // The start failure's last trace has no line end.
        {winsim::ServiceState::Running,
         true,
         false,
         {"Start DWM service fail\n", "Run DWM Service"},
         winsim::ServiceState::Running},
        {winsim::ServiceState::Absent, false, false, {"OpenService fail\n"}, winsim::ServiceState::Absent},
        {winsim::ServiceState::Absent, true, false, {"OpenService fail\n"}, winsim::ServiceState::Absent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.state)) + (c.bRun ? " run" : " stop"));
        winsim::BeginTestProcess();
        Traces().clear();
        SetService(c.state);
        EXPECT_EQ(RunDwmService(c.bRun), c.bResult);
        EXPECT_EQ(Traces(), c.traces);
        EXPECT_EQ(Service().state, c.after);
        // Every manager and service handle is given back, on every path.
        EXPECT_TRUE(winsim::M().serviceHandles.empty());
    }
}

TEST_F(EnvProbes, StopDwmAndWaitPausesTwoSecondsEvenWhenThereIsNothingToStop) {
    for (winsim::ServiceState state : {winsim::ServiceState::Running, winsim::ServiceState::Absent}) {
        winsim::BeginTestProcess();
        SetService(state);
        const winsim::VirtualMs before = winsim::M().now;
        StopDwmAndWait();
        EXPECT_EQ(winsim::M().now - before, 2000u);
        EXPECT_EQ(Service().state,
                  state == winsim::ServiceState::Running ? winsim::ServiceState::Stopped : state);
    }
}
