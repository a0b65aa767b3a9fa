// The main window at the end of the Windows session: the refresh rate is saved when Windows asks, and the
// adapter is turned off and the utility ends when the session ends.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/dwm_service.h"

BOOL CDispoDlg::OnQueryEndSession() {
    if (!Default())
        return FALSE;
    if (m_pAdapter != nullptr)
        m_pAdapter->SaveFrequency(m_pAdapter->m_ddExt);
    return TRUE;
}

// The flag is not looked at: the adapter is turned off and the utility ends whether the session really
// ends or another program cancelled it.
void CDispoDlg::OnEndSession(BOOL /*bEnding*/) {
    Default();
    RunDwmService(true);
    DbgTrace("Enable Composition\n");
    DbgTrace("EndSession\n");
    if (m_pAdapter != nullptr && m_pAdapter->m_hDevice != INVALID_HANDLE_VALUE) {
        m_pAdapter->RecordLiveState();
        m_pAdapter->TurnOffDev();
    }
    if (m_pAdapter != nullptr)
        m_pAdapter->FreeResolutionLists();
    FreeDispResList(m_pSysDispModeHead);
    m_pSysDispModeHead = nullptr;
    PostMessage(WM_CLOSE, 0, 0);
    PostQuitMessage(0);
}
