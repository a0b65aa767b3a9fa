// The power events: suspend and resume as WM_POWERBROADCAST tells them on each Windows version.
// docs/winsim-power.md lists the rules with their sources.
#include "broadcast.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "usb.h"
#include "window.h"

#include <algorithm>

namespace winsim {
namespace {

// How long Windows waits for the programs to take each power broadcast from their queues.
constexpr VirtualMs kQuerySuspendWaitMs = 20000;
constexpr VirtualMs kSuspendWaitMs = 2000;

bool PowerBroadcastUnderway(BroadcastStep step) {
    const Vec<Broadcast>& all = M().broadcasts;
    return std::any_of(all.begin(), all.end(), [step](const Broadcast& b) { return b.step == step; });
}

void LogPower(PowerEvent::Kind kind) {
    Machine& m = M();
    m.powerLog.push_back(PowerEvent{m.now, kind});
}

void SendPower(BroadcastStep step, const Vec<uintptr_t>& windows, WPARAM event, LPARAM lParam,
               VirtualMs wait = 0, bool unattended = false) {
    Broadcast b;
    b.step = step;
    b.deadline = wait ? M().now + wait : 0;
    b.unattended = unattended;
    SendBroadcast(b, windows, WM_POWERBROADCAST, event, lParam);
}

void SendSuspend() {
    Vec<uintptr_t> windows = TopLevelWindows();
    for (uintptr_t hwnd : windows)
        FindProcess(FindWindowRecord(hwnd)->pid)->heardSuspend = true;
    SendPower(BroadcastStep::Suspend, windows, PBT_APMSUSPEND, 0, kSuspendWaitMs);
}

} // namespace

void PowerStep(const Broadcast& b) {
    Machine& m = M();
    switch (b.step) {
    case BroadcastStep::QuerySuspend:
        if (!b.refused) {
            SendSuspend();
            break;
        }
        Note("suspend: a program refused the query; Windows stays awake and says so with "
             "PBT_APMQUERYSUSPENDFAILED");
        LogPower(PowerEvent::Kind::SuspendRefused);
        for (uintptr_t hwnd : TopLevelWindows())
            QueueSentValue(FindWindowRecord(hwnd)->pid, ToHwnd(hwnd), WM_POWERBROADCAST,
                           PBT_APMQUERYSUSPENDFAILED, 0);
        break;
    case BroadcastStep::Suspend:
        m.asleep = true;
        LogPower(PowerEvent::Kind::Suspend);
        Note("suspend: the machine sleeps");
        break;
    case BroadcastStep::ResumeAutomatic: {
        // Only the programs told of the suspend hear of the user's wake.
        Vec<uintptr_t> windows(Arena());
        for (uintptr_t hwnd : TopLevelWindows()) {
            if (FindProcess(FindWindowRecord(hwnd)->pid)->heardSuspend)
                windows.push_back(hwnd);
        }
        for (Process* p : m.processes)
            p->heardSuspend = false;
        if (!b.unattended)
            SendPower(BroadcastStep::ResumeSuspend, windows, PBT_APMRESUMESUSPEND, 0);
        break;
    }
    case BroadcastStep::ResumeSuspend:
    case BroadcastStep::QueryEndSession:
    case BroadcastStep::EndSession:
        break;
    }
}

void MachineSuspends() {
    Machine& m = M();
    if (m.asleep || PowerBroadcastUnderway(BroadcastStep::QuerySuspend) ||
        PowerBroadcastUnderway(BroadcastStep::Suspend)) {
        Note("suspend: the machine is already going to sleep or asleep");
        return;
    }
    // Windows 2000 and XP ask first, and allow each program to ask its user (lParam bit 0).
    if (m.os.major == 5)
        SendPower(BroadcastStep::QuerySuspend, TopLevelWindows(), PBT_APMQUERYSUSPEND, 1,
                  kQuerySuspendWaitMs);
    else
        SendSuspend();
}

void MachineResumes(bool unattended) {
    Machine& m = M();
    // A suspend still waiting for its answers would have gone ahead by now.
    while (!m.asleep && (PowerBroadcastUnderway(BroadcastStep::QuerySuspend) ||
                         PowerBroadcastUnderway(BroadcastStep::Suspend))) {
        for (Broadcast& b : m.broadcasts) {
            if (b.step == BroadcastStep::QuerySuspend || b.step == BroadcastStep::Suspend)
                b.deadline = m.now;
        }
        ExpireBroadcasts();
    }
    if (!m.asleep) {
        Note("resume: the machine is not asleep");
        return;
    }
    m.asleep = false;
    LogPower(PowerEvent::Kind::Resume);
    Note("resume: the machine wakes%s", unattended ? ", with no user present" : "");
    AdapterWakes();
    SendPower(BroadcastStep::ResumeAutomatic, TopLevelWindows(), PBT_APMRESUMEAUTOMATIC, 0, 0, unattended);
}

} // namespace winsim
