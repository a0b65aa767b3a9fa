// user32: message queues, registered messages, timers and the message loop calls.
//
// GetMessageA hands out, in this order: messages sent from outside (device notifications, system broadcasts,
// straight to the window procedure), posted messages, WM_QUIT, the user's input, then WM_TIMER of the timer
// due first (by due time, then by the order the timers were set). WM_TIMER is never queued: it is made when
// nothing else waits.
#include "faults.h"
#include "broadcast.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "scheduler.h"
#include "shell.h"
#include "usb.h"
#include "window.h"
#include "rights.h"

#include <algorithm>

namespace winsim {
namespace {

constexpr UINT kMinimumTimerMs = 10; // USER_TIMER_MINIMUM

Timer* FirstDueTimer(Process& process, VirtualMs now) {
    Timer* first = nullptr;
    for (Timer& t : process.timers) {
        if (t.due > now)
            continue;
        if (!first || t.due < first->due || (t.due == first->due && t.order < first->order))
            first = &t;
    }
    return first;
}

// A message posted to a window of another process is logged with its sender, 0 for a program outside the
// simulation.
bool PostTo(Window& window, UINT message, WPARAM wParam, LPARAM lParam, DWORD sender) {
    Process* owner = FindProcess(window.pid);
    if (!owner || !owner->running)
        return false;
    owner->posted.push_back(PostedMessage{ToHwnd(window.handle), message, wParam, lParam, M().now, sender});
    if (owner->pid != sender)
        M().crossPosts.push_back(
            CrossPost{M().now, sender, owner->pid, window.handle, message, wParam, lParam});
    return true;
}

bool TakeFrom(Deque<PostedMessage>& queue, LPMSG msg, bool remove) {
    if (queue.empty())
        return false;
    const PostedMessage& posted = queue.front();
    msg->hwnd = posted.hwnd;
    msg->message = posted.message;
    msg->wParam = posted.wParam;
    msg->lParam = posted.lParam;
    if (remove)
        queue.pop_front();
    return true;
}

} // namespace

bool TakeMessage(Process& p, LPMSG msg, bool remove, bool* fromInput) {
    Machine& m = M();
    // The answer to a suspend can put the machine to sleep: the program goes on only once it has resumed,
    // with what the resume sent it.
    do {
        HoldWhileAsleep();
        DeliverSentMessages(p);
    } while (m.asleep && !InChildProcess());
    *msg = MSG{};
    msg->time = static_cast<DWORD>(m.now);
    if (fromInput)
        *fromInput = false;
    if (TakeFrom(p.posted, msg, remove)) {
        p.messagesDelivered += remove ? 1 : 0;
        return true;
    }
    if (p.quitPosted) {
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(p.quitCode);
        if (remove) {
            p.quitPosted = false;
            ++p.messagesDelivered;
        }
        return true;
    }
    if (TakeFrom(p.input, msg, remove)) {
        p.messagesDelivered += remove ? 1 : 0;
        if (fromInput)
            *fromInput = true;
        return true;
    }
    if (Timer* t = FirstDueTimer(p, m.now)) {
        msg->hwnd = ToHwnd(t->hwnd);
        msg->message = WM_TIMER;
        msg->wParam = t->id;
        if (remove) {
            t->due = m.now + t->periodMs;
            ++p.timersFired;
        }
        return true;
    }
    return false;
}

bool HasTimerDue(const Process& process, VirtualMs now) {
    return std::any_of(process.timers.begin(), process.timers.end(),
                       [now](const Timer& t) { return t.due <= now; });
}

bool NextTimerDue(const Process& process, VirtualMs& due) {
    bool found = false;
    for (const Timer& t : process.timers) {
        if (!found || t.due < due)
            due = t.due;
        found = true;
    }
    return found;
}

bool QueueSentMessage(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, const void* record, size_t size,
                      FollowUp followUp) {
    Process* p = FindProcess(pid);
    if (!p || !p->running)
        return false;
    SentMessage sent;
    sent.hwnd = hwnd;
    sent.message = message;
    sent.wParam = wParam;
    if (record && size)
        sent.record.assign(static_cast<const BYTE*>(record), static_cast<const BYTE*>(record) + size);
    sent.followUp = followUp;
    p->sent.push_back(std::move(sent));
    return true;
}

// A message a scenario posts by name: one of the few system messages a test needs to post as it is
// (WM_COMMAND with an id no menu offers, say), else the registered message of that name.
UINT MessageNamed(const char* name) {
    static const struct {
        const char* name;
        UINT message;
    } kSystem[] = {{"WM_NULL", WM_NULL}, {"WM_CLOSE", WM_CLOSE}, {"WM_COMMAND", WM_COMMAND}};
    for (const auto& s : kSystem) {
        if (strcmp(s.name, name) == 0)
            return s.message;
    }
    return RegisteredMessage(name);
}

void PostFromOutside(const char* name, WPARAM wParam, LPARAM lParam) {
    const char* instance = M().program.instanceName;
    Window* target = instance ? FindTopLevelWindow(nullptr, instance) : nullptr;
    if (!target) {
        Note("post: no window titled \"%s\" to post \"%s\" to", instance ? instance : "", name);
        return;
    }
    PostTo(*target, MessageNamed(name), wParam, lParam, 0);
}

void QueueInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(hwnd);
    Process* p = w ? FindProcess(w->pid) : nullptr;
    if (p && p->running)
        p->input.push_back(PostedMessage{hwnd, message, wParam, lParam, M().now, 0});
}

