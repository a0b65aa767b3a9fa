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
