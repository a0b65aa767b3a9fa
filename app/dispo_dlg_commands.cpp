// The main window's commands: the requests a second start of the program forwards.
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
