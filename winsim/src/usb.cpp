// The USB side of the machine: device interfaces behind the setup API, the adapter's driver behind
// CreateFileA/DeviceIoControl, and the WM_DEVICECHANGE notifications of plug and unplug.
#include "faults.h"
#include "display.h"
#include "kernel.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "usb.h"
#include "window.h"

#include <winioctl.h>

namespace winsim {
namespace {

const GUID kUsbDeviceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr DWORD kIoctlDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetMirror = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlMirDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetRotation = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x85F, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetMirrorCenter =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x866, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kMirrorCenterBytes = 28;
constexpr DWORD kErrorInvalidUserBuffer = 1784;

KernelObject* DevInfoSet(HDEVINFO set) {
    HandleEntry* entry = LookupHandle(set);
    return entry && entry->object->kind == ObjectKind::DevInfoSet ? entry->object : nullptr;
}

bool IsAdapterInterface(int usbIndex) {
    const AdapterDevice& a = M().adapter;
    return a.declared && usbIndex == a.interfaceIndex;
}

DWORD ReadWord(LPVOID buffer, DWORD size) {
    DWORD value = 0;
    if (buffer && size >= sizeof value)
        memcpy(&value, buffer, sizeof value);
    return value;
}

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

// A handle opened on the interface before its last removal: the device behind it is gone for good, even
// when the same device has been plugged in again since.
bool IsStale(const KernelObject& file) {
    return file.usbIndex >= 0 && file.usbRemovals != M().usb[file.usbIndex].removals;
}

int FindUsb(const char* path) {
    const Machine& m = M();
    for (size_t i = 0; i < m.usb.size(); ++i) {
        if (EqualNoCase(m.usb[i].path.c_str(), path))
            return static_cast<int>(i);
    }
    return -1;
}

// Arrival or completed removal of an interface, to every window registered for the USB interface class.
void SendInterfaceEvent(const Str& path, UINT event) {
    for (const DeviceNotification& n : M().notifications) {
        if (!WantsUsbInterfaces(n))
            continue;
        Vec<BYTE> record = InterfaceRecord(path);
        QueueSentMessage(n.pid, n.recipient, WM_DEVICECHANGE, event, record.data(), record.size());
    }
}

// Windows holding a handle on the interface hear of its removal through their handle registrations: the
// query, then the completed removal. With `completeOnAnswer` the answer to the last query completes the
// adapter's removal. Returns whether any query went out.
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

// The readiness polls: the driver answers 0 to the first `after` polls since the plug-in, and to the
// `notReadyLeft` polls it still owes since the last resume; otherwise 1.
DWORD ReadyAnswer(int after, int& polls, int& notReadyLeft) {
    ++polls;
    if (notReadyLeft > 0) {
        --notReadyLeft;
        return 0;
    }
    return after >= 0 && polls > after ? 1 : 0;
}

} // namespace

KernelObject* FileObject(HANDLE handle) {
    HandleEntry* entry = LookupHandle(handle);
    return entry && entry->object->kind == ObjectKind::File ? entry->object : nullptr;
}

void PlugAdapter() {
    Machine& m = M();
    AdapterDevice& a = m.adapter;
    if (!a.declared || a.plugged)
        return;
    a.plugged = true;
    a.readyPolls = 0;
    a.mirrorReadyPolls = 0;
    a.setMirrorFailuresLeft = a.setMirrorFails;
    a.mirror = 0;
    a.rotation = 0;
    a.mirrorCenter.clear();
    UsbInterface& usb = m.usb[a.interfaceIndex];
    usb.present = true;
    for (DisplayDevice& d : m.displays) {
        if (d.ofAdapter)
            d.present = true;
    }
    // Arrival goes to every window registered for the USB device interface class.
    SendInterfaceEvent(usb.path, DBT_DEVICEARRIVAL);
}

void UnplugAdapter() {
    Machine& m = M();
    AdapterDevice& a = m.adapter;
    if (!a.declared || !a.plugged)
        return;
    a.plugged = false; // the driver answers no more requests
    UsbInterface& usb = m.usb[a.interfaceIndex];
    // The device, and its displays, stay until the last query has been answered, so the program can still
    // take them off the desktop.
    bool queried = SendHandleRemoval(a.interfaceIndex, /*completeOnAnswer*/ true);
    // The device behind the handles opened so far is gone for good, also when it is plugged in again before
    // the query has been answered.
    usb.removals++;
    SendInterfaceEvent(usb.path, DBT_DEVICEREMOVECOMPLETE);
    if (!queried)
        CompleteAdapterRemoval();
}

void PlugUsbDevice(const char* path) {
    Machine& m = M();
    int index = FindUsb(path);
    if (index >= 0 && IsAdapterInterface(index)) {
        PlugAdapter();
        return;
    }
    if (index < 0) {
        UsbInterface usb;
        usb.path = path;
        usb.present = false;
        m.usb.push_back(usb);
        index = static_cast<int>(m.usb.size()) - 1;
    }
    UsbInterface& usb = m.usb[index];
    if (usb.present)
        return;
    usb.present = true;
    SendInterfaceEvent(usb.path, DBT_DEVICEARRIVAL);
}

void UnplugUsbDevice(const char* path) {
    Machine& m = M();
    int index = FindUsb(path);
    if (index >= 0 && IsAdapterInterface(index)) {
        UnplugAdapter();
        return;
    }
    if (index < 0 || !m.usb[index].present)
        return;
    // Another device's removal waits for no one: nothing of the desktop depends on it.
    SendHandleRemoval(index, /*completeOnAnswer*/ false);
    UsbInterface& usb = m.usb[index];
    usb.present = false;
    usb.removals++;
    SendInterfaceEvent(usb.path, DBT_DEVICEREMOVECOMPLETE);
}

void CompleteAdapterRemoval() {
    Machine& m = M();
    AdapterDevice& a = m.adapter;
    UsbInterface& usb = m.usb[a.interfaceIndex];
    if (a.plugged || !usb.present)
        return;
    usb.present = false;
    for (DisplayDevice& d : m.displays) {
        if (d.ofAdapter)
            d.present = false;
    }
    // The adapter's displays leave the desktop with it.
    DisplayHardwareChanged();
}

void AdapterWakes() {
    AdapterDevice& a = M().adapter;
    if (!a.declared)
        return;
    if (a.resumeReenumerates && a.plugged) {
        // The device went while the machine slept: by the time Windows wakes it is gone, whatever the
        // program answers to the query, and it is found again at once.
        Note("resume: the adapter is enumerated again");
        UnplugAdapter();
        CompleteAdapterRemoval();
        PlugAdapter();
    }
    a.notReadyLeft = a.resumeNotReady;
    a.mirrorNotReadyLeft = a.resumeNotReady;
    a.attachRefusalsLeft = a.attachRefuses;
}

bool MirrorRefusesDepth(const DisplayDevice& d, const DisplaySettings& target) {
    if (!d.ofAdapter || !IsMirror(d) || !M().adapter.mirrorNo32 || !target.attached || target.mode.bpp != 32)
        return false;
    Note("the adapter's mirror driver cannot run at 32 bits per pixel: it leaves the desktop");
    return true;
}

bool AdapterRefusesAttach(const DisplayDevice& d) {
    AdapterDevice& a = M().adapter;
    if (!d.ofAdapter || IsMirror(d) || d.current.attached || a.attachRefusalsLeft <= 0)
        return false;
    --a.attachRefusalsLeft;
    Note("the adapter's display refuses to come on the desktop: DISP_CHANGE_FAILED (%d more refusals)",
         a.attachRefusalsLeft);
    return true;
}

} // namespace winsim

