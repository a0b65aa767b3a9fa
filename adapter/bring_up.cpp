// What the adapter's display shows: its resolution and rotation, the switch between its own display
// device and its mirror display driver, and the bring-up in the state and resolution saved in the profile.
#include <windows.h>

#include <utility>

#include "adapter/adapter.h"
#include "adapter/profile_names.h"
#include "framework/app.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {

constexpr DWORD kMirrorRefreshHz = 60;
constexpr DWORD kAttachSettleMs = 1000;
constexpr int kFallbackWidth = 1024;
constexpr int kFallbackHeight = 768;
constexpr int kFallbackBpp = 32;

} // namespace

// The mirror driver attached at the desktop's origin, at a mode both the adapter and the primary display
// can show.
bool CAdapter::AttachToDeskTopMir() {
    DbgTrace("AttachToDeskTopMir Start\n");
    RefreshActive();
    DEVMODEA dm;
    InitDevMode(dm);
    if (m_pHost != nullptr) {
        dm.dmBitsPerPel = static_cast<DWORD>(m_pHost->GetSysBpp());
        dm.dmPelsWidth = static_cast<DWORD>(m_pHost->GetSysWidth());
        dm.dmPelsHeight = static_cast<DWORD>(m_pHost->GetSysHeight());
    }
    MirrorCenter center = {};
    if (!FindMirrorRes(&dm, &center))
        SyncMirrorDPI(&dm);

    m_nMirWidth = static_cast<int>(dm.dmPelsWidth);
    m_nMirHeight = static_cast<int>(dm.dmPelsHeight);
    m_nMirBpp = static_cast<int>(dm.dmBitsPerPel);
    DbgTrace("AttachToDeskTopMir Width = %d, Height = %d, ColorDepth = %d\n", m_nMirWidth, m_nMirHeight,
             m_nMirBpp);
    DispDevAttachAtOrigin(m_ddActive, m_nMirWidth, m_nMirHeight, m_nMirBpp);

    InitDevMode(dm);
    if (EnumDisplaySettingsA(m_ddActive.DeviceName, ENUM_REGISTRY_SETTINGS, &dm))
        DbgTrace("AttachToDeskTopMir dmBitsPerPel = %d, dmPelsWidth = %d, dmPelsHeight = %d \n",
                 (int)dm.dmBitsPerPel, (int)dm.dmPelsWidth, (int)dm.dmPelsHeight);
    TraceDisplayDevices();

    // Some drivers cannot mirror at 32 bits per pixel; then the mirror comes up at 16.
    if (dm.dmBitsPerPel == 32) {
        DbgTrace("In 32bits mode \n");
        if (!DispDevIsAttached(m_ddActive)) {
            DbgTrace("AttachToDeskTopMir fail in 32bits mode, retry with 16bits \n");
            dm.dmBitsPerPel = 16;
            center.dwMirBpp = 16;
            SetMirrorCenter(center);
            DispDevAttachAtOrigin(m_ddActive, (int)dm.dmPelsWidth, (int)dm.dmPelsHeight, 16);
        }
    }
    RefreshActive();
    return true;
}

bool CAdapter::SwitchMirror(bool bOn) {
    if (bOn) {
        m_bAllModes = 1;
        // Twice: after the first detach the own display may still read back as attached.
        if (IsDevAttached())
            DetachDev();
        if (IsDevAttached())
            DetachDev();
        SendRotation(0);
        GetFullDispRes();
        SetMirror(true);
        m_ddActive = m_ddMir;
        m_pszActiveDevId = m_pszMirDevId;
        GetDispRes();
        AttachToDeskTopMir();
        GetFullDispRes();
        DispDevRestoreOrgPrimary();
        m_bAllModes = 1;
        return true;
    }
    m_bAllModes = 0;
    if (IsDevAttached())
        DetachDev();
    SetMirror(false);
    m_ddActive = m_ddExt;
    m_pszActiveDevId = m_pszDispDevId;
    GetDispRes();
    GetFullDispRes();
    return true;
}

// True when the mode was accepted as asked, false after the refresh-rate fallback.
bool CAdapter::SetResolution(int nWidth, int nHeight, int nBpp) {
    RefreshActive();
    if (m_nDispState == DISP_MIRROR) {
        // While mirroring the driver scales the primary display into this mode; the adapter's own
        // resolution stays what it was.
        MirrorCenter center = {};
        center.dwSysWidth = m_pHost != nullptr ? static_cast<DWORD>(m_pHost->GetSysWidth()) : 0;
        center.dwSysHeight = m_pHost != nullptr ? static_cast<DWORD>(m_pHost->GetSysHeight()) : 0;
        center.dwMirWidth = static_cast<DWORD>(nWidth);
        center.dwMirHeight = static_cast<DWORD>(nHeight);
        center.dwFrequency = kMirrorRefreshHz;
        center.dwMirBpp = static_cast<DWORD>(nBpp);
        SetMirrorCenter(center);
    } else {
        m_nWidth = nWidth;
        m_nHeight = nHeight;
        m_nBpp = nBpp;
    }
    int nResult = DispDevSetModeReset(nWidth, nHeight, nBpp, m_ddActive);
    RefreshActive();
    return nResult == 1;
}

