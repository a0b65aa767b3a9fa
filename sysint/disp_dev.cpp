#include <windows.h>

#include <cstring>

#include "sysint/disp_dev.h"
#include "sysint/str_util.h"
#include "sysint/video_key.h"
#include "sysint/dbg_trace.h"

// Set by DispDevInit: in the simulator one executable image runs program start after program start, so
// none of these may count on static zero-initialisation.
static DispDevSlot g_OrgPrimary;
static DispDevSlot g_DetachedDevs[kDetachedDevSlots];
static LONG g_nLastCdsResult;
static bool g_bDispDevInit;

namespace {

// dmFields of the mode records passed to ChangeDisplaySettingsExA.
constexpr DWORD kFieldsModeAndPosition =
    DM_DISPLAYFREQUENCY | DM_PELSHEIGHT | DM_PELSWIDTH | DM_BITSPERPEL | DM_POSITION;             // 0x5C0020
constexpr DWORD kFieldsMode = DM_DISPLAYFREQUENCY | DM_PELSHEIGHT | DM_PELSWIDTH | DM_BITSPERPEL; // 0x5C0000
// Detaching takes a size of 0 by 0 together with the position; the depth is left alone.
constexpr DWORD kFieldsSizeAndPosition = DM_DISPLAYFREQUENCY | DM_PELSHEIGHT | DM_PELSWIDTH | DM_POSITION;
// Attaching and moving keep the stored mode and only place the display.
constexpr DWORD kFieldsPosition = DM_DISPLAYFREQUENCY | DM_POSITION; // 0x400020

constexpr DWORD kResetAndStore = CDS_RESET | CDS_UPDATEREGISTRY;
constexpr DWORD kResetPrimaryAndStore = CDS_RESET | CDS_SET_PRIMARY | CDS_UPDATEREGISTRY;
constexpr DWORD kResetPrimary = CDS_RESET | CDS_SET_PRIMARY;
constexpr DWORD kDeferAndStore = CDS_NORESET | CDS_UPDATEREGISTRY;

// The refresh-rate search of the mode setters takes only rates below this.
constexpr DWORD kNoFrequency = 10000;

// Enumerates display device i into dd. The record is not cleared first: after a failed call it still holds
// the device enumerated last, which some callers use.
bool EnumDevice(DWORD i, DISPLAY_DEVICEA& dd) {
    dd.cb = sizeof(dd);
    return EnumDisplayDevicesA(nullptr, i, &dd, 0) != FALSE;
}

// The device's registry mode. The record is cleared first, so a failed read leaves zeros, never stale or
// uninitialised fields.
bool ReadRegMode(const char* pszDeviceName, DEVMODEA& dm) {
    InitDevMode(dm);
    return EnumDisplaySettingsA(pszDeviceName, ENUM_REGISTRY_SETTINGS, &dm) != FALSE;
}

LONG ChangeDevice(const DISPLAY_DEVICEA& dd, DEVMODEA& dm, DWORD dwFlags) {
    return ChangeDisplaySettingsExA(dd.DeviceName, &dm, nullptr, dwFlags, nullptr);
}

// Carries out every change stored with CDS_NORESET.
LONG ApplyStoredChanges() {
    return ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
}

void PlaceAt(DEVMODEA& dm, LONG x, LONG y) {
    dm.dmPosition.x = x;
    dm.dmPosition.y = y;
}

bool StoredAtOrigin(const DEVMODEA& dm) {
    return dm.dmPosition.x == 0 && dm.dmPosition.y == 0;
}

bool SameDevice(const DISPLAY_DEVICEA& a, const DISPLAY_DEVICEA& b) {
    return StrEqualNoCase(a.DeviceID, b.DeviceID);
}

bool IsOrgPrimary(const DISPLAY_DEVICEA& dd) {
    return g_OrgPrimary.bFlag && SameDevice(dd, g_OrgPrimary.dd);
}

bool IsMirror(const DISPLAY_DEVICEA& dd) {
    return (dd.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0;
}

bool IsAttached(const DISPLAY_DEVICEA& dd) {
    return (dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0;
}

LONG RegWidth(const DISPLAY_DEVICEA& dd) {
    DEVMODEA dm;
    return ReadRegMode(dd.DeviceName, dm) ? (LONG)dm.dmPelsWidth : 0;
}

// The slot that remembers a display still to be put back, if any.
DispDevSlot* DetachedSlotOf(const DISPLAY_DEVICEA& dd) {
    for (DispDevSlot& slot : g_DetachedDevs) {
        if (slot.bFlag && SameDevice(slot.dd, dd))
            return &slot;
    }
    return nullptr;
}

// Where a display about to be detached is remembered: its own slot when it is remembered already (it was
// attached again behind this library's back), else the first slot not holding a display still to be put
// back. Null when all of them do.
DispDevSlot* SlotForDetach(const DISPLAY_DEVICEA& dd) {
    if (DispDevSlot* slot = DetachedSlotOf(dd))
        return slot;
    for (DispDevSlot& slot : g_DetachedDevs) {
        if (!slot.bFlag)
            return &slot;
    }
    return nullptr;
}

int SetModeWithFlags(int nWidth, int nHeight, int nBpp, const DISPLAY_DEVICEA& dd, DWORD dwFlags) {
    DEVMODEA dm;
    ReadRegMode(dd.DeviceName, dm);
    dm.dmPelsWidth = (DWORD)nWidth;
    dm.dmPelsHeight = (DWORD)nHeight;
    dm.dmBitsPerPel = (DWORD)nBpp;
    dm.dmFields = kFieldsModeAndPosition;
    if (ChangeDevice(dd, dm, dwFlags) != DISP_CHANGE_BADMODE)
        return 1;

    // The stored refresh rate does not suit the new mode (or the monitor): the lowest listed rate of the
    // mode is the one most likely to be shown.
    DWORD dwFrequency = kNoFrequency;
    DEVMODEA listed = {};
    for (DWORD i = 0;; ++i) {
        listed.dmSize = sizeof(listed);
        listed.dmDriverExtra = 0;
        if (!EnumDisplaySettingsA(dd.DeviceName, i, &listed))
            break;
        if (listed.dmPelsWidth == (DWORD)nWidth && listed.dmPelsHeight == (DWORD)nHeight &&
            listed.dmBitsPerPel == (DWORD)nBpp && listed.dmDisplayFrequency < dwFrequency)
            dwFrequency = listed.dmDisplayFrequency;
    }
    if (dwFrequency == kNoFrequency)
        return 0;
    ReadRegMode(dd.DeviceName, dm);
    dm.dmPelsWidth = (DWORD)nWidth;
    dm.dmPelsHeight = (DWORD)nHeight;
    dm.dmBitsPerPel = (DWORD)nBpp;
    dm.dmDisplayFrequency = dwFrequency;
    dm.dmFields = kFieldsMode;
    ChangeDevice(dd, dm, dwFlags);
    return 0;
}

// The system's own display as Windows shows it now (see DispDevInit): of the displays that are neither
// mirroring drivers nor the adapter's, the primary one, else the first attached, else the first; device 0
// when there is none of them. False when there is no display at all.
bool FindSystemDisplay(const char* pszAdapterDisplayId, const char* pszAdapterMirrorId,
                       DISPLAY_DEVICEA& found) {
    auto isAdapters = [&](const DISPLAY_DEVICEA& dd) {
        return StrEqualNoCase(dd.DeviceID, pszAdapterDisplayId) ||
               StrEqualNoCase(dd.DeviceID, pszAdapterMirrorId);
    };
    int nBest = 0; // 3 primary, 2 attached, 1 any other candidate
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; nBest < 3 && EnumDevice(i, device); ++i) {
        if (IsMirror(device) || isAdapters(device))
            continue;
        const int nRank = (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) ? 3
                          : IsAttached(device)                                ? 2
                                                                              : 1;
        if (nRank > nBest) {
            found = device;
            nBest = nRank;
        }
    }
    return nBest > 0 || EnumDevice(0, found);
}

// Detaching takes a size of 0 by 0 at the origin; dwFields are the fields the change carries.
void MakeDetachRecord(DEVMODEA& dm, DWORD dwFields) {
    dm.dmFields = dwFields;
    PlaceAt(dm, 0, 0);
    dm.dmPelsWidth = 0;
    dm.dmPelsHeight = 0;
}

} // namespace

int DispDevInit(const char* pszAdapterDisplayId, const char* pszAdapterMirrorId) {
    memset(&g_OrgPrimary, 0, sizeof(g_OrgPrimary));
    memset(g_DetachedDevs, 0, sizeof(g_DetachedDevs));
    g_nLastCdsResult = DISP_CHANGE_SUCCESSFUL;
    if (FindSystemDisplay(pszAdapterDisplayId, pszAdapterMirrorId, g_OrgPrimary.dd))
        g_OrgPrimary.bFlag = TRUE;

    OSVERSIONINFOA osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    GetVersionExA(&osvi);
    const char* pszBase = VideoKeyBaseFor(osvi.dwMajorVersion, osvi.dwMinorVersion);
    StrFormat(g_szVideoKeyBase, sizeof(g_szVideoKeyBase), "%s", pszBase);

    g_bDispDevInit = true;
    return 1;
}

int DispDevFindById(const char* pszId, DISPLAY_DEVICEA& dd) {
    if (!g_bDispDevInit || pszId == nullptr)
        return 0;
    // The id may live in dd itself; it must survive until the match is found.
    char szId[sizeof(dd.DeviceID)];
    StrFormat(szId, sizeof(szId), "%s", pszId);
    DISPLAY_DEVICEA found = {};
    for (DWORD i = 0; EnumDevice(i, found); ++i) {
        if (StrEqualNoCase(found.DeviceID, szId)) {
            dd = found;
            return 1;
        }
    }
    return 0;
}

int DispDevGetRegMode(const DISPLAY_DEVICEA& dd, DEVMODEA& mode) {
    if (!g_bDispDevInit)
        return 0;
    DEVMODEA dm;
    if (!ReadRegMode(dd.DeviceName, dm) || dm.dmBitsPerPel == 0)
        return 0;
    mode.dmBitsPerPel = dm.dmBitsPerPel;
    mode.dmPelsWidth = dm.dmPelsWidth;
    mode.dmPelsHeight = dm.dmPelsHeight;
    return 1;
}

int DispDevSetModeReset(int nWidth, int nHeight, int nBpp, const DISPLAY_DEVICEA& dd) {
    return SetModeWithFlags(nWidth, nHeight, nBpp, dd, kResetAndStore);
}

int DispDevSetMode(int nWidth, int nHeight, int nBpp, const DISPLAY_DEVICEA& dd) {
    return SetModeWithFlags(nWidth, nHeight, nBpp, dd, CDS_UPDATEREGISTRY);
}

int DispDevIsAttached(DISPLAY_DEVICEA& dd) {
    if (!g_bDispDevInit)
        return 0;
    if (!DispDevFindById(dd.DeviceID, dd))
        return 0;
    return IsAttached(dd) ? 1 : 0;
}

bool DispDevStayingDisplay(DEVMODEA& dm) {
    DISPLAY_DEVICEA dd = g_OrgPrimary.dd;
    InitDevMode(dm);
    const char* pszName = g_OrgPrimary.bFlag && DispDevIsAttached(dd) ? dd.DeviceName : nullptr;
    return EnumDisplaySettingsA(pszName, ENUM_CURRENT_SETTINGS, &dm) != FALSE;
}

int DispDevRestorePrimary(const DISPLAY_DEVICEA& dd) {
    if (!g_bDispDevInit)
        return 0;
    LONG nLeft = 0;
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (!SameDevice(device, dd)) {
            nLeft += RegWidth(device);
            continue;
        }
        DEVMODEA dm;
        ReadRegMode(dd.DeviceName, dm);
        dm.dmFields = kFieldsPosition;
        ChangeDevice(dd, dm, kDeferAndStore);
        // Only a display that ends up leftmost can be primary; elsewhere the stored change is just carried
        // out.
        ChangeDevice(dd, dm, nLeft == 0 ? kResetPrimary : 0);
        break;
    }
    return 1;
}

