// CAdapter: everything the program knows about the one USB display adapter, and its channel to the driver.
#pragma once
#include <windows.h>

#include "adapter/adapter_host.h"
#include "adapter/disp_res.h"
#include "adapter/driver_ioctl.h"
#include "sysint/disp_mode.h"

// The adapter's display state.
enum DispState : int {
    DISP_PRIMARY_EXT = 0,  // primary, the system's display extended beside it
    DISP_PRIMARY_ONLY = 1, // primary, the system's display off the desktop
    DISP_EXTENDED = 2,
    DISP_MIRROR = 3,
    DISP_OFF = 4,
};

// Windows 7 Starter shows the adapter only as a mirror: a primary or extended state becomes mirror there.
inline int StarterDispState(int nState) {
    return nState >= DISP_PRIMARY_EXT && nState <= DISP_EXTENDED ? DISP_MIRROR : nState;
}

class CAdapter {
public:
    // The texts come from the build's constant table, which lasts as long as the program: they are kept,
    // not copied. A null text gives an empty one.
    CAdapter(LPCSTR pszUsbId, LPCSTR pszDispDevId, LPCSTR pszMirDevId, BYTE bHasMirror);
    // Frees the resolution lists. The driver handle and its notification are left alone: the removal
    // handling closes them before the handle is given up.
    ~CAdapter();
    CAdapter(const CAdapter&) = delete;
    CAdapter& operator=(const CAdapter&) = delete;

    // Finds the adapter's USB device interface and opens it into m_hDevice. True when a matching interface
    // was found and an open was attempted (m_hDevice is invalid when the open failed).
    bool OpenDevice();
    // Opens a device-interface path of the adapter the one way the driver accepts.
    static HANDLE OpenDevicePath(LPCSTR pszPath);

    // Asks for handle notifications (query-remove, remove-complete) on m_hDevice for hRecipient.
    bool RegisterDevNotify(HWND hRecipient);
    bool UnregisterDevNotify();

    // Poll the driver until it reports the device (or the mirror device) ready, for up to 20.5 seconds.
    bool WaitDevReady();
    bool WaitMirDevReady();

    // Switches the driver's mirror output; retried for up to 5.5 seconds. Always true with a valid handle.
    bool SetMirror(bool bOn);
    bool SetMirrorCenter(const MirrorCenter& center);
    // Tells the driver the rotation index 0..3; the result of the call.
    bool SendRotation(int nRotation);

    // The resolution lists, read from the modes Windows reports for m_ddActive (mode_lists.cpp).
    // GetDispRes rebuilds the menu list, then the full list, then the grouped list; GetFullDispRes the
    // last two; EnumFullDispMode the grouped list alone. Both bools are always true.
    bool GetDispRes();
    bool GetFullDispRes();
    void EnumFullDispMode();
    // Every mode in the menu list (bAll) or the ones that suit the rotation; rebuilds the lists.
    bool SetAllModes(bool bAll);

    // The profile (settings.cpp). False without a profile to read or write; SaveSettings also before
    // LoadSettings ever ran, when there is nothing of the user's to save.
    bool LoadSettings();
    bool SaveSettings();
    // Puts the saved refresh rate ("Frequence", 60 when missing) into dd's registry mode.
    void RestoreFrequency(const DISPLAY_DEVICEA& dd);
    // Remembers dd's registry refresh rate in the profile.
    void SaveFrequency(const DISPLAY_DEVICEA& dd);

    // Matching against the lists (matching.cpp). A mode is the width, height and depth of a DEVMODEA;
    // nothing else of the record is read or written.
    // Whether (m_nWidth, m_nHeight, m_nBpp) is one of the full list's modes.
    bool CheckResolution();
    // The first full-list mode at least as large as the request in all three values (true), else the
    // largest mode (false). Leaves m_nWidth, m_nHeight, m_nBpp at 0; outputs untouched on an empty list.
    bool CheckInitResolution(int nWidth, int nHeight, int nBpp, int* pnWidth, int* pnHeight, int* pnBpp);
    // A menu-list mode for mirroring *pMode; tells the driver the result in any case.
    bool FindMirrorRes(DEVMODEA* pMode, MirrorCenter* pCenter);
    // The full-list mode nearest to *pMode; *pMode is left alone on an empty list.
    void NearestMirrorRes(DEVMODEA* pMode);
    // Whether the grouped list has *pMode's size; if so *pMode gets the best depth at most its own.
    bool MatchMirrorDepth(DEVMODEA* pMode);
    // *pMode is the primary display's mode; lowers the primary display when the adapter cannot mirror it.
    void SyncMirrorDPI(DEVMODEA* pMode);

    // Desktop layouts of the adapter's display (attach_modes.cpp). Each looks up the device in use by its
    // DeviceID first.
    int GetDispState(); // what the system shows now, a DispState; m_nDispState is not changed
    void UpdateDisplayDev();
    bool IsDevAttached();
    bool DetachDev();
    void AttachToDeskTopPrimaryOnly();
    bool AttachToDeskTopPrimary();
    void AttachToDeskTopExt();
    bool SetSysToPrimary();
    void ReattachSysDisplay();
    bool TurnOffDev();
    // From primary ext or primary only (nState): the system's own display gets the desktop back and the
    // adapter's display leaves it, with a pause of dwPauseMs (none for 0) between the steps.
    void LeavePrimaryState(int nState, DWORD dwPauseMs);
    bool FindDisplayDevices();
    void TraceDisplayDevices();

