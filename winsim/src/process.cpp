// Program starts. The first program runs in the simulator's own process; a start while it runs is a
// second Windows process, so it runs in a fork()ed copy: it cannot disturb the running instance's memory,
// and whatever it does to the machine (posted messages, traces, registry) lands in the shared arena.
#include "broadcast.h"
#include "kernel.h"
#include "machine.h"
#include "menu.h"
#include "output.h"
#include "process.h"
#include "scheduler.h"
#include "usb.h"
#include "window.h"

#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace winsim {
namespace {

DWORD g_currentPid = 0;      // per Linux process: which simulated process runs here now
bool g_inChild = false;      // this Linux process is a fork()ed second start
bool g_imageBusy = false;    // a program runs in this Linux process
bool g_playedByTest = false; // the current process is a test's code (BeginTestProcess)

Process& NewProcess(const char* args, bool elevated = false) {
    Machine& m = M();
    Process* p = New<Process>();
    p->pid = m.nextPid;
    m.nextPid += 4;
    p->image = m.program.imageName ? m.program.imageName : "program.exe";
    p->commandLine = "\"C:\\Program Files\\duodesk\\";
    p->commandLine += p->image;
    p->commandLine += "\"";
    if (args && *args) {
        p->commandLine += " ";
        p->argsOffset = p->commandLine.size();
        p->commandLine += args;
    } else {
        p->argsOffset = p->commandLine.size();
    }
    p->started = m.now;
    p->elevated = elevated;
    m.processes.push_back(p);
    return *p;
}

DWORD RunImage(Process& p) {
    // lpCmdLine as the C runtime's start-up code of MSVC and MinGW makes it: the text after the program
    // name, without the blanks (every character up to ' ') that follow the name. GetCommandLineA keeps them.
    LPSTR args = p.commandLine.data() + p.argsOffset;
    while (*args != '\0' && static_cast<unsigned char>(*args) <= ' ')
        ++args;
    auto instance = reinterpret_cast<HINSTANCE>(uintptr_t(0x400000));
    ProgramCode program;
    int code = M().program.winMain(instance, nullptr, args, SW_SHOWDEFAULT);
    return static_cast<DWORD>(code);
}

} // namespace

Process& CurrentProcess() {
    Process* p = FindProcess(g_currentPid);
    if (!p) {
        fprintf(stderr, "winsim: a Win32 call outside of any program\n");
        abort();
    }
    return *p;
}

Process* RunningProcess() {
    return g_currentPid != 0 ? FindProcess(g_currentPid) : nullptr;
}

Process* FindProcess(DWORD pid) {
    for (Process* p : M().processes) {
        if (p->pid == pid)
            return p;
    }
    return nullptr;
}

bool InChildProcess() {
    return g_inChild;
}

void SetError(DWORD error) {
    CurrentProcess().lastError = error;
}

void EndProcess(Process& p, DWORD exitCode) {
    Machine& m = M();
    for (auto& [handle, window] : m.windows) {
        if (window->pid == p.pid && !window->destroyed) {
            window->destroyed = true;
            window->visible = false;
        }
    }
    if (m.trackedMenu.open && m.trackedMenu.pid == p.pid)
        m.trackedMenu = TrackedMenu{};
    p.timers.clear();
    for (auto& [value, entry] : p.handles)
        ReleaseObject(entry.object);
    p.handles.clear();
    p.regHandles.clear();
    for (DeviceNotification& n : m.notifications) {
        if (n.pid == p.pid)
            n.active = false;
    }
    p.posted.clear();
    p.input.clear();
    Deque<SentMessage> unanswered = std::move(p.sent);
    p.sent.clear();
    p.running = false;
    p.exitCode = exitCode;
    p.ended = m.now;
    // A message to a window that is gone can no longer hold up what waits for its answer.
    for (const SentMessage& sent : unanswered) {
        if (sent.followUp.kind == FollowUp::Kind::AdapterRemoval)
            CompleteAdapterRemoval();
        else if (sent.followUp.kind == FollowUp::Kind::Broadcast)
            BroadcastAnswered(sent.followUp.broadcast, TRUE);
    }
}

void LeaveIfEnded() {
    static bool runningOut = false;
    Process* p = FindProcess(g_currentPid);
    if (!p || p->running || g_inChild || !(g_imageBusy || g_playedByTest) || runningOut)
        return;
    runningOut = true;
    Note("process %u has been ended; its code runs no more", static_cast<unsigned>(p->pid));
    AdvanceTo(~VirtualMs(0) >> 1);
    // A scenario's timeline ends with its end event, which exits; only a test's timeline runs out.
    fprintf(stderr, "winsim: the timeline ran out after process %u had been ended\n",
            static_cast<unsigned>(p->pid));
    fflush(stdout);
    exit(5);
}

DWORD StartProgram(const char* args, bool elevated) {
    if (M().sessionOver) {
        Note("start: the session has ended; no program starts");
        return 0;
    }
    Process& p = NewProcess(args, elevated);
    DWORD pid = p.pid;
    if (!g_imageBusy) {
        DWORD previous = g_currentPid;
        g_currentPid = pid;
        g_imageBusy = true;
        DWORD code = RunImage(p);
        g_imageBusy = false;
        EndProcess(*FindProcess(pid), code);
        g_currentPid = previous;
        return pid;
    }
    if (g_inChild) {
        Note("process %u cannot start a program of its own; start ignored",
             static_cast<unsigned>(g_currentPid));
        EndProcess(p, 1);
        return pid;
    }
    p.forked = true;
    fflush(stdout);
    fflush(stderr);
    pid_t child = fork();
    if (child < 0) {
        Note("fork failed; start of process %u ignored", static_cast<unsigned>(pid));
        EndProcess(p, 1);
        return pid;
    }
    if (child == 0) {
        g_inChild = true;
        g_currentPid = pid;
        DWORD code = RunImage(p);
        EndProcess(p, code);
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    Process* ended = FindProcess(pid);
    if (ended && ended->running) {
        // The child died without ending the simulated process: a crash or a sanitizer report.
        Note("process %u ended abnormally (Linux status %d)", static_cast<unsigned>(pid), status);
        EndProcess(*ended, 0xC0000005);
    }
    return pid;
}

DWORD BeginTestProcess() {
    ResetMachine();
    Process& p = NewProcess("");
    g_currentPid = p.pid;
    g_playedByTest = true;
    return p.pid;
}

DWORD AddTestProcess() {
    return NewProcess("").pid;
}

void PlayTestProcess(DWORD pid) {
    g_currentPid = pid;
}

// Called when a second start would wait for something: nothing can happen to it while the running
// instance holds the simulator, so it ends here instead of hanging the run.
[[noreturn]] void EndBlockedChild() {
    Process& p = CurrentProcess();
    Note("process %u would wait for messages; a second start must not stay resident",
         static_cast<unsigned>(p.pid));
    EndProcess(p, 0xDEAD);
    fflush(stdout);
    fflush(stderr);
    _exit(0);
}

} // namespace winsim
