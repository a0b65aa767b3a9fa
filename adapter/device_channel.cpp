// Finding and opening the driver's device interface, and the handle notification that reports its
// removal.
#include <windows.h>
#include <setupapi.h>
#include <dbt.h>

#include <cstdlib>

#include "adapter/adapter.h"
#include "adapter/usb_interface.h"
#include "sysint/dbg_trace.h"
#include "sysint/dwm_service.h"
#include "sysint/str_util.h"

#if defined(_WIN32) && !defined(_WIN64) && !defined(WINSIM)
// The shipped 32-bit build: the setup API and the notification records must have the sizes the system
// checks in cbSize and dbch_size.
static_assert(sizeof(DEV_BROADCAST_HANDLE) == 44, "DEV_BROADCAST_HANDLE on 32-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "SP_DEVICE_INTERFACE_DATA on 32-bit Windows");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "SP_DEVICE_INTERFACE_DETAIL_DATA_A is packed");
#endif

namespace {

// The detail record of one interface: its path, in a buffer of the size the system asked for. Null when
// the size query, the allocation or the fetch fails.
SP_DEVICE_INTERFACE_DETAIL_DATA_A* FetchInterfaceDetail(HDEVINFO hDevInfo,
                                                        SP_DEVICE_INTERFACE_DATA* pInterface) {
    DWORD cbRequired = 0;
    SetupDiGetDeviceInterfaceDetailA(hDevInfo, pInterface, nullptr, 0, &cbRequired, nullptr);
    // The record's cbSize is written before the fetch; a size answer smaller than the record itself
    // would make that write run past the buffer.
    if (cbRequired < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return nullptr;
    // One byte more than asked, zeroed, so that the path is terminated whatever the system wrote.
    auto* pDetail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(calloc(cbRequired + 1, 1));
    if (pDetail == nullptr)
        return nullptr;
    // cbSize is the fixed part of the record, not the buffer size: 5 on 32-bit Windows, 8 on 64-bit.
    pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(hDevInfo, pInterface, pDetail, cbRequired, nullptr, nullptr)) {
        free(pDetail);
        return nullptr;
    }
    return pDetail;
}

} // namespace

HANDLE CAdapter::OpenDevicePath(LPCSTR pszPath) {
    // The driver completes requests itself; it still insists on an overlapped open.
    return CreateFileA(pszPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

bool CAdapter::OpenDevice() {
    HDEVINFO hDevInfo = SetupDiGetClassDevsA(&kGuidDevInterfaceUsbDevice, nullptr, nullptr,
                                             DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (hDevInfo == INVALID_HANDLE_VALUE)
        return false;

    for (DWORD dwIndex = 0;; ++dwIndex) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(hDevInfo, nullptr, &kGuidDevInterfaceUsbDevice, dwIndex,
                                         &interfaceData))
            break;
        SP_DEVICE_INTERFACE_DETAIL_DATA_A* pDetail = FetchInterfaceDetail(hDevInfo, &interfaceData);
        if (pDetail == nullptr) {
            // One interface whose path cannot be read must not hide the adapter enumerated after it.
            DbgTrace("Enum USB device %u: no path\n", static_cast<unsigned>(dwIndex));
            continue;
        }
        if (StrContainsNoCase(pDetail->DevicePath, m_pszUsbId)) {
            // The first matching interface is the adapter; a second one with the same id is not looked at.
            StopDwmAndWait();
            m_hDevice = OpenDevicePath(pDetail->DevicePath);
            free(pDetail);
            SetupDiDestroyDeviceInfoList(hDevInfo);
            DbgTrace("got  device\n");
            return true;
        }
        DbgTrace("Enum USB device %s\n", pDetail->DevicePath);
        free(pDetail);
    }
    SetupDiDestroyDeviceInfoList(hDevInfo);
    return false;
}

bool CAdapter::RegisterDevNotify(HWND hRecipient) {
    if (!HasDevice())
        return false;
    DEV_BROADCAST_HANDLE filter = {};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = m_hDevice;
    HDEVNOTIFY hNotify = RegisterDeviceNotificationA(hRecipient, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (hNotify != nullptr)
        m_hDevNotify = hNotify;
    return true;
}

bool CAdapter::UnregisterDevNotify() {
    if (m_hDevNotify == nullptr)
        return false;
    UnregisterDeviceNotification(m_hDevNotify);
    m_hDevNotify = nullptr;
    return true;
}
