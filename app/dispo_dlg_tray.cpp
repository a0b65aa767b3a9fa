// The main window's side of the tray: the icon object, the shell's two messages, and "TurnOff" from a
// second start, which can also close the utility.
#include <windows.h>

#include <new>

#include "adapter/adapter.h"
#include "app/app_messages.h"
#include "app/dispo_dlg.h"
#include "res/resource.h"
#include "sysint/dbg_trace.h"
#include "tray/tray_icon.h"
#include "tray/tray_menu.h"
#include "variants/variant.h"

void CDispoDlg::CreateTrayIcon() {
    auto** ppHandlers = new (std::nothrow) CTrayIconMouseMsgHandler*[2];
    if (ppHandlers == nullptr)
        return;
    ppHandlers[0] = new (std::nothrow) CLeftMouseDblClickMsgHandler(this);
    ppHandlers[1] = new (std::nothrow) CRightMouseClickMsgHandler(this);
    // The notification area shows the system's small-icon size, which grows with the DPI setting: the
    // image of that size, not the application icon scaled down. Without LR_SHARED the copy is ours.
    HICON hIcon =
        static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    m_pTrayIcon = new (std::nothrow)
        CTrayIcon(m_hWnd, TRAY_ICON_ID, g_nMsgNotifyIcon, hIcon, g_variant.trayTip, ppHandlers, 2);
    if (m_pTrayIcon == nullptr) {
        DestroyIcon(hIcon);
        delete ppHandlers[0];
        delete ppHandlers[1];
        delete[] ppHandlers;
    }
}

// The shell restarted: every icon is gone, and ours comes back whether the adapter is plugged in or not.
LRESULT CDispoDlg::OnTaskbarCreated(WPARAM wParam, LPARAM lParam) {
    return m_pTrayIcon != nullptr ? m_pTrayIcon->OnTaskbarCreated(wParam, lParam) : 0;
}

void CDispoDlg::ShowTrayMenu() {
    ::ShowTrayMenu({m_pAdapter, &m_menuLabels, m_bStarter != FALSE, m_hWnd});
}

LRESULT CDispoDlg::OnNotifyIcon(WPARAM wParam, LPARAM lParam) {
    if (m_pTrayIcon != nullptr)
        m_pTrayIcon->OnNotifyIcon(wParam, lParam);
    return 0;
}

LRESULT CDispoDlg::OnTurnOff(WPARAM wParam, LPARAM /*lParam*/) {
    DbgTrace("OnTurnOff\n");
    // Each check only when the one before it passed: a driver that is not ready is not asked further.
    if (m_pAdapter != nullptr && m_pAdapter->m_hDevice != INVALID_HANDLE_VALUE &&
        m_pAdapter->WaitDevReady() && m_pAdapter->WaitMirDevReady() && m_pAdapter->FindDisplayDevices())
        m_pAdapter->TurnOffDev();
    if (wParam == TURNOFF_AND_CLOSE) {
        DbgTrace("[OnTurnOff] Close Utility\n");
        if (m_pTrayIcon != nullptr)
            m_pTrayIcon->RemoveFromTray();
        PostMessage(WM_CLOSE, 0, 0);
        PostQuitMessage(0);
    }
    return 0;
}

// "Brand" is in the menu template only; no menu the program builds offers it.
void CDispoDlg::OnBrand() {}
