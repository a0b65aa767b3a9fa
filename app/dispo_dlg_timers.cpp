// The main window's timers.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"

void CDispoDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == STARTUP_TIMER) {
        KillTimer(STARTUP_TIMER);
        DbgTrace("STARTUP_TIMER\n");
        // An adapter that is not plugged in at start is brought up later, from its arrival notification.
        if (m_pAdapter != nullptr && m_pAdapter->OpenDevice())
            DeviceArrival();
    }
    Default();
}
