// The main window's timers. Each is one-shot: killed first, set again only for a retry.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"

void CDispoDlg::OnTimer(UINT_PTR nIDEvent) {
    switch (nIDEvent) {
    case STARTUP_TIMER:
        KillTimer(STARTUP_TIMER);
        DbgTrace("STARTUP_TIMER\n");
        // An adapter that is not plugged in at start is brought up later, from its arrival notification.
        // One plugged in before this timer came due has been opened by that notification already, and
        // its arrival timer brings it up: opening it again would leak that handle and bring it up twice.
        if (m_pAdapter != nullptr && m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE &&
            m_pAdapter->OpenDevice())
            DeviceArrival();
        break;
    case ARRIVAL_TIMER:
        KillTimer(ARRIVAL_TIMER);
        DeviceArrival();
        break;
    case RESUME_PRIMARY_TIMER:
        KillTimer(RESUME_PRIMARY_TIMER);
        DbgTrace("resume from primary\n");
        ResumeFromPrimary();
        break;
    case RESUME_SECONDARY_TIMER:
        KillTimer(RESUME_SECONDARY_TIMER);
        ResumeFromSecondary();
        break;
    default:
        break;
    }
    Default();
}
