// Helpers for the tests of winsim itself.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dump.h"
#include "machine.h"

namespace winsim_test {

// The lines of a state dump that start with `prefix`.
inline std::vector<std::string> DumpLines(const char* prefix) {
    FILE* file = tmpfile();
    winsim::DumpMachine(file, "dump");
    rewind(file);
    std::vector<std::string> lines;
    char buffer[1024];
    while (fgets(buffer, sizeof buffer, file)) {
        std::string line(buffer);
        line.pop_back();
        if (line.starts_with(prefix))
            lines.push_back(line);
    }
    fclose(file);
    return lines;
}

// What happens to the machine from outside while the test's code waits: each action runs when the
// virtual clock reaches its time, in the order given.
class ScriptedEvents final : public winsim::EventSource {
public:
    ScriptedEvents() { winsim::SetEventSource(this); }
    ~ScriptedEvents() override { winsim::SetEventSource(nullptr); }
    ScriptedEvents(const ScriptedEvents&) = delete;
    ScriptedEvents& operator=(const ScriptedEvents&) = delete;

    void At(winsim::VirtualMs time, std::function<void()> action) {
        events_.emplace_back(time, std::move(action));
    }

    bool NextEventTime(winsim::VirtualMs& time) override {
        if (next_ >= events_.size())
            return false;
        time = events_[next_].first;
        return true;
    }
    void RunNextEvent() override { events_[next_++].second(); }

private:
    std::vector<std::pair<winsim::VirtualMs, std::function<void()>>> events_;
    size_t next_ = 0;
};

// The lines the simulator prints of menus and dialogs, while it lives.
class CapturedOutput {
public:
    CapturedOutput() {
        Lines().clear();
        winsim::SetOutputSink([](const char* line) { Lines().emplace_back(line); });
    }
    ~CapturedOutput() { winsim::SetOutputSink(nullptr); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
};

} // namespace winsim_test