void DispDevRestoreOrgPrimary() {
    if (g_bDispDevInit && g_OrgPrimary.bFlag)
        DispDevRestorePrimary(g_OrgPrimary.dd);
}

int DispDevMakePrimary(DISPLAY_DEVICEA& dd) {
    if (!g_bDispDevInit)
        return 0;
    DispDevFindById(dd.DeviceID, dd);
    DEVMODEA dm;
    if (!ReadRegMode(dd.DeviceName, dm))
        return 0;
    SetAttachToDesktop(dd, 1);
    dm.dmFields = kFieldsPosition;
    PlaceAt(dm, 0, 0);
    ChangeDevice(dd, dm, kResetPrimaryAndStore);
    return 1;
}

int DispDevAttachAtOrigin(const DISPLAY_DEVICEA& dd, int nWidth, int nHeight, int nBpp) {
    if (!g_bDispDevInit)
        return 0;
    SetAttachToDesktop(dd, 1);
    DEVMODEA dm;
    ReadRegMode(dd.DeviceName, dm);
    dm.dmFields |= kFieldsSizeAndPosition;
    PlaceAt(dm, 0, 0);
    dm.dmPelsWidth = (DWORD)nWidth;
    dm.dmPelsHeight = (DWORD)nHeight;
    dm.dmBitsPerPel = (DWORD)nBpp;
    ChangeDevice(dd, dm, kDeferAndStore);
    g_nLastCdsResult = ApplyStoredChanges();
    return 1;
}