bool QueueSentValue(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, FollowUp followUp) {
    if (!QueueSentMessage(pid, hwnd, message, wParam, nullptr, 0, followUp))
        return false;
    FindProcess(pid)->sent.back().value = lParam;
    return true;
}

UINT RegisteredMessage(const char* name) {
    Machine& m = M();
    Str key(name);
    auto it = m.registeredMessages.find(key);
    if (it != m.registeredMessages.end())
        return it->second;
    UINT number = m.nextRegisteredMessage++;
    m.registeredMessages.emplace(key, number);
    return number;
}

void DeliverSentMessages(Process& process) {
    while (!process.sent.empty()) {
        SentMessage sent = std::move(process.sent.front());
        process.sent.pop_front();
        LRESULT answer = TRUE; // a window that has gone since cannot refuse
        if (Window* w = FindWindowRecord(sent.hwnd)) {
            ++process.messagesDelivered;
            LPARAM lParam = sent.record.empty() ? sent.value : reinterpret_cast<LPARAM>(sent.record.data());
            answer = CallWindow(*w, sent.message, sent.wParam, lParam);
        }
        switch (sent.followUp.kind) {
        case FollowUp::Kind::None:
            break;
        case FollowUp::Kind::AdapterRemoval:
            CompleteAdapterRemoval();
            break;
        case FollowUp::Kind::Broadcast:
            BroadcastAnswered(sent.followUp.broadcast, answer);
            break;
        }
        // The answer may have ended the process (WM_ENDSESSION): nothing returns into its code.
        if (!process.running) {
            LeaveIfEnded();
            return;
        }
    }
}

} // namespace winsim

using namespace winsim;

