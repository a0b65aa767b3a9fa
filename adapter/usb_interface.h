// The device-interface class of USB devices (GUID_DEVINTERFACE_USB_DEVICE). The adapter's driver exposes
// its channel as an interface of this class; its path carries the adapter's USB vendor and product id.
#pragma once
#include <windows.h>

constexpr GUID kGuidDevInterfaceUsbDevice = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
