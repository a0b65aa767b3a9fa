// user32: ChangeDisplaySettingsExA. Validation, the registry copy (CDS_UPDATEREGISTRY), staging
// (CDS_NORESET), the apply call (NULL device and mode) and the one-call changes; the layout itself is made
// in display_layout.cpp. docs/winsim-display.md lists every rule with its source.
#include "faults.h"
#include "display.h"
#include "machine.h"
#include "process.h"
#include "registry.h"
#include "usb.h"

namespace winsim {
namespace {

constexpr DWORD kDetachFields = DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT;
constexpr DWORD kKnownFlags = CDS_UPDATEREGISTRY | CDS_TEST | CDS_FULLSCREEN | CDS_GLOBAL | CDS_SET_PRIMARY |
                              CDS_VIDEOPARAMETERS | CDS_ENABLE_UNSAFE_MODES | CDS_DISABLE_UNSAFE_MODES |
                              CDS_RESET_EX | CDS_NORESET | CDS_RESET;

int IndexOf(const DisplayDevice& d) {
    return static_cast<int>(&d - M().displays.data());
}

// Windows detaches a device only when the size is given as 0 with DM_PELSWIDTH and DM_PELSHEIGHT flagged
// as well as DM_POSITION; with DM_POSITION alone, or a zero size without DM_POSITION, it stays attached.
bool IsDetachRequest(const DEVMODEA& dm) {
    return (dm.dmFields & kDetachFields) == kDetachFields && dm.dmPelsWidth == 0 && dm.dmPelsHeight == 0;
}

// The settings a DEVMODE asks for. Only flagged members count; the rest come from the current settings,
// or from the saved ones while the device is detached, so a detached device given only a position comes
// back at its saved resolution. A frequency of 0 or 1 means "the default".
LONG ResolveRequest(const DisplayDevice& d, const DEVMODEA& dm, DisplaySettings& out) {
    const DisplaySettings& base = d.current.attached ? d.current : d.registry;
    DWORD f = dm.dmFields;
    DisplayMode want = base.mode;
    bool sizeGiven = false;
    if ((f & DM_PELSWIDTH) && dm.dmPelsWidth) {
        want.width = dm.dmPelsWidth;
        sizeGiven = true;
    }
    if ((f & DM_PELSHEIGHT) && dm.dmPelsHeight) {
        want.height = dm.dmPelsHeight;
        sizeGiven = true;
    }
    if ((f & DM_BITSPERPEL) && dm.dmBitsPerPel) {
        want.bpp = dm.dmBitsPerPel;
        sizeGiven = true;
    }
    bool frequencyGiven = (f & DM_DISPLAYFREQUENCY) && dm.dmDisplayFrequency > 1;
    if (frequencyGiven)
        want.frequency = dm.dmDisplayFrequency;
    // Nothing of the mode given: the saved mode is meant.
    if (!sizeGiven && !frequencyGiven && d.registry.mode.width)
        want = d.registry.mode;
    if (want.width == 0 || want.height == 0)
        return DISP_CHANGE_BADMODE;
    const DisplayMode* match = nullptr;
    for (const DisplayMode& m : d.modes) {
        if (m.width != want.width || m.height != want.height || (want.bpp && m.bpp != want.bpp))
            continue;
        if (frequencyGiven && m.frequency != want.frequency)
            continue;
        if (!match || (m.frequency == want.frequency && match->frequency != want.frequency))
            match = &m;
    }
    if (!match)
        return DISP_CHANGE_BADMODE;
    for (const DisplayMode& refused : d.refusedModes) {
        if (refused == *match)
            return DISP_CHANGE_BADMODE;
    }
    out.mode = *match;
    out.x = (f & DM_POSITION) ? dm.dmPosition.x : base.x;
    out.y = (f & DM_POSITION) ? dm.dmPosition.y : base.y;
    out.attached = true;
    return DISP_CHANGE_SUCCESSFUL;
}

// The Attach.ToDesktop switch where the version keeps it in the registry (Windows 2000 and XP), else the
// machine's own copy.
bool SavedAttach(const DisplayDevice& d) {
    Str path = AttachSwitchPath(d);
    if (!path.empty()) {
        if (RegKey* key = FindKey(M().hklm, path.c_str())) {
            auto it = key->values.find(Str("Attach.ToDesktop", Arena()));
            if (it != key->values.end() && it->second.type == REG_DWORD && it->second.data.size() == 4) {
                DWORD value = 0;
                memcpy(&value, it->second.data.data(), 4);
                return value != 0;
            }
        }
    }
    return d.registry.attached;
}

void SaveAttach(DisplayDevice& d, bool attached) {
    d.registry.attached = attached;
    Str path = AttachSwitchPath(d);
    if (!path.empty())
        SetDwordValue(CreateKey(M().hklm, path.c_str()), "Attach.ToDesktop", attached ? 1 : 0);
}

// CDS_UPDATEREGISTRY: the request becomes the saved configuration. A detach turns the switch off and saves
// the position but keeps the saved resolution, so that the device can come back as it was.
void SaveRequest(DisplayDevice& d, const DisplaySettings& wanted, bool detach, bool setPrimary) {
    Machine& m = M();
    if (detach) {
        d.registry.x = wanted.x;
        d.registry.y = wanted.y;
        if (m.displayQuirks.detachClearsMode) {
            d.registry.mode.width = 0;
            d.registry.mode.height = 0;
        }
        SaveAttach(d, false);
        return;
    }
    d.registry.mode = wanted.mode;
    d.registry.x = wanted.x;
    d.registry.y = wanted.y;
    SaveAttach(d, true);
    if (setPrimary && !IsMirror(d)) {
        for (DisplayDevice& other : m.displays)
            other.registryPrimary = &other == &d;
    }
}

Vec<DisplaySettings> CurrentTargets() {
    Vec<DisplaySettings> targets(Arena());
    for (const DisplayDevice& d : M().displays)
        targets.push_back(d.current);
    return targets;
}

// ChangeDisplaySettingsEx(NULL or device, NULL, NULL, 0, NULL): the saved settings of every device (or of
// the one device) take effect; the others keep what they run now.
LONG ApplySaved(DisplayDevice* only, DWORD flags) {
    Machine& m = M();
    Vec<DisplaySettings> targets = CurrentTargets();
    Vec<bool> save(m.displays.size(), false, Arena());
    int primary = -1;
    for (size_t i = 0; i < m.displays.size(); ++i) {
        DisplayDevice& d = m.displays[i];
        if (!d.present || (only && only != &d))
            continue;
        d.registry.attached = SavedAttach(d);
        DisplaySettings target = d.registry;
        target.attached = d.registry.attached && d.registry.mode.width && d.registry.mode.height;
        if (target.attached && AdapterRefusesAttach(d))
            return DISP_CHANGE_FAILED;
        if (MirrorRefusesDepth(d, target))
            target.attached = false;
        targets[i] = target;
        save[i] = true;
        if (d.registryPrimary && target.attached)
            primary = static_cast<int>(i);
    }
    return CommitDisplayLayout(targets, primary, (flags & (CDS_RESET | CDS_RESET_EX)) != 0, save,
                               DisplayChangeSource::Program);
}

LONG Change(LPCSTR name, const DEVMODEA* dm, HWND hwnd, DWORD flags, LPVOID lParam) {
    Machine& m = M();
    if (hwnd || (lParam && !(flags & CDS_VIDEOPARAMETERS)))
        return DISP_CHANGE_BADPARAM;
    if ((flags & ~kKnownFlags) || ((flags & (CDS_NORESET | CDS_GLOBAL)) && !(flags & CDS_UPDATEREGISTRY)) ||
        ((flags & CDS_RESET) && (flags & CDS_NORESET)))
        return DISP_CHANGE_BADFLAGS;
    DisplayDevice* d = name ? FindDisplay(name) : PrimaryDisplay();
    if (name && !d)
        return DISP_CHANGE_BADPARAM;
    if (!dm) {
        // Without settings there is nothing to test or to save: only the apply does something.
        if (flags & (CDS_TEST | CDS_NORESET))
            return DISP_CHANGE_SUCCESSFUL;
        return ApplySaved(name ? d : nullptr, flags);
    }
    if (!d)
        return DISP_CHANGE_BADPARAM;
    bool detach = IsDetachRequest(*dm);
    DisplaySettings wanted = d->current.attached ? d->current : d->registry;
    if (detach) {
        wanted.attached = false;
        wanted.x = dm->dmPosition.x;
        wanted.y = dm->dmPosition.y;
    } else if (LONG result = ResolveRequest(*d, *dm, wanted)) {
        return result;
    }
    if (flags & CDS_TEST)
        return DISP_CHANGE_SUCCESSFUL;
    if (!detach && AdapterRefusesAttach(*d))
        return DISP_CHANGE_FAILED;
    // A mirror driver that cannot run at this depth drops off the desktop, whatever was asked.
    const bool bDropped =
        !detach && !(flags & CDS_NORESET) && d->current.attached && MirrorRefusesDepth(*d, wanted);
    bool setPrimary = (flags & CDS_SET_PRIMARY) != 0;
    bool saved = (flags & CDS_UPDATEREGISTRY) != 0;
    if (saved)
        SaveRequest(*d, wanted, detach, setPrimary);
    if (flags & CDS_NORESET)
        return DISP_CHANGE_SUCCESSFUL;

    // A change that takes effect now.
    if (detach && !d->current.attached)
        return DISP_CHANGE_SUCCESSFUL;
    bool attaching = !detach && !d->current.attached;
    if (!saved) {
        // Attaching and detaching go through the registry: a dynamic attach fails, a dynamic detach is
        // answered with success and changes nothing.
        if (attaching)
            return DISP_CHANGE_FAILED;
        if (detach)
            return DISP_CHANGE_SUCCESSFUL;
    }
    if (detach && m.displayQuirks.strictDetach)
        return DISP_CHANGE_SUCCESSFUL;
    if (saved && m.displayQuirks.needsRestart)
        return DISP_CHANGE_RESTART;
    if (setPrimary && m.displayQuirks.strictPrimary)
        setPrimary = false;
    Vec<DisplaySettings> targets = CurrentTargets();
    int index = IndexOf(*d);
    targets[index] = wanted;
    targets[index].attached = wanted.attached && !bDropped;
    Vec<bool> save(m.displays.size(), false, Arena());
    save[index] = saved;
    LONG result =
        CommitDisplayLayout(targets, setPrimary ? index : -1, (flags & (CDS_RESET | CDS_RESET_EX)) != 0, save,
                            DisplayChangeSource::Program);
    return bDropped ? DISP_CHANGE_FAILED : result;
}

} // namespace

LONG UserChangeDisplayMode(DisplayDevice& d, const DisplayMode& mode, bool temporary) {
    Machine& m = M();
    DEVMODEA dm{};
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
    dm.dmPelsWidth = mode.width;
    dm.dmPelsHeight = mode.height;
    dm.dmBitsPerPel = mode.bpp;
    dm.dmDisplayFrequency = mode.frequency;
    DisplaySettings wanted = d.current.attached ? d.current : d.registry;
    if (LONG result = ResolveRequest(d, dm, wanted))
        return result;
    if (temporary && !d.current.attached)
        return DISP_CHANGE_FAILED; // without the registry a display that is off cannot come on
    if (!temporary)
        SaveRequest(d, wanted, false, false);
    if (!d.current.attached)
        return DISP_CHANGE_SUCCESSFUL; // the panel only saves a mode for a display that is off
    if (!temporary && m.displayQuirks.needsRestart)
        return DISP_CHANGE_RESTART;
    Vec<DisplaySettings> targets = CurrentTargets();
    targets[IndexOf(d)] = wanted;
    // The control panel saves the whole arrangement it shows; a temporary change saves nothing.
    Vec<bool> save(m.displays.size(), !temporary, Arena());
    return CommitDisplayLayout(targets, -1, false, save, DisplayChangeSource::Outside);
}

} // namespace winsim

