// setupapi.dll: the device interfaces of the USB class, as SetupDiGetClassDevsA lists them.
#include "faults.h"
#include "kernel.h"
#include "machine.h"
#include "process.h"
#include "usb.h"

#include <cstring>

namespace winsim {
namespace {

constexpr DWORD kErrorInvalidUserBuffer = 1784;

KernelObject* DevInfoSet(HDEVINFO set) {
    HandleEntry* entry = LookupHandle(set);
    return entry && entry->object->kind == ObjectKind::DevInfoSet ? entry->object : nullptr;
}

} // namespace
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
