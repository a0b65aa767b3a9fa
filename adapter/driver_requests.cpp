// The requests sent to the driver, with the waits and retries the driver needs around them.
#include <windows.h>

#include "adapter/adapter.h"
#include "sysint/dbg_trace.h"

namespace {
constexpr int kReadyPollsBeyondFirst = 41; // the driver gets 20.5 seconds to come up
constexpr int kMirrorRetries = 11;         // and 5.5 seconds to switch its mirror output
constexpr DWORD kDriverPauseMs = 500;
} // namespace

BOOL CAdapter::SendRequest(DWORD dwCode, LPVOID pIn, DWORD cbIn, LPVOID pOut, DWORD cbOut) {
    DWORD cbReturned = 0;
    return DeviceIoControl(m_hDevice, dwCode, pIn, cbIn, pOut, cbOut, &cbReturned, nullptr);
}

bool CAdapter::PollReady(bool bMirror) {
    const DWORD dwCode = bMirror ? IOCTL_MIR_DEV_READY : IOCTL_DEV_READY;
    for (int nCount = 0;;) {
        // Only the answer word counts: the call itself may fail while the driver is still starting.
        DWORD dwReady = 0;
        SendRequest(dwCode, nullptr, 0, &dwReady, sizeof(dwReady));
        if (dwReady == 1)
            return true;
        if (nCount >= kReadyPollsBeyondFirst)
            return false;
        Sleep(kDriverPauseMs);
        ++nCount;
        DbgTrace(bMirror ? "DZTK: WaitMirDevReady ... %d\n" : "DZTK: WaitDevReady ... %d\n", nCount);
    }
}

bool CAdapter::WaitDevReady() {
    if (!HasDevice()) {
        DbgTrace("WaitDevReady:  handle invalid\n");
        return false;
    }
    return PollReady(false);
}

bool CAdapter::WaitMirDevReady() {
    // An adapter without a mirror driver has nothing to wait for, open or not.
    if (m_bHasMirror == 0)
        return true;
    if (!HasDevice()) {
        DbgTrace("WaitMirDevReady:  handle invalid\n");
        return false;
    }
    return PollReady(true);
}

bool CAdapter::SetMirror(bool bOn) {
    if (!HasDevice()) {
        DbgTrace("set mirror IOCTL failed, handle is invalid\n");
        return false;
    }
    DWORD dwOn = bOn ? 1 : 0;
    for (int nRetry = 0; !SendRequest(IOCTL_SET_MIRROR, &dwOn, sizeof(dwOn), nullptr, 0); ++nRetry) {
        if (nRetry >= kMirrorRetries)
            break;
        Sleep(kDriverPauseMs);
    }
    // The callers go on with the display change whether or not the driver confirmed the switch.
    return true;
}

bool CAdapter::SetMirrorCenter(const MirrorCenter& center) {
    if (!HasDevice()) {
        DbgTrace("set mirror center IOCTL failed, handle is invalid\n");
        return false;
    }
    MirrorCenter input = center;
    return SendRequest(IOCTL_SET_MIRROR_CENTER, &input, sizeof(input), nullptr, 0) != FALSE;
}

bool CAdapter::SendRotation(int nRotation) {
    if (!HasDevice()) {
        DbgTrace("set Rotatioon IOCTL failed, handle is invalid\n");
        return false;
    }
    DWORD dwRotation = static_cast<DWORD>(nRotation);
    return SendRequest(IOCTL_SET_ROTATION, &dwRotation, sizeof(dwRotation), nullptr, 0) != FALSE;
}
