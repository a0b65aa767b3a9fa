// The registry as NT behaves: case-insensitive names, name-ordered enumeration, no deletion of a key with
// subkeys, access rights per handle, and the DACL as set.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"

using namespace winsim;

namespace {
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { BeginTestProcess(); }
};

DWORD ReadDword(HKEY key, const char* name, LSTATUS* status = nullptr) {
    DWORD value = 0, size = sizeof value, type = 0;
    LSTATUS s = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (status)
        *status = s;
    return value;
}
} // namespace

TEST_F(RegistryTest, ValuesRoundTripThroughKeysCreatedOnTheWay) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kiva Dongle\\duodesk\\VGA DONGLE", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    DWORD width = 1280;
    ASSERT_EQ(RegSetValueExA(key, "Width", 0, REG_DWORD, reinterpret_cast<BYTE*>(&width), sizeof width),
              ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY again = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\kiva dongle\\DUODESK\\vga dongle", 0, KEY_READ, &again),
        ERROR_SUCCESS);
    EXPECT_EQ(ReadDword(again, "width"), 1280u);
    LSTATUS status = 0;
    ReadDword(again, "Height", &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    DWORD small = 0, size = 2;
    EXPECT_EQ(RegQueryValueExA(again, "Width", nullptr, nullptr, reinterpret_cast<BYTE*>(&small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    // A handle opened for reading cannot write.
    EXPECT_EQ(RegSetValueExA(again, "Width", 0, REG_DWORD, reinterpret_cast<BYTE*>(&width), sizeof width),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, KeysEnumerateInNameOrderAndOnlyLeafKeysCanBeDeleted) {
    HKEY key = nullptr;
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiva Dongle\\b", &key);
    RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiva Dongle\\A\\x", &key);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kiva Dongle", 0, KEY_ALL_ACCESS, &parent),
              ERROR_SUCCESS);
    char name[256];
    ASSERT_EQ(RegEnumKeyA(parent, 0, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "A");
    ASSERT_EQ(RegEnumKeyA(parent, 1, name, sizeof name), ERROR_SUCCESS);
    EXPECT_STREQ(name, "b");
    EXPECT_EQ(RegEnumKeyA(parent, 2, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(parent, 0, name, 1), ERROR_MORE_DATA);

    EXPECT_EQ(RegDeleteKeyA(parent, "A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(parent, "A\\x"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "A"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(parent, "A"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, AKeyMarkedReadOnlyRefusesWritesBelowIt) {
    CreateKey(M().hkcu, "Software")->denyWrite = true;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiva Dongle", &key), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, TheAccessListSetOnAKeyReadsBackAsTheAdministratorsEntry) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "System\\Video", &key), ERROR_SUCCESS);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                         0, 0, 0, 0, &admins));
    EXPECT_EQ(GetLengthSid(admins), 16u);
    DWORD size = GetLengthSid(admins) + 24;
    auto* acl = static_cast<PACL>(HeapAlloc(GetProcessHeap(), 0, size));
    ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, admins));
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    HeapFree(GetProcessHeap(), 0, acl);
    FreeSid(admins);
    RegKey* video = FindKey(M().hklm, "System\\Video");
    ASSERT_EQ(video->securityLog.size(), 1u);
    EXPECT_EQ(video->securityLog[0], "D:(A;0xF003F;S-1-5-32-544)");
}
