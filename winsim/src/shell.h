// The shell and the services (shell.cpp, advapi.cpp; docs/winsim-shell.md describes the shell).
#pragma once

#include <windows.h>
#include <winsim/user.h>

#include "containers.h"

namespace winsim {

struct TrayIcon {
    uintptr_t hwnd = 0;
    UINT id = 0;
    DWORD ownerPid = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;
    uintptr_t icon = 0;
    Str tip{Arena()};
    DWORD cbSize = 0;
    UINT version = 0; // NIM_SETVERSION: how the callbacks are laid out
};

enum class ServiceState { Absent, Stopped, Running };

struct Service {
    ServiceState state = ServiceState::Absent;
    int starts = 0;
    int stops = 0;
};

struct MonitorPowerEvent {
    VirtualMs time = 0;
    DWORD pid = 0;
    LPARAM power = 0; // 2 off, -1 on, 1 low power
};

// The user's pointer acts on the first icon of the notification area: its owner window gets the callback
// messages, queued as sent messages.
void UserClicksTrayIcon(TrayClick click);
// Explorer starts again: the notification area is empty, and "TaskbarCreated" waits in the queue of every
// top-level window.
void RestartShell();

} // namespace winsim
