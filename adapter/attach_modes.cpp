// The adapter's desktop layouts: primary only, primary with the others extending it, extended, off; and
// reading back what the system shows. Every change goes through the display-device library, which marks
// the video keys and issues the ChangeDisplaySettingsExA sequences.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "adapter/adapter.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/str_util.h"

namespace {

constexpr int kFindPasses = 3;
constexpr DWORD kFindPauseMs = 500;

// Looks up the display device with this DeviceID, up to three times with a pause after each miss: the
// adapter's display devices appear a moment after its driver has come up.
bool FindDeviceById(const char* id, DISPLAY_DEVICEA* pdd) {
    for (int pass = 0; pass < kFindPasses; ++pass) {
        for (DWORD i = 0;; ++i) {
            pdd->cb = sizeof(*pdd);
            if (!EnumDisplayDevicesA(nullptr, i, pdd, 0))
                break;
            if (StrEqualNoCase(pdd->DeviceID, id))
                return true;
        }
        Sleep(kFindPauseMs);
    }
    return false;
}

} // namespace

// Device names and state flags change with every layout change, so the record of the device in use is
// looked up again by its DeviceID before each use.
bool CAdapter::RefreshActive() {
    size_t cb = strlen(m_pszActiveDevId) + 1;
    char* pszId = static_cast<char*>(malloc(cb));
    if (pszId == nullptr)
        return false;
    memcpy(pszId, m_pszActiveDevId, cb);
    BOOL bFound = DispDevFindById(pszId, m_ddActive);
    free(pszId);
    return bFound != FALSE;
}

void CAdapter::UpdateDisplayDev() {
    if (RefreshActive())
        DbgTrace("Update displaydev successful\n");
    else
        DbgTrace("Update displaydev Failed\n");
}

int CAdapter::GetDispState() {
    UpdateDisplayDev();
    DWORD dwFlags = m_ddActive.StateFlags;
    if (!(dwFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) {
        DbgTrace("get display state: off\n");
        return DISP_OFF;
    }
    if (dwFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) {
        DbgTrace("get display state: mirror\n");
        return DISP_MIRROR;
    }
    if (dwFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) {
        if (m_pHost != nullptr && m_pHost->IsIntelChip()) {
            DbgTrace("get display state: primary only\n");
            return DISP_PRIMARY_ONLY;
        }
        DbgTrace("get display state: primary ext\n");
        return DISP_PRIMARY_EXT;
    }
    DbgTrace("get display state: extended\n");
    return DISP_EXTENDED;
}

bool CAdapter::IsDevAttached() {
    RefreshActive();
    return DispDevIsAttached(m_ddActive) != 0;
}

bool CAdapter::DetachDev() {
    DbgTrace("DetachDev %s\n", m_pszActiveDevId);
    RefreshActive();
    DispDevDetach(m_ddActive);
    DbgTrace("get return %d\n", (int)DispDevLastResult());
    return true;
}

// The adapter's display alone on the desktop, as primary.
void CAdapter::AttachToDeskTopPrimaryOnly() {
    DbgTrace("AttachToDeskTopPrimaryOnly\n");
    RefreshActive();
    MakeActivePrimaryAlone();
}

void CAdapter::MakeActivePrimaryAlone() {
    if (!DispDevIsAttached(m_ddActive))
        DispDevAttachExtend(m_ddActive);
    DispDevDetachOthers(m_ddActive);
    DispDevDetachOrg();
    DispDevMakePrimary(m_ddActive);
}

// The adapter's display as primary, the other displays extending it to the right.
bool CAdapter::AttachToDeskTopPrimary() {
    if (!RefreshActive())
        return false;
    DbgTrace("AttachToDeskTopPrimary\n");
    MakeActivePrimaryAlone();
    DispDevReattachOthers();
    DispDevPlaceOrgRight();
    return true;
}

// The system's own display stays primary; the adapter's display extends the desktop to its right.
void CAdapter::AttachToDeskTopExt() {
    DbgTrace("AttachToDeskTopExt\n");
    DispDevSetOrgPrimary();
    RefreshActive();
    DispDevDetach(m_ddActive);
    RefreshActive();
    DispDevAttachExtend(m_ddActive);
}

bool CAdapter::SetSysToPrimary() {
    DbgTrace("SetSysToPrimary\n");
    DispDevSetOrgPrimary();
    return true;
}

void CAdapter::ReattachSysDisplay() {
    DispDevPlaceOrgRight();
}

void CAdapter::LeavePrimaryState(int nState, DWORD dwPauseMs) {
    auto pause = [dwPauseMs]() {
        if (dwPauseMs != 0)
            Sleep(dwPauseMs);
    };
    // Primary ext: the displays that extended the adapter's leave first, so that the system's own display
    // can take the origin, and come back last.
    const bool bOthers = nState == DISP_PRIMARY_EXT;
    if (bOthers) {
        DispDevDetachOthers(m_ddActive);
        pause();
    }
    ReattachSysDisplay();
    pause();
    SetSysToPrimary();
    pause();
    DetachDev();
    if (bOthers) {
        pause();
        DispDevReattachOthers();
    }
}

// Takes the adapter's display off the desktop by what the system shows now, and gives the desktop back to
// the system's own display.
bool CAdapter::TurnOffDev() {
    switch (const int nState = GetDispState()) {
    case DISP_PRIMARY_EXT:
    case DISP_PRIMARY_ONLY:
        LeavePrimaryState(nState, 0);
        break;
    case DISP_EXTENDED:
        DetachDev();
        break;
    case DISP_MIRROR: {
        DetachDev();
        DbgTrace("Turnoff device\n");
        if (m_pHost != nullptr)
            m_pHost->RestoreSavedSystem(/*bForget*/ false);
        break;
    }
    default:
        break;
    }
    return false;
}

bool CAdapter::FindDisplayDevices() {
    bool bFoundExt = FindDeviceById(m_pszDispDevId, &m_ddExt);
    if (bFoundExt) {
        DbgTrace("Got extend name %s %s \n", m_ddExt.DeviceName, m_ddExt.DeviceID);
        DbgTrace("Get extended display device\n");
    } else {
        DbgTrace("can't get extended display device\n");
    }
    bool bFoundMir = false;
    if (m_bHasMirror == 1) {
        bFoundMir = FindDeviceById(m_pszMirDevId, &m_ddMir);
        if (bFoundMir)
            DbgTrace("Got mirror name %s %s \n", m_ddMir.DeviceName, m_ddMir.DeviceID);
    }
    if (m_nDispState == DISP_MIRROR && bFoundMir) {
        m_ddActive = m_ddMir;
        m_pszActiveDevId = m_pszMirDevId;
    } else if (bFoundExt) {
        m_ddActive = m_ddExt;
        m_pszActiveDevId = m_pszDispDevId;
    }
    return bFoundExt || bFoundMir;
}

void CAdapter::TraceDisplayDevices() {
    DISPLAY_DEVICEA dd;
    for (DWORD i = 0;; ++i) {
        ZeroMemory(&dd, sizeof(dd));
        dd.cb = sizeof(dd);
        if (!EnumDisplayDevicesA(nullptr, i, &dd, 0))
            break;
        if (dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)
            DbgTrace("%s is attach on desktop\n", dd.DeviceID);
        else
            DbgTrace("%s is not attach on desktop\n", dd.DeviceID);
    }
}
