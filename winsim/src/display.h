// Display devices (EnumDisplayDevicesA / EnumDisplaySettingsA / ChangeDisplaySettingsExA; display*.cpp).
// docs/winsim-display.md describes the model.
#pragma once

#include <windows.h>

#include "containers.h"

namespace winsim {

struct DisplayMode {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bpp = 0;
    DWORD frequency = 0;
    bool operator==(const DisplayMode&) const = default;
};

// One copy of a device's configuration: what it runs now (current) or what is saved for the next apply and
// the next boot (registry). For the registry copy `attached` is the "Attach.ToDesktop" switch, and `mode`
// keeps the saved resolution even while the switch is off.
struct DisplaySettings {
    DisplayMode mode;
    LONG x = 0;
    LONG y = 0;
    bool attached = false;
};

struct DisplayDevice {
    Str name{Arena()};        // \\.\DISPLAYn
    Str description{Arena()}; // DeviceString
    Str deviceId{Arena()};
    Str deviceKey{Arena()}; // empty: the form of the machine's Windows version (DefaultDeviceKey)
    DWORD staticFlags = 0;  // DISPLAY_DEVICE_MIRRORING_DRIVER, _REMOVABLE, _VGA_COMPATIBLE
    bool primary = false;
    bool registryPrimary =
        false;           // the saved choice of primary display (CDS_SET_PRIMARY | CDS_UPDATEREGISTRY)
    bool present = true; // the adapter's own devices exist only while it is plugged in
    bool ofAdapter = false;
    bool registryMissing = false; // EnumDisplaySettingsA(ENUM_REGISTRY_SETTINGS) fails for this device
    Vec<DisplayMode> modes{Arena()};
    Vec<DisplayMode> refusedModes{
        Arena()}; // listed, but ChangeDisplaySettingsExA answers DISP_CHANGE_BADMODE
    DisplaySettings current;
    DisplaySettings registry;
};

// Stricter readings of the display API that some Windows versions show; all off by default
// (docs/winsim-display.md describes each one and where it comes from).
struct DisplayQuirks {
    bool strictDetach = false;         // a detach takes effect only through the apply call
    bool strictPrimary = false;        // CDS_SET_PRIMARY takes effect only through the apply call
    bool primaryCannotDetach = false;  // the primary display is never detached
    bool noPacking = false;            // positions are taken as given, gaps and overlaps included
    bool stackedKeepsPosition = false; // a display put exactly on top of another keeps its old place
    bool detachClearsMode = false;     // a detach saves a size of 0 in the registry
    bool needsRestart = false;         // every change with CDS_UPDATEREGISTRY answers DISP_CHANGE_RESTART
};

// One ChangeDisplaySettingsExA call as the program made it, for tests where the order of calls is the
// contract.
struct DisplayChangeCall {
    VirtualMs time = 0;
    DWORD pid = 0;
    bool hasDevice = false;
    Str device{Arena()};
    bool hasMode = false;
    DWORD fields = 0;
    DisplayMode mode;
    LONG x = 0;
    LONG y = 0;
    DWORD flags = 0;
    LONG result = 0;
};

// The present display device with this name (\\.\DISPLAYn, compared without regard to case), if any.
DisplayDevice* FindDisplay(const char* name);
DisplayDevice* PrimaryDisplay();
DWORD DisplayStateFlags(const DisplayDevice& device);
bool IsMirror(const DisplayDevice& device);

// The DeviceKey a display device reports: the scenario's, or the form of the machine's Windows version.
Str DeviceKeyOf(const DisplayDevice& device);
// Where the machine keeps the device's "Attach.ToDesktop" switch below HKLM, or "" on versions that keep
// it out of the program's reach (6.x).
Str AttachSwitchPath(const DisplayDevice& device);
// Writes every device's switch where its version keeps it; the scenario calls this once the machine is
// described.
void SeedAttachSwitches();

// The user changes a display's mode in the Display control panel (ChangeDisplaySettingsExA with
// CDS_UPDATEREGISTRY from the shell, or without it for a `temporary` change, which leaves the saved mode as
// it was); WM_DISPLAYCHANGE waits in every program's queue. Returns the DISP_CHANGE_ code.
LONG UserChangeDisplayMode(DisplayDevice& device, const DisplayMode& mode, bool temporary = false);
// Devices came or went (the adapter was plugged or pulled): the desktop is laid out again without them.
void DisplayHardwareChanged();

// How a layout change reaches the windows: sent from inside the program's own call, or queued for the
// next time each program reads its queue (a change made by the user or the hardware).
enum class DisplayChangeSource { Program, Outside };
// Lays out the desktop from one target per entry of Machine::displays (display_layout.cpp): keeps at least
// one display, chooses the primary (`requestedPrimary`, an index, or -1), moves the primary to the origin,
// packs the others against it, commits the current settings, saves the resulting positions of the
// devices marked in `savePosition` and sends WM_DISPLAYCHANGE when anything changed or `force` is set.
LONG CommitDisplayLayout(Vec<DisplaySettings>& targets, int requestedPrimary, bool force,
                         const Vec<bool>& savePosition, DisplayChangeSource source);

} // namespace winsim
