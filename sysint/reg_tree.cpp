#include <windows.h>

#include "sysint/dbg_trace.h"
#include "sysint/reg_tree.h"
#include "sysint/video_key.h"

namespace {
// Registry key names are at most 255 characters.
constexpr DWORD kKeyNameChars = 256;
} // namespace

BOOL DeleteKeyTree(HKEY hParent, const char* pszName) {
    // A key whose access list keeps us out is made deletable first; a failure shows in the opens below.
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(hParent, pszName, 0, WRITE_DAC, &hKey) == ERROR_SUCCESS) {
        GrantAdminsFullAccess(hKey);
        RegCloseKey(hKey);
    }
    if (RegOpenKeyExA(hParent, pszName, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) {
        DbgTrace("Failed to open subkey %s\n", pszName);
        return TRUE;
    }
    // Always index 0: every deletion renumbers the subkeys that are left.
    char szSubKey[kKeyNameChars];
    for (;;) {
        const LONG lEnum = RegEnumKeyA(hKey, 0, szSubKey, kKeyNameChars);
        if (lEnum == ERROR_NO_MORE_ITEMS)
            break;
        // Any other failure would come back at index 0 for ever. The subkeys that are left stay, and the
        // deletion below tells whether there were any.
        if (lEnum != ERROR_SUCCESS) {
            DbgTrace("Fail to enumerate SubKey of %s, error %d\n", pszName, static_cast<int>(lEnum));
            break;
        }
        DbgTrace("hKey %x SubKey : %s\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(hParent)),
                 szSubKey);
        if (!DeleteKeyTree(hKey, szSubKey))
            break;
    }
    RegCloseKey(hKey);
    if (RegDeleteKeyA(hParent, pszName) == ERROR_SUCCESS)
        return TRUE;
    DbgTrace("Fail to Delete SubKey %s\n", pszName);
    return FALSE;
}
