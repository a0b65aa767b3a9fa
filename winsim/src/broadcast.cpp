// The system's broadcasts whose next step waits for the answers of every window they went to, and the
// deadlines after which Windows stops waiting. docs/winsim-power.md lists the rules.
#include "broadcast.h"
#include "machine.h"
#include "output.h"
#include "window.h"

#include <algorithm>

namespace winsim {
namespace {

Broadcast* FindBroadcast(uint64_t id) {
    for (Broadcast& b : M().broadcasts) {
        if (b.id == id)
            return &b;
    }
    return nullptr;
}

// The step after every window has answered (or the deadline has passed).
void Finish(uint64_t id) {
    Machine& m = M();
    Broadcast* b = FindBroadcast(id);
    if (!b)
        return;
    Broadcast done = *b;
    m.broadcasts.erase(m.broadcasts.begin() + (b - m.broadcasts.data()));
    if (done.step == BroadcastStep::QueryEndSession || done.step == BroadcastStep::EndSession)
        SessionStep(done);
    else
        PowerStep(done);
}

} // namespace

void SendBroadcast(Broadcast b, const Vec<uintptr_t>& windows, UINT message, WPARAM wParam, LPARAM lParam) {
    Machine& m = M();
    b.id = m.nextBroadcast++;
    b.waiting = 0;
    m.broadcasts.push_back(b);
    int waiting = 0;
    for (uintptr_t hwnd : windows) {
        const Window* w = FindWindowRecord(hwnd);
        if (w && QueueSentValue(w->pid, ToHwnd(hwnd), message, wParam, lParam,
                                FollowUp{FollowUp::Kind::Broadcast, b.id}))
            ++waiting;
    }
    FindBroadcast(b.id)->waiting = waiting;
    if (waiting == 0)
        Finish(b.id);
}

void BroadcastAnswered(uint64_t id, LRESULT answer) {
    Broadcast* b = FindBroadcast(id);
    if (!b)
        return; // Windows stopped waiting at the deadline
    if ((b->step == BroadcastStep::QuerySuspend && answer == BROADCAST_QUERY_DENY) ||
        (b->step == BroadcastStep::QueryEndSession && answer == FALSE))
        b->refused = true;
    if (--b->waiting == 0)
        Finish(id);
}

bool NextBroadcastDeadline(VirtualMs& deadline) {
    bool found = false;
    for (const Broadcast& b : M().broadcasts) {
        if (b.deadline && (!found || b.deadline < deadline)) {
            deadline = b.deadline;
            found = true;
        }
    }
    return found;
}

void ExpireBroadcasts() {
    Machine& m = M();
    for (;;) {
        auto due = std::find_if(m.broadcasts.begin(), m.broadcasts.end(),
                                [&](const Broadcast& b) { return b.deadline && b.deadline <= m.now; });
        if (due == m.broadcasts.end())
            return;
        Note("%d window(s) did not take the power broadcast from their queues in time; Windows goes on",
             due->waiting);
        Finish(due->id);
    }
}

} // namespace winsim