UINT RegisterWindowMessageA(LPCSTR lpString) {
    WINSIM_ENTRY(RegisterWindowMessageA, 0);
    if (!lpString || !*lpString) {
        SetError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return RegisteredMessage(lpString);
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_ENTRY(PostMessageA, FALSE);
    Machine& m = M();
    const Integrity sender = IntegrityOf(CurrentProcess());
    if (hWnd == HWND_BROADCAST) {
        for (auto& [value, w] : m.windows) {
            if (!w->destroyed && IsTopLevel(*w) && MessageReaches(sender, *w, Msg))
                PostTo(*w, Msg, wParam, lParam, CurrentProcess().pid);
        }
        return TRUE;
    }
    if (!hWnd) {
        Process& p = CurrentProcess();
        p.posted.push_back(PostedMessage{nullptr, Msg, wParam, lParam, m.now, p.pid});
        return TRUE;
    }
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!MessageReaches(sender, *w, Msg)) {
        Note("process %u posted message 0x%X to a window of process %u, of higher integrity; blocked",
             static_cast<unsigned>(CurrentProcess().pid), Msg, static_cast<unsigned>(w->pid));
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!PostTo(*w, Msg, wParam, lParam, CurrentProcess().pid)) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_ENTRY_NEVER_FAILS(SendMessageA);
    Machine& m = M();
    DWORD self = CurrentProcess().pid;
    if (hWnd == HWND_BROADCAST) {
        if (Msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MONITORPOWER)
            m.monitorPower.push_back(MonitorPowerEvent{m.now, self, lParam});
        Vec<uintptr_t> targets;
        for (auto& [value, w] : m.windows) {
            if (!w->destroyed && IsTopLevel(*w) && w->pid == self)
                targets.push_back(value);
        }
        for (uintptr_t value : targets) {
            if (Window* w = FindWindowRecord(value))
                CallWindow(*w, Msg, wParam, lParam);
        }
        return 0;
    }
    Window* w = FindWindowRecord(hWnd);
    if (!w) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (w->pid != self) {
        // Only the running instance holds the simulator; a second start cannot wait for it to answer.
        Note("process %u sent message 0x%X to a window of process %u; not delivered",
             static_cast<unsigned>(self), Msg, static_cast<unsigned>(w->pid));
        return 0;
    }
    return CallWindow(*w, Msg, wParam, lParam);
}

void PostQuitMessage(int nExitCode) {
    WINSIM_ENTRY_NEVER_FAILS(PostQuitMessage);
    Process& p = CurrentProcess();
    p.quitPosted = true;
    p.quitCode = nExitCode;
}

BOOL GetMessageA(LPMSG lpMsg, HWND, UINT, UINT) {
    WINSIM_ENTRY(GetMessageA, -1);
    Process& p = CurrentProcess();
    for (;;) {
        if (TakeMessage(p, lpMsg, true))
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        WaitForWork(p);
    }
}

BOOL PeekMessageA(LPMSG lpMsg, HWND, UINT, UINT, UINT wRemoveMsg) {
    WINSIM_ENTRY_NEVER_FAILS(PeekMessageA);
    return TakeMessage(CurrentProcess(), lpMsg, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) {
    WINSIM_ENTRY_NEVER_FAILS(TranslateMessage);
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
    WINSIM_ENTRY_NEVER_FAILS(DispatchMessageA);
    if (!lpMsg)
        return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        ProgramCode program;
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    Window* w = FindWindowRecord(lpMsg->hwnd);
    if (!w)
        return 0;
    return CallWindow(*w, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC) {
    WINSIM_ENTRY(SetTimer, 0);
    Machine& m = M();
    Process& p = CurrentProcess();
    if (hWnd) {
        Window* w = FindWindowRecord(hWnd);
        if (!w || w->pid != p.pid) {
            SetError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    } else {
        nIDEvent = 0x7FFF + p.timers.size();
    }
    UINT period = uElapse < kMinimumTimerMs ? kMinimumTimerMs : uElapse;
    uintptr_t hwnd = reinterpret_cast<uintptr_t>(hWnd);
    // Setting a timer again with the same window and id replaces it.
    std::erase_if(p.timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == nIDEvent; });
    p.timers.push_back(Timer{hwnd, nIDEvent, period, m.now + period, ++m.timerOrder});
    return nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    WINSIM_ENTRY(KillTimer, FALSE);
    Process& p = CurrentProcess();
    uintptr_t hwnd = reinterpret_cast<uintptr_t>(hWnd);
    size_t removed =
        std::erase_if(p.timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == uIDEvent; });
    if (!removed) {
        SetError(ERROR_INVALID_PARAMETER); // ERROR_INVALID_TIMER_ID on newer versions
        return FALSE;
    }
    return TRUE;
}