using namespace winsim;

LONG ChangeDisplaySettingsExA(LPCSTR lpszDeviceName, DEVMODEA* lpDevMode, HWND hwnd, DWORD dwflags,
                              LPVOID lParam) {
    WINSIM_ENTRY_CODE(ChangeDisplaySettingsExA);
    Machine& m = M();
    // Recorded before the change is made, so that a call made from inside this one's WM_DISPLAYCHANGE
    // comes after it in the record.
    DisplayChangeCall call;
    call.time = m.now;
    call.pid = CurrentProcess().pid;
    call.hasDevice = lpszDeviceName != nullptr;
    if (lpszDeviceName)
        call.device = lpszDeviceName;
    call.hasMode = lpDevMode != nullptr;
    if (lpDevMode) {
        call.fields = lpDevMode->dmFields;
        call.mode = DisplayMode{lpDevMode->dmPelsWidth, lpDevMode->dmPelsHeight, lpDevMode->dmBitsPerPel,
                                lpDevMode->dmDisplayFrequency};
        call.x = lpDevMode->dmPosition.x;
        call.y = lpDevMode->dmPosition.y;
    }
    call.flags = dwflags;
    size_t slot = m.displayChanges.size();
    m.displayChanges.push_back(call);
    ++m.displayChangeDepth;
    LONG result = Change(lpszDeviceName, lpDevMode, hwnd, dwflags, lParam);
    --m.displayChangeDepth;
    m.displayChanges[slot].result = result;
    return result;
}
