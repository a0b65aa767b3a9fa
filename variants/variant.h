// The build constants of one deliverable. Both programs are built from the same sources; this table is
// the only thing that differs between them. Each deliverable's file names its fields (".instanceName =
// ..."): the Windows build reads the instance name from there for the installer's uninstaller.
#pragma once

struct DuodeskVariant {
    const char* exeName;      // executable base name, also the profile's application key
    const char* usbId;        // text looked for in the USB device-interface paths of the adapter
    const char* dispDevId;    // DeviceID of the adapter's own display device
    const char* mirDevId;     // DeviceID of the adapter's mirror display driver
    const char* trayTip;      // tooltip of the notification-area icon
    const char* instanceName; // single-instance mutex and the hidden main window's title
    bool traceRotationVerbs;  // a second start traces the rotation verb it forwards
};

extern const DuodeskVariant g_variant;
