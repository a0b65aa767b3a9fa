// USB device interfaces, the adapter and its driver, and the device notifications programs register for.
#pragma once

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>

#include "containers.h"
#include "display.h"
#include "kernel.h"

namespace winsim {

struct UsbInterface {
    Str path{Arena()};
    bool present = true;
    bool isAdapter = false;
    int removals = 0; // how often it has gone; a handle opened before its last removal stays dead
};

struct DriverRequest {
    VirtualMs time = 0;
    DWORD pid = 0;
    DWORD code = 0;
    Vec<BYTE> input{Arena()};
    BOOL result = FALSE;
    bool hasOutputWord = false;
    DWORD outputWord = 0;
};

struct AdapterDevice {
    bool declared = false;
    bool plugged = false;
    int interfaceIndex = -1;  // into Machine::usb
    int readyAfter = 0;       // the driver answers 0 to this many IOCTL_DEV_READY polls, then 1; -1 = never
    int mirrorReadyAfter = 0; // the same for IOCTL_MIR_DEV_READY
    int setMirrorFails = 0;   // this many IOCTL_SET_MIRROR requests fail after each plug-in
    bool openFails = false;   // CreateFileA on its interface fails with ERROR_ACCESS_DENIED
    // Across a sleep (docs/scenarios.md, the adapter's options).
    bool resumeReenumerates = false; // a resume unplugs and plugs it again before the power broadcasts
    int resumeNotReady = 0;          // after each resume both readiness polls answer 0 this many times
    int attachRefuses = 0;           // after each resume its display refuses this many attaches
    bool mirrorNo32 = false;         // its mirror driver cannot run at 32 bits per pixel
    // Driver state since the last plug-in.
    int readyPolls = 0;
    int mirrorReadyPolls = 0;
    int setMirrorFailuresLeft = 0;
    // What is left since the last resume.
    int notReadyLeft = 0;
    int mirrorNotReadyLeft = 0;
    int attachRefusalsLeft = 0;
    DWORD mirror = 0;
    DWORD rotation = 0;
    Vec<BYTE> mirrorCenter{Arena()};
};

struct DeviceNotification {
    uintptr_t handle = 0;
    DWORD pid = 0;
    HWND recipient = nullptr;
    DWORD deviceType = 0; // DBT_DEVTYP_DEVICEINTERFACE or DBT_DEVTYP_HANDLE
    DWORD filterSize = 0; // the dbch_size / dbcc_size the program passed
    DWORD flags = 0;
    GUID classGuid{};
    uintptr_t fileHandle = 0; // the program's handle value, reported back in DEV_BROADCAST_HANDLE
    KernelObject* file = nullptr;
    bool active = true;
};

void PlugAdapter();
void UnplugAdapter();
// Another USB device interface arrives or goes (scenario events plug-usb and unplug-usb); the adapter's own
// path is the same as PlugAdapter and UnplugAdapter.
void PlugUsbDevice(const char* path);
void UnplugUsbDevice(const char* path);
void CompleteAdapterRemoval();
// The machine has resumed: the adapter comes back as its options say, before the power broadcasts.
void AdapterWakes();
// A program's change would put the adapter's own display, which is off the desktop, on it: whether the
// adapter refuses, as it may after a resume (scenario option attach-refuses). Each call counts.
bool AdapterRefusesAttach(const DisplayDevice& device);
// Whether the adapter's mirror driver would be asked to run at 32 bits per pixel while the adapter line
// says `mirror-no-32`: it then leaves the desktop instead (noted).
bool MirrorRefusesDepth(const DisplayDevice& device, const DisplaySettings& target);

// Shared by the files that stand in for the USB side of Windows: setupapi.cpp, driver.cpp,
// device_notify.cpp and usb.cpp (the bus).

// The USB device-interface class, GUID_DEVINTERFACE_USB_DEVICE.
extern const GUID kUsbDeviceClass;
// Whether a USB interface (an index into Machine::usb) is the adapter's.
bool IsAdapterInterface(int usbIndex);
// A handle opened on the interface before its last removal: the device behind it is gone for good, even
// when the same device has been plugged in again since.
bool IsStale(const KernelObject& file);
// Arrival or completed removal of an interface, to every window registered for the USB interface class.
void SendInterfaceEvent(const Str& path, UINT event);
// Windows holding a handle on the interface hear of its removal through their handle registrations: the
// query, then the completed removal. With `completeOnAnswer` the answer to the last query completes the
// adapter's removal. Returns whether any query went out.
bool SendHandleRemoval(int usbIndex, bool completeOnAnswer);

} // namespace winsim
