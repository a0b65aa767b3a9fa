#include "sim_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <utility>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    return buffer.str();
}

std::string TempPath(const char* tag) {
    char name[64];
    snprintf(name, sizeof name, "/tmp/duodesk-sim-%s-XXXXXX", tag);
    int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    return name;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        char e = text[++i];
        if (e == 'n')
            out += '\n';
        else if (e == 'x' && i + 2 < text.size() + 1) {
            out += static_cast<char>(strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += e;
    }
    return out;
}

void ParseTraces(SimRun& run) {
    std::stringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned long long ms = 0;
        unsigned pid = 0;
        int offset = 0;
        if (sscanf(line.c_str(), "trace %llu %u \"%n", &ms, &pid, &offset) == 2 && offset > 0 &&
            line.back() == '"')
            run.traces.push_back(TraceLine{ms, pid, Unescape(line.substr(offset, line.size() - offset - 1))});
    }
}

} // namespace

std::vector<std::string> SimRun::State(const std::string& heading) const {
    std::vector<std::string> state, current;
    std::stringstream lines(out);
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
        if (line == heading || line.rfind(heading + " ", 0) == 0) {
            inside = true;
            current.clear();
        } else if (line == "end-" + heading.substr(0, heading.find(' '))) {
            inside = false;
            state = current;
        } else if (inside) {
            current.push_back(line);
        }
    }
    return state;
}

std::vector<std::string> SimRun::StateLines(const std::string& prefix, const std::string& heading) const {
    std::vector<std::string> matching;
    for (const std::string& line : State(heading)) {
        if (line.rfind(prefix, 0) == 0)
            matching.push_back(line);
    }
    return matching;
}

bool SimRun::HasStateLine(const std::string& wanted, const std::string& heading) const {
    for (const std::string& line : State(heading)) {
        if (line == wanted)
            return true;
    }
    return false;
}

std::vector<TraceLine> SimRun::TracesOf(unsigned pid) const {
    std::vector<TraceLine> of;
    for (const TraceLine& t : traces) {
        if (t.pid == pid)
            of.push_back(t);
    }
    return of;
}

int SimRun::CountTrace(const std::string& text) const {
    int count = 0;
    for (const TraceLine& t : traces)
        count += t.text == text;
    return count;
}

const TraceLine* SimRun::FindTrace(const std::string& text) const {
    for (const TraceLine& t : traces) {
        if (t.text == text)
            return &t;
    }
    return nullptr;
}

std::vector<unsigned> SimRun::Pids() const {
    std::vector<unsigned> pids;
    for (const std::string& line : StateLines("process ")) {
        unsigned pid = 0;
        if (sscanf(line.c_str(), "process %u", &pid) == 1)
            pids.push_back(pid);
    }
    return pids;
}

bool SimRun::Ended(unsigned pid) const {
    std::vector<std::string> lines = StateLines("process " + std::to_string(pid) + " ");
    return lines.size() == 1 && lines[0].find(" exit ") != std::string::npos;
}

std::vector<std::string> SimRun::TextsFrom(uint64_t ms) const {
    std::vector<std::string> texts;
    for (const TraceLine& t : traces) {
        if (t.ms >= ms)
            texts.push_back(t.text);
    }
    return texts;
}

const char* ExeName(Deliverable deliverable) {
    return deliverable == Deliverable::Duodesk ? "duodesk" : "duodeskb";
}

namespace {

// The text inside the first pair of double quotes of a dump word, with the dump's escapes undone.
std::string Unquoted(const std::string& word) {
    if (word.size() < 2 || word.front() != '"' || word.back() != '"')
        return word;
    return Unescape(word.substr(1, word.size() - 2));
}

} // namespace

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

std::string SimRun::Desk(const std::string& heading) const {
    const std::string own = deliverable == Deliverable::Duodesk ? "ZTK\\USB2VGA" : "ZTK\\USBVGA04";
    std::string desk;
    for (const std::string& line : StateLines("display ", heading)) {
        // display NAME id "ID" flags FLAGS current MODE pos X,Y registry ...
        std::vector<std::string> w = Words(line);
        if (w.size() < 10)
            continue;
        const std::string id = Unquoted(w[3]);
        const std::string& name = w[1];
        const std::string& flags = w[5];
        desk += desk.empty() ? "" : "; ";
        desk += id == own ? "USB" : id == own + "M" ? "MIR" : name.substr(name.rfind('\\') + 1);
        if (w[7] == "off") {
            desk += " off";
            continue;
        }
        if (flags.find("primary") != std::string::npos)
            desk += " primary";
        if (flags.find("mirror") != std::string::npos)
            desk += " mirror";
        desk += " " + w[7] + " " + w[9];
    }
    return desk;
}

