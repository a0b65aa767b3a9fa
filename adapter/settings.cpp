// The adapter's layout in the per-user profile: state, resolution and rotation, and the refresh rate of its
// own display.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/profile_names.h"
#include "framework/app.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {

static_assert(PROFILE_DISP_STATE_DEFAULT == DISP_EXTENDED);
constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 768;
constexpr int kDefaultBpp = 32;
constexpr int kDefaultRotation = 0;
constexpr int kDefaultFrequency = 60;
// Stored for every user: the refresh rate belongs to the display, not to whoever is logged on.
constexpr DWORD kFrequencyChangeFlags = CDS_UPDATEREGISTRY | CDS_GLOBAL;

// The profile lives in the application object; a process without one has nothing to read or write.
const CWinApp* Profile() {
    return FwGetApp();
}

// dd's mode as stored in the registry. A record that was never filled in has no name, and an empty name
// would make Windows read (and later change) the primary display instead.
bool ReadRegistryMode(const DISPLAY_DEVICEA& dd, DEVMODEA* pdm) {
    InitDevMode(*pdm);
    if (dd.DeviceName[0] == '\0')
        return false;
    return EnumDisplaySettingsA(dd.DeviceName, ENUM_REGISTRY_SETTINGS, pdm) != FALSE;
}

void WriteFrequencyToRegistryMode(const DISPLAY_DEVICEA& dd, DEVMODEA* pdm, DWORD dwFrequency) {
    pdm->dmDisplayFrequency = dwFrequency;
    pdm->dmFields = DM_DISPLAYFREQUENCY;
    ChangeDisplaySettingsExA(dd.DeviceName, pdm, nullptr, kFrequencyChangeFlags, nullptr);
}

} // namespace

bool CAdapter::LoadSettings() {
    const CWinApp* pApp = Profile();
    if (pApp == nullptr)
        return false;
    DbgTrace("load ini\n");
    bool bReadFailed = false;
    m_nDispState = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_DISP_STATE, PROFILE_DISP_STATE_DEFAULT,
                                       &bReadFailed);
    m_nWidth = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_WIDTH, kDefaultWidth, &bReadFailed);
    m_nHeight = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_HEIGHT, kDefaultHeight, &bReadFailed);
    m_nBpp = pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_BIT_DEPTH, kDefaultBpp, &bReadFailed);
    m_nRotation =
        pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_ROTATION_STATE, kDefaultRotation, &bReadFailed);
    // Defaults that stand in for values the registry could not give must not be saved over the user's:
    // the adapter comes up with them, and the profile stays as it is until a load that reads it all.
    if (bReadFailed)
        DbgTrace("load ini failed, the profile is kept as it is\n");
    m_bSettingsLoaded = !bReadFailed;
    return true;
}

bool CAdapter::SaveSettings() {
    const CWinApp* pApp = Profile();
    if (pApp == nullptr)
        return false;
    // Before the adapter was ever brought up (unplugged, its driver not ready, its open failed) the
    // members hold the constructor's zeros: written, they would wipe what the user saved.
    if (!m_bSettingsLoaded) {
        DbgTrace("save ini %s skipped: the settings were never loaded\n", PROFILE_SECTION_DONGLE);
        return false;
    }
    // Uninstall deleted the profile; writing it now would bring it back.
    if (pApp->m_pszRegistryKey == nullptr) {
        DbgTrace("save ini %s skipped: no profile\n", PROFILE_SECTION_DONGLE);
        return false;
    }
    DbgTrace("save ini %s\n", PROFILE_SECTION_DONGLE);
    const DispMode mode = SavedMode();
    // Each value is written whatever became of the one before: a partial profile beats none.
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_HEIGHT, mode.nHeight))
        DbgTrace("Write DPI setting y failed\n");
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_WIDTH, mode.nWidth))
        DbgTrace("Write DPI setting x failed\n");
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_BIT_DEPTH, mode.nBpp))
        DbgTrace("Write DPI setting z failed\n");
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_DISP_STATE, m_nDispState))
        DbgTrace("Write Display state failed\n");
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_ROTATION_STATE, m_nRotation))
        DbgTrace("Write RotationState failed\n");
    return true;
}

void CAdapter::RestoreFrequency(const DISPLAY_DEVICEA& dd) {
    const CWinApp* pApp = Profile();
    if (pApp == nullptr)
        return;
    DEVMODEA dm;
    if (!ReadRegistryMode(dd, &dm))
        return;
    // Only a missing value means 60: a stored 0 is the driver's own default rate and is applied as such.
    m_nFrequency =
        static_cast<UINT>(pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_FREQUENCY, kDefaultFrequency));
    WriteFrequencyToRegistryMode(dd, &dm, static_cast<DWORD>(m_nFrequency));
    DbgTrace("restore frequence %d\n", (int)m_nFrequency);
}

void CAdapter::SaveFrequency(const DISPLAY_DEVICEA& dd) {
    const CWinApp* pApp = Profile();
    if (pApp == nullptr)
        return;
    DEVMODEA dm;
    if (!ReadRegistryMode(dd, &dm))
        return;
    m_nFrequency = static_cast<UINT>(dm.dmDisplayFrequency);
    WriteFrequencyToRegistryMode(dd, &dm, dm.dmDisplayFrequency);
    DbgTrace("save frequence %d\n", (int)m_nFrequency);
    if (!pApp->WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_FREQUENCY, static_cast<int>(m_nFrequency)))
        DbgTrace("Write frequence  failed\n");
}
