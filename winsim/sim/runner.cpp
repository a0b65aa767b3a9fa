#include "runner.h"

#include "dump.h"
#include "machine.h"
#include "scenario.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace winsim {
namespace {

std::string g_callCountFile;

// The run is over: the final state, and the call counts when asked for.
void PrintFinal() {
    DumpMachine(stdout, "final");
    fflush(stdout);
    if (g_callCountFile.empty())
        return;
    FILE* file = fopen(g_callCountFile.c_str(), "w");
    if (!file) {
        fprintf(stderr, "cannot write %s\n", g_callCountFile.c_str());
        return;
    }
    WriteCallCounts(file);
    fclose(file);
}

void PrintTrace(VirtualMs time, DWORD pid, const char* text) {
    if (pid == 0)
        printf("note %llu \"%s\"\n", static_cast<unsigned long long>(time), EscapeText(text).c_str());
    else
        printf("trace %llu %u \"%s\"\n", static_cast<unsigned long long>(time), static_cast<unsigned>(pid),
               EscapeText(text).c_str());
}

// A message on one line: a quoted word of the scenario may hold a newline or other control characters.
std::string OneLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[8];
        snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c < 0x20 || c == 0x7F ? std::string(hex) : std::string(1, static_cast<char>(c));
    }
    return out;
}

void PrintOutput(const char* line) {
    printf("%s\n", line);
}

// The user picks a mode in the Display control panel, saved or for now only.
void UserSetsMode(const ScenarioEvent& event) {
    DisplayDevice* device = event.device.empty() ? PrimaryDisplay() : FindDisplay(event.device.c_str());
    for (DisplayDevice& d : M().displays) {
        if (!device && d.present && EqualNoCase(d.deviceId.c_str(), event.device.c_str()))
            device = &d;
    }
    if (!device) {
        Note("display-mode: no display %s", event.device.empty() ? "is primary" : event.device.c_str());
        return;
    }
    DisplayMode mode{event.width, event.height, event.bpp, event.frequency};
    LONG result = UserChangeDisplayMode(*device, mode, event.temporary);
    Note("the user sets %s to %ux%ux%u%s%s: result %d", device->name.c_str(), event.width, event.height,
         event.bpp, event.frequency ? ("@" + std::to_string(event.frequency)).c_str() : "",
         event.temporary ? " for now, not saved" : "", static_cast<int>(result));
}

// Carries out one event now. Events run re-entrantly: a started program runs inside its Start event and
// takes the following events from inside its own waits.
void RunEvent(const ScenarioEvent& event) {
    switch (event.kind) {
    case ScenarioEvent::Kind::Start:
        StartProgram(event.args.c_str(), event.elevated);
        break;
    case ScenarioEvent::Kind::Plug:
        PlugAdapter();
        break;
    case ScenarioEvent::Kind::Unplug:
        UnplugAdapter();
        break;
    case ScenarioEvent::Kind::PlugUsb:
        PlugUsbDevice(event.path.c_str());
        break;
    case ScenarioEvent::Kind::UnplugUsb:
        UnplugUsbDevice(event.path.c_str());
        break;
    case ScenarioEvent::Kind::Dump:
        DumpMachine(stdout, "dump", event.message);
        break;
    case ScenarioEvent::Kind::DisplayMode:
        UserSetsMode(event);
        break;
    case ScenarioEvent::Kind::MenuPick:
        UserPicksMenuItem(event.labels);
        break;
    case ScenarioEvent::Kind::MenuDismiss:
        UserDismissesMenu();
        break;
    case ScenarioEvent::Kind::TrayClick:
        UserClicksTrayIcon(event.click);
        break;
    case ScenarioEvent::Kind::ShellRestart:
        RestartShell();
        break;
    case ScenarioEvent::Kind::DialogPress:
        UserPressesDialog(event.press);
        break;
    case ScenarioEvent::Kind::Post:
        PostFromOutside(event.message.c_str(), static_cast<WPARAM>(event.wParam),
                        static_cast<LPARAM>(event.lParam));
        break;
    case ScenarioEvent::Kind::Suspend:
        MachineSuspends();
        break;
    case ScenarioEvent::Kind::Resume:
        MachineResumes(event.unattended);
        break;
    case ScenarioEvent::Kind::Logoff:
    case ScenarioEvent::Kind::Shutdown:
        SessionEnds(event.kind == ScenarioEvent::Kind::Logoff, event.cancelled);
        break;
    case ScenarioEvent::Kind::End:
        PrintFinal();
        exit(0);
    }
}

class Timeline final : public EventSource {
public:
    explicit Timeline(std::vector<ScenarioEvent> events) : events_(std::move(events)) {}

