// The virtual clock. Nothing here waits on the wall clock: time moves only when a program waits (Sleep,
// or GetMessageA with nothing to do), and external events happen at their virtual times in between.
#include "faults.h"
#include "broadcast.h"
#include "machine.h"
#include "menu.h"
#include "output.h"
#include "process.h"
#include "scheduler.h"
#include "window.h"

#include <cstdio>
#include <cstdlib>

namespace winsim {

[[noreturn]] void EndBlockedChild();

namespace {
EventSource* g_events = nullptr;
bool g_waitLines = false;
} // namespace

void SetWaitLines(bool on) {
    g_waitLines = on;
}

void SetEventSource(EventSource* source) {
    g_events = source;
}

namespace {

// `forWaitingProgram`: a program waits in WaitForWork and, when the event source wants it, goes back to its
// queue after each event.
void Advance(VirtualMs time, bool forWaitingProgram) {
    Machine& m = M();
    if (InChildProcess())
        return; // a second start runs in no time; the running instance owns the clock
    for (;;) {
        VirtualMs next = 0, deadline = 0;
        bool event = g_events && g_events->NextEventTime(next) && next <= time;
        // A broadcast stops waiting at its deadline, before an event due at the same moment.
        if (NextBroadcastDeadline(deadline) && deadline <= time && (!event || deadline <= next)) {
            if (deadline > m.now)
                m.now = deadline;
            SimulatorCode simulator;
            ExpireBroadcasts();
            continue;
        }
        if (!event)
            break;
        if (next > m.now)
            m.now = next;
        SimulatorCode simulator;
        g_events->RunNextEvent();
        // The event was the earliest thing due, so the clock stands where the program asked it to go.
        if (forWaitingProgram && g_events->ProgramAnswersEachEvent())
            break;
    }
    // A program started by an event may have moved the clock past `time` already.
    if (time > m.now)
        m.now = time;
    // An event may have ended the process that waited here.
    LeaveIfEnded();
}

} // namespace

void AdvanceTo(VirtualMs time) {
    Advance(time, false);
}

void WaitForWork(Process& process) {
    Machine& m = M();
    for (bool waiting = false;; waiting = true) {
        const TrackedMenu& menu = m.trackedMenu;
        if (!process.sent.empty() || !process.posted.empty() || !process.input.empty() ||
            process.quitPosted || HasTimerDue(process, m.now) ||
            (menu.open && menu.pid == process.pid && !menu.requests.empty()))
            return;
        if (InChildProcess())
            EndBlockedChild();
        if (g_waitLines && !waiting)
            EmitOutput("wait %llu %u timers %zu", static_cast<unsigned long long>(m.now),
                       static_cast<unsigned>(process.pid), process.timers.size());
        VirtualMs wake = 0;
        bool haveWake = NextTimerDue(process, wake);
        VirtualMs eventTime = 0;
        if (g_events && g_events->NextEventTime(eventTime) && (!haveWake || eventTime < wake)) {
            wake = eventTime;
            haveWake = true;
        }
        if (NextBroadcastDeadline(eventTime) && (!haveWake || eventTime < wake)) {
            wake = eventTime;
            haveWake = true;
        }
        if (!haveWake) {
            fprintf(stderr, "winsim: process %u waits for messages that can never come\n",
                    static_cast<unsigned>(process.pid));
            fflush(stdout);
            exit(3);
        }
        Advance(wake, true);
    }
}

void HoldWhileAsleep() {
    Machine& m = M();
    while (m.asleep && !InChildProcess()) {
        VirtualMs next = 0;
        if (!g_events || !g_events->NextEventTime(next)) {
            fprintf(stderr, "winsim: the machine sleeps and nothing wakes it\n");
            fflush(stdout);
            exit(3);
        }
        AdvanceTo(next);
    }
}

} // namespace winsim

using namespace winsim;

// Sleep moves the clock without pumping messages: what arrives meanwhile waits in the queue. A sleep that
// ends while the machine is suspended ends when the machine resumes.
void Sleep(DWORD dwMilliseconds) {
    WINSIM_ENTRY_NEVER_FAILS(Sleep);
    ++CurrentProcess().sleeps;
    if (InChildProcess())
        return;
    AdvanceTo(M().now + dwMilliseconds);
    HoldWhileAsleep();
}

DWORD GetTickCount(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetTickCount);
    return static_cast<DWORD>(M().now);
}
