// The main window and the system around the adapter: suspend and resume, display changes, and the end of
// the Windows session. Every message passes on unchanged, and both end-of-session messages get the
// default answers (docs/architecture.md lists what is not built).
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
