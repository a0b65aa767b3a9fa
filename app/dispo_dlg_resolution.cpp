// The resolution items of the tray menu, its rotation items and the rotation a second start forwards
// ("r0" to "r270").
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "res/resource.h"
#include "sysint/dbg_trace.h"

namespace {

// Anything larger than this may not show on the user's monitor, so it is kept only once confirmed.
constexpr unsigned kUnconfirmedWidth = 1024;
constexpr unsigned kUnconfirmedHeight = 768;

// The entry at position nIndex of the list, counting from 0; null past either end.
const DispRes* EntryAt(const DispRes* pHead, int nIndex) {
    if (nIndex < 0)
        return nullptr;
    const DispRes* pEntry = pHead;
    for (; pEntry != nullptr && nIndex > 0; --nIndex)
        pEntry = pEntry->pNext;
    return pEntry;
}

} // namespace

void CDispoDlg::OnTraySetDPI(UINT nID) {
    const int nIndex = static_cast<int>(nID) - ID_MENU_RES_FIRST;
    DbgTrace("OnTraySetDPI nIndex %d\n", nIndex);
    if (m_pAdapter == nullptr)
        return;
    CAdapter& adapter = *m_pAdapter;
    // The list may have been rebuilt since the menu was shown: an id past its end selects nothing.
    const DispRes* pEntry = EntryAt(adapter.m_pDispResHead, nIndex);
    if (pEntry == nullptr)
        return;
    const int nWidth = static_cast<int>(pEntry->nWidth);
    const int nHeight = static_cast<int>(pEntry->nHeight);
    const int nBpp = static_cast<int>(pEntry->nBpp);
    DbgTrace("set dpi %d %d %d\n", nWidth, nHeight, nBpp);
    const bool bConfirm = pEntry->nWidth > kUnconfirmedWidth || pEntry->nHeight > kUnconfirmedHeight;
    if (adapter.GetMode() == DispMode{nWidth, nHeight, nBpp})
        return;
    // One confirmation at a time: a second one would take over the dialog object while the first still
    // runs, and the first could then never end.
    if (bConfirm && m_dlgWarning.IsOpen()) {
        DbgTrace("OnTraySetDPI confirmation already open\n");
        return;
    }
    if (!bConfirm) {
        adapter.SetResolution(nWidth, nHeight, nBpp);
        adapter.SaveSettings();
        return;
    }
    // The dialog's loop runs every other message meanwhile; whatever they did stands when it ends.
    adapter.TryResolution({nWidth, nHeight, nBpp});
    switch (m_dlgWarning.RunModal()) {
    case IDOK:
        adapter.KeepTriedResolution();
        break;
    case IDCANCEL:
    case -1:
        // Cancel, Escape, the close box, the end of the countdown, or a dialog that could not be shown
        // at all: nothing confirmed the new resolution.
        adapter.RevertTriedResolution();
        break;
    default:
        // The program's WM_QUIT ended the dialog: it is closing, or uninstalled; nothing further.
        adapter.ForgetTriedResolution();
        return;
    }
    adapter.SaveSettings();
}

// The display comes back in the state it was in; mirrored or off, nothing is rotated. The settings are
// saved in every case.
void CDispoDlg::RotateTo(int nRotation) {
    CAdapter& adapter = *m_pAdapter;
    const int nState = adapter.GetDispState();
    if (nState == DISP_PRIMARY_EXT || nState == DISP_PRIMARY_ONLY || nState == DISP_EXTENDED)
        adapter.SetRotation(true, nRotation, nState);
    adapter.SaveSettings();
}

void CDispoDlg::OnRotation(UINT nID) {
    DbgTrace("OnRotation\n");
    if (m_pAdapter != nullptr)
        RotateTo(static_cast<int>(nID) - ID_MENU_ROTATE_0);
}

// wParam 1 to 4 are "r0" to "r270"; 5 passes rotation 4, which the driver is never sent.
LRESULT CDispoDlg::OnSISRotation(WPARAM wParam, LPARAM /*lParam*/) {
    if (wParam < 1 || wParam > 5) {
        DbgTrace("Command can not accept cmd = %d\n", static_cast<int>(wParam));
        return 0;
    }
    if (m_pAdapter == nullptr) {
        DbgTrace("Adapter is not available value = NULL\n");
        return 0;
    }
    RotateTo(static_cast<int>(wParam) - 1);
    return 0;
}
