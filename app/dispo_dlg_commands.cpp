// The four state commands of the tray menu: the adapter's display as primary, extended, mirror or off.
// Each reads what the system shows now, runs that state's steps with a pause between them, then records
// the target state and saves the settings, whatever the steps returned. Primary, Extended and Mirror stop
// the composition service first and leave it stopped; Off starts it again at the end.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/profile_names.h"
#include "app/dispo_dlg.h"
#include "framework/app.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/dwm_service.h"

namespace {

// The driver and Windows need a moment between two layout changes.
constexpr DWORD kStepPauseMs = 500;
// SetRotation's "no re-attach": the stored rotation is applied while the display stays detached.
constexpr int kRotateOnly = 100;

void Pause() {
    Sleep(kStepPauseMs);
}

// The adapter's display extends the desktop, then its mirror driver takes over.
void MirrorFromExtended(CAdapter& adapter) {
    adapter.AttachToDeskTopExt();
    Pause();
    adapter.SwitchMirror(true);
}

// "Off" kept for the next bring-up, with nothing else of the settings.
void RememberOff(CAdapter& adapter) {
    CWinApp* pApp = FwGetApp();
    if (pApp != nullptr && pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_DISP_STATE, DISP_OFF)) {
        adapter.RecordState(DISP_OFF);
        DbgTrace("Write display state off\n");
    } else {
        DbgTrace("Write display state failed\n");
    }
}

} // namespace

void CDispoDlg::OnPrimary() {
    if (m_pAdapter == nullptr)
        return;
    DbgTrace("OnPrimary\n");
    m_bMirrorMode = FALSE;
    StopDwmAndWait();
    CAdapter& adapter = *m_pAdapter;
    bool bMakePrimary = true;
    switch (adapter.GetDispState()) {
    case DISP_PRIMARY_EXT:
    case DISP_PRIMARY_ONLY:
        bMakePrimary = false;
        break;
    case DISP_EXTENDED:
        break;
    case DISP_MIRROR:
        adapter.SwitchMirror(false);
        DbgTrace("OnPrimary\n");
        RestoreSavedSystem(/*bForget*/ true);
        adapter.SetRotation(true, adapter.m_nRotation, kRotateOnly);
        Pause();
        adapter.AttachToDeskTopExt();
        Pause();
        break;
    case DISP_OFF:
        if (adapter.m_nRotation > 0) {
            // The rotation attaches the display itself, in the primary layout.
            adapter.SetRotation(true, adapter.m_nRotation,
                                m_bIntelChip ? DISP_PRIMARY_ONLY : DISP_PRIMARY_EXT);
            bMakePrimary = false;
        } else {
            adapter.AttachToDeskTopExt();
            Pause();
        }
        break;
    default:
        break;
    }
    if (bMakePrimary) {
        if (m_bIntelChip)
            adapter.AttachToDeskTopPrimaryOnly();
        else
            adapter.AttachToDeskTopPrimary();
    }
    adapter.RecordState(m_bIntelChip ? DISP_PRIMARY_ONLY : DISP_PRIMARY_EXT);
    adapter.SaveSettings();
}

void CDispoDlg::OnExt() {
    if (m_pAdapter == nullptr)
        return;
    DbgTrace("OnExt\n");
    StopDwmAndWait();
    m_bMirrorMode = FALSE;
    CAdapter& adapter = *m_pAdapter;
    switch (adapter.GetDispState()) {
    case DISP_PRIMARY_EXT:
        DispDevDetachOthers(adapter.m_ddActive);
        Pause();
        adapter.SetSysToPrimary();
        Pause();
        adapter.DetachDev();
        Pause();
        DispDevReattachOthers();
        Pause();
        adapter.AttachToDeskTopExt();
        break;
    case DISP_PRIMARY_ONLY:
        adapter.LeavePrimaryState(DISP_PRIMARY_ONLY, kStepPauseMs);
        Pause();
        adapter.AttachToDeskTopExt();
        CycleMonitorPower();
        break;
    case DISP_MIRROR:
        adapter.SwitchMirror(false);
        RestoreSavedSystem(/*bForget*/ true);
        DbgTrace("OnExt Set DPI X =%d, Y =%d, z =%d\n", adapter.m_nWidth, adapter.m_nHeight, adapter.m_nBpp);
        adapter.SetRotation(true, adapter.m_nRotation, DISP_EXTENDED);
        break;
    case DISP_OFF:
        adapter.SetRotation(true, adapter.m_nRotation, DISP_EXTENDED);
        break;
    default:
        break;
    }
    adapter.RecordState(DISP_EXTENDED);
    adapter.SaveSettings();
}

void CDispoDlg::OnMirror() {
    if (m_pAdapter == nullptr)
        return;
    DbgTrace("OnMirror\n");
    StopDwmAndWait();
    CAdapter& adapter = *m_pAdapter;
    const int nState = adapter.GetDispState();
    m_bMirrorMode = TRUE;
    switch (nState) {
    case DISP_PRIMARY_EXT:
        DispDevDetachOthers(adapter.m_ddActive);
        Pause();
        adapter.LeavePrimaryState(DISP_PRIMARY_ONLY, kStepPauseMs);
        Pause();
        MirrorFromExtended(adapter);
        Pause();
        DispDevReattachOthers();
        break;
    case DISP_PRIMARY_ONLY:
        adapter.LeavePrimaryState(DISP_PRIMARY_ONLY, kStepPauseMs);
        Pause();
        MirrorFromExtended(adapter);
        CycleMonitorPower();
        break;
    case DISP_EXTENDED:
    case DISP_OFF:
        adapter.SwitchMirror(true);
        break;
    default:
        break;
    }
    adapter.RecordState(DISP_MIRROR);
    adapter.SaveSettings();
}

void CDispoDlg::OnOff() {
    if (m_pAdapter == nullptr)
        return;
    m_bMirrorMode = FALSE;
    DbgTrace("OnOff\n");
    CAdapter& adapter = *m_pAdapter;
    if (adapter.m_hDevice == INVALID_HANDLE_VALUE) {
        // No adapter: the choice is only remembered for the next bring-up.
        RememberOff(adapter);
        return;
    }
    switch (const int nState = adapter.GetDispState()) {
    case DISP_PRIMARY_EXT:
    case DISP_PRIMARY_ONLY:
        adapter.LeavePrimaryState(nState, kStepPauseMs);
        break;
    case DISP_EXTENDED:
        adapter.DetachDev();
        break;
    case DISP_MIRROR:
        adapter.SwitchMirror(false);
        DbgTrace("OnOff\n");
        RestoreSavedSystem(/*bForget*/ true);
        break;
    default:
        break;
    }
    RunDwmService(true);
    OutputDebugStringA("Enable Composition\n");
    adapter.RecordState(DISP_OFF);
    // An adapter whose driver never got ready has loaded none of the user's settings: the choice alone
    // is remembered, as without an adapter.
    if (adapter.m_bSettingsLoaded)
        adapter.SaveSettings();
    else
        RememberOff(adapter);
}
