// System broadcasts (broadcast.cpp, power.cpp, session.cpp; docs/winsim-power.md describes the model).
#pragma once

#include <windows.h>

#include "containers.h"

namespace winsim {

// A broadcast of the system whose next step waits for the answers of every window it went to: the power
// events and the end of the session (broadcast.cpp, power.cpp, session.cpp; docs/winsim-power.md).
enum class BroadcastStep {
    QuerySuspend,
    Suspend,
    ResumeAutomatic,
    ResumeSuspend,
    QueryEndSession,
    EndSession
};
struct Broadcast {
    uint64_t id = 0;
    BroadcastStep step = BroadcastStep::Suspend;
    int waiting = 0;         // messages not yet handled
    bool refused = false;    // a window said no: BROADCAST_QUERY_DENY, or FALSE to WM_QUERYENDSESSION
    VirtualMs deadline = 0;  // when Windows stops waiting for the rest; 0: it waits as long as it takes
    bool unattended = false; // resume: no user caused the wake
    bool logoff = false;     // end of session: a logoff rather than a shutdown
    bool cancelled = false;  // end of session: a program outside the simulation refused the query
    DWORD pid = 0;           // end of session: the process this step goes to
    bool ending = false;     // end of session: WM_ENDSESSION's wParam
};

struct PowerEvent {
    enum class Kind { Suspend, Resume, SuspendRefused };
    VirtualMs time = 0;
    Kind kind = Kind::Suspend;
};

struct SessionEvent {
    enum class Outcome { Ended, Cancelled, RefusedBy };
    VirtualMs time = 0;
    bool logoff = false;
    Outcome outcome = Outcome::Ended;
    DWORD pid = 0; // RefusedBy: the process that refused
};

// Queues `message` to each of `windows` as a sent message answering to the new broadcast `b`; when no
// window took it, its next step is taken at once.
void SendBroadcast(Broadcast b, const Vec<uintptr_t>& windows, UINT message, WPARAM wParam, LPARAM lParam);
// A window has handled a message of broadcast `id` and answered `answer`.
void BroadcastAnswered(uint64_t id, LRESULT answer);
// The earliest deadline of the broadcasts under way, if any has one.
bool NextBroadcastDeadline(VirtualMs& deadline);
// Takes the next step of every broadcast whose deadline has come, as though the windows that have not
// answered had agreed.
void ExpireBroadcasts();
// The next step of a power broadcast (power.cpp) or of the end of the session (session.cpp), once every
// window has answered `b` or its deadline has passed.
void PowerStep(const Broadcast& b);
void SessionStep(const Broadcast& b);
// The machine goes to sleep (scenario event `suspend`) and wakes up again (`resume`).
void MachineSuspends();
void MachineResumes(bool unattended);
// The user logs off or shuts down (scenario events `logoff`, `shutdown`); with `cancelled` a program outside
// the simulation refuses.
void SessionEnds(bool logoff, bool cancelled);

} // namespace winsim
