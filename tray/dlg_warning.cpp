#include <windows.h>

#include <iterator>

#include "res/resource.h"
#include "tray/dlg_warning.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {

constexpr UINT_PTR COUNTDOWN_TIMER = 1;
constexpr UINT COUNTDOWN_TICK_MS = 1000;
// The counter shows 15 from the template; 14 more ticks count it down to 1, the fifteenth ends the dialog.
constexpr int kCountdownTicks = 14;
constexpr int kTextChars = 128;

// The seven texts the dialog loads at every opening, and where they go (0: the caption).
constexpr struct {
    UINT nString;
    int nControl;
} kTexts[] = {
    {IDS_WARNING_LINE1, IDC_WARNING_LINE1},
    {IDS_WARNING_LINE2, IDC_WARNING_LINE2},
    {IDS_WARNING_BEFORE_COUNT, IDC_WARNING_BEFORE_COUNT},
    {IDS_WARNING_AFTER_COUNT, IDC_WARNING_AFTER_COUNT},
    {IDS_WARNING_OK, IDOK},
    {IDS_WARNING_CANCEL, IDCANCEL},
    {IDS_WARNING_CAPTION, 0},
};

} // namespace

BEGIN_MESSAGE_MAP(CDlgWarning, CDialog)
ON_WM_TIMER()
END_MESSAGE_MAP()

CDlgWarning::CDlgWarning() : CDialog(IDD_WARNING), m_nCount(0), m_nTimer(0) {}

BOOL CDlgWarning::OnInitDialog() {
    CDialog::OnInitDialog();
    m_nTimer = SetTimer(COUNTDOWN_TIMER, COUNTDOWN_TICK_MS);
    m_nCount = kCountdownTicks;
    HINSTANCE hInstance = GetModuleHandleA(nullptr);
    char szTexts[std::size(kTexts)][kTextChars] = {};
    for (size_t i = 0; i < std::size(kTexts); ++i) {
        LoadStringA(hInstance, kTexts[i].nString, szTexts[i], kTextChars);
        if (kTexts[i].nControl != 0)
            SetDlgItemText(kTexts[i].nControl, szTexts[i]);
        else
            SetWindowText(szTexts[i]);
    }
    // In front, and centred on a display that stays on the desktop whatever the answer: the adapter's own
    // display may not show the mode that waits for confirmation. When the adapter's display is the only
    // one, the primary display is that one.
    RECT rc;
    DEVMODEA dm;
    if (GetWindowRect(m_hWnd, &rc) && DispDevStayingDisplay(dm))
        SetWindowPos(m_hWnd, nullptr, dm.dmPosition.x + ((LONG)dm.dmPelsWidth - rc.right + rc.left) / 2,
                     dm.dmPosition.y + ((LONG)dm.dmPelsHeight - rc.bottom + rc.top) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(m_hWnd);
    return TRUE;
}

// One-shot ticks: each kills the timer and sets it again while seconds are left.
void CDlgWarning::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == COUNTDOWN_TIMER) {
        KillTimer(m_nTimer);
        if (--m_nCount < 0) {
            EndDialog(IDCANCEL);
        } else {
            m_nTimer = SetTimer(COUNTDOWN_TIMER, COUNTDOWN_TICK_MS);
            char szSeconds[16];
            StrFormat(szSeconds, sizeof(szSeconds), "%d", m_nCount + 1);
            SetDlgItemText(IDC_COUNTDOWN, szSeconds);
        }
    }
    Default();
}
