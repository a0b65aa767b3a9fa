#include <windows.h>
#include <shellapi.h>

#include "tray/tray_icon.h"
#include "sysint/dbg_trace.h"

// The record is the version-2 layout (Windows 2000 and later): up to and including the balloon fields,
// without the trailing GUID, which older shells would not accept as a known size.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V2_SIZE == 488, "the shipped 32-bit build sends the 488-byte record");
#endif

int CLeftMouseDblClickMsgHandler::OnMouseMsg() {
    return ShowMenu();
}

int CRightMouseClickMsgHandler::OnMouseMsg() {
    return ShowMenu();
}

CTrayIcon::CTrayIcon(HWND hOwner, UINT nIconId, UINT nCallbackMsg, HICON hIcon, LPCSTR pszTip,
                     CTrayIconMouseMsgHandler** ppHandlers, int nHandlers)
    : m_hOwner(hOwner), m_nIconId(nIconId), m_nCallbackMsg(nCallbackMsg), m_hIcon(hIcon), m_pszTip(pszTip),
      m_ppHandlers(ppHandlers), m_nHandlers(nHandlers) {}

CTrayIcon::~CTrayIcon() {
    RemoveFromTray();
    DestroyIcon(m_hIcon);
    for (int i = 0; m_ppHandlers != nullptr && i < m_nHandlers; ++i)
        delete m_ppHandlers[i];
    delete[] m_ppHandlers;
}

void CTrayIcon::FillRecord(NOTIFYICONDATAA* pData) const {
    ZeroMemory(pData, sizeof(*pData));
    pData->cbSize = NOTIFYICONDATAA_V2_SIZE;
    pData->hWnd = m_hOwner;
    pData->uID = m_nIconId;
}

BOOL CTrayIcon::AddToTray() {
    NOTIFYICONDATAA data;
    FillRecord(&data);
    // The flags tell the shell which members to read; nothing else is set.
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = m_nCallbackMsg;
    data.hIcon = m_hIcon;
    StrFormat(data.szTip, sizeof(data.szTip), "%s", m_pszTip != nullptr ? m_pszTip : "");
    // The shell copies the icon; the same handle serves every later add, after "TaskbarCreated" too.
    return Shell_NotifyIconA(NIM_ADD, &data);
}

BOOL CTrayIcon::RemoveFromTray() {
    NOTIFYICONDATAA data;
    FillRecord(&data);
    return Shell_NotifyIconA(NIM_DELETE, &data);
}

void CTrayIcon::OnNotifyIcon(WPARAM wParam, LPARAM lParam) {
    if (wParam != m_nIconId)
        return;
    // Every handler of the message reacts, not only the first.
    for (int i = 0; m_ppHandlers != nullptr && i < m_nHandlers; ++i) {
        if (m_ppHandlers[i] != nullptr && m_ppHandlers[i]->m_nMsg == lParam)
            m_ppHandlers[i]->OnMouseMsg();
    }
}

LRESULT CTrayIcon::OnTaskbarCreated(WPARAM /*wParam*/, LPARAM /*lParam*/) {
    AddToTray();
    return 0;
}
