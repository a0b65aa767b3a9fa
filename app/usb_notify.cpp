// Notifications of USB device interfaces: how a plugged-in adapter reaches the main window.
#include <windows.h>
#include <dbt.h>

#include "adapter/usb_interface.h"
#include "app/dispo_app.h"
#include "framework/wnd.h"
#include "sysint/dbg_trace.h"

void CDispoApp::RegisterUsbNotify() {
    DEV_BROADCAST_DEVICEINTERFACE_A filter = {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kGuidDevInterfaceUsbDevice;
    HWND hRecipient = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    // Every USB interface that comes or goes is reported; the window picks the adapter out by its path.
    m_hUsbNotify = RegisterDeviceNotificationA(hRecipient, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    DbgTrace("Handle of device notification %x",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(m_hUsbNotify)));
}
