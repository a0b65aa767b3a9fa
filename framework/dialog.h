// CDialog: a window made from a dialog template, modeless (Create) or modal (RunModal).
#pragma once
#include <windows.h>

#include "framework/wnd.h"

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override = default;

    // Modeless: creates the dialog and returns once WM_INITDIALOG has run. False when the template could
    // not be made into a window.
    BOOL Create(CWnd* pParentWnd);

    // Modal: runs the dialog until it ends; IDOK or IDCANCEL from the buttons, -1 when it could not run,
    // 0 when the thread's WM_QUIT ended it (the dialog manager posts the quit again for the outer loop).
    // The owner is the parent given at construction, else the application's main window.
    INT_PTR RunModal();

    void EndDialog(int nResult);

protected:
    // Runs once the dialog and its controls exist. TRUE lets the dialog manager put the focus on the first
    // control. It must not call Default(): the dialog manager is itself in the middle of WM_INITDIALOG.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK FwDlgProc(HWND hDlg, UINT nMsg, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};
