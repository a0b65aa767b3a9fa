// The USB bus: device interfaces arrive and go (the scenario's plug events), and the adapter comes back
// after a resume as its options say.
#include "display.h"
#include "machine.h"
#include "output.h"
#include "usb.h"

namespace winsim {

const GUID kUsbDeviceClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

namespace {

int FindUsb(const char* path) {
    const Machine& m = M();
    for (size_t i = 0; i < m.usb.size(); ++i) {
        if (EqualNoCase(m.usb[i].path.c_str(), path))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

bool IsAdapterInterface(int usbIndex) {
    const AdapterDevice& a = M().adapter;
    return a.declared && usbIndex == a.interfaceIndex;
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
