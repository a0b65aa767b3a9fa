/* What the test bus driver (testbus.c) and its controller (testbus_ctl.c) share: the bus device's name
 * and the requests the controller sends it. Test equipment, never installed by the setup programs. */
#pragma once

/* The bus device, opened by the controller as \\.\DuodeskTestBus. */
#define TESTBUS_DEVICE_NAME L"\\Device\\DuodeskTestBus"
#define TESTBUS_LINK_NAME L"\\DosDevices\\DuodeskTestBus"
#define TESTBUS_USER_PATH "\\\\.\\DuodeskTestBus"

/* The longest USB id text a child can carry ("vid_5a1e&pid_7300" and the like), its end included. */
#define TESTBUS_ID_CHARS 32

#define TESTBUS_CODE(function)                                                                               \
    CTL_CODE(FILE_DEVICE_BUS_EXTENDER, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: the USB id text. Reports one more child with that id. */
#define IOCTL_TESTBUS_PLUG TESTBUS_CODE(0x900)
/* Input: the USB id text. Drops the child with that id. */
#define IOCTL_TESTBUS_UNPLUG TESTBUS_CODE(0x901)
/* Input: two 32-bit words: the poll on which the device, then the mirror device, first answers ready
 * (1 = the first; 0 = never). Applies to the children plugged afterwards. */
#define IOCTL_TESTBUS_READY TESTBUS_CODE(0x902)
/* Output: the log of every request so far, one a line. */
#define IOCTL_TESTBUS_LOG TESTBUS_CODE(0x903)
