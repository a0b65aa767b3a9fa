#include <windows.h>

#include "sysint/dbg_trace.h"
#include "sysint/dwm_service.h"

namespace {
constexpr DWORD kSettleMs = 2000;
constexpr char kDwmServiceName[] = "UxSms";
} // namespace

bool RunDwmService(bool bRun) {
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (hManager == nullptr) {
        DbgTrace("OpenSCManager fail\n");
        return false;
    }
    SC_HANDLE hService = OpenServiceA(hManager, kDwmServiceName, SERVICE_ALL_ACCESS);
    if (hService == nullptr) {
        DbgTrace("OpenService fail\n");
        // The manager handle would otherwise leak on every call on Windows before Vista.
        CloseServiceHandle(hManager);
        return false;
    }
    bool bDone;
    if (bRun) {
        bDone = StartServiceA(hService, 0, nullptr) != FALSE;
        DbgTrace(bDone ? "Start DWM service success\n" : "Start DWM service fail\n");
    } else {
        // The stop is only requested: the service reports STOP_PENDING and winds down by itself, which is
        // what the caller's pause is for.
        SERVICE_STATUS status = {};
        bDone = ControlService(hService, SERVICE_CONTROL_STOP, &status) != FALSE;
        DbgTrace(bDone ? "Stop DWM service success\n" : "Stop DWM service fail\n");
    }
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    if (!bDone)
        DbgTrace(bRun ? "Run DWM Service" : "Stop DWM Service\n");
    return bDone;
}

void StopDwmAndWait() {
    RunDwmService(false);
    Sleep(kSettleMs);
}
