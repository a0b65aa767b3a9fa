// Device notifications (RegisterDeviceNotificationA): the WM_DEVICECHANGE messages of an interface's
// arrival and removal, and of the removal of a device a window holds a handle on.
#include "faults.h"
#include "kernel.h"
#include "machine.h"
#include "process.h"
#include "usb.h"
#include "window.h"

#include <cstring>

namespace winsim {

namespace {

// The record Windows sends about a device interface: the fixed part, then the path, zero-terminated.
Vec<BYTE> InterfaceRecord(const Str& path) {
    size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + path.size() + 1;
    Vec<BYTE> record(size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) ? sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)
                                                                    : size);
    auto* di = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(record.data());
    di->dbcc_size = static_cast<DWORD>(size);
    di->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    di->dbcc_classguid = kUsbDeviceClass;
    memcpy(di->dbcc_name, path.c_str(), path.size() + 1);
    return record;
}

bool WantsUsbInterfaces(const DeviceNotification& n) {
    return n.active && n.deviceType == DBT_DEVTYP_DEVICEINTERFACE &&
           ((n.flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) || n.classGuid == kUsbDeviceClass);
}

} // namespace

void SendInterfaceEvent(const Str& path, UINT event) {
    for (const DeviceNotification& n : M().notifications) {
        if (!WantsUsbInterfaces(n))
            continue;
        Vec<BYTE> record = InterfaceRecord(path);
        QueueSentMessage(n.pid, n.recipient, WM_DEVICECHANGE, event, record.data(), record.size());
    }
}

bool SendHandleRemoval(int usbIndex, bool completeOnAnswer) {
    Machine& m = M();
    DWORD lastQueryPid = 0;
    for (UINT event : {UINT(DBT_DEVICEQUERYREMOVE), UINT(DBT_DEVICEREMOVECOMPLETE)}) {
        for (const DeviceNotification& n : m.notifications) {
            if (!n.active || n.deviceType != DBT_DEVTYP_HANDLE || !n.file || n.file->usbIndex != usbIndex ||
                IsStale(*n.file))
                continue;
            DEV_BROADCAST_HANDLE record{};
            record.dbch_size = sizeof record;
            record.dbch_devicetype = DBT_DEVTYP_HANDLE;
            record.dbch_handle = reinterpret_cast<HANDLE>(n.fileHandle);
            record.dbch_hdevnotify = reinterpret_cast<HDEVNOTIFY>(n.handle);
            QueueSentMessage(n.pid, n.recipient, WM_DEVICECHANGE, event, &record, sizeof record);
            if (event == DBT_DEVICEQUERYREMOVE)
                lastQueryPid = n.pid;
        }
        if (event == DBT_DEVICEQUERYREMOVE && lastQueryPid != 0 && completeOnAnswer)
            FindProcess(lastQueryPid)->sent.back().followUp.kind = FollowUp::Kind::AdapterRemoval;
    }
    return lastQueryPid != 0;
}

} // namespace winsim

using namespace winsim;

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
    WINSIM_ENTRY(RegisterDeviceNotificationA, nullptr);
    Machine& m = M();
    Window* w = FindWindowRecord(reinterpret_cast<HWND>(hRecipient));
    if ((Flags & DEVICE_NOTIFY_SERVICE_HANDLE) || !w) {
        SetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* header = static_cast<DEV_BROADCAST_HDR*>(NotificationFilter);
    if (!header) {
        SetError(ERROR_INVALID_DATA);
        return nullptr;
    }
    DeviceNotification n;
    n.pid = CurrentProcess().pid;
    n.recipient = reinterpret_cast<HWND>(hRecipient);
    n.deviceType = header->dbch_devicetype;
    n.filterSize = header->dbch_size;
    n.flags = Flags;
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
        if (header->dbch_size < offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name)) {
            SetError(ERROR_INVALID_DATA);
            return nullptr;
        }
        n.classGuid = static_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(NotificationFilter)->dbcc_classguid;
    } else if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        auto* filter = static_cast<DEV_BROADCAST_HANDLE*>(NotificationFilter);
        if (header->dbch_size < offsetof(DEV_BROADCAST_HANDLE, dbch_eventguid)) {
            SetError(ERROR_INVALID_DATA);
            return nullptr;
        }
        KernelObject* file = FileObject(filter->dbch_handle);
        if (!file) {
            SetError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        n.file = file;
        n.fileHandle = reinterpret_cast<uintptr_t>(filter->dbch_handle);
    } else {
        SetError(ERROR_INVALID_DATA);
        return nullptr;
    }
    n.handle = m.nextNotification;
    m.nextNotification += 0x10;
    m.notifications.push_back(n);
    SetError(ERROR_SUCCESS);
    return reinterpret_cast<HDEVNOTIFY>(n.handle);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    WINSIM_ENTRY(UnregisterDeviceNotification, FALSE);
    for (DeviceNotification& n : M().notifications) {
        if (n.active && n.handle == reinterpret_cast<uintptr_t>(Handle) && n.pid == CurrentProcess().pid) {
            n.active = false;
            return TRUE;
        }
    }
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
}
