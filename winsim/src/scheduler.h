// Time (scheduler.cpp).
#pragma once

#include "containers.h"

namespace winsim {

struct Process;

// What happens to the machine from outside, at given virtual times: the scenario.
class EventSource {
public:
    virtual ~EventSource() = default;
    // The time of the next event, if any.
    virtual bool NextEventTime(VirtualMs& time) = 0;
    // Runs the next event. The clock has been moved to its time.
    virtual void RunNextEvent() = 0;
    // Whether a program that waits for messages handles what each event caused before the next event
    // runs, also one due at the same moment. A scenario's events at one time run back to back; a person
    // typing the timeline sees the answer to each statement before typing the next.
    virtual bool ProgramAnswersEachEvent() const { return false; }
};
void SetEventSource(EventSource* source);

// Moves the clock to `time`, running every external event due up to it, in order, and taking the next step
// of each broadcast whose deadline passes on the way.
void AdvanceTo(VirtualMs time);
// Blocks the current process until its queue has something for GetMessageA, or the user has asked
// something of the popup menu it shows.
void WaitForWork(Process& process);
// With it on, WaitForWork prints "wait <ms> <pid> timers <n>" each time the running instance starts to
// wait with nothing to do: the moment it is back in a message loop, and the timers it still has set.
void SetWaitLines(bool on);
// A sleeping machine runs no program: the current one waits here until the machine has resumed.
void HoldWhileAsleep();

} // namespace winsim
