#include <windows.h>

#include <cstring>

#include "sysint/video_key.h"

char g_szVideoKeyBase[256];

namespace {

// Windows 2000 keeps the video keys of a hardware profile under the display services; XP and later under
// the profile's copy of Control\Video.
constexpr char kVideoKeyBaseWin2000[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001\\System\\CurrentControlSet\\SERVICES\\";
constexpr char kVideoKeyBase[] =
    "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Video\\";

// The DeviceKey starts with a registry path prefix of this length on the versions whose video key is
// named from what follows it.
constexpr size_t kDeviceKeyPrefixLength = 48;

constexpr char kAttachValue[] = "Attach.ToDesktop";
constexpr DWORD kAclExtraBytes = 24; // ACL header and one access-allowed ACE header with its mask

} // namespace

const char* VideoKeyBaseFor(DWORD dwMajor, DWORD dwMinor) {
    return (dwMajor == 5 && dwMinor == 0) ? kVideoKeyBaseWin2000 : kVideoKeyBase;
}

int DispDevKeySuffix(const char* pszDeviceKey, char* pszSuffix, size_t cchSuffix) {
    if (pszDeviceKey == nullptr || pszSuffix == nullptr || cchSuffix == 0)
        return 0;
    OSVERSIONINFOA osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    GetVersionExA(&osvi);

    const char* pszPart;
    if ((osvi.dwMajorVersion == 5 && osvi.dwMinorVersion == 0) || osvi.dwMajorVersion == 6) {
        // Skipping 48 characters of a shorter DeviceKey would run past its end; one of exactly 48 would
        // name the base key itself, which holds every device's key. Neither names a device.
        if (strlen(pszDeviceKey) <= kDeviceKeyPrefixLength)
            return 0;
        pszPart = pszDeviceKey + kDeviceKeyPrefixLength;
    } else {
        pszPart = strchr(pszDeviceKey, '{');
        if (pszPart == nullptr)
            return 0;
    }
    if (strlen(pszPart) >= cchSuffix)
        return 0;
    memcpy(pszSuffix, pszPart, strlen(pszPart) + 1);
    return 1;
}

int SetAttachToDesktop(const DISPLAY_DEVICEA& dd, int nAttach) {
    char szSuffix[sizeof(dd.DeviceKey)];
    // The record's DeviceKey is a fixed field; a copy with a terminating zero is what gets searched.
    char szDeviceKey[sizeof(dd.DeviceKey) + 1];
    memcpy(szDeviceKey, dd.DeviceKey, sizeof(dd.DeviceKey));
    szDeviceKey[sizeof(dd.DeviceKey)] = '\0';
    if (!DispDevKeySuffix(szDeviceKey, szSuffix, sizeof(szSuffix)))
        return 0;
    // A path cut short would name some other key.
    char szPath[256];
    const size_t cchBase = strnlen(g_szVideoKeyBase, sizeof(g_szVideoKeyBase));
    const size_t cchSuffix = strlen(szSuffix);
    if (cchBase + cchSuffix >= sizeof(szPath))
        return 0;
    memcpy(szPath, g_szVideoKeyBase, cchBase);
    memcpy(szPath + cchBase, szSuffix, cchSuffix + 1);

    EnableSecurityPrivilege(TRUE);
    HKEY hKey = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, szPath, &hKey) == ERROR_SUCCESS) {
        // Without the right to change the key's security the value is still written.
        GrantAdminsFullAccess(hKey);
    } else if (RegCreateKeyA(HKEY_LOCAL_MACHINE, szPath, &hKey) != ERROR_SUCCESS) {
        return 0;
    }
    const DWORD dwAttach = nAttach == 1 ? 1 : 0;
    RegSetValueExA(hKey, kAttachValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwAttach),
                   sizeof(dwAttach));
    RegCloseKey(hKey);
    return 1;
}

BOOL EnablePrivilege(BOOL bEnable, const char* pszPrivilege) {
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &hToken))
        return FALSE;
    TOKEN_PRIVILEGES tp = {};
    if (!LookupPrivilegeValueA(nullptr, pszPrivilege, &tp.Privileges[0].Luid)) {
        CloseHandle(hToken);
        return FALSE;
    }
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = bEnable ? SE_PRIVILEGE_ENABLED : 0;
    // Succeeds even when the token does not hold the privilege (the last error then says so); the change
    // of key security that needs it fails later instead.
    const BOOL bResult = AdjustTokenPrivileges(hToken, FALSE, &tp, 0, nullptr, nullptr);
    // Called before every attach flag write: a token handle left open each time would pile up.
    CloseHandle(hToken);
    return bResult;
}

void EnableSecurityPrivilege(BOOL bEnable) {
    OSVERSIONINFOA osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    GetVersionExA(&osvi);
    if (osvi.dwPlatformId == VER_PLATFORM_WIN32_NT)
        EnablePrivilege(bEnable, "SeSecurityPrivilege");
}

bool AllocateAdminsSid(PSID* ppSid) {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    return AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                    0, 0, 0, 0, 0, ppSid) != FALSE;
}

// Under User Account Control the Administrators group of a filtered token is there for deny only, and the
// check does not count it: only an administrator's full token answers true.
bool HasAdminToken() {
    PSID pAdminsSid = nullptr;
    if (!AllocateAdminsSid(&pAdminsSid))
        return false;
    BOOL bMember = FALSE;
    const bool bAdmin = CheckTokenMembership(nullptr, pAdminsSid, &bMember) && bMember;
    FreeSid(pAdminsSid);
    return bAdmin;
}

int GrantAdminsFullAccess(HKEY hKey) {
    PSID pAdminsSid = nullptr;
    if (!AllocateAdminsSid(&pAdminsSid))
        return 0;

    int nResult = 0;
    const DWORD cbAcl = GetLengthSid(pAdminsSid) + kAclExtraBytes;
    auto* pAcl = static_cast<PACL>(HeapAlloc(GetProcessHeap(), 0, cbAcl));
    if (pAcl != nullptr) {
        SECURITY_DESCRIPTOR sd = {};
        if (InitializeAcl(pAcl, cbAcl, ACL_REVISION) &&
            AddAccessAllowedAce(pAcl, ACL_REVISION, KEY_ALL_ACCESS, pAdminsSid) &&
            InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
            SetSecurityDescriptorDacl(&sd, TRUE, pAcl, FALSE) &&
            RegSetKeySecurity(hKey, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS)
            nResult = 1;
        HeapFree(GetProcessHeap(), 0, pAcl);
    }
    FreeSid(pAdminsSid);
    return nResult;
}
