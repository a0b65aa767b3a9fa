// The "Attach.ToDesktop" flag in a display device's video key: where the key lies on each Windows version,
// what is written, and the Administrators-only access list an existing key gets.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "machine.h"
#include "sysint/disp_dev.h"
#include "sysint/video_key.h"
#include "test_machine.h"

using namespace test_machine;

namespace {

constexpr char kXpBase[] =
    "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Video\\";
constexpr char k2000Base[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001\\System\\CurrentControlSet\\SERVICES\\";
constexpr char kAdminsOnly[] = "D:(A;0xF003F;S-1-5-32-544)";

// What Windows 2000 reports for a display driver's device: 48 characters of path, then the service.
constexpr char k2000DeviceKey[] = "\\REGISTRY\\Machine\\System\\ControlSet001\\Services\\vgasave\\Device0";

class VideoKey : public Machine {
protected:
    // The program's start-up picks the base for the machine's version.
    static void Start(unsigned nMajor, unsigned nMinor) {
        SetOs(nMajor, nMinor);
        DispDevInit();
    }

    static DISPLAY_DEVICEA WithKey(const std::string& key) {
        DISPLAY_DEVICEA dd = {};
        dd.cb = sizeof(dd);
        snprintf(dd.DeviceKey, sizeof(dd.DeviceKey), "%s", key.c_str());
        return dd;
    }

    static std::vector<std::string> SecurityLog(const std::string& path) {
        std::vector<std::string> log;
        if (winsim::RegKey* key = winsim::FindKey(winsim::M().hklm, path.c_str()))
            for (const winsim::Str& text : key->securityLog)
                log.push_back(text.c_str());
        return log;
    }

    static size_t TokenHandles() {
        size_t n = 0;
        for (const auto& [value, entry] : winsim::CurrentProcess().handles)
            n += entry.object->kind == winsim::ObjectKind::Token ? 1 : 0;
        return n;
    }
};

const std::string kVistaKey = VideoDeviceKey("{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}");

} // namespace

TEST_F(VideoKey, TheKeyIsNamedFromTheDeviceKeyAsEachVersionLaysItOut) {
    struct Case {
        unsigned nMajor, nMinor;
        std::string deviceKey;
        int nResult;
        std::string suffix;
    } cases[] = {
        {5, 0, k2000DeviceKey, 1, "vgasave\\Device0"},
        {5, 1, kVistaKey, 1, "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000"},
        {5, 2, kVistaKey, 1, "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000"},
        {6, 0, kVistaKey, 1, kVistaKey.substr(48)},
        {6, 1, kVistaKey, 1, kVistaKey.substr(48)},
        {10, 0, kVistaKey, 1, "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000"},
        // XP without "{": nothing names the device.
        {5, 1, k2000DeviceKey, 0, ""},
        // Where 48 characters are skipped, a DeviceKey of 48 or fewer would leave nothing (or run past its
        // end): no key rather than the base key of every device.
        {6, 1, std::string(k2000DeviceKey).substr(0, 48), 0, ""},
        {6, 1, std::string(k2000DeviceKey).substr(0, 20), 0, ""},
        {5, 0, "", 0, ""},
        {6, 1, std::string(k2000DeviceKey).substr(0, 49), 1, "v"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nMajor) + "." + std::to_string(c.nMinor) + " " + c.deviceKey);
        SetOs(c.nMajor, c.nMinor);
        char szSuffix[128] = "untouched";
        EXPECT_EQ(DispDevKeySuffix(c.deviceKey.c_str(), szSuffix, sizeof(szSuffix)), c.nResult);
        if (c.nResult) {
            EXPECT_EQ(std::string(szSuffix), c.suffix);
        }
    }
}

TEST_F(VideoKey, ASuffixThatDoesNotFitIsRefusedWholeNotCut) {
    SetOs(5, 1);
    char szSuffix[8];
    EXPECT_EQ(DispDevKeySuffix("x{1234567}", szSuffix, sizeof(szSuffix)), 0);
    EXPECT_EQ(DispDevKeySuffix("x{12345}", szSuffix, sizeof(szSuffix)), 1);
    EXPECT_EQ(std::string(szSuffix), "{12345}");
}

