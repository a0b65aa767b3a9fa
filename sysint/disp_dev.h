// The display-device library: every change of which display devices are on the desktop, where they sit
// and which one is primary goes through these functions.
//
// Each operation marks the device's video key "Attach.ToDesktop" (video_key.h) and then calls
// ChangeDisplaySettingsExA with a mode record read from the device's registry settings. Where several
// displays change together, each change is stored with CDS_NORESET and carried out by one final call with
// no device and no mode. Device names and state flags change with every layout change, so records are
// looked up again by DeviceID before they are used.
//
// The library remembers the system's own display as it was when the process started and the displays it
// detached itself, so that it can put them back. Single-threaded: every
// caller runs on the GUI thread.
#pragma once
#include <windows.h>

// A remembered display: the flag says the record is meaningful (for g_OrgPrimary: it was found; for
// g_DetachedDevs: this library detached the display and has not re-attached it yet).
struct DispDevSlot {
    BOOL bFlag;
    DISPLAY_DEVICEA dd;
};

constexpr int kDetachedDevSlots = 9;

// The library's own records, kept in disp_dev.cpp: the system's own display as it was at start, the
// displays it detached (slot 0 to kDetachedDevSlots - 1), and whether DispDevInit has run.
DispDevSlot& DispDevOrgPrimary();
DispDevSlot& DispDevDetachedSlot(int nSlot);
bool DispDevInitDone();
// Forgets that DispDevInit ran, as a new program start in the simulator's one shared image finds it.
void DispDevForget();

// A mode record ready for EnumDisplaySettingsA: cleared, its size set, no driver extra.
inline void InitDevMode(DEVMODEA& dm) {
    ZeroMemory(&dm, sizeof(dm));
    dm.dmSize = sizeof(dm);
}

// The system's own primary display: the first device that is primary and not a mirroring driver (a
// mirror driver copies the primary display and may carry its flag as well). False when there is none;
// dd then holds the device enumerated last.
bool DispDevFindSystemPrimary(DISPLAY_DEVICEA& dd);

// Records the system's own display and picks the video key base for this Windows version. Runs once at
// process start, before anything can change the layout. The system's own display is never a mirroring
// driver and never one of the adapter's two display devices (their DeviceIDs, either may be null), which
// may well be primary at start when Windows kept the last layout: the one flagged primary, else the first
// attached, else device 0 when nothing qualifies. Always 1.
int DispDevInit(const char* pszAdapterDisplayId = nullptr, const char* pszAdapterMirrorId = nullptr);

// Copies the first display device whose DeviceID equals pszId (case ignored) into dd. 0 when there is
// none; dd is then unchanged.
int DispDevFindById(const char* pszId, DISPLAY_DEVICEA& dd);

// Copies depth, width and height of the device's registry mode into mode. 0 when the mode cannot be read
// or has no depth.
int DispDevGetRegMode(const DISPLAY_DEVICEA& dd, DEVMODEA& mode);

// Gives the device a mode, written to the registry; DispDevSetModeReset also resets the display at once.
// When the device refuses the mode as it stands, it is tried once more at the lowest refresh rate the
// device lists for it. 1 when the first attempt was not refused as a bad mode, 0 otherwise. These two work
// before DispDevInit too.
int DispDevSetModeReset(int nWidth, int nHeight, int nBpp, const DISPLAY_DEVICEA& dd);
int DispDevSetMode(int nWidth, int nHeight, int nBpp, const DISPLAY_DEVICEA& dd);

// Refreshes dd from the system; 1 when the device is attached to the desktop.
int DispDevIsAttached(DISPLAY_DEVICEA& dd);

// Makes dd primary again with its stored position, after the displays enumerated before it. Always 1.
int DispDevRestorePrimary(const DISPLAY_DEVICEA& dd);
// The same for the system's own primary display, when it was found at start.
void DispDevRestoreOrgPrimary();

// The current settings, position included, of the display that stays on the desktop through the adapter's
// changes: the system's own display while it is attached, else the primary display. False when they
// cannot be read.
bool DispDevStayingDisplay(DEVMODEA& dm);

// Makes the device primary at (0, 0). 0 when its registry mode cannot be read.
int DispDevMakePrimary(DISPLAY_DEVICEA& dd);

// Attaches the device at (0, 0) in the given mode and applies. Always 1.
int DispDevAttachAtOrigin(const DISPLAY_DEVICEA& dd, int nWidth, int nHeight, int nBpp);

// Takes the device off the desktop. 1 when it did, 0 when the device was not attached.
int DispDevDetach(DISPLAY_DEVICEA& dd);

// Makes the system's own primary display primary again at (0, 0). Always 1.
int DispDevSetOrgPrimary();
// Puts the system's own primary display to the right of every other attached display. Always 1.
int DispDevPlaceOrgRight();
// Takes the system's own primary display off the desktop. Always 1.
int DispDevDetachOrg();

// Takes every attached display off the desktop except the system's own primary display, keep and mirroring
// drivers, and remembers them in g_DetachedDevs. Always 1.
int DispDevDetachOthers(const DISPLAY_DEVICEA& keep);
// Puts back the displays DispDevDetachOthers took off. Always 1.
int DispDevReattachOthers();

// Makes the system's own primary display primary and places dd beside it, extending the desktop. 0 when
// the system's primary display was not found at start.
int DispDevAttachExtend(DISPLAY_DEVICEA& dd);

// The result of the last layout apply recorded by the operations above.
LONG DispDevLastResult();
