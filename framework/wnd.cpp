#include <windows.h>

#include "framework/app.h"
#include "framework/wnd.h"

IMPLEMENT_DYNAMIC(CWnd, CObject)

const FwMsgMap* CWnd::GetThisMessageMap() {
    static constexpr FwMsgMapEntry entries[] = {{FwEntryKind::End, 0, nullptr, 0, 0, nullptr}};
    static constexpr FwMsgMap messageMap = {nullptr, &entries[0]};
    return &messageMap;
}

const FwMsgMap* CWnd::GetMessageMap() const {
    return GetThisMessageMap();
}

CWnd::~CWnd() {
    // Messages sent during this destruction reach only what CWnd itself handles: the derived parts are
    // gone already. Owners destroy their windows before deleting the objects.
    if (m_hWnd != nullptr)
        ::DestroyWindow(m_hWnd);
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

bool CWnd::OnWndMsg(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const FwMsgMapEntry* pEntry = FwFindEntry(GetMessageMap(), nMsg, wParam);
    if (pEntry == nullptr)
        return false;
    *pResult = pEntry->pfnHandler(this, nMsg, wParam, lParam);
    return true;
}

LRESULT CWnd::PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lResult = 0;
    if (!OnWndMsg(nMsg, wParam, lParam, &lResult))
        lResult = Default();
    return lResult;
}

LRESULT CWnd::Default() {
    if (m_pfnSuper != nullptr)
        return CallWindowProcA(m_pfnSuper, m_hWnd, m_curMsg.nMsg, m_curMsg.wParam, m_curMsg.lParam);
    return DefWindowProcA(m_hWnd, m_curMsg.nMsg, m_curMsg.wParam, m_curMsg.lParam);
}

void CWnd::SubclassWindow(HWND hWnd) {
    m_hWnd = hWnd;
    // The object pointer goes in first: the new procedure may be called as soon as it is installed.
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::FwWndProc)));
}

void CWnd::Detach() {
    if (m_pfnSuper != nullptr)
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
}

LRESULT CALLBACK CWnd::FwWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (pWnd == nullptr)
        return DefWindowProcA(hWnd, nMsg, wParam, lParam);

    // Handlers send messages to their own window (WM_SETICON, WM_CLOSE...); each nesting level keeps
    // its own current message for Default().
    const CurrentMsg outer = pWnd->m_curMsg;
    pWnd->m_curMsg = {nMsg, wParam, lParam};
    const LRESULT lResult = pWnd->PreFilterMessage(nMsg, wParam, lParam);
    pWnd->m_curMsg = outer;

    if (nMsg == WM_NCDESTROY) {
        pWnd->Detach();
        // The end of the main window ends the program's message loop.
        CWinApp* pApp = FwGetApp();
        if (pApp != nullptr && pApp->m_pMainWnd == pWnd) {
            pApp->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
    }
    return lResult;
}
