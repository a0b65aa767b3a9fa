// dialog-probe.exe: the countdown confirmation alone, opened the way duodesk.exe opens it after a change
// of its adapter's resolution, which a machine without the adapter (Wine's) never gets to. The dialog is
// the product's own CDlgWarning from the product's own code and resources. A program of the test suite,
// built with the Windows executables and never shipped. Its exit code is the dialog's answer: 1 OK,
// 2 Cancel (also the end of the countdown), -1 when the dialog could not be made.
#include <windows.h>

#include "sysint/disp_dev.h"
#include "tray/dlg_warning.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // As at the program's start: the system's own display is looked up once, before anything changes.
    DispDevInit();
    CDlgWarning dlg;
    return static_cast<int>(dlg.RunModal());
}