bool CAdapter::SetRotation(bool bStore, int nRotation, int nAttach) {
    if (IsDevAttached())
        DetachDev();
    if (bStore)
        m_nRotation = nRotation;
    // The driver only knows 0..3; a stored larger value is never sent.
    if (!HasDevice() || static_cast<unsigned>(nRotation) <= 3)
        SendRotation(nRotation);
    GetFullDispRes();
    if (bStore) {
        GetDispRes();
        bool bPortrait = nRotation == 1 || nRotation == 3;
        if (bPortrait ? m_nWidth > m_nHeight : m_nHeight > m_nWidth)
            std::swap(m_nWidth, m_nHeight);
        if (m_pHost != nullptr)
            m_pHost->RecheckResolution(bPortrait ? TRUE : FALSE);
        SetResolution(m_nWidth, m_nHeight, m_nBpp);
        DbgTrace("Return DPI to x = %d, y = %d, z = %d", m_nWidth, m_nHeight, m_nBpp);
    }
    switch (nAttach) {
    case DISP_PRIMARY_EXT:
        AttachToDeskTopPrimary();
        break;
    case DISP_PRIMARY_ONLY:
        AttachToDeskTopPrimaryOnly();
        break;
    case DISP_EXTENDED:
        AttachToDeskTopExt();
        break;
    default:
        break;
    }
    return true;
}

// The first bring-up, or one whose saved resolution the adapter does not offer, applies the profile's
// resolution; a resolution the adapter rejects falls back to the nearest one it lists.
void CAdapter::ApplyFirstRunResolution(int nState) {
    CWinApp* pApp = FwGetApp();
    DbgTrace("This is first run\n");
    if (nState >= DISP_PRIMARY_EXT && nState <= DISP_EXTENDED) {
        m_nFirstRun = 1;
        pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_FIRST_RUN, 1);
    }
    int nWidth = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_WIDTH, kFallbackWidth);
    int nHeight = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_HEIGHT, kFallbackHeight);
    int nBpp = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_BIT_DEPTH, kFallbackBpp);
    pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_ROTATION_STATE, 0); // read, as ever, and not used
    DbgTrace("[TurnONDev] Got %d %d %d from ini\n", nWidth, nHeight, nBpp);
    if (SetResolution(nWidth, nHeight, nBpp))
        return;
    RestoreFrequency(m_ddExt);
    // With an empty mode list nothing is found; then the profile's resolution is simply tried again.
    int nFoundWidth = nWidth, nFoundHeight = nHeight, nFoundBpp = nBpp;
    CheckInitResolution(nWidth, nHeight, nBpp, &nFoundWidth, &nFoundHeight, &nFoundBpp);
    DbgTrace("[CheciInitResolution] Got %d %d %d", nFoundWidth, nFoundHeight, nFoundBpp);
    SetResolution(nFoundWidth, nFoundHeight, nFoundBpp);
}

bool CAdapter::TurnONDev() {
    if (!LoadSettings())
        m_nDispState = DISP_EXTENDED;
    int nState = m_nDispState;
    if (CWinApp* pApp = FwGetApp()) {
        m_nFirstRun = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_FIRST_RUN, 0);
        if (m_nFirstRun == 0 || !CheckResolution())
            ApplyFirstRunResolution(nState);
    }

    // Windows 7 Starter shows the adapter only as a mirror; other Windows 7 editions keep the system's
    // display on the desktop when the adapter is primary.
    if (m_pHost != nullptr && m_pHost->IsWin7()) {
        if (m_pHost->IsStarter()) {
            nState = StarterDispState(nState);
        } else if (nState == DISP_PRIMARY_EXT) {
            nState = DISP_PRIMARY_ONLY;
        }
    }

    switch (nState) {
    case DISP_PRIMARY_EXT:
    case DISP_PRIMARY_ONLY:
        SetMirrorModeFlag(false);
        SetRotation(true, m_nRotation, nState);
        DbgTrace(nState == DISP_PRIMARY_EXT ? "Turn On device Primary_ext\n"
                                            : "Turn On device Primary_only\n");
        AttachToDeskTopExt();
        Sleep(kAttachSettleMs);
        if (nState == DISP_PRIMARY_EXT)
            AttachToDeskTopPrimary();
        else
            AttachToDeskTopPrimaryOnly();
        m_nDispState = nState;
        break;
    case DISP_EXTENDED: {
        SetMirrorModeFlag(false);
        SetRotation(true, m_nRotation, DISP_EXTENDED);
        DbgTrace("Turn On device extended\n");
        DEVMODEA dm;
        InitDevMode(dm);
        if (!DispDevGetRegMode(m_ddActive, dm)) {
            DbgTrace("Turn on dev get res failed\n");
            DispDevSetMode(kFallbackWidth, kFallbackHeight, kFallbackBpp, m_ddActive);
        }
        AttachToDeskTopExt();
        m_nDispState = DISP_EXTENDED;
        break;
    }
    case DISP_MIRROR:
        DbgTrace("Turn On device Mirror\n");
        SetMirrorModeFlag(true);
        SwitchMirror(true);
        m_nDispState = DISP_MIRROR;
        break;
    case DISP_OFF:
        SetMirrorModeFlag(false);
        DetachDev();
        m_nDispState = DISP_OFF;
        break;
    default:
        break;
    }
    CheckResolution();
    return true;
}

void CAdapter::SetMirrorModeFlag(bool bMirror) {
    if (m_pHost != nullptr)
        m_pHost->SetMirrorMode(bMirror);
}
