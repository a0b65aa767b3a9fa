// user32: window records, their texts and properties, and default window processing.
#include "faults.h"
#include "display.h"
#include "machine.h"
#include "process.h"
#include "window.h"

namespace winsim {

Window* FindWindowRecord(uintptr_t hwnd) {
    return FindLive(M().windows, hwnd);
}

Window* FindWindowRecord(HWND hwnd) {
    return FindWindowRecord(reinterpret_cast<uintptr_t>(hwnd));
}

bool IsTopLevel(const Window& window) {
    return window.parent == 0 && !(window.style & WS_CHILD);
}

Vec<uintptr_t> TopLevelWindows(DWORD pid) {
    Vec<uintptr_t> windows(Arena());
    for (auto& [value, w] : M().windows) {
        if (w->destroyed || !IsTopLevel(*w) || (pid && w->pid != pid))
            continue;
        const Process* owner = FindProcess(w->pid);
        if (owner && owner->running)
            windows.push_back(value);
    }
    return windows;
}

HWND ToHwnd(uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

Window* FindTopLevelWindow(const char* className, const char* title) {
    for (auto& [value, w] : M().windows) {
        if (w->destroyed || !IsTopLevel(*w))
            continue;
        if (className && !EqualNoCase(className, w->className.c_str()))
            continue;
        if (title && !EqualNoCase(title, w->title.c_str()))
            continue;
        return w;
    }
    return nullptr;
}

Window& NewWindowRecord(const char* className, const char* title, DWORD style) {
    Machine& m = M();
    Window* w = New<Window>();
    w->handle = m.nextWindow;
    m.nextWindow += 0x10;
    w->pid = CurrentProcess().pid;
    w->className = className;
    w->title = title ? title : "";
    w->style = style;
    w->visible = (style & WS_VISIBLE) != 0;
    w->enabled = (style & WS_DISABLED) == 0;
    m.windows[w->handle] = w;
    return *w;
}

LRESULT CallWindow(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgramCode program;
    if (!window.proc)
        return DefWindowProcA(ToHwnd(window.handle), message, wParam, lParam);
    return window.proc(ToHwnd(window.handle), message, wParam, lParam);
}

void DestroyWindowRecord(Window& window) {
    uintptr_t handle = window.handle;
    // Children go first, as Windows destroys them before their parent's WM_NCDESTROY.
    for (auto& [value, child] : M().windows) {
        if (child->parent == handle && !child->destroyed)
            child->destroyed = true;
    }
    CallWindow(window, WM_DESTROY, 0, 0);
    if (Window* w = FindWindowRecord(handle)) {
        CallWindow(*w, WM_NCDESTROY, 0, 0);
        w->destroyed = true;
        w->visible = false;
    }
    Process& p = CurrentProcess();
    std::erase_if(p.timers, [handle](const Timer& t) { return t.hwnd == handle; });
}

} // namespace winsim

using namespace winsim;

BOOL IsWindow(HWND hWnd) {
    WINSIM_ENTRY_NEVER_FAILS(IsWindow);
    return FindWindowRecord(hWnd) != nullptr;
}

BOOL IsWindowVisible(HWND hWnd) {
    WINSIM_ENTRY_NEVER_FAILS(IsWindowVisible);
    Window* w = FindWindowRecord(hWnd);
    return w && w->visible;
}

BOOL IsIconic(HWND) {
    WINSIM_ENTRY_NEVER_FAILS(IsIconic);
    return FALSE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    WINSIM_ENTRY_NEVER_FAILS(ShowWindow);
    Window* w = FindWindowRecord(hWnd);
    if (!w)
        return FALSE;
    BOOL wasVisible = w->visible;
    w->visible = nCmdShow != SW_HIDE;
    return wasVisible;
}

BOOL DestroyWindow(HWND hWnd) {
    WINSIM_ENTRY(DestroyWindow, FALSE);
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->pid != CurrentProcess().pid) {
        SetError(ERROR_ACCESS_DENIED); // only the owning thread may destroy a window
        return FALSE;
    }
    DestroyWindowRecord(*w);
    return TRUE;
}

