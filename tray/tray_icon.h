// CTrayIcon: the program's one icon in the notification area, and the mouse handlers that turn a press on
// it into the tray menu. The icon never changes while it is shown: no per-state icon, no per-state tip.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "framework/object.h"

// Whoever opens the tray menu: the main window, which knows the adapter and the labels.
class CTrayMenuHost {
public:
    virtual void ShowTrayMenu() = 0;

protected:
    ~CTrayMenuHost() = default;
};

// Reacts to one mouse message of the icon's callback.
class CTrayIconMouseMsgHandler : public CObject {
public:
    CTrayIconMouseMsgHandler(int nMsg, CTrayMenuHost* pMenuHost) : m_nMsg(nMsg), m_pMenuHost(pMenuHost) {}
    // The result is not read.
    virtual int OnMouseMsg() = 0;

    int m_nMsg; // the mouse window message this handler reacts to

protected:
    // Both buttons open the same menu. Always 0.
    int ShowMenu() {
        if (m_pMenuHost != nullptr)
            m_pMenuHost->ShowTrayMenu();
        return 0;
    }

    CTrayMenuHost* m_pMenuHost;
};

// The single press of the left button (not the double click, which comes as a later message).
class CLeftMouseDblClickMsgHandler : public CTrayIconMouseMsgHandler {
public:
    explicit CLeftMouseDblClickMsgHandler(CTrayMenuHost* pMenuHost)
        : CTrayIconMouseMsgHandler(WM_LBUTTONDOWN, pMenuHost) {}
    int OnMouseMsg() override;
};

class CRightMouseClickMsgHandler : public CTrayIconMouseMsgHandler {
public:
    explicit CRightMouseClickMsgHandler(CTrayMenuHost* pMenuHost)
        : CTrayIconMouseMsgHandler(WM_RBUTTONDOWN, pMenuHost) {}
    int OnMouseMsg() override;
};

// The icon id the program gives its icon within the main window.
constexpr UINT TRAY_ICON_ID = 128;

class CTrayIcon : public CObject {
public:
    // Stores the values; shows nothing. The tray icon takes the icon, the handler list (an array made with
    // new[]) and the handlers in it; the tooltip is not copied and must outlive the object.
    CTrayIcon(HWND hOwner, UINT nIconId, UINT nCallbackMsg, HICON hIcon, LPCSTR pszTip,
              CTrayIconMouseMsgHandler** ppHandlers, int nHandlers);
    // Removes the icon from the tray, destroys it and frees the handlers with their list.
    ~CTrayIcon() override;
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Shows the icon (NIM_ADD); the Shell_NotifyIconA result. A second add while it is shown fails, and
    // that is harmless.
    BOOL AddToTray();
    // Takes the icon away (NIM_DELETE); the Shell_NotifyIconA result.
    BOOL RemoveFromTray();
    // The shell's callback: every handler whose message is lParam reacts, provided wParam is this icon.
    void OnNotifyIcon(WPARAM wParam, LPARAM lParam);
    // The shell (re)created the taskbar, and every icon is gone: the icon comes back. Always 0.
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);

private:
    // The part of the record every request fills in: size, owner and id.
    void FillRecord(NOTIFYICONDATAA* pData) const;

    HWND m_hOwner;
    UINT m_nIconId;
    UINT m_nCallbackMsg; // the registered "NotifyIcon" the shell sends for the icon's mouse events
    HICON m_hIcon;
    LPCSTR m_pszTip;
    CTrayIconMouseMsgHandler** m_ppHandlers;
    int m_nHandlers;
};
