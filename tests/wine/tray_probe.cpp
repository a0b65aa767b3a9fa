// tray-probe.exe: the Wine checks' hands and eyes on the notification area and the tray menu. A console
// program of the test suite, built with the Windows executables and never shipped. Each command does one
// thing, waits at most the seconds it is given, prints one line about what it saw and exits with
//   0  yes / done,   1  no / not within the time,   2  bad arguments or nothing to act on.
//
//   taskbar SECONDS             the taskbar (Shell_TrayWnd) exists
//   wait-window TITLE SECONDS   a top-level window titled TITLE exists
//   icon TITLE ID               the icon ID of the window TITLE is in the notification area
//   taskbar-created             broadcasts "TaskbarCreated", as a shell does when its taskbar is (re)made
//   hover SECONDS               puts the cursor on the notification area's first icon and prints the
//                               tooltip text that shows there
//   above-icon                  puts the cursor just above the notification area's first icon, off
//                               the taskbar, where no tooltip shows
//   right-click, left-click     presses and releases the right (left) mouse button where the cursor is
//   notify TITLE ID             posts the window TITLE the callback message "NotifyIcon", ID,
//                               WM_RBUTTONDOWN, as the shell does when its icon is pressed
//   wait-menu TITLE SECONDS     a popup menu of the window TITLE's thread is open; prints its rectangle
//   keys KEY...                 types the keys (down, up, return, escape) through the real input queue
//   menus TITLE ID N            opens the window TITLE's popup menu N times through its icon's callback
//                               and closes it each time with Escape
//   memory TITLE                prints the private bytes and the working set of the process of the
//                               window TITLE: "private N ws N"
//   on-icon                     puts the cursor on the notification area's first icon
//   wait-no-menu TITLE SECONDS  no popup menu of the window TITLE's thread is open any more
//   dialog TITLE SECONDS        a dialog titled TITLE is open; prints its rectangle, the rectangle of the
//                               display it is on and whether it is the foreground window; 0 only when
//                               it is in front and centred on that display, to the pixel
//   machine                     prints the Windows version and the display devices with their modes as
//                               the scenario statements "os" and "display" of the simulator describe
//                               them (each display's current mode, and its registry mode where that is
//                               another), so that a scenario can be checked against the machine Wine
//                               presents
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr DWORD kPollMs = 100;
// A sent message to another program is given this long before it counts as hung.
constexpr UINT kSendTimeoutMs = 5000;

int Usage() {
    std::fputs("usage: tray-probe taskbar SECONDS | wait-window TITLE SECONDS | icon TITLE ID |"
               " taskbar-created | hover SECONDS | above-icon | right-click | left-click | notify TITLE ID |"
               " wait-menu TITLE SECONDS | keys KEY... | on-icon | wait-no-menu TITLE SECONDS |"
               " dialog TITLE SECONDS | machine | menus TITLE ID N | memory TITLE\n",
               stderr);
    return 2;
}

