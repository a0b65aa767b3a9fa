// Runs duodesk-sim or duodeskb-sim on a scenario and gives the tests its output in pieces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Deliverable { Duodesk, Duodeskb };

struct TraceLine {
    uint64_t ms = 0;
    unsigned pid = 0;
    std::string text; // unescaped
};

struct SimRun {
    int exitStatus = -1;
    std::string out;
    std::string err;
    std::vector<TraceLine> traces;

    // Lines of the state printed by the last dump with this heading ("dump" or "final").
    std::vector<std::string> State(const std::string& heading = "final") const;
    // State lines that start with `prefix`.
    std::vector<std::string> StateLines(const std::string& prefix,
                                        const std::string& heading = "final") const;
    bool HasStateLine(const std::string& line, const std::string& heading = "final") const;

    std::vector<TraceLine> TracesOf(unsigned pid) const;
    int CountTrace(const std::string& text) const;
    const TraceLine* FindTrace(const std::string& text) const;
    // The pids of the program starts, in start order, from the final state.
    std::vector<unsigned> Pids() const;
};

SimRun RunSim(const std::string& scenario, Deliverable deliverable = Deliverable::Duodesk);
