// The adapter driver's device I/O control requests. All are buffered, any-access requests of an unknown
// device type; the driver answers them synchronously, so no overlapped record is passed.
#pragma once
#include <windows.h>
#include <winioctl.h>

// Output: one 32-bit word, 1 once the adapter's own display device is ready.
constexpr DWORD IOCTL_DEV_READY = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input: one 32-bit word, 1 = mirror on, 0 = off. The call fails until the driver has switched.
constexpr DWORD IOCTL_SET_MIRROR = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Output: one 32-bit word, 1 once the mirror display device is ready.
constexpr DWORD IOCTL_MIR_DEV_READY = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input: one 32-bit word, the rotation index 0..3.
constexpr DWORD IOCTL_SET_ROTATION = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x85F, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Input: a MirrorCenter record.
constexpr DWORD IOCTL_SET_MIRROR_CENTER =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x866, METHOD_BUFFERED, FILE_ANY_ACCESS);

static_assert(IOCTL_DEV_READY == 0x222144 && IOCTL_SET_MIRROR == 0x222148 &&
                  IOCTL_MIR_DEV_READY == 0x22214C && IOCTL_SET_ROTATION == 0x22217C &&
                  IOCTL_SET_MIRROR_CENTER == 0x222198,
              "the codes the driver knows");

// What the driver is told when the adapter mirrors the primary display: seven little-endian 32-bit words,
// zero-filled before the fields are set.
struct MirrorCenter {
    DWORD dwSysWidth; // primary display
    DWORD dwSysHeight;
    DWORD dwMirWidth; // adapter display while mirroring
    DWORD dwMirHeight;
    DWORD dwFrequency; // always 60
    DWORD dwMirBpp;
    DWORD dwReserved;
};
static_assert(sizeof(MirrorCenter) == 28, "the driver reads exactly 28 bytes");
