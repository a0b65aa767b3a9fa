// Helpers for the tests of winsim itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "dump.h"

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

} // namespace winsim_test
