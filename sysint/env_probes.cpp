#include <windows.h>

#include <cstring>

#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/env_probes.h"
#include "sysint/str_util.h"

namespace {

constexpr char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kEditionValue[] = "EditionID";
constexpr char kIntelVendorId[] = "VEN_8086";
constexpr LPARAM kMonitorOff = 2;
constexpr LPARAM kMonitorOn = -1;

// The service-pack texts are compared as whole 16-byte records, terminating zero included, so only these
// exact texts count. (They are not the wording XP itself reports; such a system traces service pack 0.)
int XpServicePack(const char* pszCsdVersion) {
    static_assert(sizeof("Services Pack 2") == 16, "the compared record is 16 bytes");
    if (memcmp(pszCsdVersion, "Services Pack 2", 16) == 0)
        return 2;
    if (memcmp(pszCsdVersion, "Services Pack 1", 16) == 0)
        return 1;
    return 0;
}

// The Starter edition of Windows 7: "EditionID" exactly "Starter". A longer edition name that merely
// begins with it (or any read failure) is not Starter.
bool IsStarterEdition() {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    // Zeroed: a value shorter than 8 bytes, or stored without its terminating zero, is still compared
    // against defined bytes.
    char szEdition[64] = {};
    DWORD cbEdition = sizeof(szEdition);
    const LSTATUS status = RegQueryValueExA(hKey, kEditionValue, nullptr, nullptr,
                                            reinterpret_cast<BYTE*>(szEdition), &cbEdition);
    RegCloseKey(hKey);
    // A value too long for the buffer leaves the buffer's contents undefined; it cannot be "Starter" anyway.
    if (status != ERROR_SUCCESS)
        return false;
    return memcmp(szEdition, "Starter", 8) == 0;
}

} // namespace

void ProbeWindowsVersion(OSVERSIONINFOEXA& osvi, BOOL& bWin7, BOOL& bStarter) {
    memset(&osvi, 0, sizeof(osvi));
    osvi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&osvi));
    bWin7 = FALSE;
    bStarter = FALSE;

    const DWORD dwMajor = osvi.dwMajorVersion;
    const DWORD dwMinor = osvi.dwMinorVersion;
    if (dwMajor == 5 && dwMinor == 0) {
        DbgTrace("OS : Windows 2000\n");
    } else if (dwMajor == 5 && dwMinor == 1) {
        DbgTrace("OS : Windows XP, Service Pack = %d\n", XpServicePack(osvi.szCSDVersion));
    } else if (dwMajor == 6 && dwMinor == 0) {
        DbgTrace("OS : Windows Vista\n");
    } else if (dwMajor == 6 && dwMinor == 1) {
        bWin7 = TRUE;
        DbgTrace("OS : Windows 7\n");
        if (IsStarterEdition()) {
            bStarter = TRUE;
            DbgTrace("Starter Edition \n");
        }
    }
}

BOOL ProbeIntelChip(BYTE& bIntelChip) {
    bIntelChip = 0;
    DbgTrace("Detect Intxl chip\n");
    // One record for the whole walk: a failed call leaves the previous device's text in it, and that is
    // what the last trace shows.
    DISPLAY_DEVICEA dd = {};
    dd.cb = sizeof(dd);
    for (DWORD i = 0;; ++i) {
        const BOOL bRet = EnumDisplayDevicesA(nullptr, i, &dd, 0);
        DbgTrace("Detect Intxl chip %d, bRet = %d, %s\n", (int)(i + 1), (int)bRet, dd.DeviceID);
        if (bRet != 1)
            return TRUE;
        // A mirroring driver copies some other display; its vendor says nothing about the system's chip.
        if (dd.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER)
            continue;
        if (StrContainsNoCase(dd.DeviceID, kIntelVendorId)) {
            DbgTrace("Found Intxl \n");
            bIntelChip = 1;
            return TRUE;
        }
    }
}

bool ProbePrimaryMode(int& nBpp, int& nWidth, int& nHeight) {
    DISPLAY_DEVICEA dd = {};
    if (!DispDevFindSystemPrimary(dd))
        return false;
    DEVMODEA dm;
    InitDevMode(dm);
    // Without a readable mode the last known one stands; zeros would read as "no primary display".
    if (!EnumDisplaySettingsA(dd.DeviceName, ENUM_REGISTRY_SETTINGS, &dm))
        return false;
    const int nNewBpp = (int)dm.dmBitsPerPel;
    const int nNewWidth = (int)dm.dmPelsWidth;
    const int nNewHeight = (int)dm.dmPelsHeight;
    if (nNewBpp == nBpp && nNewHeight == nHeight && nNewWidth == nWidth)
        return false;
    nBpp = nNewBpp;
    nWidth = nNewWidth;
    nHeight = nNewHeight;
    return true;
}

void CyclePowerAfterResume(BYTE bIntelChip, const OSVERSIONINFOEXA& osvi, BOOL& bResumeKick) {
    if (!bIntelChip || osvi.dwMajorVersion < 6 || !bResumeKick)
        return;
    // After a resume the Intel drivers of Vista and later can leave the system's display dark while the
    // adapter is the only display; a monitor power cycle brings it back.
    DbgTrace("Vista and Intxl \n");
    SendMessageA(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, kMonitorOff);
    DbgTrace("Turn off monitor \n");
    SendMessageA(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, kMonitorOn);
    DbgTrace("Turn on monitor \n");
    bResumeKick = FALSE;
}
