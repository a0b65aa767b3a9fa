// The process entry, the same for the Windows executables and the simulator. In the simulator one process
// runs program start after program start, and a second start may run in a forked copy of a running one:
// every call builds its application object from nothing.
#include <windows.h>

#include "framework/app.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR lpCmdLine, int nShowCmd) {
    CWinApp* pApp = FwCreateApp();
    pApp->InitEntry(hInstance, lpCmdLine, nShowCmd);
    if (pApp->InitInstance())
        pApp->RunMessageLoop();
    const int nExitCode = pApp->ExitInstance();
    pApp->~CWinApp();
    return nExitCode;
}
