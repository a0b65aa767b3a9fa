// The "Attach.ToDesktop" flag in a display device's video registry key, and the key security around it.
//
// Before a display device's place on the desktop is changed, its video key under HKEY_LOCAL_MACHINE is
// marked 1 (attach) or 0 (detach): the display driver reads the flag when the change is applied and at the
// next boot. Where the video key lies depends on the Windows version.
#pragma once
#include <windows.h>

#include <cstddef>

// The registry base path of the video keys for this Windows version (set by DispDevInit from
// GetVersionExA); the device's own part, taken from its DeviceKey, follows it.
extern char g_szVideoKeyBase[256];

// The base path of the video keys on Windows major.minor.
const char* VideoKeyBaseFor(DWORD dwMajor, DWORD dwMinor);

// The device's part of its video key path, from its DeviceKey: on Windows 2000 and on Vista and later
// the DeviceKey without its first 48 characters, on XP (and any other version) the DeviceKey from its first
// "{" on. 0 when there is no such part (no "{", or a DeviceKey of 48 characters or fewer where 48 are
// skipped) or it does not fit into cchSuffix; 1 otherwise.
int DispDevKeySuffix(const char* pszDeviceKey, char* pszSuffix, size_t cchSuffix);

// Writes "Attach.ToDesktop" = 1 (nAttach 1) or 0 (anything else) into the device's video key, creating the
// key when it cannot be opened. An existing key is first given the Administrators-only access list.
// 1 when the value was written to an open key, 0 when the key could not be found or made.
int SetAttachToDesktop(const DISPLAY_DEVICEA& dd, int nAttach);

// Enables (or disables) one privilege of the process token; the result of AdjustTokenPrivileges, 0 when
// the token or the privilege cannot be looked up.
BOOL EnablePrivilege(BOOL bEnable, const char* pszPrivilege);

// SeSecurityPrivilege, needed to change the security of keys under HKEY_LOCAL_MACHINE; NT only.
void EnableSecurityPrivilege(BOOL bEnable);

// The well-known SID of the Administrators group, for FreeSid.
bool AllocateAdminsSid(PSID* ppSid);
// Whether the program runs with an administrator's full token, which changing the video keys, their
// security and the composition service needs.
bool HasAdminToken();

// Replaces the key's access list with one entry: full access for the built-in Administrators group.
// 1 when the new list was set, 0 when any step failed.
int GrantAdminsFullAccess(HKEY hKey);
