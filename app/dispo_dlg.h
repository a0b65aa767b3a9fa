// CDispoDlg: the program's one window. It is created hidden and never shown; it exists to receive the
// timers, device notifications and messages that drive the adapter.
#pragma once
#include <windows.h>

#include "adapter/adapter_host.h"
#include "framework/dialog.h"
#include "tray/dlg_warning.h"
#include "tray/menu_labels.h"
#include "tray/tray_icon.h"

class CAdapter;
struct DispRes;
struct _DEV_BROADCAST_HDR;

// The window's timers. Each is one-shot: its handler kills it first and sets it again only to retry.
constexpr UINT_PTR STARTUP_TIMER = 1;
constexpr UINT STARTUP_TIMER_MS = 1000;
constexpr UINT_PTR ARRIVAL_TIMER = 2;
constexpr UINT ARRIVAL_TIMER_MS = 2000;
constexpr UINT_PTR RESUME_PRIMARY_TIMER = 3;
constexpr UINT_PTR RESUME_SECONDARY_TIMER = 4;

// How often ResumeFromPrimary has tried since its last success; 0 at every program start.
extern int g_nResumeCount;

// The adapter display's current mode: false, with all three 0, when it has none.
BOOL GetDevCurrentMode(DispMode* pMode, const DISPLAY_DEVICEA& dd);

class CDispoDlg : public CDialog, public CAdapterHost, public CTrayMenuHost {
    DECLARE_DYNAMIC(CDispoDlg)

public:
    CDispoDlg();
    ~CDispoDlg() override;

    // Takes the adapter object the application made (not owned) and becomes the adapter's host.
    void SetAdapter(CAdapter* pAdapter);

    // Brings the adapter up once its driver handle is open. The result is not used.
    BOOL DeviceArrival();
    // Makes the tray icon object with its two mouse handlers into m_pTrayIcon, once, at start-up; the icon
    // is not shown until the adapter is found. m_pTrayIcon stays null when it cannot be made.
    void CreateTrayIcon();
    // The tray menu, from the adapter's state and the window's labels, its choice sent to this window.
    void ShowTrayMenu() override;

    // Builds the primary display's grouped mode list once at start-up: 1, or 0 without a primary display.
    int EnumSysDispMode();
    // After a rotation swapped the adapter's width and height: moves the adapter to the first menu-list mode
    // at least as large as its resolution. 1 when there is one; 0 leaves the last mode (or, on an empty
    // list, the resolution as it was). The portrait flag is not needed for that.
    int RecheckResolution(BOOL bPortrait) override;
    // Sets the system's primary display to this mode, written to the registry. The result of
    // DispDevSetMode: 1 unless the mode was refused as it stood; callers ignore it.
    int RestoreSystem(int w, int h, int d) override;
    // The application's saved system resolution: remembered (and written to the profile), or given back
    // to the primary display when all three values are non-zero.
    void SaveSystemResolution(const DispMode& mode) override;
    void RestoreSavedSystem(bool bForget) override;

    // What the adapter reads of the window.
    int GetSysWidth() const override { return m_nSysWidth; }
    int GetSysHeight() const override { return m_nSysHeight; }
    int GetSysBpp() const override { return m_nSysBpp; }
    const DispRes* GetSysDispModes() const override { return m_pSysDispModeHead; }
    bool IsIntelChip() const override { return m_bIntelChip != 0; }
    bool IsWin7() const override { return m_bWin7 != FALSE; }
    bool IsStarter() const override { return m_bStarter != FALSE; }
    void SetMirrorMode(bool bMirror) override { m_bMirrorMode = bMirror ? TRUE : FALSE; }

    // Looks for an Intel graphics chip among the display devices into m_bIntelChip, once, right after the
    // window exists. Always TRUE.
    BOOL DetectIntelChip();
    // Reads the primary display's mode into m_nSysBpp, m_nSysWidth, m_nSysHeight: true when it changed.
    bool UpdateSysMode();
    // Switches the monitors off and on once after a suspend, where an Intel chip needs it (Vista and later).
    void CycleMonitorPower();

    // The primary display's sizes as Windows offered them at start-up, one node per size, each with the
    // depths it offers; linked both ways so that the mirror logic can step down to smaller sizes.
    DispRes* m_pSysDispModeHead;
    UINT m_nSysDispModeCount;
    // The Windows version, probed when the window object is built.
    OSVERSIONINFOEXA m_osvi;
    BOOL m_bResumeKick; // a monitor power cycle is due: the system has been suspended since the last one
    BOOL m_bWin7;
    BOOL m_bStarter;    // Windows 7 Starter
    BOOL m_bMirrorMode; // the adapter runs as a mirror of the primary display
    HICON m_hIcon;
    CTrayIcon* m_pTrayIcon; // null until CreateTrayIcon; not owned by the window
    CAdapter* m_pAdapter;   // set by the application (SetAdapter) before the window is created; not owned
    // The primary display's mode as last seen.
    int m_nSysBpp;
    int m_nSysWidth;
    int m_nSysHeight;
    CDlgWarning m_dlgWarning; // the confirmation after a resolution above 1024 x 768
    BYTE m_bIntelChip;        // an Intel chip drives a display of the system
    bool m_bChangingSysMode;  // RestoreSystem is changing the primary display's mode
    CMenuLabels m_menuLabels;

protected:
    BOOL OnInitDialog() override;

    // Device arrival and removal, and the timers that follow them (dispo_dlg_device.cpp, _timers.cpp).
    void OnTimer(UINT_PTR nIDEvent);
    BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
    BOOL OnAdapterArrival(const _DEV_BROADCAST_HDR* pHeader);
    BOOL OnAdapterRemoval(const _DEV_BROADCAST_HDR* pHeader);
    BOOL OnAdapterInterfaceRemoval(const _DEV_BROADCAST_HDR* pHeader);
    // The adapter has gone: its state and resolution are saved, the desktop goes back to the system's
    // display, the handle is closed and the icon taken away.
    void RemoveAdapter();

    // The never-shown window's painting (dispo_dlg.cpp).
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    // The tray icon's messages and "TurnOff" from a second start (tray/dispo_dlg_tray.cpp).
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnNotifyIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnTurnOff(WPARAM wParam, LPARAM lParam);
    void OnBrand();
    // The menu's state commands (tray/state_commands.cpp).
    void OnPrimary();
    void OnExt();
    void OnOff();
    void OnMirror();
    // Resolution and rotation, from the menu and from a second start (tray/resolution_rotation.cpp).
    void OnTraySetDPI(UINT nID);
    void OnRotation(UINT nID);
    LRESULT OnSISRotation(WPARAM wParam, LPARAM lParam);
    void RotateTo(int nRotation);
    // "RemoveRegistry" from a second start (dispo_dlg_uninstall.cpp).
    LRESULT OnRemoveReg(WPARAM wParam, LPARAM lParam);

    // Suspend and resume (dispo_dlg_power.cpp), and a change of the primary display's resolution
    // (dispo_dlg_display.cpp), both seen before the message map.
    LRESULT PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
    void OnPM(WPARAM wParam);
    void TakeOffBeforeSuspend();
    // The resume timers' work; FALSE when a retry has been set. The results are not used.
    BOOL ResumeFromPrimary();
    BOOL ResumeFromSecondary();
    void OnDisplayChange();

    // The end of the session (dispo_dlg_session.cpp).
    void OnEndSession(BOOL bEnding);
    BOOL OnQueryEndSession();

    DECLARE_MESSAGE_MAP()
};
