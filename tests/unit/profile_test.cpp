// The registry profile of the application: where values go, how they come back, and what a read gives
// when a value is missing or not a number.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "faults.h"
#include "framework/app.h"
#include "machine.h"

namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override { winsim::BeginTestProcess(); }
};

bool ReadRaw(const char* pszKey, const char* pszValue, DWORD* pdwType, DWORD* pdwValue) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    DWORD cb = sizeof(*pdwValue);
    const LSTATUS status =
        RegQueryValueExA(hKey, pszValue, nullptr, pdwType, reinterpret_cast<BYTE*>(pdwValue), &cb);
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}

// The registry functions the test's process has called so far.
uint32_t RegistryCalls() {
    const auto& calls = winsim::CurrentProcess().apiCalls;
    uint32_t n = 0;
    for (winsim::Api api : {winsim::Api::RegOpenKeyExA, winsim::Api::RegCreateKeyExA,
                            winsim::Api::RegSetValueExA, winsim::Api::RegQueryValueExA})
        n += static_cast<size_t>(api) < calls.size() ? calls[static_cast<size_t>(api)] : 0;
    return n;
}

} // namespace

TEST_F(ProfileTest, AValueIsADwordUnderTheRegistryKeyTheAppNameAndTheSection) {
    CWinApp app("duodeskb");
    app.SetRegistryKey("Kiva Dongle");
    ASSERT_TRUE(app.WriteProfileInt("VGA DONGLE", "Width", 1280));
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    ASSERT_TRUE(ReadRaw("Software\\Kiva Dongle\\duodeskb\\VGA DONGLE", "Width", &dwType, &dwValue));
    EXPECT_EQ(dwType, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(dwValue, 1280u);
    EXPECT_STREQ(app.GetAppProfileKey(), "Software\\Kiva Dongle\\duodeskb");
}

TEST_F(ProfileTest, ValuesComeBackSignedAndMissingOnesGiveTheDefault) {
    CWinApp app("duodesk");
    app.SetRegistryKey("Kiva Dongle");
    ASSERT_TRUE(app.WriteProfileInt("USBVGACONFIG", "SysX", -1));
    EXPECT_EQ(app.GetProfileInt("USBVGACONFIG", "SysX", 0), -1);
    EXPECT_EQ(app.GetProfileInt("USBVGACONFIG", "SysY", 768), 768);
    EXPECT_EQ(app.GetProfileInt("NO SUCH SECTION", "SysX", 2), 2);
}

TEST_F(ProfileTest, AValueThatIsNotADwordCountsAsMissing) {
    CWinApp app("duodesk");
    app.SetRegistryKey("Kiva Dongle");
    HKEY hKey = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kiva Dongle\\duodesk\\VGA DONGLE", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    const char szText[] = "1280";
    RegSetValueExA(hKey, "Width", 0, REG_SZ, reinterpret_cast<const BYTE*>(szText), sizeof(szText));
    const BYTE shortValue[2] = {1, 2};
    RegSetValueExA(hKey, "Height", 0, REG_BINARY, shortValue, sizeof(shortValue));
    RegCloseKey(hKey);
    EXPECT_EQ(app.GetProfileInt("VGA DONGLE", "Width", 1024), 1024);
    EXPECT_EQ(app.GetProfileInt("VGA DONGLE", "Height", 768), 768);
}

TEST_F(ProfileTest, WithoutARegistryKeyThereIsNoProfile) {
    CWinApp app("duodesk");
    EXPECT_FALSE(app.WriteProfileInt("VGA DONGLE", "Width", 1280));
    EXPECT_EQ(app.GetProfileInt("VGA DONGLE", "Width", 1024), 1024);
    HKEY hKey = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\duodesk", 0, KEY_READ, &hKey), ERROR_SUCCESS);
    EXPECT_STREQ(app.GetAppProfileKey(), "");
}

TEST_F(ProfileTest, SectionsAreSeparateKeys) {
    CWinApp app("duodesk");
    app.SetRegistryKey("Kiva Dongle");
    app.WriteProfileInt("VGA DONGLE", "FirstRun", 1);
    app.WriteProfileInt("USBVGACONFIG", "FirstRun", 0);
    EXPECT_EQ(app.GetProfileInt("VGA DONGLE", "FirstRun", 9), 1);
    EXPECT_EQ(app.GetProfileInt("USBVGACONFIG", "FirstRun", 9), 0);
}

// "Software\Kiva Dongle\duodesk\" and a section, in key names of at most 255 characters, make a path of
// `length` characters: one short of the limit works, the limit itself is refused before the registry is
// asked.
TEST_F(ProfileTest, AKeyPathOfItsFullLimitIsRefusedWithoutTheRegistryAndOneShorterWorks) {
    CWinApp app("duodesk");
    app.SetRegistryKey("Kiva Dongle");
    const std::string prefix = "Software\\Kiva Dongle\\duodesk\\";
    for (const size_t length : {CWinApp::kMaxKeyPath, CWinApp::kMaxKeyPath - 1}) {
        SCOPED_TRACE(length);
        const std::string section = std::string(200, 's') + "\\" + std::string(200, 't') + "\\" +
                                    std::string(length - prefix.size() - 402, 'u');
        ASSERT_EQ(prefix.size() + section.size(), length);
        const bool bFits = length < CWinApp::kMaxKeyPath;
        const uint32_t callsBefore = RegistryCalls();
        EXPECT_EQ(app.WriteProfileInt(section.c_str(), "Width", 1280), bFits ? TRUE : FALSE);
        bool bReadFailed = false;
        EXPECT_EQ(app.GetProfileInt(section.c_str(), "Width", 7, &bReadFailed), bFits ? 1280 : 7);
        EXPECT_FALSE(bReadFailed);
        if (!bFits) {
            EXPECT_EQ(RegistryCalls(), callsBefore);
        }
    }
}
