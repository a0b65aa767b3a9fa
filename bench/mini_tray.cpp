// mini-tray: the smallest program that does what duodesk does in the notification area, the baseline of
// the benchmark (scripts/bench.sh). A hidden window, an icon in the notification area, a popup menu on the
// icon's callback, one registry value read at start, and the message loop; nothing else. It is built with
// the same toolchain and flags as duodesk.exe (mini-tray.exe), and natively against winsim
// (mini-tray-sim), so that both programs can be measured on the same Windows and the same simulated one.
//
// Its window is titled "Mini Tray" and its icon's callback is the registered message "NotifyIcon", as
// duodesk's is, so that tray-probe.exe drives both the same way.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr UINT kIconId = 128;
constexpr UINT kCmdOn = 1;
constexpr UINT kCmdOff = 2;
constexpr UINT kCmdExit = 3;
constexpr char kClassName[] = "MiniTray";
constexpr char kTitle[] = "Mini Tray";

// Set at every start: in the simulator one process image runs one start after another.
UINT g_nMsgNotify;
HICON g_hIcon;
DWORD g_dwState;

DWORD ReadState() {
    HKEY hKey = nullptr;
    DWORD dwValue = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Mini Tray", 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return 0;
    DWORD cbValue = sizeof(dwValue);
    if (RegQueryValueExA(hKey, "State", nullptr, nullptr, reinterpret_cast<LPBYTE>(&dwValue), &cbValue) !=
        ERROR_SUCCESS)
        dwValue = 0;
    RegCloseKey(hKey);
    return dwValue;
}

void NotifyIcon(HWND hwnd, DWORD dwMessage) {
    NOTIFYICONDATAA data = {};
    data.cbSize = NOTIFYICONDATAA_V2_SIZE;
    data.hWnd = hwnd;
    data.uID = kIconId;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = g_nMsgNotify;
    data.hIcon = g_hIcon;
    for (size_t i = 0; i < sizeof(kTitle); ++i)
        data.szTip[i] = kTitle[i];
    Shell_NotifyIconA(dwMessage, &data);
}

// Never inlined: the benchmark counts the instructions of this function, as of duodesk's own.
[[gnu::noinline]] void ShowTrayMenu(HWND hwnd) {
    HMENU hMenu = CreatePopupMenu();
    if (hMenu == nullptr)
        return;
    AppendMenuA(hMenu, MF_STRING | (g_dwState != 0 ? MF_CHECKED : 0), kCmdOn, "On");
    AppendMenuA(hMenu, MF_STRING | (g_dwState == 0 ? MF_CHECKED : 0), kCmdOff, "Off");
    AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(hMenu, MF_STRING, kCmdExit, "Exit");
    POINT pt = {0, 0};
    GetCursorPos(&pt);
    // A notification-icon menu must be owned by the foreground window, and wants a message after it.
    SetForegroundWindow(hwnd);
    TrackPopupMenu(hMenu, TPM_RIGHTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
    DestroyMenu(hMenu);
    PostMessageA(hwnd, WM_NULL, 0, 0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == g_nMsgNotify && g_nMsgNotify != 0) {
        if (wParam == kIconId && (lParam == WM_RBUTTONDOWN || lParam == WM_LBUTTONDOWN))
            ShowTrayMenu(hwnd);
        return 0;
    }
    switch (nMsg) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kCmdOn || LOWORD(wParam) == kCmdOff)
            g_dwState = LOWORD(wParam) == kCmdOn ? 1 : 0;
        else if (LOWORD(wParam) == kCmdExit)
            DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        NotifyIcon(hwnd, NIM_DELETE);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, nMsg, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPSTR /*lpCmdLine*/, int /*nShowCmd*/) {
    g_dwState = ReadState();
    g_nMsgNotify = RegisterWindowMessageA("NotifyIcon");
    g_hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = kClassName;
    if (RegisterClassA(&wc) == 0)
        return 1;
    HWND hwnd = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, hInstance,
                                nullptr);
    if (hwnd == nullptr)
        return 1;
    NotifyIcon(hwnd, NIM_ADD);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
