// CDispoDlg: the program's one window. It is created hidden and never shown; it exists to receive the
// timers, device notifications and messages that drive the adapter.
#pragma once
#include <windows.h>

#include "framework/dialog.h"

class CAdapter;

// The window's timers. Each is one-shot: its handler kills it first and sets it again only to retry.
constexpr UINT_PTR STARTUP_TIMER = 1;
constexpr UINT STARTUP_TIMER_MS = 1000;

class CDispoDlg : public CDialog {
public:
    CDispoDlg();
    ~CDispoDlg() override;

    // Brings the adapter up once its driver handle is open. The result is not used.
    BOOL DeviceArrival();

    CAdapter* m_pAdapter; // set by the application before the window is created; not owned

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent);
    LRESULT OnTurnOff(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
