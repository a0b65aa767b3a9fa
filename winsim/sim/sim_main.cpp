// duodesk-sim / duodeskb-sim: runs the program of this deliverable on a simulated machine.
//   duodesk-sim                 the built-in scenario
//   duodesk-sim FILE            a scenario file ("-" for standard input)
#include <windows.h>
#include <winsim/program.h>

#include "runner.h"
#include "scenario.h"
#include "variants/variant.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

extern const winsim::ResourceTable g_duodeskResources;

namespace {

bool ReadScenario(const char* path, std::string& text) {
    if (std::string(path) == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::stringstream buffer;
    buffer << file.rdbuf();
    text = buffer.str();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string text = winsim::kBuiltInScenario;
    if (argc > 2 || (argc == 2 && std::string(argv[1]).starts_with("--"))) {
        fprintf(stderr, "usage: %s [SCENARIO-FILE | -]\n", argv[0]);
        return 2;
    }
    if (argc == 2 && !ReadScenario(argv[1], text)) {
        fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 2;
    }
    static std::string image = std::string(g_variant.exeName) + ".exe";
    winsim::ProgramImage program{image.c_str(), WinMain, &g_duodeskResources, g_variant.usbId};
    return winsim::RunScenario(text, program);
}
