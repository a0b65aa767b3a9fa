// user32: display devices and their modes (EnumDisplayDevicesA, EnumDisplaySettingsA), the DeviceKey forms
// of each Windows version and where a version keeps a device's "Attach.ToDesktop" switch.
// docs/winsim-display.md lists the rules; display_change.cpp and display_layout.cpp change the layout.
#include "faults.h"
#include "display.h"
#include "machine.h"
#include "process.h"
#include "registry.h"

#include <cstdio>

namespace winsim {
namespace {

// What EnumDisplaySettingsA reports for every mode: orientation, depth, size, flags and refresh rate.
constexpr DWORD kModeFields = DM_DISPLAYORIENTATION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT |
                              DM_DISPLAYFLAGS | DM_DISPLAYFREQUENCY;
// Windows returns the short DEVMODE size (up to dmICMMethod), whatever the caller passed.
constexpr WORD kShortDevmodeSize = offsetof(DEVMODEA, dmICMMethod);

// The monitor device class; monitors report keys and ids below it.
const char* const kMonitorClass = "{4d36e96e-e325-11ce-bfc1-08002be10318}";

// Where Windows XP keeps the per-hardware-profile copy of the video keys; Windows 2000 keeps it below the
// driver's service key in profile 0001.
const char* const kXpVideoProfile =
    "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\Video\\";
const char* const kXpServicesProfile =
    "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Services\\";
const char* const k2000ServicesProfile =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\0001\\System\\CurrentControlSet\\SERVICES\\";
// Windows 2000 DeviceKeys start with this 48-character prefix before "<service>\DeviceN".
const char* const k2000KeyPrefix = "\\REGISTRY\\Machine\\System\\ControlSet001\\Services\\";

void CopyText(char* out, size_t size, const Str& text) {
    snprintf(out, size, "%s", text.c_str());
}

void FillMode(DEVMODEA* mode, const DisplayDevice& d, const DisplayMode& m, DWORD extraFields) {
    WORD driverExtra = mode->dmDriverExtra;
    memset(mode, 0, sizeof *mode);
    snprintf(reinterpret_cast<char*>(mode->dmDeviceName), sizeof mode->dmDeviceName, "%s",
             d.description.c_str());
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

size_t IndexOf(const DisplayDevice& d) {
    return static_cast<size_t>(&d - M().displays.data());
}

// A stable, made-up video-key GUID per device: the same DeviceID at the same place keeps its key.
Str VideoGuid(const DisplayDevice& d) {
    uint64_t hash = 1469598103934665603ull;
    for (char c : d.deviceId)
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    hash ^= IndexOf(d) + 1;
    char text[64];
    snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(hash >> 32),
             static_cast<unsigned>((hash >> 16) & 0xFFFF), static_cast<unsigned>(hash & 0xFFFF),
             static_cast<unsigned>(0x8000 | ((hash >> 48) & 0x0FFF)),
             static_cast<unsigned long long>((hash * 2654435761ull) & 0xFFFFFFFFFFFFull));
    return Str(text, Arena());
}

size_t FindNoCase(const Str& text, const char* what) {
    Str upper = Upper(text.c_str());
    Str needle = Upper(what);
    return upper.find(needle);
}

} // namespace

DisplayDevice* FindDisplay(const char* name) {
    if (!name)
        return nullptr;
    for (DisplayDevice& d : M().displays) {
        if (d.present && EqualNoCase(d.name.c_str(), name))
            return &d;
    }
    return nullptr;
}

DisplayDevice* PrimaryDisplay() {
    for (DisplayDevice& d : M().displays) {
        if (d.present && d.primary)
            return &d;
    }
    return nullptr;
}

bool IsMirror(const DisplayDevice& d) {
    return (d.staticFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0;
}

DWORD DisplayStateFlags(const DisplayDevice& d) {
    DWORD flags = d.staticFlags;
    if (d.current.attached)
        flags |= DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
    if (d.primary)
        flags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
    return flags;
}

// Windows XP to 7 report a display device's key below Control\Video\{VideoID}\0000; Windows 2000 reports
// its driver's service key and DeviceN. (A mirror driver installed the old way, as a bare service, reports
// a service key on XP too; a scenario gives such a key with `key`.)
Str DeviceKeyOf(const DisplayDevice& d) {
    if (!d.deviceKey.empty())
        return d.deviceKey;
    const OsVersion& os = M().os;
    if (os.major == 5 && os.minor == 0) {
        char number[16];
        snprintf(number, sizeof number, "%u", static_cast<unsigned>(IndexOf(d) + 1));
        Str service(IsMirror(d) ? "mirror" : "display", Arena());
        return Str(k2000KeyPrefix, Arena()) + service + number + "\\Device0";
    }
    return Str("\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\", Arena()) + VideoGuid(d) +
           "\\0000";
}

Str AttachSwitchPath(const DisplayDevice& d) {
    const OsVersion& os = M().os;
    if (os.major != 5)
        return Str(Arena());
    Str key = DeviceKeyOf(d);
    if (os.minor == 0)
        return key.size() > 48 ? Str(k2000ServicesProfile, Arena()) + key.substr(48) : Str(Arena());
    size_t brace = key.find('{');
    if (brace != Str::npos)
        return Str(kXpVideoProfile, Arena()) + key.substr(brace);
    size_t services = FindNoCase(key, "\\Services\\");
    if (services != Str::npos)
        return Str(kXpServicesProfile, Arena()) + key.substr(services + 10);
    return Str(Arena());
}

void SeedAttachSwitches() {
    for (DisplayDevice& d : M().displays) {
        Str path = AttachSwitchPath(d);
        if (!path.empty())
            SetDwordValue(CreateKey(M().hklm, path.c_str()), "Attach.ToDesktop", d.registry.attached ? 1 : 0);
    }
}

} // namespace winsim

using namespace winsim;

BOOL EnumDisplayDevicesA(LPCSTR lpDevice, DWORD iDevNum, PDISPLAY_DEVICEA lpDisplayDevice, DWORD dwFlags) {
    WINSIM_ENTRY(EnumDisplayDevicesA, FALSE);
    if (!lpDisplayDevice || lpDisplayDevice->cb < offsetof(DISPLAY_DEVICEA, DeviceID))
        return FALSE;
    bool full = lpDisplayDevice->cb >= sizeof(DISPLAY_DEVICEA);
    // Windows Vista and 7 leave the ids empty when the caller asks for device-interface names; XP ignores
    // the flag.
    bool interfaceNames = (dwFlags & EDD_GET_DEVICE_INTERFACE_NAME) && M().os.major == 6;
    if (lpDevice) {
        // The monitors of one adapter: one per non-mirroring device.
        DisplayDevice* d = FindDisplay(lpDevice);
        if (!d || iDevNum > 0 || IsMirror(*d))
            return FALSE;
        Str name = d->name + "\\Monitor0";
        CopyText(lpDisplayDevice->DeviceName, sizeof lpDisplayDevice->DeviceName, name);
        snprintf(lpDisplayDevice->DeviceString, sizeof lpDisplayDevice->DeviceString, "Default Monitor");
        lpDisplayDevice->StateFlags =
            d->current.attached ? DISPLAY_DEVICE_ACTIVE | DISPLAY_DEVICE_ATTACHED : DISPLAY_DEVICE_ATTACHED;
        if (full) {
            unsigned n = static_cast<unsigned>(IndexOf(*d));
            if (interfaceNames)
                lpDisplayDevice->DeviceID[0] = '\0';
            else
                snprintf(lpDisplayDevice->DeviceID, sizeof lpDisplayDevice->DeviceID,
                         "MONITOR\\Default_Monitor\\%s\\%04u", kMonitorClass, n);
            snprintf(lpDisplayDevice->DeviceKey, sizeof lpDisplayDevice->DeviceKey,
                     "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class\\%s\\%04u",
                     kMonitorClass, n);
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
            CopyText(lpDisplayDevice->DeviceID, sizeof lpDisplayDevice->DeviceID,
                     interfaceNames ? Str(Arena()) : d.deviceId);
            CopyText(lpDisplayDevice->DeviceKey, sizeof lpDisplayDevice->DeviceKey, DeviceKeyOf(d));
        }
        return TRUE;
    }
    return FALSE;
}

BOOL EnumDisplaySettingsA(LPCSTR lpszDeviceName, DWORD iModeNum, DEVMODEA* lpDevMode) {
    WINSIM_ENTRY(EnumDisplaySettingsA, FALSE);
    if (!lpDevMode)
        return FALSE;
    DisplayDevice* d = lpszDeviceName ? FindDisplay(lpszDeviceName) : PrimaryDisplay();
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
            SetError(ERROR_NO_MORE_FILES); // XP leaves the last error as it was
        return FALSE;
    }
    FillMode(lpDevMode, *d, d->modes[iModeNum], 0);
    return TRUE;
}