std::string SimRun::Saved(const std::string& name, const std::string& section,
                          const std::string& heading) const {
    const std::string prefix = std::string("reg \"HKCU\\\\Software\\\\Kiva Dongle\\\\") +
                               ExeName(deliverable) + "\\\\" + section + "\" \"" + name + "\" dword ";
    std::vector<std::string> lines = StateLines(prefix, heading);
    return lines.empty() ? "-" : lines[0].substr(prefix.size());
}

std::vector<std::string> SimRun::DisplayCalls(const std::string& heading) const {
    std::vector<std::string> calls;
    for (const std::string& line : StateLines("cds ", heading)) {
        // cds MS PID DEVICE fields F mode MODE pos X,Y flags 0xHEX result N
        std::vector<std::string> w = Words(line);
        if (w.size() < 14)
            continue;
        const std::string fields = w[5] == "-" ? "-" : DmFieldNames(strtoul(w[5].c_str(), nullptr, 16));
        calls.push_back(w[3] + " " + (w[7] == "-" ? "no mode" : w[7] + " pos " + w[9]) + " fields " + fields +
                        " flags " + CdsFlagNames(strtoul(w[11].c_str(), nullptr, 16)) + " result " + w[13]);
    }
    return calls;
}

std::vector<std::string> SimRun::OutputLines(const std::string& prefix) const {
    std::vector<std::string> lines;
    std::stringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    }
    return lines;
}

std::vector<ShownMenu> SimRun::Menus() const {
    std::vector<ShownMenu> menus;
    bool inside = false;
    for (const std::string& line : OutputLines("")) {
        unsigned long long ms = 0;
        unsigned pid = 0;
        int offset = 0;
        if (line == "end-menu") {
            inside = false;
        } else if (inside && line.rfind("menu ", 0) == 0) {
            menus.back().items.push_back(line.substr(5));
        } else if (sscanf(line.c_str(), "menu %llu %u %n", &ms, &pid, &offset) == 2 && offset > 0) {
            std::string rest = line.substr(offset);
            if (rest.rfind("open ", 0) == 0) {
                ShownMenu menu;
                menu.ms = ms;
                menu.pid = pid;
                menu.foreground = rest.find(" foreground yes ") != std::string::npos;
                menus.push_back(menu);
                inside = true;
            } else if (!menus.empty() && menus.back().closing.empty()) {
                menus.back().closing = rest;
            }
        }
    }
    return menus;
}

::testing::AssertionResult InOrder(const std::vector<std::string>& texts,
                                   const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& text : texts) {
        if (next < expected.size() && text == expected[next])
            ++next;
    }
    if (next == expected.size())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "missing or out of order: \"" << expected[next] << "\"";
}

namespace {

// Runs the simulator with these arguments, standard input read from the file `input` ("" for none).
SimRun Run(const std::vector<std::string>& args, const std::string& input, Deliverable deliverable) {
    const char* exe = deliverable == Deliverable::Duodesk ? DUODESK_SIM_EXE : DUODESKB_SIM_EXE;
    std::string outPath = TempPath("out"), errPath = TempPath("err");
    std::vector<char*> argv{const_cast<char*>(exe)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    SimRun run;
    run.deliverable = deliverable;
    pid_t child = fork();
    if (child == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr) ||
            !freopen(input.empty() ? "/dev/null" : input.c_str(), "r", stdin))
            _exit(127);
        execv(exe, argv.data());
        _exit(127);
    }
    // The simulator never waits on the wall clock; this bound only keeps a broken build from hanging CI.
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited > 12000) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(10000);
    }
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadAll(outPath);
    run.err = ReadAll(errPath);
    ParseTraces(run);
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return run;
}

// A file holding `text`, removed when the holder goes.
struct TempFile {
    explicit TempFile(const std::string& text) : path(TempPath("in")) {
        std::ofstream file(path, std::ios::binary);
        file << text;
    }
    ~TempFile() { unlink(path.c_str()); }
    std::string path;
};

} // namespace

SimRun RunSim(const std::string& scenario, Deliverable deliverable) {
    TempFile in(scenario);
    return Run({in.path}, "", deliverable);
}

SimRun RunBuiltInScenario(Deliverable deliverable) {
    return Run({}, "", deliverable);
}

SimRun RunSession(const std::string& typed, const std::string& machine, Deliverable deliverable) {
    TempFile session(typed);
    if (machine.empty())
        return Run({"--interactive"}, session.path, deliverable);
    TempFile description(machine);
    return Run({"--interactive", description.path}, session.path, deliverable);
}
