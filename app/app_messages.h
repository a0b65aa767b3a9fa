// The registered window messages between the shell, a second start of the program and the running one.
// RegisterWindowMessageA gives the same number to every process of the desktop for the same name, so a
// second instance posts exactly what the first one's message map matches.
#pragma once
#include <windows.h>

extern UINT g_nMsgTaskbarCreated; // "TaskbarCreated": the shell (re)created the taskbar
extern UINT g_nMsgNotifyIcon;     // "NotifyIcon": mouse events on the tray icon
extern UINT g_nMsgTurnOff;        // "TurnOff": turn the adapter off; wParam TURNOFF_AND_CLOSE also quits
extern UINT g_nMsgRemoveRegistry; // "RemoveRegistry": delete the profile and quit
extern UINT g_nMsgSISRotation;    // "SISRotation": wParam 1..4 = rotation 0, 90, 180, 270 degrees

// The wParam of "TurnOff" that also closes the running instance.
constexpr WPARAM TURNOFF_AND_CLOSE = 5418;

// Fills in the five numbers; a failed registration leaves 0, which no message map entry matches.
void RegisterAppMessages();

// Lets the five messages in from processes of lower integrity, where Windows filters them.
void AllowAppMessagesFromLowerIntegrity(HWND hWnd);
