// The main window's part in the resolution lists: the primary display's sizes, read once at start-up, and
// the adapter's resolution after a rotation swapped its width and height.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/mode_lists.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

int CDispoDlg::EnumSysDispMode() {
    DbgTrace("Enum system display resolution\n");
    DISPLAY_DEVICEA dd;
    if (!DispDevFindSystemPrimary(dd)) {
        DbgTrace("Can't get system display device\n");
        return 0;
    }
    // Freed whatever the counter says: a head without a count would otherwise be lost.
    FreeDispResList(m_pSysDispModeHead);
    m_pSysDispModeHead = nullptr;
    m_nSysDispModeCount = 0;

    ModeSortList set;
    DbgTrace("Get system res begin\n");
    CollectModes(dd.DeviceName, ModeFilter::Grouped, &set);
    DbgTrace("list cnt %d\n", (int)set.Count());
    m_pSysDispModeHead = BuildGroupedList(set, GroupedKind::System, &m_nSysDispModeCount);
    DbgTrace("Get system res end\n");
    return 1;
}

int CDispoDlg::RecheckResolution(BOOL /*bPortrait*/) {
    if (m_pAdapter == nullptr) {
        DbgTrace("[Recheck Resolution] m_pAdapter->m_pDispResHead == NULL \n");
        return 0;
    }
    return m_pAdapter->RecheckResolution();
}
