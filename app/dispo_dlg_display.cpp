// The main window follows a change of the primary display's resolution: while the adapter mirrors it, the
// mirror is matched again to the new resolution.
#include <windows.h>

#include "adapter/adapter.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {
// Some drivers cannot mirror at 32 bits per pixel; the mirror then comes up at 16.
constexpr DWORD kMirrorFallbackBpp = 16;
} // namespace

void CDispoDlg::OnDisplayChange() {
    // Only a change of the primary display's saved mode counts: the program's own layout changes of the
    // adapter's display come here too.
    if (!UpdateSysMode() || m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE)
        return;
    // The program changed the primary display itself, lowering it for the mirror or giving it its saved
    // resolution back: the mirror is being matched to it already, and the saved resolution must stay
    // the one to give back, not become the lowered one.
    if (m_bChangingSysMode)
        return;
    CAdapter& adapter = *m_pAdapter;
    adapter.RecordLiveState();
    if (!m_bMirrorMode)
        return;
    adapter.SetAllModes(true);
    DbgTrace("Display resolution change [Mirror]\n");
    // The user chose this resolution: leaving the mirror gives it back, not the one from before.
    if (CDispoApp* pApp = GetDispoApp()) {
        pApp->m_nSysX = m_nSysWidth;
        pApp->m_nSysY = m_nSysHeight;
        pApp->m_nSysZ = m_nSysBpp;
    }
    DEVMODEA dm;
    InitDevMode(dm);
    dm.dmPelsWidth = static_cast<DWORD>(m_nSysWidth);
    dm.dmPelsHeight = static_cast<DWORD>(m_nSysHeight);
    dm.dmBitsPerPel = static_cast<DWORD>(m_nSysBpp);
    MirrorCenter center = {};
    if (!adapter.FindMirrorRes(&dm, &center))
        adapter.SyncMirrorDPI(&dm);
    adapter.StoreMirrorMode({static_cast<int>(dm.dmPelsWidth), static_cast<int>(dm.dmPelsHeight),
                             static_cast<int>(dm.dmBitsPerPel)});
    adapter.SetResolution(adapter.m_nMirWidth, adapter.m_nMirHeight, adapter.m_nMirBpp);
    if (dm.dmBitsPerPel == 32 && !DispDevIsAttached(adapter.m_ddActive)) {
        dm.dmBitsPerPel = kMirrorFallbackBpp;
        center.dwMirBpp = kMirrorFallbackBpp;
        adapter.SetMirrorCenter(center);
        adapter.SetResolution(adapter.m_nMirWidth, adapter.m_nMirHeight, kMirrorFallbackBpp);
    }
}