int DispDevDetach(DISPLAY_DEVICEA& dd) {
    if (DispDevIsAttached(dd) != 1)
        return 0;
    SetAttachToDesktop(dd, 0);
    DEVMODEA dm;
    ReadRegMode(dd.DeviceName, dm);
    MakeDetachRecord(dm, dm.dmFields | kFieldsSizeAndPosition);
    g_nLastCdsResult = ChangeDevice(dd, dm, kResetAndStore);
    return 1;
}

int DispDevSetOrgPrimary() {
    if (!g_bDispDevInit)
        return 0;
    SetAttachToDesktop(g_OrgPrimary.dd, 1);
    DEVMODEA dm;
    if (!ReadRegMode(g_OrgPrimary.dd.DeviceName, dm))
        return 1;
    dm.dmFields = kFieldsPosition;
    PlaceAt(dm, 0, 0);
    ChangeDevice(g_OrgPrimary.dd, dm, kDeferAndStore);
    ChangeDevice(g_OrgPrimary.dd, dm, CDS_SET_PRIMARY);
    return 1;
}

int DispDevPlaceOrgRight() {
    if (!g_bDispDevInit)
        return 0;
    LONG nLeft = 0;
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (IsAttached(device) && !IsMirror(device) && !IsOrgPrimary(device))
            nLeft += RegWidth(device);
    }
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (!IsOrgPrimary(device))
            continue;
        SetAttachToDesktop(device, 1);
        DEVMODEA dm;
        if (!ReadRegMode(g_OrgPrimary.dd.DeviceName, dm))
            break;
        dm.dmFields |= kFieldsPosition;
        PlaceAt(dm, nLeft, 0);
        g_nLastCdsResult = ChangeDevice(g_OrgPrimary.dd, dm, kDeferAndStore);
        ApplyStoredChanges();
        nLeft += (LONG)dm.dmPelsWidth;
    }
    return 1;
}