TEST_F(VideoKey, TheFlagGoesUnderEachVersionsBaseAndIsOneOnlyForAttach) {
    struct Case {
        unsigned nMajor, nMinor;
        std::string deviceKey;
        std::string path;
    } cases[] = {
        {5, 0, k2000DeviceKey, std::string(k2000Base) + "vgasave\\Device0"},
        {5, 1, kVistaKey, std::string(kXpBase) + "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000"},
        {6, 1, kVistaKey, std::string(kXpBase) + kVistaKey.substr(48)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        winsim::BeginTestProcess();
        Start(c.nMajor, c.nMinor);
        const DISPLAY_DEVICEA dd = WithKey(c.deviceKey);
        EXPECT_EQ(SetAttachToDesktop(dd, 1), 1);
        EXPECT_EQ(AttachFlag(c.path), 1);
        EXPECT_EQ(SetAttachToDesktop(dd, 0), 1);
        EXPECT_EQ(AttachFlag(c.path), 0);
        EXPECT_EQ(SetAttachToDesktop(dd, 2), 1);
        EXPECT_EQ(AttachFlag(c.path), 0) << "anything but 1 detaches";
        EXPECT_EQ(SetAttachToDesktop(dd, -1), 1);
        EXPECT_EQ(AttachFlag(c.path), 0);
    }
}

TEST_F(VideoKey, AMissingKeyIsCreatedWithoutTouchingItsSecurity) {
    Start(5, 1);
    const DISPLAY_DEVICEA dd = WithKey(kVistaKey);
    const std::string path = std::string(kXpBase) + "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000";
    ASSERT_EQ(SetAttachToDesktop(dd, 1), 1);
    EXPECT_EQ(AttachFlag(path), 1);
    EXPECT_TRUE(SecurityLog(path).empty());
    // Once the key exists, every later write first puts the Administrators-only list on it.
    ASSERT_EQ(SetAttachToDesktop(dd, 0), 1);
    ASSERT_EQ(SetAttachToDesktop(dd, 1), 1);
    EXPECT_EQ(SecurityLog(path), (std::vector<std::string>{kAdminsOnly, kAdminsOnly}));
}

TEST_F(VideoKey, NoKeyNameMeansNothingIsWrittenAnywhere) {
    Start(5, 1);
    EXPECT_EQ(SetAttachToDesktop(WithKey(k2000DeviceKey), 1), 0);
    Start(6, 1);
    EXPECT_EQ(SetAttachToDesktop(WithKey("\\Registry\\Machine\\Short"), 1), 0);
    EXPECT_EQ(winsim::FindKey(winsim::M().hklm, "System\\CurrentControlSet\\Hardware Profiles"), nullptr);
    EXPECT_TRUE(winsim::M().privilegeLog.empty()) << "the privilege is asked for only once a key is named";
}

TEST_F(VideoKey, AKeyThatCanBeNeitherOpenedNorCreatedFails) {
    Start(5, 1);
    winsim::CreateKey(winsim::M().hklm, "System\\CurrentControlSet\\Hardware Profiles")->denyWrite = true;
    EXPECT_EQ(SetAttachToDesktop(WithKey(kVistaKey), 1), 0);
    EXPECT_EQ(winsim::FindKey(winsim::M().hklm, kXpBase), nullptr);
}

TEST_F(VideoKey, AKeyWhoseSecurityCannotBeChangedStillGetsTried) {
    Start(5, 1);
    const std::string path = std::string(kXpBase) + "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000";
    winsim::CreateKey(winsim::M().hklm, path.c_str())->denyWrite = true;
    // The access list is refused and so is the value: the key was found, which is what counts.
    EXPECT_EQ(SetAttachToDesktop(WithKey(kVistaKey), 1), 1);
    EXPECT_TRUE(SecurityLog(path).empty());
    EXPECT_EQ(AttachFlag(path), -1);
}

TEST_F(VideoKey, TheSecurityPrivilegeIsEnabledOnNtBeforeEachWriteAndTheTokenIsGivenBack) {
    Start(5, 1);
    const DISPLAY_DEVICEA dd = WithKey(kVistaKey);
    for (int i = 0; i < 3; ++i)
        SetAttachToDesktop(dd, 1);
    const std::string pid = std::to_string(winsim::CurrentProcess().pid);
    EXPECT_EQ(std::vector<std::string>(winsim::M().privilegeLog.begin(), winsim::M().privilegeLog.end()),
              std::vector<std::string>(3, pid + " luid=8 enable"));
    EXPECT_EQ(TokenHandles(), 0u);

    winsim::M().privilegeLog.clear();
    winsim::M().os.platformId = VER_PLATFORM_WIN32_WINDOWS;
    EXPECT_EQ(SetAttachToDesktop(dd, 0), 1);
    EXPECT_TRUE(winsim::M().privilegeLog.empty()) << "no token privileges outside NT";
    EXPECT_EQ(AttachFlag(std::string(kXpBase) + "{6A6D1C3B-3A6B-4C0E-8A3F-2D29C5E3B1A0}\\0000"), 0);
}

TEST_F(VideoKey, APrivilegeThatCannotBeLookedUpIsNotAdjusted) {
    EXPECT_EQ(EnablePrivilege(TRUE, "SeNoSuchPrivilege"), FALSE);
    EXPECT_TRUE(winsim::M().privilegeLog.empty());
    EXPECT_EQ(TokenHandles(), 0u);
    // A privilege the token does not hold is still "adjusted": only the last error tells.
    winsim::M().securityPrivilegeHeld = false;
    EXPECT_EQ(EnablePrivilege(FALSE, "SeSecurityPrivilege"), TRUE);
    ASSERT_EQ(winsim::M().privilegeLog.size(), 1u);
    EXPECT_NE(std::string(winsim::M().privilegeLog[0].c_str()).find("disable not-held"), std::string::npos);
}

TEST_F(VideoKey, TheAccessListGrantsAdministratorsFullAccessAndNothingElse) {
    winsim::CreateKey(winsim::M().hklm, "SOFTWARE\\Test");
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", &hKey), ERROR_SUCCESS);
    EXPECT_EQ(GrantAdminsFullAccess(hKey), 1);
    RegCloseKey(hKey);
    EXPECT_EQ(SecurityLog("SOFTWARE\\Test"), std::vector<std::string>{kAdminsOnly});

    // A handle without WRITE_DAC cannot change it.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, KEY_READ, &hKey), ERROR_SUCCESS);
    EXPECT_EQ(GrantAdminsFullAccess(hKey), 0);
    RegCloseKey(hKey);
    EXPECT_EQ(SecurityLog("SOFTWARE\\Test").size(), 1u);
}
