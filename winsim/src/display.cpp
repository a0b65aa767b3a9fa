// user32: display devices and their modes (EnumDisplayDevicesA, EnumDisplaySettingsA).
#include "machine.h"

#include <cstdio>

namespace winsim {
namespace {

// What EnumDisplaySettingsA reports for every mode: orientation, depth, size, flags and refresh rate.
constexpr DWORD kModeFields =
    DM_DISPLAYORIENTATION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFLAGS | DM_DISPLAYFREQUENCY;
// Windows returns the short DEVMODE size (up to dmICMMethod), whatever the caller passed.
constexpr WORD kShortDevmodeSize = offsetof(DEVMODEA, dmICMMethod);

void CopyText(char* out, size_t size, const Str& text) {
    snprintf(out, size, "%s", text.c_str());
}

void FillMode(DEVMODEA* mode, const DisplayDevice& d, const DisplayMode& m, DWORD extraFields) {
    WORD driverExtra = mode->dmDriverExtra;
    memset(mode, 0, sizeof *mode);
    snprintf(reinterpret_cast<char*>(mode->dmDeviceName), sizeof mode->dmDeviceName, "%s", d.description.c_str());
    mode->dmSize = kShortDevmodeSize;
    mode->dmDriverExtra = driverExtra;
    mode->dmSpecVersion = 0x0401;
    mode->dmFields = kModeFields | extraFields;
    mode->dmBitsPerPel = m.bpp;
    mode->dmPelsWidth = m.width;
    mode->dmPelsHeight = m.height;
    mode->dmDisplayFrequency = m.frequency;
}

void FillSettings(DEVMODEA* mode, const DisplayDevice& d, const DisplaySettings& s) {
    FillMode(mode, d, s.mode, DM_POSITION);
    mode->dmPosition.x = s.x;
    mode->dmPosition.y = s.y;
}

} // namespace

DisplayDevice* FindDisplay(const char* name) {
    for (DisplayDevice& d : M().displays) {
        if (d.present && EqualNoCase(d.name.c_str(), name))
            return &d;
    }
    return nullptr;
}

DWORD DisplayStateFlags(const DisplayDevice& d) {
    DWORD flags = d.staticFlags;
    if (d.current.attached)
        flags |= DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
    if (d.primary)
        flags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
    return flags;
}

} // namespace winsim

using namespace winsim;

BOOL EnumDisplayDevicesA(LPCSTR lpDevice, DWORD iDevNum, PDISPLAY_DEVICEA lpDisplayDevice, DWORD) {
    if (!lpDisplayDevice || lpDisplayDevice->cb < offsetof(DISPLAY_DEVICEA, DeviceID))
        return FALSE;
    bool full = lpDisplayDevice->cb >= sizeof(DISPLAY_DEVICEA);
    if (lpDevice) {
        // The monitors of one adapter: one per attached, non-mirroring device.
        DisplayDevice* d = FindDisplay(lpDevice);
        if (!d || iDevNum > 0 || (d->staticFlags & DISPLAY_DEVICE_MIRRORING_DRIVER))
            return FALSE;
        Str name = d->name + "\\Monitor0";
        CopyText(lpDisplayDevice->DeviceName, sizeof lpDisplayDevice->DeviceName, name);
        snprintf(lpDisplayDevice->DeviceString, sizeof lpDisplayDevice->DeviceString, "Default Monitor");
        lpDisplayDevice->StateFlags = d->current.attached ? 0x3 : 0x2; // DISPLAY_DEVICE_ACTIVE | _ATTACHED
        if (full) {
            snprintf(lpDisplayDevice->DeviceID, sizeof lpDisplayDevice->DeviceID,
                     "MONITOR\\Default_Monitor\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0000");
            lpDisplayDevice->DeviceKey[0] = '\0';
        }
        return TRUE;
    }
    DWORD index = 0;
    for (const DisplayDevice& d : M().displays) {
        if (!d.present)
            continue;
        if (index++ != iDevNum)
            continue;
        CopyText(lpDisplayDevice->DeviceName, sizeof lpDisplayDevice->DeviceName, d.name);
        CopyText(lpDisplayDevice->DeviceString, sizeof lpDisplayDevice->DeviceString, d.description);
        lpDisplayDevice->StateFlags = DisplayStateFlags(d);
        if (full) {
            CopyText(lpDisplayDevice->DeviceID, sizeof lpDisplayDevice->DeviceID, d.deviceId);
            CopyText(lpDisplayDevice->DeviceKey, sizeof lpDisplayDevice->DeviceKey, d.deviceKey);
        }
        return TRUE;
    }
    return FALSE;
}

BOOL EnumDisplaySettingsA(LPCSTR lpszDeviceName, DWORD iModeNum, DEVMODEA* lpDevMode) {
    if (!lpDevMode)
        return FALSE;
    DisplayDevice* d = nullptr;
    if (lpszDeviceName) {
        d = FindDisplay(lpszDeviceName);
    } else {
        for (DisplayDevice& candidate : M().displays) {
            if (candidate.present && candidate.primary)
                d = &candidate;
        }
    }
    if (!d)
        return FALSE;
    if (iModeNum == ENUM_CURRENT_SETTINGS) {
        // A detached device still answers, with a depth, size and refresh rate of 0.
        DisplaySettings current = d->current;
        if (!current.attached)
            current.mode = DisplayMode{};
        FillSettings(lpDevMode, *d, current);
        return TRUE;
    }
    if (iModeNum == ENUM_REGISTRY_SETTINGS) {
        if (d->registryMissing)
            return FALSE;
        FillSettings(lpDevMode, *d, d->registry);
        return TRUE;
    }
    if (iModeNum >= d->modes.size()) {
        if (M().os.major >= 6)
            SetError(18); // ERROR_NO_MORE_FILES; XP leaves the last error as it was
        return FALSE;
    }
    FillMode(lpDevMode, *d, d->modes[iModeNum], 0);
    return TRUE;
}
