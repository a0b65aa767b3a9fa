// What the simulator needs to know to start the program as a simulated process.
#pragma once
#include <windows.h>
#include <winsim/resources.h>

namespace winsim {

struct ProgramImage {
    const char* imageName; // "duodesk.exe"; the module file name is C:\Program Files\duodesk\<imageName>
    int (*winMain)(HINSTANCE, HINSTANCE, LPSTR, int);
    const ResourceTable* resources;
    const char* adapterUsbId; // the USB id text of the adapter model this build drives ("vid_5a1e&pid_7300")
    // DeviceIDs of the adapter's own display device and of its mirror display driver; they are display
    // devices of the machine only while the adapter is plugged in.
    const char* adapterDisplayId = nullptr;
    const char* adapterMirrorId = nullptr;
    // The title of the resident instance's top-level window ("KIVA 7300"), where another program's posts
    // (scenario event post) go.
    const char* instanceName = nullptr;
};

} // namespace winsim
