#include "sim_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <sstream>

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
        if (line.rfind(heading + " ", 0) == 0) {
            inside = true;
            current.clear();
        } else if (line == "end-" + heading) {
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

SimRun RunSim(const std::string& scenario, Deliverable deliverable) {
    const char* exe = deliverable == Deliverable::Duodesk ? DUODESK_SIM_EXE : DUODESKB_SIM_EXE;
    std::string in = TempPath("in"), outPath = TempPath("out"), errPath = TempPath("err");
    {
        std::ofstream file(in, std::ios::binary);
        file << scenario;
    }
    SimRun run;
    pid_t child = fork();
    if (child == 0) {
        if (!freopen(outPath.c_str(), "w", stdout) || !freopen(errPath.c_str(), "w", stderr))
            _exit(127);
        execl(exe, exe, in.c_str(), static_cast<char*>(nullptr));
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
    unlink(in.c_str());
    unlink(outPath.c_str());
    unlink(errPath.c_str());
    return run;
}
