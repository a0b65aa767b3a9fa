// shell32 and comctl32: the notification area as Explorer keeps it, and the common-controls initialisation.
// docs/winsim-shell.md gives the rules and where they come from.
#include "faults.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "shell.h"
#include "window.h"
#include "rights.h"

#include <shellapi.h>
#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace winsim {
namespace {

// The layouts NOTIFYICONDATAA has had. Any other cbSize is no error: the record is read as the first one.
size_t LayoutSize(DWORD cbSize) {
    for (size_t size : {size_t(NOTIFYICONDATAA_V1_SIZE), size_t(NOTIFYICONDATAA_V2_SIZE),
                        size_t(NOTIFYICONDATAA_V3_SIZE), sizeof(NOTIFYICONDATAA)}) {
        if (cbSize == size)
            return size;
    }
    return NOTIFYICONDATAA_V1_SIZE;
}

// Only the members whose flag is set are read; those after the caller's layout do not exist for the shell.
void ReadMembers(TrayIcon& icon, const NOTIFYICONDATAA& data) {
    size_t size = LayoutSize(data.cbSize);
    icon.cbSize = data.cbSize;
    UINT flags = data.uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    if (flags & NIF_MESSAGE)
        icon.callbackMessage = data.uCallbackMessage;
    if (flags & NIF_ICON)
        icon.icon = reinterpret_cast<uintptr_t>(data.hIcon);
    if (flags & NIF_TIP) {
        size_t chars = size >= size_t(NOTIFYICONDATAA_V2_SIZE) ? 127 : 63;
        icon.tip.assign(data.szTip, strnlen(data.szTip, chars));
    }
    icon.flags |= flags;
}

bool VersionSupported(UINT version) {
    return version == 0 || version == NOTIFYICON_VERSION ||
           (version == NOTIFYICON_VERSION_4 && M().os.major >= 6);
}

// Explorer relays each mouse message as it happens, without waiting for the owner. From version 4 on, the
// event and the icon's id share lParam and wParam carries the pointer's position.
void Relay(const TrayIcon& icon, const Window& owner, UINT event) {
    WPARAM wParam = icon.id;
    LPARAM lParam = event;
    if (icon.version >= NOTIFYICON_VERSION_4) {
        POINT pt;
        GetCursorPos(&pt);
        wParam = MAKEWPARAM(pt.x, pt.y);
        lParam = MAKELPARAM(event, icon.id);
    }
    if (!MessageReaches(ShellIntegrity(), owner, icon.callbackMessage)) {
        Note("tray-click: the icon's callback message 0x%X from Explorer is blocked by the owner's integrity",
             icon.callbackMessage);
        return;
    }
    QueueSentValue(owner.pid, ToHwnd(owner.handle), icon.callbackMessage, wParam, lParam);
}

} // namespace

void UserClicksTrayIcon(TrayClick click) {
    Machine& m = M();
    if (m.tray.empty()) {
        Note("tray-click: no icon in the notification area");
        return;
    }
    const TrayIcon icon = m.tray.front();
    const Window* owner = FindWindowRecord(icon.hwnd);
    if (!owner && click == TrayClick::Move) {
        // The pointer passing over an icon whose window is gone is what makes Explorer notice.
        Note("tray-click: the icon of window 0x%llx, which no longer exists, disappears under the pointer",
             static_cast<unsigned long long>(icon.hwnd));
        m.tray.erase(m.tray.begin());
        return;
    }
    if (!owner) {
        Note("tray-click: the icon of window 0x%llx, which no longer exists, takes the click and stays",
             static_cast<unsigned long long>(icon.hwnd));
        return;
    }
    if (!(icon.flags & NIF_MESSAGE)) {
        Note("tray-click: the icon has no callback message");
        return;
    }
    std::vector<UINT> events = {WM_MOUSEMOVE};
    switch (click) {
    case TrayClick::Left:
        events = {WM_LBUTTONDOWN, WM_LBUTTONUP};
        break;
    case TrayClick::Right:
        events = {WM_RBUTTONDOWN, WM_RBUTTONUP};
        break;
    case TrayClick::Double:
        events = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
        break;
    case TrayClick::Move:
        break;
    }
    for (UINT event : events) {
        Relay(icon, *owner, event);
        // An icon that asked for a newer version also hears of the selection and of the context menu.
        if (icon.version >= NOTIFYICON_VERSION && event == WM_LBUTTONUP)
            Relay(icon, *owner, NIN_SELECT);
        if (icon.version >= NOTIFYICON_VERSION && event == WM_RBUTTONUP)
            Relay(icon, *owner, WM_CONTEXTMENU);
    }
}

void RestartShell() {
    Machine& m = M();
    m.tray.clear();
    UINT message = RegisteredMessage("TaskbarCreated");
    Note("shell-restart: Explorer starts again with an empty notification area and broadcasts "
         "\"TaskbarCreated\" (0x%X)",
         message);
    for (auto& [value, w] : m.windows) {
        if (w->destroyed || !IsTopLevel(*w))
            continue;
        if (MessageReaches(ShellIntegrity(), *w, message))
            QueueSentValue(w->pid, ToHwnd(value), message, 0, 0);
        else
            Note("shell-restart: \"TaskbarCreated\" is blocked for window 0x%llX of process %u, of higher "
                 "integrity",
                 static_cast<unsigned long long>(value), static_cast<unsigned>(w->pid));
    }
}

} // namespace winsim

using namespace winsim;

// One icon per (window, id). A call that names a missing icon, or adds one twice, fails and changes
// nothing.
BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
    WINSIM_ENTRY(Shell_NotifyIconA, FALSE);
    Machine& m = M();
    if (!lpData)
        return FALSE;
    uintptr_t hwnd = reinterpret_cast<uintptr_t>(lpData->hWnd);
    auto same = [&](const TrayIcon& icon) { return icon.hwnd == hwnd && icon.id == lpData->uID; };
    auto it = std::find_if(m.tray.begin(), m.tray.end(), same);
    if (dwMessage == NIM_ADD) {
        if (it != m.tray.end())
            return FALSE;
        TrayIcon icon;
        icon.hwnd = hwnd;
        icon.id = lpData->uID;
        icon.ownerPid = CurrentProcess().pid;
        ReadMembers(icon, *lpData);
        m.tray.push_back(icon);
        return TRUE;
    }
    if (it == m.tray.end())
        return FALSE;
    switch (dwMessage) {
    case NIM_MODIFY:
        ReadMembers(*it, *lpData);
        return TRUE;
    case NIM_DELETE:
        m.tray.erase(it);
        return TRUE;
    case NIM_SETVERSION: {
        bool inside = LayoutSize(lpData->cbSize) >= offsetof(NOTIFYICONDATAA, uVersion) + sizeof(UINT);
        UINT version = inside ? lpData->uVersion : 0;
        if (!VersionSupported(version))
            return FALSE;
        it->version = version;
        return TRUE;
    }
    default:
        return FALSE;
    }
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    WINSIM_ENTRY(InitCommonControlsEx, FALSE);
    return picce && picce->dwSize == sizeof(INITCOMMONCONTROLSEX);
}
