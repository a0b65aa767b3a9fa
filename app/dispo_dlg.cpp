// The main window: construction, the message map and the initialisation of the window.
#include <windows.h>

#include "app/app_messages.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CDispoDlg, CDialog)
ON_REGISTERED_MESSAGE(g_nMsgTurnOff, OnTurnOff)
ON_WM_TIMER()
END_MESSAGE_MAP()

CDispoDlg::CDispoDlg() : CDialog(IDD_DISPO_DIALOG), m_pAdapter(nullptr) {}

CDispoDlg::~CDispoDlg() {
    DestroyWindow();
}

BOOL CDispoDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    GetDispoApp()->RegisterUsbNotify();
    // The adapter is not touched before the message loop runs: the first look for it is one second in.
    SetTimer(STARTUP_TIMER, STARTUP_TIMER_MS);
    return TRUE;
}
