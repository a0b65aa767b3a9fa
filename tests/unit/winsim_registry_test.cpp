// The registry as NT behaves: case-insensitive names, name-ordered enumeration re-indexed at each deletion,
// no deletion of a key with subkeys, handles on deleted keys, access rights per handle, and the DACL as set.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <string>
#include <utility>

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

// As in every user's hive, and in a new Wine prefix: Software is there before anyone writes to it.
TEST_F(RegistryTest, TheUsersHiveStartsWithAnEmptySoftwareKey) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char name[32];
    EXPECT_EQ(RegEnumKeyA(key, 0, name, sizeof name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

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

// Each row acts on the keys the rows before it left: HKCU\Software\Kiva Dongle holds A\x, b and Locked.
TEST_F(RegistryTest, DeletionRefusesKeysWithSubkeysAndProtectedKeysAndTakesTheHandlesOwnKey) {
    HKEY key = nullptr;
    for (const char* path : {"A\\x", "b", "Locked"}) {
        ASSERT_EQ(
            RegCreateKeyA(HKEY_CURRENT_USER, (std::string("Software\\Kiva Dongle\\") + path).c_str(), &key),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    FindKey(M().hkcu, "Software\\Kiva Dongle\\Locked")->denyDelete = true;
    HKEY parent = nullptr, b = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Kiva Dongle", 0, KEY_READ, &parent), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(parent, "b", 0, KEY_QUERY_VALUE, &b), ERROR_SUCCESS);
    const struct {
        HKEY handle;
        const char* name;
        LSTATUS result;
    } steps[] = {
        {parent, "A", ERROR_ACCESS_DENIED}, // it still has a subkey, whatever rights the caller has
        {parent, "Locked", ERROR_ACCESS_DENIED},
        {parent, "missing", ERROR_FILE_NOT_FOUND},
        {parent, nullptr, ERROR_INVALID_PARAMETER},
        {parent, "A\\x", ERROR_SUCCESS}, // the rights of a KEY_READ handle do not matter
        {parent, "a", ERROR_SUCCESS},
        {parent, "A", ERROR_FILE_NOT_FOUND},
        {b, "", ERROR_SUCCESS}, // "" deletes the key the handle refers to
        {HKEY_CURRENT_USER, "", ERROR_ACCESS_DENIED},
    };
    int row = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "row " << row++ << " name " << (s.name ? s.name : "(null)"));
        EXPECT_EQ(RegDeleteKeyA(s.handle, s.name), s.result);
    }
    RegKey* left = FindKey(M().hkcu, "Software\\Kiva Dongle");
    ASSERT_EQ(left->subkeys.size(), 1u);
    EXPECT_EQ(left->subkeys.begin()->first, "Locked");
}

// A handle on a key deleted while it was open stays a handle, but only RegCloseKey accepts it.
TEST_F(RegistryTest, AHandleOnADeletedKeyAnswersKeyDeletedToEverythingButClose) {
    HKEY open = nullptr, child = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Gone", &open), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Gone"), ERROR_SUCCESS);
    DWORD value = 1, size = sizeof value;
    char name[16];
    SECURITY_DESCRIPTOR sd;
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
    const std::pair<const char*, LSTATUS> calls[] = {
        {"RegQueryValueExA",
         RegQueryValueExA(open, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size)},
        {"RegSetValueExA",
         RegSetValueExA(open, "v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value)},
        {"RegDeleteValueA", RegDeleteValueA(open, "v")},
        {"RegEnumKeyA", RegEnumKeyA(open, 0, name, sizeof name)},
        {"RegOpenKeyExA", RegOpenKeyExA(open, "child", 0, KEY_READ, &child)},
        {"RegCreateKeyA", RegCreateKeyA(open, "child", &child)},
        {"RegDeleteKeyA", RegDeleteKeyA(open, "")},
        {"RegSetKeySecurity", RegSetKeySecurity(open, DACL_SECURITY_INFORMATION, &sd)},
    };
    for (const auto& [call, result] : calls)
        EXPECT_EQ(result, ERROR_KEY_DELETED) << call;
    EXPECT_EQ(FindKey(M().hkcu, "Software\\Gone"), nullptr);
    EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(open), ERROR_INVALID_HANDLE);
}

// Subkeys enumerate in name order, compared without regard to case, and move up one index at each
// deletion: a loop that always deletes index 0 empties the key, one that counts up skips every other key.
TEST_F(RegistryTest, EnumerationFollowsNameOrderAndIsReindexedAfterEachDeletion) {
    HKEY key = nullptr;
    for (const char* path : {"Kiva\\d", "Kiva\\B", "Kiva\\c", "Kiva\\a"}) {
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path, &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    HKEY kiva = nullptr, noEnum = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Kiva", 0, KEY_READ, &kiva), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Kiva", 0, KEY_QUERY_VALUE, &noEnum), ERROR_SUCCESS);
    char name[8];
    auto names = [&] {
        std::string all;
        for (DWORD i = 0; RegEnumKeyA(kiva, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            all += name;
        return all;
    };
    EXPECT_EQ(names(), "aBcd");
    EXPECT_EQ(RegEnumKeyA(kiva, 4, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(kiva, 0, name, 1), ERROR_MORE_DATA); // no room for the terminator
    EXPECT_EQ(RegEnumKeyA(kiva, 0, name, 2), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyA(noEnum, 0, name, sizeof name), ERROR_ACCESS_DENIED);

    for (DWORD i = 0; RegEnumKeyA(kiva, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        ASSERT_EQ(RegDeleteKeyA(kiva, name), ERROR_SUCCESS);
    EXPECT_EQ(names(), "Bd");
    while (RegEnumKeyA(kiva, 0, name, sizeof name) == ERROR_SUCCESS)
        ASSERT_EQ(RegDeleteKeyA(kiva, name), ERROR_SUCCESS);
    EXPECT_EQ(names(), "");

    // A key that fails its enumeration fails it at every index, past the end as well.
    CreateKey(M().hkcu, "Kiva\\e");
    FindKey(M().hkcu, "Kiva")->enumFails = 1015;
    for (DWORD index : {0u, 1u, 100u})
        EXPECT_EQ(RegEnumKeyA(kiva, index, name, sizeof name), 1015) << "index " << index;
}

TEST_F(RegistryTest, AKeyMarkedReadOnlyRefusesWritesBelowIt) {
    CreateKey(M().hkcu, "Software")->denyWrite = true;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kiva Dongle", &key), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, TheAccessListSetOnAKeyReadsBackAsTheAdministratorsEntry) {
    HKEY created = nullptr, key = nullptr, reader = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "System\\Video", &created), ERROR_SUCCESS);
    // A handle opened for WRITE_DAC alone may set the access list; one opened for reading may not.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\Video", 0, WRITE_DAC, &key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\Video", 0, KEY_READ, &reader), ERROR_SUCCESS);
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
    EXPECT_EQ(RegSetKeySecurity(reader, DACL_SECURITY_INFORMATION, &sd), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
    HeapFree(GetProcessHeap(), 0, acl);
    FreeSid(admins);
    RegKey* video = FindKey(M().hklm, "System\\Video");
    ASSERT_EQ(video->securityLog.size(), 1u);
    EXPECT_EQ(video->securityLog[0], "D:(A;0xF003F;S-1-5-32-544)");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "System\\Video"), ERROR_SUCCESS);
}