// Classes belong to the process that registered them; a name is registered once, whatever its case.
ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    WINSIM_ENTRY(RegisterClassA, 0);
    if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName ||
        !lpWndClass->lpfnWndProc) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Process& p = CurrentProcess();
    for (const WindowClass& c : p.classes) {
        if (EqualNoCase(c.name.c_str(), lpWndClass->lpszClassName)) {
            SetError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    WindowClass& added = p.classes.emplace_back();
    added.name = lpWndClass->lpszClassName;
    added.proc = lpWndClass->lpfnWndProc;
    return static_cast<ATOM>(0xC000 + p.classes.size() - 1);
}

// A window of a class the process registered, top-level or (WS_CHILD) a child of hWndParent. It gets
// WM_NCCREATE and WM_CREATE before the call returns; a window procedure that refuses either (FALSE, -1)
// has the window destroyed again, and the call returns NULL.
HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                     LPVOID lpParam) {
    WINSIM_ENTRY(CreateWindowExA, nullptr);
    const WindowClass* found = nullptr;
    for (const WindowClass& c : CurrentProcess().classes) {
        if (lpClassName && IS_INTRESOURCE(lpClassName) == 0 && EqualNoCase(c.name.c_str(), lpClassName))
            found = &c;
    }
    if (!found) {
        SetError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if ((dwStyle & WS_CHILD) && !FindWindowRecord(hWndParent)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    Window& w = NewWindowRecord(found->name.c_str(), lpWindowName, dwStyle);
    w.exStyle = dwExStyle;
    w.proc = found->proc;
    // Where the caller put it (no CW_USEDEFAULT in winsim: the programs it runs give their windows a place).
    w.rect = RECT{X, Y, X + nWidth, Y + nHeight};
    if (dwStyle & WS_CHILD)
        w.parent = reinterpret_cast<uintptr_t>(hWndParent);
    else
        w.owner = reinterpret_cast<uintptr_t>(hWndParent);
    const uintptr_t handle = w.handle;
    CREATESTRUCTA cs = {
        lpParam,      hInstance,   hMenu,    hWndParent, nHeight, nWidth, Y, X, static_cast<LONG>(dwStyle),
        lpWindowName, lpClassName, dwExStyle};
    LPARAM lParam = reinterpret_cast<LPARAM>(&cs);
    if (!CallWindow(w, WM_NCCREATE, 0, lParam) || CallWindow(w, WM_CREATE, 0, lParam) == -1) {
        if (Window* created = FindWindowRecord(handle))
            DestroyWindowRecord(*created);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return ToHwnd(handle);
}

HWND FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    WINSIM_ENTRY(FindWindowA, nullptr);
    if (Window* w = FindTopLevelWindow(lpClassName, lpWindowName))
        return ToHwnd(w->handle);
    SetError(ERROR_SUCCESS);
    return nullptr;
}

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    WINSIM_ENTRY(SetWindowTextA, FALSE);
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->title = lpString ? lpString : "";
    return TRUE;
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    WINSIM_ENTRY(GetWindowTextA, 0);
    Window* w = FindWindowRecord(hWnd);
    if (!w || !lpString || nMaxCount <= 0)
        return 0;
    size_t n = w->title.size() < size_t(nMaxCount - 1) ? w->title.size() : size_t(nMaxCount - 1);
    memcpy(lpString, w->title.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

BOOL EnableWindow(HWND hWnd, BOOL bEnable) {
    WINSIM_ENTRY_NEVER_FAILS(EnableWindow);
    Window* w = FindWindowRecord(hWnd);
    if (!w)
        return FALSE;
    BOOL wasDisabled = !w->enabled;
    w->enabled = bEnable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hWnd) {
    WINSIM_ENTRY_NEVER_FAILS(IsWindowEnabled);
    Window* w = FindWindowRecord(hWnd);
    return w && w->enabled;
}

BOOL SetForegroundWindow(HWND hWnd) {
    WINSIM_ENTRY(SetForegroundWindow, FALSE);
    if (!FindWindowRecord(hWnd))
        return FALSE;
    M().foreground = reinterpret_cast<uintptr_t>(hWnd);
    return TRUE;
}

// A foreground window that has been destroyed leaves the desktop without one.
HWND GetForegroundWindow(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetForegroundWindow);
    return FindWindowRecord(M().foreground) ? ToHwnd(M().foreground) : nullptr;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect) {
    WINSIM_ENTRY(GetClientRect, FALSE);
    if (!FindWindowRecord(hWnd) || !lpRect)
        return FALSE;
    *lpRect = RECT{0, 0, 0, 0};
    return TRUE;
}

int GetSystemMetrics(int nIndex) {
    WINSIM_ENTRY(GetSystemMetrics, 0);
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON: // 96 DPI; 20 at 120 DPI and 24 at 144 DPI (docs/winsim-shell.md)
    case SM_CYSMICON:
        return 16;
    case SM_CXSCREEN:
    case SM_CYSCREEN:
        for (const DisplayDevice& d : M().displays) {
            if (d.present && d.primary && d.current.attached)
                return static_cast<int>(nIndex == SM_CXSCREEN ? d.current.mode.width : d.current.mode.height);
        }
        return 0;
    case SM_CMONITORS: {
        int count = 0;
        for (const DisplayDevice& d : M().displays) {
            if (d.present && d.current.attached && !(d.staticFlags & DISPLAY_DEVICE_MIRRORING_DRIVER))
                ++count;
        }
        return count;
    }
    default:
        return 0;
    }
}

BOOL GetCursorPos(LPPOINT lpPoint) {
    WINSIM_ENTRY(GetCursorPos, FALSE);
    if (!lpPoint)
        return FALSE;
    lpPoint->x = 1200;
    lpPoint->y = 740;
    return TRUE;
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    WINSIM_ENTRY(BeginPaint, nullptr);
    if (!FindWindowRecord(hWnd) || !lpPaint)
        return nullptr;
    memset(lpPaint, 0, sizeof *lpPaint);
    lpPaint->hdc = reinterpret_cast<HDC>(uintptr_t(0xDC00));
    return lpPaint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) {
    WINSIM_ENTRY_NEVER_FAILS(EndPaint);
    return TRUE;
}

BOOL DrawIcon(HDC, int, int, HICON) {
    WINSIM_ENTRY(DrawIcon, FALSE);
    return TRUE;
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    WINSIM_ENTRY(SetWindowLongPtrA, 0);
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    switch (nIndex) {
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        break;
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = dwNewLong;
        break;
    case GWL_STYLE:
        old = w->style;
        w->style = static_cast<DWORD>(dwNewLong);
        break;
    case GWL_EXSTYLE:
        old = w->exStyle;
        w->exStyle = static_cast<DWORD>(dwNewLong);
        break;
    case DWLP_MSGRESULT:
        old = w->msgResult;
        w->msgResult = dwNewLong;
        break;
    case DWLP_DLGPROC:
        old = reinterpret_cast<LONG_PTR>(w->dlgProc);
        w->dlgProc = reinterpret_cast<DLGPROC>(dwNewLong);
        break;
    case DWLP_USER:
        old = w->dlgUser;
        w->dlgUser = dwNewLong;
        break;
    default:
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    SetError(ERROR_SUCCESS);
    return old;
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) {
    WINSIM_ENTRY(GetWindowLongPtrA, 0);
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_ID:
        return w->controlId;
    case GWLP_HINSTANCE:
        return 0x400000;
    case GWL_STYLE:
        return w->style;
    case GWL_EXSTYLE:
        return w->exStyle;
    case DWLP_MSGRESULT:
        return w->msgResult;
    case DWLP_DLGPROC:
        return reinterpret_cast<LONG_PTR>(w->dlgProc);
    case DWLP_USER:
        return w->dlgUser;
    default:
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_ENTRY_NEVER_FAILS(CallWindowProcA);
    if (!lpPrevWndFunc)
        return 0;
    ProgramCode program;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_ENTRY_NEVER_FAILS(DefWindowProcA);
    Window* w = FindWindowRecord(hWnd);
    switch (Msg) {
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SYSCOMMAND:
        // The close box and the window menu's Close ask the window to close.
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_NCCREATE: // the window may be created
        return TRUE;
    case WM_SETTEXT:
        if (w)
            w->title = lParam ? reinterpret_cast<const char*>(lParam) : "";
        return TRUE;
    case WM_GETTEXT:
        return GetWindowTextA(hWnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    case WM_SETICON: {
        if (!w)
            return 0;
        HICON& slot = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
        HICON old = slot;
        slot = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(old);
    }
    case WM_QUERYDRAGICON:
        return 0;
    default:
        return 0;
    }
}