    // Resolution, rotation, mirror and the bring-up in the saved state (bring_up.cpp).
    bool AttachToDeskTopMir();
    bool SwitchMirror(bool bOn);
    bool SetResolution(int nWidth, int nHeight, int nBpp);
    // nAttach: DISP_PRIMARY_EXT, DISP_PRIMARY_ONLY or DISP_EXTENDED re-attaches in that layout; any other
    // value leaves the display detached.
    bool SetRotation(bool bStore, int nRotation, int nAttach);
    bool TurnONDev();

    // A resolution the user is asked to confirm (resolution_trial.cpp). TryResolution applies it; until
    // one of the three endings the profile keeps the confirmed one. Keep makes the tried one the adapter's
    // resolution; Revert puts the confirmed one back, on the display only while it is still on the
    // desktop; Forget, for a program that is ending, only remembers the confirmed one.
    void TryResolution(const DispMode& tried);
    void KeepTriedResolution();
    void RevertTriedResolution();
    void ForgetTriedResolution();
    // The resolution the profile gets: the confirmed one while another is on trial.
    DispMode SavedMode() const;

    // After a rotation swapped the width and height: the first menu-list mode at least as large as the
    // resolution becomes it (matching.cpp). 1 when there is one; 0 leaves the last mode (or, on an empty
    // list, the resolution as it was).
    int RecheckResolution();

    // What the window records in the adapter. Outside adapter/ the members are read, never written: each
    // change goes through one of these operations.
    DispMode GetMode() const { return {m_nWidth, m_nHeight, m_nBpp}; }
    void StoreMode(const DispMode& mode) {
        m_nWidth = mode.nWidth;
        m_nHeight = mode.nHeight;
        m_nBpp = mode.nBpp;
    }
    void StoreMirrorMode(const DispMode& mode) {
        m_nMirWidth = mode.nWidth;
        m_nMirHeight = mode.nHeight;
        m_nMirBpp = mode.nBpp;
    }
    void RecordState(int nState) { m_nDispState = nState; }
    void RecordLiveState() { m_nDispState = GetDispState(); }
    void SetReady(bool bReady) { m_bReady = bReady ? 1 : 0; }
    void SetSuspendedPrimary(bool bSuspended) { m_bSuspendedPrimary = bSuspended ? 1 : 0; }
    void SetSuspendedSecondary(bool bSuspended) { m_bSuspendedSecondary = bSuspended ? 1 : 0; }
    void SetHost(CAdapterHost* pHost) { m_pHost = pHost; }
    // A device-interface path of the adapter, opened into m_hDevice (invalid when the open failed).
    void OpenInterface(LPCSTR pszPath) { m_hDevice = OpenDevicePath(pszPath); }
    // Its handle notification unregistered and its handle closed: the adapter has no device any more.
    void CloseDevice();
    // The menu and full resolution lists freed.
    void FreeResolutionLists();

    DispRes* m_pFullDispModeHead;
    UINT m_nFullDispModeCount;
    BOOL m_bAllModes;
    int m_nRotation; // 0, 1, 2, 3 = 0, 90, 180, 270 degrees
    LPCSTR m_pszUsbId;
    LPCSTR m_pszDispDevId;
    LPCSTR m_pszMirDevId;
    HANDLE m_hDevice; // INVALID_HANDLE_VALUE while no device is open
    HDEVNOTIFY m_hDevNotify;
    BYTE m_bHasMirror;
    int m_nWidth;
    int m_nHeight;
    int m_nBpp;
    int m_nMirWidth;
    int m_nMirHeight;
    int m_nMirBpp;
    int m_nDispState; // a DispState
    DISPLAY_DEVICEA m_ddExt;
    DISPLAY_DEVICEA m_ddMir;
    BYTE m_bSuspendedPrimary;
    BYTE m_bSuspendedSecondary;
    UINT m_nFrequency;
    int m_nFirstRun;
    // The settings in memory are the user's: the last LoadSettings read the whole profile. Before the
    // first, or after one the registry failed to answer, the members hold the constructor's zeros or the
    // defaults, which must never be written over what the user saved.
    bool m_bSettingsLoaded;
    LPCSTR m_pszActiveDevId; // m_pszDispDevId or m_pszMirDevId
    DISPLAY_DEVICEA m_ddActive;
    BYTE m_bReady;
    DispRes* m_pDispResHead;
    DispRes* m_pFullDispResHead;
    // The window that holds the adapter, set when it takes the adapter; null without one (the operations
    // then go on without the primary display's mode and the system's flags).
    CAdapterHost* m_pHost;

private:
    bool RefreshActive();
    void MakeActivePrimaryAlone();
    void ApplyFirstRunResolution(int nState);
    void SetMirrorModeFlag(bool bMirror);

    bool m_bTrying = false;
    DispMode m_confirmed = {};
    DispMode m_tried = {};

    bool HasDevice() const { return m_hDevice != INVALID_HANDLE_VALUE; }
    BOOL SendRequest(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut);
    bool PollReady(bool bMirror);
};
