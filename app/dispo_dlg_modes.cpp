// The main window's part in the resolution lists: the primary display's sizes, read once at start-up, and
// the adapter's resolution after a rotation swapped its width and height.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/mode_lists.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"

namespace {

// The system's own primary display: the first device that is primary and not a mirror driver (a mirror
// driver copies the primary display and may carry its flag as well).
bool FindSystemPrimary(DISPLAY_DEVICEA* pdd) {
    for (DWORD iDevice = 0;; ++iDevice) {
        ZeroMemory(pdd, sizeof(*pdd));
        pdd->cb = sizeof(*pdd);
        if (!EnumDisplayDevicesA(nullptr, iDevice, pdd, 0))
            return false;
        if ((pdd->StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0 &&
            (pdd->StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) == 0)
            return true;
    }
}

} // namespace

int CDispoDlg::EnumSysDispMode() {
    DbgTrace("Enum system display resolution\n");
    DISPLAY_DEVICEA dd;
    if (!FindSystemPrimary(&dd)) {
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
    if (m_pAdapter == nullptr || m_pAdapter->m_pDispResHead == nullptr) {
        DbgTrace("[Recheck Resolution] m_pAdapter->m_pDispResHead == NULL \n");
        return 0;
    }
    CAdapter& adapter = *m_pAdapter;
    const unsigned nOldWidth = static_cast<unsigned>(adapter.m_nWidth);
    const unsigned nOldHeight = static_cast<unsigned>(adapter.m_nHeight);
    const unsigned nOldBpp = static_cast<unsigned>(adapter.m_nBpp);
    // The list ascends by width, then height, then depth: the first mode that holds the old one in all
    // three values is the smallest that loses nothing.
    for (const DispRes* pNode = adapter.m_pDispResHead; pNode != nullptr; pNode = pNode->pNext) {
        adapter.m_nWidth = static_cast<int>(pNode->nWidth);
        adapter.m_nHeight = static_cast<int>(pNode->nHeight);
        adapter.m_nBpp = static_cast<int>(pNode->nBpp);
        if (nOldWidth <= pNode->nWidth && nOldHeight <= pNode->nHeight && nOldBpp <= pNode->nBpp)
            return 1;
    }
    return 0;
}
