// The main window's view of the system around the adapter: the graphics chip, the primary display's mode,
// the monitor power cycle after a suspend, and putting the primary display back to a saved mode.
#include <windows.h>

#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/env_probes.h"

BOOL CDispoDlg::DetectIntelChip() {
    return ProbeIntelChip(m_bIntelChip);
}

bool CDispoDlg::UpdateSysMode() {
    return ProbePrimaryMode(m_nSysBpp, m_nSysWidth, m_nSysHeight);
}

void CDispoDlg::CycleMonitorPower() {
    CyclePowerAfterResume(m_bIntelChip, m_osvi, m_bResumeKick);
}

int CDispoDlg::RestoreSystem(int w, int h, int d) {
    // The system's primary display. When only the adapter's mirror driver carries the primary flag, the
    // device enumerated last is used.
    DISPLAY_DEVICEA dd = {};
    DispDevFindSystemPrimary(dd);
    DbgTrace("Restore system %d %d %d\n", w, h, d);
    // The change comes back to this window as WM_DISPLAYCHANGE from inside the call; it is the program's
    // own, not the user's (OnDisplayChange).
    const bool bOuter = m_bChangingSysMode;
    m_bChangingSysMode = true;
    const int nResult = DispDevSetMode(w, h, d, dd);
    m_bChangingSysMode = bOuter;
    return nResult;
}

void CDispoDlg::SaveSystemResolution(const DispMode& mode) {
    CDispoApp* pApp = GetDispoApp();
    if (pApp == nullptr)
        return;
    pApp->m_nSysX = mode.nWidth;
    pApp->m_nSysY = mode.nHeight;
    pApp->m_nSysZ = mode.nBpp;
    pApp->SaveSysRes();
}

// The profile keeps the values: a later start restores them once more (and a suspend, a removal or the
// next command that leaves the mirror uses what is in memory).
void CDispoDlg::RestoreSavedSystem(bool bForget) {
    CDispoApp* pApp = GetDispoApp();
    if (pApp == nullptr || !pApp->HasSavedSysRes())
        return;
    RestoreSystem(pApp->m_nSysX, pApp->m_nSysY, pApp->m_nSysZ);
    if (bForget)
        pApp->ForgetSysRes();
}
