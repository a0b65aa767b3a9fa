#include <windows.h>

#include "adapter/adapter.h"

namespace {
LPCSTR TextOrEmpty(LPCSTR psz) {
    return psz != nullptr ? psz : "";
}
} // namespace

CAdapter::CAdapter(LPCSTR pszUsbId, LPCSTR pszDispDevId, LPCSTR pszMirDevId, BYTE bHasMirror)
    : m_pFullDispModeHead(nullptr), m_nFullDispModeCount(0), m_bAllModes(FALSE), m_nRotation(0),
      m_pszUsbId(TextOrEmpty(pszUsbId)), m_pszDispDevId(TextOrEmpty(pszDispDevId)),
      m_pszMirDevId(TextOrEmpty(pszMirDevId)), m_hDevice(INVALID_HANDLE_VALUE), m_hDevNotify(nullptr),
      m_bHasMirror(bHasMirror), m_nWidth(0), m_nHeight(0), m_nBpp(0), m_nMirWidth(0), m_nMirHeight(0),
      m_nMirBpp(0), m_nDispState(DISP_OFF), m_ddExt(), m_ddMir(), m_bSuspendedPrimary(0),
      m_bSuspendedSecondary(0), m_nFrequency(0), m_nFirstRun(0), m_bSettingsLoaded(false),
      m_pszActiveDevId(""), m_ddActive(), m_bReady(0), m_pDispResHead(nullptr), m_pFullDispResHead(nullptr),
      m_pHost(nullptr) {}

CAdapter::~CAdapter() {
    FreeDispResList(m_pFullDispModeHead);
    FreeDispResList(m_pDispResHead);
    FreeDispResList(m_pFullDispResHead);
}

void CAdapter::CloseDevice() {
    UnregisterDevNotify();
    CloseHandle(m_hDevice);
    m_hDevice = INVALID_HANDLE_VALUE;
}

void CAdapter::FreeResolutionLists() {
    FreeDispResList(m_pDispResHead);
    m_pDispResHead = nullptr;
    FreeDispResList(m_pFullDispResHead);
    m_pFullDispResHead = nullptr;
}