int DispDevDetachOrg() {
    if (!g_bDispDevInit)
        return 0;
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (!IsOrgPrimary(device))
            continue;
        SetAttachToDesktop(g_OrgPrimary.dd, 0);
        DEVMODEA dm;
        if (!ReadRegMode(device.DeviceName, dm))
            return 1;
        MakeDetachRecord(dm, kFieldsSizeAndPosition);
        ChangeDevice(device, dm, CDS_NORESET);
        ChangeDevice(device, dm, CDS_UPDATEREGISTRY);
    }
    return 1;
}

int DispDevDetachOthers(const DISPLAY_DEVICEA& keep) {
    if (!g_bDispDevInit)
        return 0;
    // keep may be one of the remembered records, which this walk rewrites.
    const DISPLAY_DEVICEA keepCopy = keep;
    int nDetached = 0;
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (IsOrgPrimary(device) || SameDevice(device, keepCopy) || !IsAttached(device) || IsMirror(device))
            continue;
        // A display that could not be remembered could never be put back: once every slot holds one still
        // to be put back, the remaining displays stay where they are.
        DispDevSlot* slot = SlotForDetach(device);
        if (slot == nullptr)
            break;
        SetAttachToDesktop(device, 0);
        DEVMODEA dm;
        if (!ReadRegMode(device.DeviceName, dm))
            break;
        MakeDetachRecord(dm, kFieldsSizeAndPosition);
        ChangeDevice(device, dm, kDeferAndStore);
        slot->dd = device;
        slot->bFlag = TRUE;
        ++nDetached;
    }
    if (nDetached > 0)
        ApplyStoredChanges();
    return 1;
}

