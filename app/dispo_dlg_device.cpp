// The main window's handling of the adapter's device: bring-up once the driver handle is open.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"

BOOL CDispoDlg::DeviceArrival() {
    DbgTrace("Device arrival\n");
    if (m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE) {
        // The interface was there but the driver would not open; the next arrival tries again.
        m_pAdapter->m_bReady = 0;
        return TRUE;
    }
    // The removal of the handle must reach this window, or the desktop would keep a dead display.
    m_pAdapter->RegisterDevNotify(m_hWnd);
    // A driver that does not come up leaves the adapter open but not turned on; nothing is retried.
    if (m_pAdapter->WaitDevReady())
        m_pAdapter->WaitMirDevReady();
    return TRUE;
}
