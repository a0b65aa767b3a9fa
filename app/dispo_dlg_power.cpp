// The main window and the system around the adapter: suspend and resume, display changes, and the end of
// the Windows session. The handlers that follow the adapter through them come with the power handling;
// until then every message passes on unchanged.
#include <windows.h>

#include "app/dispo_dlg.h"

LRESULT CDispoDlg::PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    return CDialog::PreFilterMessage(nMsg, wParam, lParam);
}

void CDispoDlg::OnEndSession(BOOL /*bEnding*/) {
    Default();
}

BOOL CDispoDlg::OnQueryEndSession() {
    return static_cast<BOOL>(Default());
}
