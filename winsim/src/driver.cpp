// The adapter's driver: the file object CreateFileA opens on a USB device interface, and the requests
// DeviceIoControl makes of it.
#include "faults.h"
#include "kernel.h"
#include "machine.h"
#include "process.h"
#include "usb.h"

#include <winioctl.h>

#include <cstring>

namespace winsim {
namespace {

constexpr DWORD kIoctlDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetMirror = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlMirDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetRotation = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x85F, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kIoctlSetMirrorCenter =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x866, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kMirrorCenterBytes = 28;

DWORD ReadWord(LPVOID buffer, DWORD size) {
    DWORD value = 0;
    if (buffer && size >= sizeof value)
        memcpy(&value, buffer, sizeof value);
    return value;
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

bool IsStale(const KernelObject& file) {
    return file.usbIndex >= 0 && file.usbRemovals != M().usb[file.usbIndex].removals;
}

} // namespace winsim

using namespace winsim;

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
