#include <windows.h>

#include "sysint/dwm_service.h"

namespace {
constexpr DWORD kSettleMs = 2000;
}

void StopDwmAndWait() {
    // The service stop itself arrives with the Windows version probes (composition exists from Vista on);
    // the pause is needed on every version.
    Sleep(kSettleMs);
}
