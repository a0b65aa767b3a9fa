#include <windows.h>

#include "framework/app.h"
#include "framework/dialog.h"

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

namespace {

HINSTANCE ResourceInstance() {
    CWinApp* pApp = FwGetApp();
    if (pApp != nullptr && pApp->m_hInstance != nullptr)
        return pApp->m_hInstance;
    return GetModuleHandleA(nullptr);
}

HWND HandleOf(const CWnd* pWnd) {
    return pWnd != nullptr ? pWnd->m_hWnd : nullptr;
}

} // namespace

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

BOOL CDialog::Create(CWnd* pParentWnd) {
    m_pParentWnd = pParentWnd;
    HWND hWnd = CreateDialogParamA(ResourceInstance(), MAKEINTRESOURCEA(m_nIDTemplate), HandleOf(pParentWnd),
                                   &CDialog::FwDlgProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

INT_PTR CDialog::RunModal() {
    CWnd* pOwner = m_pParentWnd;
    if (pOwner == nullptr) {
        CWinApp* pApp = FwGetApp();
        pOwner = pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    }
    return DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(m_nIDTemplate), HandleOf(pOwner),
                           &CDialog::FwDlgProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(int nResult) {
    if (m_hWnd != nullptr)
        ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

// The dialog manager's side of the dialog. Its only job is WM_INITDIALOG, whose lParam carries the
// object: from then on the framework's window procedure sits in front of the dialog manager and routes
// every message through the map, and everything passed on by Default() comes back here unhandled.
INT_PTR CALLBACK CDialog::FwDlgProc(HWND hDlg, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg != WM_INITDIALOG)
        return FALSE;
    CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
    if (pDlg == nullptr || GetWindowLongPtrA(hDlg, GWLP_USERDATA) != 0)
        return FALSE;
    pDlg->SubclassWindow(hDlg);
    const CurrentMsg outer = pDlg->m_curMsg;
    pDlg->m_curMsg = {nMsg, wParam, lParam};
    const BOOL bFocus = pDlg->OnInitDialog();
    pDlg->m_curMsg = outer;
    return bFocus;
}