int DispDevReattachOthers() {
    if (!g_bDispDevInit)
        return 0;
    LONG nRight = 0;
    DISPLAY_DEVICEA device = {};
    for (DWORD i = 0; EnumDevice(i, device); ++i) {
        if (!IsMirror(device))
            nRight += RegWidth(device);
        DispDevSlot* slot = DetachedSlotOf(device);
        if (slot == nullptr)
            continue;
        SetAttachToDesktop(slot->dd, 1);
        DEVMODEA dm;
        const bool bRead = ReadRegMode(device.DeviceName, dm);
        // A display detached at (0, 0) has no place of its own any more: it goes to the right of the
        // displays enumerated so far. A stored place elsewhere is kept.
        if (bRead && StoredAtOrigin(dm))
            dm.dmPosition.x = nRight;
        dm.dmFields = kFieldsPosition;
        ChangeDevice(device, dm, kDeferAndStore);
        slot->bFlag = FALSE;
        if (!bRead)
            break;
    }
    ApplyStoredChanges();
    return 1;
}

int DispDevAttachExtend(DISPLAY_DEVICEA& dd) {
    if (!g_bDispDevInit || !g_OrgPrimary.bFlag)
        return 0;
    LONG nOrgWidth = 0;
    DEVMODEA dm;
    if (ReadRegMode(g_OrgPrimary.dd.DeviceName, dm)) {
        SetAttachToDesktop(g_OrgPrimary.dd, 1);
        nOrgWidth = (LONG)dm.dmPelsWidth;
        dm.dmFields = kFieldsPosition;
        PlaceAt(dm, 0, 0);
        ChangeDevice(g_OrgPrimary.dd, dm, kResetPrimaryAndStore);
    }

    DispDevDetach(dd);

    SetAttachToDesktop(dd, 1);
    ReadRegMode(dd.DeviceName, dm);
    if (StoredAtOrigin(dm))
        dm.dmPosition.x = nOrgWidth;
    dm.dmFields = kFieldsPosition;
    if (ChangeDevice(dd, dm, kDeferAndStore) != DISP_CHANGE_SUCCESSFUL) {
        // A stored place that no longer fits the desktop is refused; right beside the primary always fits.
        SetAttachToDesktop(dd, 1);
        ReadRegMode(dd.DeviceName, dm);
        dm.dmFields = kFieldsPosition;
        PlaceAt(dm, nOrgWidth, 0);
        ChangeDevice(dd, dm, kDeferAndStore);
    }
    g_nLastCdsResult = ApplyStoredChanges();
    return 1;
}

LONG DispDevLastResult() {
    return g_nLastCdsResult;
}

DispDevSlot& DispDevOrgPrimary() {
    return g_OrgPrimary;
}

DispDevSlot& DispDevDetachedSlot(int nSlot) {
    return g_DetachedDevs[nSlot];
}

bool DispDevInitDone() {
    return g_bDispDevInit;
}

void DispDevForget() {
    g_bDispDevInit = false;
}

bool DispDevFindSystemPrimary(DISPLAY_DEVICEA& dd) {
    for (DWORD i = 0;; ++i) {
        dd.cb = sizeof(dd);
        if (!EnumDisplayDevicesA(nullptr, i, &dd, 0))
            return false;
        if ((dd.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) &&
            !(dd.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER))
            return true;
    }
}
