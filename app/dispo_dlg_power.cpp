// The main window across a sleep: before the computer suspends, the adapter's display leaves the desktop
// and the window remembers whether it was primary; after the resume, one-shot timers bring it back and
// retry, without limit, until it is on the desktop again or the adapter is gone.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {

constexpr UINT RESUME_PRIMARY_FIRST_MS = 1000;
constexpr UINT RESUME_PRIMARY_RETRY_MS = 2000;
constexpr UINT RESUME_SECONDARY_FIRST_MS = 2000;
constexpr UINT RESUME_SECONDARY_RETRY_MS = 4000;
// The adapter's display needs a moment on the desktop before it can be made primary.
constexpr DWORD kAttachSettleMs = 500;

// The readiness checks of a resume: each only when the one before it passed.
bool DriverBackAfterResume(CAdapter& adapter) {
    return adapter.WaitDevReady() && adapter.WaitMirDevReady() && adapter.FindDisplayDevices();
}

} // namespace

// How often ResumeFromPrimary has tried since it last succeeded; set at every program start.
int g_nResumeCount;

// Every message is seen here first and then goes on to the message map.
LRESULT CDispoDlg::PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_POWERBROADCAST)
        OnPM(wParam);
    else if (nMsg == WM_DISPLAYCHANGE)
        OnDisplayChange();
    return CDialog::PreFilterMessage(nMsg, wParam, lParam);
}

void CDispoDlg::OnPM(WPARAM wParam) {
    switch (wParam) {
    case PBT_APMQUERYSUSPEND:
    case PBT_APMSUSPEND:
        // Windows XP asks first and then suspends: the second run finds the display off the desktop already.
        m_bResumeKick = TRUE;
        DbgTrace("Goto suspend with cdeo = %d\n", static_cast<int>(wParam));
        if (m_pAdapter != nullptr && m_pAdapter->m_hDevice != INVALID_HANDLE_VALUE &&
            m_pAdapter->IsDevAttached())
            TakeOffBeforeSuspend();
        break;
    case PBT_APMRESUMESUSPEND:
        DbgTrace("Resume from suspend\n");
        if (m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE)
            break;
        if (m_pAdapter->m_bSuspendedPrimary) {
            SetTimer(RESUME_PRIMARY_TIMER, RESUME_PRIMARY_FIRST_MS);
            m_pAdapter->SetSuspendedPrimary(false);
        } else if (m_pAdapter->m_bSuspendedSecondary) {
            SetTimer(RESUME_SECONDARY_TIMER, RESUME_SECONDARY_FIRST_MS);
            m_pAdapter->SetSuspendedSecondary(false);
        }
        break;
    default:
        break;
    }
}

// By the state recorded last, not read back: a primary display gives the desktop back to the system's
// own; an extended or mirrored one saves the settings, so that TurnONDev brings the same state back, and
// leaves the desktop.
void CDispoDlg::TakeOffBeforeSuspend() {
    CAdapter& adapter = *m_pAdapter;
    const int nState = adapter.m_nDispState;
    if (nState == DISP_PRIMARY_EXT || nState == DISP_PRIMARY_ONLY) {
        DbgTrace("Goto suspend from Primary\n");
        adapter.LeavePrimaryState(nState, 0);
        adapter.SetSuspendedPrimary(true);
        return;
    }
    if (nState != DISP_OFF)
        adapter.SetSuspendedSecondary(true);
    adapter.SaveSettings();
    if (nState == DISP_EXTENDED) {
        adapter.DetachDev();
    } else if (nState == DISP_MIRROR) {
        adapter.DetachDev();
        if (!adapter.IsDevAttached())
            adapter.SwitchMirror(false);
        DbgTrace("OnPM\n");
        RestoreSavedSystem(/*bForget*/ false);
    }
}

BOOL CDispoDlg::ResumeFromPrimary() {
    if (m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE)
        return TRUE;
    CAdapter& adapter = *m_pAdapter;
    if (DriverBackAfterResume(adapter)) {
        if (adapter.IsDevAttached())
            return TRUE;
        ++g_nResumeCount;
        DbgTrace("Try to resume from primary count = %d\n", g_nResumeCount);
        DispDevAttachExtend(adapter.m_ddActive);
        Sleep(kAttachSettleMs);
        if (adapter.IsDevAttached()) {
            DbgTrace("Set to primary\n");
            OnPrimary();
            adapter.SetSuspendedPrimary(false);
            g_nResumeCount = 0;
            return TRUE;
        }
    }
    adapter.SetSuspendedPrimary(true);
    SetTimer(RESUME_PRIMARY_TIMER, RESUME_PRIMARY_RETRY_MS);
    return FALSE;
}

BOOL CDispoDlg::ResumeFromSecondary() {
    if (m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE)
        return TRUE;
    CAdapter& adapter = *m_pAdapter;
    if (DriverBackAfterResume(adapter)) {
        adapter.TurnONDev();
        adapter.SetSuspendedSecondary(false);
        if (adapter.IsDevAttached())
            return TRUE;
    }
    adapter.SetSuspendedSecondary(true);
    SetTimer(RESUME_SECONDARY_TIMER, RESUME_SECONDARY_RETRY_MS);
    return FALSE;
}