    bool NextEventTime(VirtualMs& time) override {
        if (next_ >= events_.size())
            return false;
        time = events_[next_].time;
        return true;
    }

    void RunNextEvent() override {
        const ScenarioEvent event = events_[next_++];
        RunEvent(event);
    }

private:
    std::vector<ScenarioEvent> events_;
    size_t next_ = 0;
};

const char* const kGreeting =
    "type start to run the program, then its events (plug, tray-click right, ...) and "
    "wait TIME to let time pass; help lists the statements";

// A person types the timeline. Each line read is a statement carried out at once; "wait" moves the time at
// which the next line is read. The session is one event, due again and again: every time it runs, the
// program has done what it could so far without time passing.
class Session final : public EventSource {
public:
    explicit Session(std::istream& in) : in_(in), prompt_(isatty(STDIN_FILENO) != 0) {}

    bool NextEventTime(VirtualMs& time) override {
        time = due_;
        return true;
    }

    bool ProgramAnswersEachEvent() const override { return true; }

    void RunNextEvent() override {
        DumpStep(stdout, shown_);
        if (lineNumber_ == 0) // before the first line: how to begin
            printf("hello \"%s\"\n", kGreeting);
        for (;;) {
            if (prompt_) {
                printf("%llu> ", static_cast<unsigned long long>(M().now));
                fflush(stdout);
            }
            std::string line;
            if (!std::getline(in_, line)) {
                if (prompt_)
                    printf("\n"); // the final state starts on a line of its own, after the prompt
                // The end of input ends the run as a scenario's end does.
                ScenarioEvent end;
                end.kind = ScenarioEvent::Kind::End;
                RunEvent(end);
            }
            ++lineNumber_;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            SessionStatement statement;
            std::string error;
            if (!ParseSessionLine(line, statement, error)) {
                printf("error %llu line %d \"%s\"\n", static_cast<unsigned long long>(M().now), lineNumber_,
                       EscapeText(error.c_str()).c_str());
                fflush(stdout);
                continue;
            }
            if (statement.kind == SessionStatement::Kind::Wait) {
                due_ = M().now + statement.wait;
                return;
            }
            if (statement.kind == SessionStatement::Kind::Help) {
                for (const std::string& usage : SessionStatements())
                    printf("help %s\n", usage.c_str());
                continue;
            }
            if (statement.kind == SessionStatement::Kind::Event) {
                statement.event.time = M().now;
                statement.event.line = lineNumber_;
                if (!ProgramRunning() && statement.event.kind != ScenarioEvent::Kind::Start &&
                    statement.event.kind != ScenarioEvent::Kind::Dump) {
                    std::string word;
                    std::istringstream(line) >> word;
                    Note("%s: the program is not running; type start to run it", word.c_str());
                }
                RunEvent(statement.event);
                return;
            }
        }
    }

private:
    static bool ProgramRunning() {
        return std::any_of(M().processes.begin(), M().processes.end(),
                           [](const Process* p) { return p->running; });
    }

    std::istream& in_;
    const bool prompt_; // only a terminal is asked for each line
    VirtualMs due_ = 0;
    int lineNumber_ = 0;
    StepMarks shown_;
};

// Sets up the machine from `text` and runs its timeline, or a session on it, to the end.
int Run(const std::string& text, const ProgramImage& image, const std::string& source, bool interactive) {
    M().program = image;
    std::vector<ScenarioEvent> events;
    ScenarioError error;
    if (!LoadScenario(text, events, error)) {
        fprintf(stderr, "%s:%d: %s\n", source.c_str(), error.line, OneLine(error.message).c_str());
        return 2;
    }
    // The timeline ends with its End event, which a session replaces with the end of its input.
    if (interactive && events.size() > 1) {
        fprintf(stderr, "%s:%d: an interactive session takes its events from standard input\n",
                source.c_str(), events.front().line);
        return 2;
    }
    SetEventSource(interactive ? static_cast<EventSource*>(new Session(std::cin))
                               : new Timeline(std::move(events)));
    SetTraceSink(PrintTrace);
    SetOutputSink(PrintOutput);
    AdvanceTo(~VirtualMs(0) >> 1);
    PrintFinal();
    return 0;
}

} // namespace

int RunScenario(const std::string& text, const ProgramImage& image, const std::string& source) {
    return Run(text, image, source, false);
}

int RunInteractive(const std::string& machine, const ProgramImage& image, const std::string& source) {
    return Run(machine, image, source, true);
}

void SetCallCountFile(const std::string& path) {
    g_callCountFile = path;
}

void PrintWaits(bool on) {
    SetWaitLines(on);
}

} // namespace winsim
