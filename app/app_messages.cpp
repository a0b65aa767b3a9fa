#include <windows.h>

#include "app/app_messages.h"

UINT g_nMsgTaskbarCreated;
UINT g_nMsgNotifyIcon;
UINT g_nMsgTurnOff;
UINT g_nMsgRemoveRegistry;
UINT g_nMsgSISRotation;

void RegisterAppMessages() {
    g_nMsgTaskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    g_nMsgNotifyIcon = RegisterWindowMessageA("NotifyIcon");
    g_nMsgTurnOff = RegisterWindowMessageA("TurnOff");
    g_nMsgRemoveRegistry = RegisterWindowMessageA("RemoveRegistry");
    g_nMsgSISRotation = RegisterWindowMessageA("SISRotation");
}

// A process of lower integrity (the shell, a second start at the user's normal rights) reaches an elevated
// instance only with the messages let in here. Windows 7 filters per window, Vista per process, and XP
// has no such filter; each function is looked up, so the program still loads where it does not exist.
void AllowAppMessagesFromLowerIntegrity(HWND hWnd) {
    HMODULE hUser32 = GetModuleHandleA("user32.dll");
    const auto pfnWindowFilter = reinterpret_cast<decltype(&ChangeWindowMessageFilterEx)>(
        reinterpret_cast<void*>(GetProcAddress(hUser32, "ChangeWindowMessageFilterEx")));
    const auto pfnProcessFilter = reinterpret_cast<decltype(&ChangeWindowMessageFilter)>(
        reinterpret_cast<void*>(GetProcAddress(hUser32, "ChangeWindowMessageFilter")));
    const UINT nMsgs[] = {g_nMsgTaskbarCreated, g_nMsgNotifyIcon, g_nMsgTurnOff, g_nMsgRemoveRegistry,
                          g_nMsgSISRotation};
    for (UINT nMsg : nMsgs) {
        if (pfnWindowFilter != nullptr)
            pfnWindowFilter(hWnd, nMsg, MSGFLT_ALLOW, nullptr);
        else if (pfnProcessFilter != nullptr)
            pfnProcessFilter(nMsg, MSGFLT_ADD);
    }
}
