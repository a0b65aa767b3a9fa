// shell32 and comctl32: the notification area, and the common-controls initialisation.
#include "machine.h"

#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>

using namespace winsim;

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
    Machine& m = M();
    if (!lpData || lpData->cbSize < offsetof(NOTIFYICONDATAA, dwState))
        return FALSE;
    uintptr_t hwnd = reinterpret_cast<uintptr_t>(lpData->hWnd);
    auto same = [&](const TrayIcon& icon) { return icon.hwnd == hwnd && icon.id == lpData->uID; };
    auto it = std::find_if(m.tray.begin(), m.tray.end(), same);
    switch (dwMessage) {
    case NIM_ADD: {
        if (it != m.tray.end() || !FindWindowRecord(lpData->hWnd))
            return FALSE; // the shell refuses a second icon with the same window and id
        TrayIcon icon;
        icon.hwnd = hwnd;
        icon.id = lpData->uID;
        icon.ownerPid = CurrentProcess().pid;
        icon.flags = lpData->uFlags;
        icon.cbSize = lpData->cbSize;
        if (lpData->uFlags & NIF_MESSAGE)
            icon.callbackMessage = lpData->uCallbackMessage;
        if (lpData->uFlags & NIF_ICON)
            icon.icon = reinterpret_cast<uintptr_t>(lpData->hIcon);
        if (lpData->uFlags & NIF_TIP)
            icon.tip.assign(lpData->szTip, strnlen(lpData->szTip, sizeof lpData->szTip));
        m.tray.push_back(icon);
        return TRUE;
    }
    case NIM_MODIFY:
        if (it == m.tray.end())
            return FALSE;
        if (lpData->uFlags & NIF_MESSAGE)
            it->callbackMessage = lpData->uCallbackMessage;
        if (lpData->uFlags & NIF_ICON)
            it->icon = reinterpret_cast<uintptr_t>(lpData->hIcon);
        if (lpData->uFlags & NIF_TIP)
            it->tip.assign(lpData->szTip, strnlen(lpData->szTip, sizeof lpData->szTip));
        return TRUE;
    case NIM_DELETE:
        if (it == m.tray.end())
            return FALSE;
        m.tray.erase(it);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    return picce && picce->dwSize == sizeof(INITCOMMONCONTROLSEX);
}
