// Processes (process.cpp).
#pragma once

#include <windows.h>

#include "containers.h"
#include "kernel.h"
#include "registry.h"
#include "window.h"

namespace winsim {

struct Process {
    DWORD pid = 0;
    Str image{Arena()};
    Str commandLine{Arena()}; // the whole command line, as GetCommandLineA returns it
    size_t argsOffset = 0;    // where the text after the program name starts
    bool running = true;
    bool forked = false;
    bool elevated = false;              // started with the user's full token (a prompt, a logon task)
    Vec<UINT> allowedMessages{Arena()}; // ChangeWindowMessageFilter: let in from lower integrity
    DWORD exitCode = STILL_ACTIVE;
    DWORD lastError = 0;
    VirtualMs started = 0;
    VirtualMs ended = 0;
    Deque<PostedMessage> posted{Arena()};
    Deque<PostedMessage> input{Arena()}; // the user's mouse and keyboard input, after posted messages
    Deque<SentMessage> sent{Arena()};
    bool quitPosted = false;
    int quitCode = 0;
    Vec<Timer> timers{Arena()};
    bool heardSuspend =
        false; // its windows were sent PBT_APMSUSPEND: the user's wake sends PBT_APMRESUMESUSPEND
    Map<uintptr_t, HandleEntry> handles{Arena()};
    Map<uintptr_t, RegHandle> regHandles{Arena()};
    uintptr_t nextHandle = 0x40;
    uintptr_t nextRegHandle = 0x100;
    Vec<uint32_t> apiCalls{Arena()}; // the program's calls of each function so far, by Api
    // Every time the process was woken: a WM_TIMER handed to it, any other message delivered to it (sent
    // from outside, posted, input, WM_QUIT), a Sleep.
    Vec<WindowClass> classes{Arena()}; // RegisterClassA
    uint64_t timersFired = 0;
    uint64_t messagesDelivered = 0;
    uint64_t sleeps = 0;
};

Process& CurrentProcess();
// The process whose code runs now, or nullptr outside of any (a test's own code, the start-up).
Process* RunningProcess();
Process* FindProcess(DWORD pid);
bool InChildProcess(); // true in a fork()ed second start
void SetError(DWORD error);

// Starts the program with this command-line text (the part after the program name). The first program
// runs right here and returns when it ends; a start while one is running forks, so it runs in a process of
// its own, and returns when that process has ended. Returns the new pid.
DWORD StartProgram(const char* args, bool elevated = false);

// For tests of winsim itself: a fresh machine with one process that the calling code plays.
DWORD BeginTestProcess();
// For tests of winsim itself: another process, and which one the calling code plays from now on.
DWORD AddTestProcess();
void PlayTestProcess(DWORD pid);

// What Windows does when a process ends: its windows, timers, handles, mutexes and registrations go away,
// and what waited in its queue counts as answered.
void EndProcess(Process& p, DWORD exitCode);
// The current process was ended from outside while the simulator held it (the end of the session): its
// code must never run again, so the rest of the scenario's timeline runs from here, up to its end.
void LeaveIfEnded();

} // namespace winsim