using namespace winsim;

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, LPCSTR Enumerator, HWND, DWORD Flags) {
    WINSIM_ENTRY(SetupDiGetClassDevsA, INVALID_HANDLE_VALUE);
    if (!ClassGuid || Enumerator || !(Flags & DIGCF_DEVICEINTERFACE)) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    KernelObject* set = New<KernelObject>();
    set->kind = ObjectKind::DevInfoSet;
    if (*ClassGuid == kUsbDeviceClass) {
        for (const UsbInterface& usb : M().usb) {
            if (usb.present || !(Flags & DIGCF_PRESENT))
                set->paths.push_back(usb.path);
        }
    }
    return AddHandle(set, 0);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA, const GUID* InterfaceClassGuid,
                                 DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    WINSIM_ENTRY(SetupDiEnumDeviceInterfaces, FALSE);
    KernelObject* set = DevInfoSet(DeviceInfoSet);
    if (!set) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!DeviceInterfaceData || DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    if (!InterfaceClassGuid || MemberIndex >= set->paths.size()) {
        SetError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
    DeviceInterfaceData->Flags = 1; // SPINT_ACTIVE
    DeviceInterfaceData->Reserved = MemberIndex + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA) {
    WINSIM_ENTRY(SetupDiGetDeviceInterfaceDetailA, FALSE);
    KernelObject* set = DevInfoSet(DeviceInfoSet);
    if (!set) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!DeviceInterfaceData || DeviceInterfaceData->Reserved == 0 ||
        DeviceInterfaceData->Reserved > set->paths.size()) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Str& path = set->paths[DeviceInterfaceData->Reserved - 1];
    DWORD required =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize)
        *RequiredSize = required;
    if (!DeviceInterfaceDetailData) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    if (DeviceInterfaceDetailDataSize < required) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    WINSIM_ENTRY(SetupDiDestroyDeviceInfoList, FALSE);
    if (!DevInfoSet(DeviceInfoSet)) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(DeviceInfoSet);
}

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD, HANDLE) {
    WINSIM_ENTRY(CreateFileA, INVALID_HANDLE_VALUE);
    Machine& m = M();
    if (!lpFileName || dwCreationDisposition != OPEN_EXISTING) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    for (size_t i = 0; i < m.usb.size(); ++i) {
        if (!m.usb[i].present || !EqualNoCase(m.usb[i].path.c_str(), lpFileName))
            continue;
        if (IsAdapterInterface(static_cast<int>(i)) && m.adapter.openFails) {
            SetError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        KernelObject* file = New<KernelObject>();
        file->kind = ObjectKind::File;
        file->usbIndex = static_cast<int>(i);
        file->usbRemovals = m.usb[i].removals;
        file->name = m.usb[i].path;
        SetError(ERROR_SUCCESS);
        return AddHandle(file, dwDesiredAccess);
    }
    SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED) {
    WINSIM_ENTRY(DeviceIoControl, FALSE);
    Machine& m = M();
    KernelObject* file = FileObject(hDevice);
    if (!file) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    if (!IsAdapterInterface(file->usbIndex)) {
        SetError(ERROR_INVALID_FUNCTION); // another device's driver does not know these requests
        return FALSE;
    }
    AdapterDevice& a = m.adapter;
    DriverRequest request;
    request.time = m.now;
    request.pid = CurrentProcess().pid;
    request.code = dwIoControlCode;
    if (lpInBuffer && nInBufferSize)
        request.input.assign(static_cast<BYTE*>(lpInBuffer), static_cast<BYTE*>(lpInBuffer) + nInBufferSize);
    DWORD error = ERROR_SUCCESS;
    if (!a.plugged || !m.usb[file->usbIndex].present || IsStale(*file)) {
        error = ERROR_DEVICE_NOT_CONNECTED;
    } else if (dwIoControlCode == kIoctlDevReady || dwIoControlCode == kIoctlMirDevReady) {
        if (!lpOutBuffer || nOutBufferSize < sizeof(DWORD)) {
            error = ERROR_INSUFFICIENT_BUFFER;
        } else {
            DWORD answer = dwIoControlCode == kIoctlDevReady
                               ? ReadyAnswer(a.readyAfter, a.readyPolls, a.notReadyLeft)
                               : ReadyAnswer(a.mirrorReadyAfter, a.mirrorReadyPolls, a.mirrorNotReadyLeft);
            memcpy(lpOutBuffer, &answer, sizeof answer);
            request.hasOutputWord = true;
            request.outputWord = answer;
            if (lpBytesReturned)
                *lpBytesReturned = sizeof answer;
        }
    } else if (dwIoControlCode == kIoctlSetMirror) {
        if (nInBufferSize < sizeof(DWORD)) {
            error = ERROR_INVALID_PARAMETER;
        } else if (a.setMirrorFailuresLeft > 0) {
            --a.setMirrorFailuresLeft;
            error = ERROR_GEN_FAILURE;
        } else {
            a.mirror = ReadWord(lpInBuffer, nInBufferSize);
        }
    } else if (dwIoControlCode == kIoctlSetRotation) {
        if (nInBufferSize < sizeof(DWORD))
            error = ERROR_INVALID_PARAMETER;
        else
            a.rotation = ReadWord(lpInBuffer, nInBufferSize);
    } else if (dwIoControlCode == kIoctlSetMirrorCenter) {
        if (nInBufferSize != kMirrorCenterBytes)
            error = ERROR_INVALID_PARAMETER;
        else
            a.mirrorCenter = request.input;
    } else {
        error = ERROR_INVALID_FUNCTION;
    }
    request.result = error == ERROR_SUCCESS ? TRUE : FALSE;
    m.driverLog.push_back(std::move(request));
    SetError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

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
