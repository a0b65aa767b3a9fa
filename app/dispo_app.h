// CDispoApp: the program's start-up, single instance and command line.
#pragma once
#include <windows.h>

#include "framework/app.h"

class CDispoDlg;

class CDispoApp : public CWinApp {
public:
    CDispoApp();

    // Runs the whole program: a second start forwards its verb, the "res" preset writes the profile, and
    // the first instance creates the hidden main window and the adapter object and runs the message loop.
    // Always FALSE: the program ends as soon as it returns.
    BOOL InitInstance() override;

    // Registers the main window for arrivals and removals of every USB device interface.
    void RegisterUsbNotify();

    // m_nSysX, m_nSysY, m_nSysZ from and to the profile ("USBVGACONFIG"); missing values read as 0.
    void LoadSysRes();
    void SaveSysRes();
    // A saved system resolution is one with all three values non-zero.
    bool HasSavedSysRes() const { return m_nSysX != 0 && m_nSysY != 0 && m_nSysZ != 0; }
    // Used once: the values in memory go back to 0 (the profile keeps them).
    void ForgetSysRes() { m_nSysX = m_nSysY = m_nSysZ = 0; }

    // The primary display's resolution from before mirroring lowered it; 0 in any = nothing to restore.
    int m_nSysX;
    int m_nSysY;
    int m_nSysZ;
    HDEVNOTIFY m_hUsbNotify;

private:
    bool ApplyResPreset(CDispoDlg* pDlg);
    void Teardown(CDispoDlg* pDlg);

    // The single-instance mutex: held, never released, until the process ends.
    HANDLE m_hInstanceMutex;
};

// The application object while the program runs.
CDispoApp* GetDispoApp();
// The application's main window, through which the adapter's operations reach the primary display's mode
// and the probes; null before it exists.
class CDispoDlg;
CDispoDlg* GetDispoDlg();
