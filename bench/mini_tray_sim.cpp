// mini-tray-sim: mini-tray (bench/mini_tray.cpp) run on a simulated machine, the way duodesk-sim runs
// duodesk, so that the benchmark measures both programs on the same simulated user32.
//   mini-tray-sim FILE     a scenario file ("-" for standard input); its program starts run mini-tray
#include <windows.h>
#include <winsim/program.h>

#include "runner.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

namespace {

// mini-tray has no resources of its own: its icon is the system's.
const winsim::ResourceTable kNoResources = {};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s SCENARIO-FILE | -\n", argv[0]);
        return 2;
    }
    std::string text;
    if (std::string(argv[1]) == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        std::ifstream file(argv[1], std::ios::binary);
        if (!file) {
            fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
            return 2;
        }
        std::stringstream buffer;
        buffer << file.rdbuf();
        text = buffer.str();
    }
    winsim::ProgramImage program{"mini-tray.exe", WinMain, &kNoResources, "vid_0000&pid_0000",
                                 nullptr,         nullptr, "Mini Tray"};
    return winsim::RunScenario(text, program, std::string(argv[1]) == "-" ? "<stdin>" : argv[1]);
}
