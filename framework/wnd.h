// CWnd: a C++ object bound to one window, with the window's messages routed through a message map.
#pragma once
#include <windows.h>

#include "framework/msg_map.h"
#include "framework/object.h"

class CWnd : public CObject {
    DECLARE_DYNAMIC(CWnd)

public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    // Sees every message of the window before the message map. The default runs the map and, when no
    // entry takes the message, the window's default processing. An override must end by calling the base.
    virtual LRESULT PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);

    BOOL DestroyWindow();
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) {
        return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr);
    }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    BOOL PostMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
        return ::PostMessageA(m_hWnd, nMsg, wParam, lParam);
    }
    BOOL SetWindowText(LPCSTR pszText) { return ::SetWindowTextA(m_hWnd, pszText); }
    // The text of the child control nID (a dialog's control).
    BOOL SetDlgItemText(int nID, LPCSTR pszText) { return ::SetDlgItemTextA(m_hWnd, nID, pszText); }

    // Runs the message map alone: true and the handler's result when an entry took the message.
    bool OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

protected:
    // The default processing of the message being handled: the window procedure the window had before the
    // framework took it over.
    LRESULT Default();

    virtual const FwMsgMap* GetMessageMap() const;
    static const FwMsgMap* GetThisMessageMap();

    // Takes over a window that was created elsewhere (a dialog during WM_INITDIALOG): binds it to this
    // object and puts the framework's window procedure in front of the window's own.
    void SubclassWindow(HWND hWnd);

    // The window procedure of every framework window.
    static LRESULT CALLBACK FwWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    struct CurrentMsg {
        UINT nMsg;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMsg m_curMsg = {0, 0, 0};

private:
    void Detach();

    WNDPROC m_pfnSuper = nullptr;
};
