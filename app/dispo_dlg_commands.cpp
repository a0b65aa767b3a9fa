// The main window's commands: the tray icon's callbacks, the menu commands and the requests a second
// start of the program forwards.
#include <windows.h>

#include "app/app_messages.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"

LRESULT CDispoDlg::OnTurnOff(WPARAM wParam, LPARAM /*lParam*/) {
    DbgTrace("OnTurnOff\n");
    if (wParam == TURNOFF_AND_CLOSE) {
        DbgTrace("[OnTurnOff] Close Utility\n");
        PostMessage(WM_CLOSE, 0, 0);
        PostQuitMessage(0);
    }
    return 0;
}

// The tray icon and its menu, the state, resolution and rotation commands and the uninstall request come
// with the tray. Until then their messages are taken here and do nothing.
LRESULT CDispoDlg::OnTaskbarCreated(WPARAM, LPARAM) {
    return 0;
}
LRESULT CDispoDlg::OnNotifyIcon(WPARAM, LPARAM) {
    return 0;
}
LRESULT CDispoDlg::OnRemoveReg(WPARAM, LPARAM) {
    return 0;
}
LRESULT CDispoDlg::OnSISRotation(WPARAM, LPARAM) {
    return 0;
}
void CDispoDlg::OnPrimary() {}
void CDispoDlg::OnExt() {}
void CDispoDlg::OnOff() {}
void CDispoDlg::OnMirror() {}
void CDispoDlg::OnTraySetDPI(UINT) {}
void CDispoDlg::OnRotation(UINT) {}

// "Brand" is in the menu template only; no menu the program builds offers it.
void CDispoDlg::OnBrand() {}
