// The end of the session: logoff and shutdown as CSRSS carries them out, process by process, and the end of
// each process that agreed. docs/winsim-power.md lists the rules with their sources.
#include "broadcast.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "window.h"

#include <algorithm>

namespace winsim {
namespace {

LPARAM Flags(const Broadcast& b) {
    return b.logoff ? LPARAM(ENDSESSION_LOGOFF) : 0;
}

void Log(const Broadcast& b, SessionEvent::Outcome outcome, DWORD pid = 0) {
    Machine& m = M();
    m.sessionLog.push_back(SessionEvent{m.now, b.logoff, outcome, pid});
}

// The running process after `pid`, in pid order, that has a top-level window; 0 when none is left.
DWORD NextProcess(DWORD after) {
    DWORD next = 0;
    for (const Process* p : M().processes) {
        if (p->running && p->pid > after && (!next || p->pid < next) && !TopLevelWindows(p->pid).empty())
            next = p->pid;
    }
    return next;
}

bool HasVisibleWindow(DWORD pid) {
    Vec<uintptr_t> windows = TopLevelWindows(pid);
    return std::any_of(windows.begin(), windows.end(),
                       [](uintptr_t w) { return FindWindowRecord(w)->visible; });
}

void Terminate(DWORD pid) {
    Note("process %u is terminated as its session ends", static_cast<unsigned>(pid));
    EndProcess(*FindProcess(pid), 0);
}

// Every process has been asked: the session ends, and the processes without a window go with it.
void Conclude(const Broadcast& b) {
    Machine& m = M();
    if (b.cancelled) {
        Log(b, SessionEvent::Outcome::Cancelled);
        return;
    }
    Log(b, SessionEvent::Outcome::Ended);
    m.sessionOver = true;
    for (Process* p : m.processes) {
        if (p->running)
            Terminate(p->pid);
    }
}

// Asks the next process after `after` whether its session may end.
void AskNext(Broadcast b, DWORD after) {
    b.pid = NextProcess(after);
    if (!b.pid) {
        Conclude(b);
        return;
    }
    b.step = BroadcastStep::QueryEndSession;
    b.refused = false;
    SendBroadcast(b, TopLevelWindows(b.pid), WM_QUERYENDSESSION, 0, Flags(b));
}

} // namespace

void SessionStep(const Broadcast& b) {
    Broadcast next = b;
    if (b.step == BroadcastStep::QueryEndSession) {
        if (b.refused && M().os.major >= 6 && !HasVisibleWindow(b.pid)) {
            // Vista lets no program without a visible window hold up the end of the session.
            Note("process %u refused the end of the session with no visible window: Windows ends it anyway",
                 static_cast<unsigned>(b.pid));
            Terminate(b.pid);
            AskNext(b, b.pid);
            return;
        }
        next.step = BroadcastStep::EndSession;
        next.ending = !b.refused && !b.cancelled;
        SendBroadcast(next, TopLevelWindows(b.pid), WM_ENDSESSION, next.ending, Flags(b));
        return;
    }
    if (b.refused) {
        // A refusal ends the run: the processes after this one are asked nothing.
        Note("process %u refused the end of the session", static_cast<unsigned>(b.pid));
        Log(b, SessionEvent::Outcome::RefusedBy, b.pid);
        return;
    }
    if (b.ending)
        Terminate(b.pid);
    AskNext(b, b.pid);
}

void SessionEnds(bool logoff, bool cancelled) {
    Machine& m = M();
    const char* what = logoff ? "logoff" : "shutdown";
    bool underway = std::any_of(m.broadcasts.begin(), m.broadcasts.end(), [](const Broadcast& b) {
        return b.step == BroadcastStep::QueryEndSession || b.step == BroadcastStep::EndSession;
    });
    if (m.sessionOver || underway || m.asleep) {
        Note("%s: the %s", what,
             m.sessionOver ? "session has ended already"
                           : (underway ? "session is ending already" : "machine is asleep"));
        return;
    }
    Note("%s: Windows asks each program in turn%s", what,
         cancelled ? "; a program outside the simulation refuses" : "");
    Broadcast b;
    b.logoff = logoff;
    b.cancelled = cancelled;
    AskNext(b, 0);
}

} // namespace winsim