// Polls until check() is true or the seconds are over; false on timeout.
template <typename Check>
bool WaitFor(int nSeconds, Check check) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(nSeconds) * 1000;
    for (;;) {
        if (check())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

bool HasClass(HWND hwnd, std::string_view wanted) {
    char szClass[64] = "";
    const int n = GetClassNameA(hwnd, szClass, sizeof(szClass));
    return n > 0 && std::string_view(szClass, static_cast<size_t>(n)) == wanted;
}

// Waits until the window has dealt with everything it was sent or posted before: a sent message is
// handled only when its thread comes back to its message loop.
bool Sync(HWND hwnd) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

HWND Tray() {
    return FindWindowA("Shell_TrayWnd", nullptr);
}

// Wine's explorer (8.0) draws the icons of its taskbar's notification area itself, in squares of the
// small-icon size plus 2 pixels on each side, from the taskbar's right end leftwards in the order they
// were added; it keeps no window per icon. The first icon's square is the rightmost one.
bool FirstIconSpot(POINT* pPt) {
    RECT rect;
    HWND tray = Tray();
    if (tray == nullptr || !GetWindowRect(tray, &rect))
        return false;
    pPt->x = rect.right - (GetSystemMetrics(SM_CXSMICON) / 2 + 2);
    pPt->y = (rect.top + rect.bottom) / 2;
    return true;
}

int WaitWindow(const char* pszClass, const char* pszTitle, int nSeconds) {
    const char* pszName = pszTitle != nullptr ? pszTitle : pszClass;
    HWND hwnd = nullptr;
    if (!WaitFor(nSeconds, [&] { return (hwnd = FindWindowA(pszClass, pszTitle)) != nullptr; })) {
        std::printf("no window \"%s\" within %ds\n", pszName, nSeconds);
        return 1;
    }
    std::printf("window \"%s\" is %p\n", pszName, static_cast<void*>(hwnd));
    return 0;
}

// The taskbar accepts NIM_MODIFY for a window and id only when it holds an icon of that pair. Wine's
// explorer looks the icon up by window and id alone, whichever process asks, so an empty modification
// (no flag: nothing changes) tells whether the icon is there.
int Icon(const char* pszTitle, UINT nId) {
    HWND owner = FindWindowA(nullptr, pszTitle);
    if (owner == nullptr || Tray() == nullptr) {
        std::printf("no window \"%s\" or no taskbar\n", pszTitle);
        return 2;
    }
    // Whatever the program was doing when asked (its start-up timer, say) is finished first.
    Sync(owner);
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = nId;
    const bool bPresent = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    std::printf("icon %u of %p is %s\n", nId, static_cast<void*>(owner), bPresent ? "there" : "not there");
    return bPresent ? 0 : 1;
}

// Sent, not posted, to every top-level window: when the broadcast returns, each of them has handled it
// (and so has added its icon again).
int TaskbarCreated() {
    const UINT nMsg = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    if (nMsg == 0 ||
        SendMessageTimeoutA(HWND_BROADCAST, nMsg, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) == 0) {
        std::printf("broadcast failed (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("broadcast \"TaskbarCreated\" (message %#x)\n", nMsg);
    return 0;
}

// In Wine's taskbar each icon has a tooltip window of its own, owned by the taskbar. It shows when the
// mouse rests on the icon, and while it shows, its window text is the icon's tip.
struct TipSearch {
    HWND tray;
    char szText[128];
};

BOOL CALLBACK FindShownTip(HWND hwnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<TipSearch*>(lParam);
    if (!HasClass(hwnd, "tooltips_class32") || GetWindow(hwnd, GW_OWNER) != pSearch->tray ||
        !IsWindowVisible(hwnd))
        return TRUE;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(pSearch->szText), reinterpret_cast<LPARAM>(pSearch->szText),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return pSearch->szText[0] == '\0';
}

int Hover(int nSeconds) {
    POINT pt;
    if (!FirstIconSpot(&pt)) {
        std::printf("no taskbar\n");
        return 2;
    }
    // A tooltip starts its timer on a mouse move over its tool; the cursor may already be on the spot.
    SetCursorPos(pt.x - 1, pt.y);
    SetCursorPos(pt.x, pt.y);
    TipSearch search = {Tray(), ""};
    if (!WaitFor(nSeconds, [&] {
            EnumWindows(FindShownTip, reinterpret_cast<LPARAM>(&search));
            return search.szText[0] != '\0';
        })) {
        std::printf("no tooltip at (%ld,%ld) within %ds\n", pt.x, pt.y, nSeconds);
        return 1;
    }
    std::printf("tooltip at (%ld,%ld): %s\n", pt.x, pt.y, search.szText);
    return 0;
}

int AboveIcon() {
    POINT pt;
    RECT rect;
    if (!FirstIconSpot(&pt) || !GetWindowRect(Tray(), &rect)) {
        std::printf("no taskbar\n");
        return 2;
    }
    pt.y = rect.top - 1;
    SetCursorPos(pt.x, pt.y);
    std::printf("cursor at (%ld,%ld)\n", pt.x, pt.y);
    return 0;
}

int OnIcon() {
    POINT pt;
    if (!FirstIconSpot(&pt)) {
        std::printf("no taskbar\n");
        return 2;
    }
    SetCursorPos(pt.x, pt.y);
    std::printf("cursor at (%ld,%ld)\n", pt.x, pt.y);
    return 0;
}

int Click(bool bRight) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = bRight ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = bRight ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    POINT pt = {};
    GetCursorPos(&pt);
    if (SendInput(2, input, sizeof(INPUT)) != 2) {
        std::printf("SendInput failed (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("%s click at (%ld,%ld)\n", bRight ? "right" : "left", pt.x, pt.y);
    return 0;
}

int Notify(const char* pszTitle, UINT nId) {
    HWND owner = FindWindowA(nullptr, pszTitle);
    const UINT nMsg = RegisterWindowMessageA("NotifyIcon");
    if (owner == nullptr || nMsg == 0) {
        std::printf("no window \"%s\"\n", pszTitle);
        return 2;
    }
    if (!PostMessageA(owner, nMsg, nId, WM_RBUTTONDOWN)) {
        std::printf("PostMessage failed (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("posted \"NotifyIcon\" %u WM_RBUTTONDOWN to %p\n", nId, static_cast<void*>(owner));
    return 0;
}

// An open popup menu is a visible top-level window of the class "#32768" that belongs to the thread
// that called TrackPopupMenu.
struct MenuSearch {
    DWORD nThread;
    HWND found;
};

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<MenuSearch*>(lParam);
    if (HasClass(hwnd, "#32768") && IsWindowVisible(hwnd) &&
        GetWindowThreadProcessId(hwnd, nullptr) == pSearch->nThread) {
        pSearch->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND OpenMenu(DWORD nThread) {
    MenuSearch search = {nThread, nullptr};
    EnumWindows(FindMenuWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// bOpen: waits for the menu to open (and prints its rectangle), else for it to close.
int WaitMenu(const char* pszTitle, int nSeconds, bool bOpen) {
    HWND owner = FindWindowA(nullptr, pszTitle);
    if (owner == nullptr) {
        std::printf("no window \"%s\"\n", pszTitle);
        return 2;
    }
    const DWORD nThread = GetWindowThreadProcessId(owner, nullptr);
    HWND menu = nullptr;
    if (!WaitFor(nSeconds, [&] { return ((menu = OpenMenu(nThread)) != nullptr) == bOpen; })) {
        std::printf("%s popup menu of \"%s\" within %ds\n", bOpen ? "no" : "still a", pszTitle, nSeconds);
        return 1;
    }
    if (!bOpen) {
        std::printf("no popup menu of \"%s\" open\n", pszTitle);
        return 0;
    }
    RECT rect = {};
    GetWindowRect(menu, &rect);
    std::printf("popup menu %p at (%ld,%ld)-(%ld,%ld)\n", static_cast<void*>(menu), rect.left, rect.top,
                rect.right, rect.bottom);
    return 0;
}

// Through SendInput, the keys take the way a keyboard's do: into the input queue of the foreground
// thread, which is the one that opened the menu.
bool TypeKey(WORD nVk) {
    INPUT input[2] = {};
    for (INPUT& in : input) {
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = nVk;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(nVk, MAPVK_VK_TO_VSC));
    }
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, input, sizeof(INPUT)) == 2;
}

int Keys(int argc, char** argv) {
    const struct {
        const char* pszName;
        WORD nVk;
    } names[] = {{"down", VK_DOWN}, {"up", VK_UP}, {"return", VK_RETURN}, {"escape", VK_ESCAPE}};
    for (int i = 0; i < argc; ++i) {
        WORD nVk = 0;
        for (const auto& name : names) {
            if (std::strcmp(argv[i], name.pszName) == 0)
                nVk = name.nVk;
        }
        if (nVk == 0)
            return Usage();
        if (!TypeKey(nVk)) {
            std::printf("SendInput failed (error %lu)\n", GetLastError());
            return 1;
        }
    }
    std::printf("typed %d key(s)\n", argc);
    return 0;
}

// Each opening is the icon's callback as the shell posts it; each closing is an Escape typed into the
// menu. The next opening waits until the menu is gone and the program is back in its message loop.
int Menus(const char* pszTitle, UINT nId, int nTimes) {
    constexpr int kSeconds = 20;
    HWND owner = FindWindowA(nullptr, pszTitle);
    const UINT nMsg = RegisterWindowMessageA("NotifyIcon");
    if (owner == nullptr || nMsg == 0) {
        std::printf("no window \"%s\"\n", pszTitle);
        return 2;
    }
    const DWORD nThread = GetWindowThreadProcessId(owner, nullptr);
    for (int i = 0; i < nTimes; ++i) {
        PostMessageA(owner, nMsg, nId, WM_RBUTTONDOWN);
        if (!WaitFor(kSeconds, [&] { return OpenMenu(nThread) != nullptr; }) || !TypeKey(VK_ESCAPE) ||
            !WaitFor(kSeconds, [&] { return OpenMenu(nThread) == nullptr; }) || !Sync(owner)) {
            std::printf("opening %d of %d: the menu did not open and close within %ds\n", i + 1, nTimes,
                        kSeconds);
            return 1;
        }
    }
    std::printf("opened and closed the menu %d times\n", nTimes);
    return 0;
}

int Memory(const char* pszTitle) {
    HWND owner = FindWindowA(nullptr, pszTitle);
    DWORD nPid = 0;
    if (owner == nullptr || GetWindowThreadProcessId(owner, &nPid) == 0) {
        std::printf("no window \"%s\"\n", pszTitle);
        return 2;
    }
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, nPid);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    const bool bOk = hProcess != nullptr &&
                     GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                          sizeof(counters));
    if (hProcess != nullptr)
        CloseHandle(hProcess);
    if (!bOk) {
        std::printf("cannot read process %lu (error %lu)\n", nPid, GetLastError());
        return 1;
    }
    // Windows keeps PagefileUsage equal to PrivateUsage, the process's commit charge; Wine (8.0) leaves
    // PrivateUsage at 0 and fills in PagefileUsage only.
    const SIZE_T nPrivate = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
    std::printf("private %llu ws %llu\n", static_cast<unsigned long long>(nPrivate),
                static_cast<unsigned long long>(counters.WorkingSetSize));
    return 0;
}

// One mode as the scenario language writes it, without the frequency: WxHxBPP.
void PrintSize(const DEVMODEA& dm) {
    std::printf("%lux%lux%lu", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel);
}

void PrintMode(const DEVMODEA& dm) {
    PrintSize(dm);
    std::printf("@%lu", dm.dmDisplayFrequency);
}

bool SameMode(const DEVMODEA& a, const DEVMODEA& b) {
    return a.dmPelsWidth == b.dmPelsWidth && a.dmPelsHeight == b.dmPelsHeight &&
           a.dmBitsPerPel == b.dmBitsPerPel && a.dmDisplayFrequency == b.dmDisplayFrequency;
}

// The modes in the order the display lists them, the frequencies of one size and depth after each
// other joined into one "@HZ,HZ" as the scenario language groups them.
void PrintModes(const char* pszDevice) {
    DEVMODEA dm = {};
    dm.dmSize = sizeof(dm);
    DEVMODEA last = {};
    for (DWORD i = 0; EnumDisplaySettingsA(pszDevice, i, &dm); ++i) {
        const bool bSame = i > 0 && dm.dmPelsWidth == last.dmPelsWidth &&
                           dm.dmPelsHeight == last.dmPelsHeight && dm.dmBitsPerPel == last.dmBitsPerPel;
        if (bSame) {
            std::printf(",%lu", dm.dmDisplayFrequency);
        } else {
            std::printf(" ");
            PrintMode(dm);
        }
        last = dm;
    }
}

int Machine() {
    OSVERSIONINFOA osvi = {};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
    if (!GetVersionExA(&osvi)) {
        std::printf("GetVersionExA failed (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("os %lu.%lu csd \"%s\" build %lu\n", osvi.dwMajorVersion, osvi.dwMinorVersion,
                osvi.szCSDVersion, osvi.dwBuildNumber);
    DISPLAY_DEVICEA dd = {};
    dd.cb = sizeof(dd);
    for (DWORD i = 0; EnumDisplayDevicesA(nullptr, i, &dd, 0); ++i) {
        std::printf("display %s", dd.DeviceID);
        if (dd.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE)
            std::printf(" primary");
        else if (dd.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)
            std::printf(" attached");
        DEVMODEA current = {};
        current.dmSize = sizeof(current);
        DEVMODEA saved = current;
        if (EnumDisplaySettingsA(dd.DeviceName, ENUM_CURRENT_SETTINGS, &current) &&
            current.dmPelsWidth != 0) {
            std::printf(" current ");
            PrintMode(current);
        }
        if (EnumDisplaySettingsA(dd.DeviceName, ENUM_REGISTRY_SETTINGS, &saved) &&
            !SameMode(saved, current)) {
            std::printf(" registry ");
            PrintMode(saved);
        }
        std::printf(" modes");
        PrintModes(dd.DeviceName);
        std::printf("\n");
    }
    return 0;
}

} // namespace

int Dialog(const char* pszTitle, int nSeconds) {
    HWND hwnd = nullptr;
    if (!WaitFor(nSeconds, [&] { return (hwnd = FindWindowA("#32770", pszTitle)) != nullptr; })) {
        std::printf("no dialog \"%s\" within %ds\n", pszTitle, nSeconds);
        return 1;
    }
    Sync(hwnd); // past its WM_INITDIALOG
    RECT rc = {};
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!GetWindowRect(hwnd, &rc) ||
        !GetMonitorInfoA(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) {
        std::printf("the rectangles of dialog \"%s\" and its display cannot be read\n", pszTitle);
        return 1;
    }
    const RECT& d = mi.rcMonitor;
    const bool bFront = GetForegroundWindow() == hwnd;
    const bool bCentred = std::labs(rc.left + rc.right - d.left - d.right) <= 1 &&
                          std::labs(rc.top + rc.bottom - d.top - d.bottom) <= 1;
    std::printf("dialog %ld,%ld,%ld,%ld on display %ld,%ld,%ld,%ld of %d, %s\n", rc.left, rc.top, rc.right,
                rc.bottom, d.left, d.top, d.right, d.bottom, GetSystemMetrics(SM_CMONITORS),
                bFront ? "in front" : "not in front");
    return bFront && bCentred ? 0 : 1;
}

int main(int argc, char** argv) {
    const std::string_view command = argc >= 2 ? argv[1] : "";
    if (command == "taskbar" && argc == 3) {
        // Wine starts a desktop's explorer, and so its taskbar, for the first program that asks for the
        // desktop window; a console program does not ask by itself.
        GetDesktopWindow();
        return WaitWindow("Shell_TrayWnd", nullptr, std::atoi(argv[2]));
    }
    if (command == "wait-window" && argc == 4)
        return WaitWindow(nullptr, argv[2], std::atoi(argv[3]));
    if (command == "icon" && argc == 4)
        return Icon(argv[2], static_cast<UINT>(std::atoi(argv[3])));
    if (command == "taskbar-created" && argc == 2)
        return TaskbarCreated();
    if (command == "hover" && argc == 3)
        return Hover(std::atoi(argv[2]));
    if (command == "above-icon" && argc == 2)
        return AboveIcon();
    if (command == "right-click" && argc == 2)
        return Click(true);
    if (command == "left-click" && argc == 2)
        return Click(false);
    if (command == "notify" && argc == 4)
        return Notify(argv[2], static_cast<UINT>(std::atoi(argv[3])));
    if (command == "wait-menu" && argc == 4)
        return WaitMenu(argv[2], std::atoi(argv[3]), true);
    if (command == "wait-no-menu" && argc == 4)
        return WaitMenu(argv[2], std::atoi(argv[3]), false);
    if (command == "on-icon" && argc == 2)
        return OnIcon();
    if (command == "dialog" && argc == 4)
        return Dialog(argv[2], std::atoi(argv[3]));
    if (command == "machine" && argc == 2)
        return Machine();
    if (command == "keys" && argc >= 3)
        return Keys(argc - 2, argv + 2);
    if (command == "menus" && argc == 5)
        return Menus(argv[2], static_cast<UINT>(std::atoi(argv[3])), std::atoi(argv[4]));
    if (command == "memory" && argc == 3)
        return Memory(argv[2]);
    return Usage();
}
