// The main window's handling of the adapter's device: bring-up once the driver handle is open, arrival
// of the adapter's USB interface, and its removal.
#include <windows.h>
#include <dbt.h>

#include "adapter/adapter.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/dwm_service.h"
#include "sysint/str_util.h"
#include "tray/tray_icon.h"

namespace {

// Starter is the only edition where the adapter can only mirror, and its driver brings up only the
// mirror device.
bool WaitUntilReady(CAdapter& adapter, bool bStarter) {
    if (bStarter)
        return adapter.WaitMirDevReady();
    return adapter.WaitDevReady() && adapter.WaitMirDevReady();
}

} // namespace

BOOL CDispoDlg::DeviceArrival() {
    DbgTrace("Device arrival\n");
    if (m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE) {
        // The interface was there but the driver would not open; the next arrival tries again.
        m_pAdapter->SetReady(false);
        return TRUE;
    }
    // The icon shows as soon as the adapter is open, before the driver has reported ready.
    if (m_pTrayIcon != nullptr)
        m_pTrayIcon->AddToTray();
    // The removal of the handle must reach this window, or the desktop would keep a dead display.
    m_pAdapter->RegisterDevNotify(m_hWnd);
    // A driver that does not come up leaves the adapter open but not turned on; nothing is retried.
    if (!WaitUntilReady(*m_pAdapter, m_bStarter != FALSE))
        return TRUE;
    m_pAdapter->LoadSettings();
    if (m_bStarter)
        m_pAdapter->RecordState(StarterDispState(m_pAdapter->m_nDispState));
    if (m_pAdapter->FindDisplayDevices()) {
        m_pAdapter->SetReady(true);
        if (m_pAdapter->GetDispRes())
            m_pAdapter->TurnONDev();
    }
    return TRUE;
}

BOOL CDispoDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    auto* pHeader = reinterpret_cast<const DEV_BROADCAST_HDR*>(dwData);
    switch (nEventType) {
    case DBT_DEVICEARRIVAL:
        return OnAdapterArrival(pHeader);
    case DBT_DEVICEQUERYREMOVE:
        return OnAdapterRemoval(pHeader);
    case DBT_DEVICEREMOVECOMPLETE:
        return OnAdapterRemoval(pHeader) || OnAdapterInterfaceRemoval(pHeader);
    default:
        return FALSE;
    }
}

// A USB device interface arrived: when it is the adapter's and none is open yet, open it and bring it up
// two seconds later, once its driver has settled.
BOOL CDispoDlg::OnAdapterArrival(const DEV_BROADCAST_HDR* pHeader) {
    if (m_pAdapter == nullptr || m_pAdapter->m_hDevice != INVALID_HANDLE_VALUE || pHeader == nullptr ||
        pHeader->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return FALSE;
    auto* pInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(pHeader);
    if (!StrContainsNoCase(pInterface->dbcc_name, m_pAdapter->m_pszUsbId))
        return FALSE;
    StopDwmAndWait();
    m_pAdapter->OpenInterface(pInterface->dbcc_name);
    DbgTrace("Device %s was plug-in and create file handle = %d \n", m_pAdapter->m_pszUsbId,
             (int)(INT_PTR)m_pAdapter->m_hDevice);
    SetTimer(ARRIVAL_TIMER, ARRIVAL_TIMER_MS);
    return TRUE;
}

// The adapter's open handle is going. The second of the two notifications no longer matches.
BOOL CDispoDlg::OnAdapterRemoval(const DEV_BROADCAST_HDR* pHeader) {
    if (m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE || pHeader == nullptr ||
        pHeader->dbch_devicetype != DBT_DEVTYP_HANDLE ||
        reinterpret_cast<const DEV_BROADCAST_HANDLE*>(pHeader)->dbch_handle != m_pAdapter->m_hDevice)
        return FALSE;
    RemoveAdapter();
    return TRUE;
}

// The adapter's USB interface went while its handle is still open. Normally the handle's own removal comes
// first and has closed it; a handle still open here heard of nothing, because the adapter was pulled
// before its handle notification was registered (between the opening and the arrival timer) or it was
// registered on a handle whose device had gone already. Without this the dead handle would stay, and
// every later plug-in would be ignored.
BOOL CDispoDlg::OnAdapterInterfaceRemoval(const DEV_BROADCAST_HDR* pHeader) {
    if (m_pAdapter == nullptr || m_pAdapter->m_hDevice == INVALID_HANDLE_VALUE || pHeader == nullptr ||
        pHeader->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return FALSE;
    auto* pInterface = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(pHeader);
    if (!StrContainsNoCase(pInterface->dbcc_name, m_pAdapter->m_pszUsbId))
        return FALSE;
    DbgTrace("Device %s was removed before its handle heard of it\n", m_pAdapter->m_pszUsbId);
    KillTimer(ARRIVAL_TIMER);
    RemoveAdapter();
    return TRUE;
}

void CDispoDlg::RemoveAdapter() {
    CAdapter& adapter = *m_pAdapter;
    CycleMonitorPower();
    adapter.SetReady(false);
    DbgTrace("Remove device \n");
    adapter.RecordLiveState();
    DispMode current;
    if (GetDevCurrentMode(&current, adapter.m_ddActive)) {
        adapter.StoreMode(current);
        adapter.SaveSettings();
        DbgTrace("DISPLAYCHANGE x = %d, y = %d, z = %d\n", current.nWidth, current.nHeight, current.nBpp);
    }
    adapter.TurnOffDev();
    DbgTrace("TurnOffDev \n");
    RestoreSavedSystem(/*bForget*/ false);
    adapter.CloseDevice();
    DbgTrace("Remove device and Close handle\n");
    if (m_pTrayIcon != nullptr)
        m_pTrayIcon->RemoveFromTray();
    if (m_osvi.dwMajorVersion >= 6) {
        RunDwmService(true);
        DbgTrace("Enable Composition\n");
    }
}

BOOL GetDevCurrentMode(DispMode* pMode, const DISPLAY_DEVICEA& dd) {
    DEVMODEA dm;
    InitDevMode(dm);
    // A display off the desktop still answers, with a mode of 0 x 0 x 0; saving that would wipe the
    // resolution the user chose, so it counts as no mode at all.
    if (!EnumDisplaySettingsA(dd.DeviceName, ENUM_CURRENT_SETTINGS, &dm) || dm.dmPelsWidth == 0 ||
        dm.dmPelsHeight == 0) {
        *pMode = {};
        return FALSE;
    }
    *pMode = {(int)dm.dmPelsWidth, (int)dm.dmPelsHeight, (int)dm.dmBitsPerPel};
    return TRUE;
}
