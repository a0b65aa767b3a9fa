// duodesk-sim / duodeskb-sim: runs the program of this deliverable on a simulated machine.
//   duodesk-sim                 the built-in scenario
//   duodesk-sim FILE            a scenario file ("-" for standard input)
//   duodesk-sim --layout-svg DIR [FILE]   also draws the layout of every dump as DIR/dump-<n>-<ms>.svg
//   duodesk-sim --count-calls FILE [...]  also writes every process's calls of each function to FILE
//   duodesk-sim --waits [...]             also prints a line each time the program waits for a message
//   duodesk-sim --interactive [FILE]      the machine of FILE (or the built-in one), the timeline typed in
#include <windows.h>
#include <winsim/program.h>

#include "dump.h"
#include "runner.h"
#include "scenario.h"
#include "variants/variant.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

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
    std::vector<std::string> args(argv + 1, argv + argc);
    bool interactive = false;
    for (;;) {
        if (!args.empty() && args[0] == "--interactive") {
            interactive = true;
            args.erase(args.begin());
        } else if (!args.empty() && args[0] == "--waits") {
            winsim::PrintWaits(true);
            args.erase(args.begin());
        } else if (args.size() >= 2 && (args[0] == "--layout-svg" || args[0] == "--count-calls")) {
            if (args[0] == "--layout-svg")
                winsim::SetLayoutSvgDirectory(args[1]);
            else
                winsim::SetCallCountFile(args[1]);
            args.erase(args.begin(), args.begin() + 2);
        } else {
            break;
        }
    }
    // A session reads its timeline from standard input, so its machine cannot come from there too.
    if (args.size() > 1 ||
        (args.size() == 1 && (args[0].starts_with("--") || (interactive && args[0] == "-")))) {
        fprintf(stderr,
                "usage: %s [--layout-svg DIR] [--count-calls FILE] [--waits] [SCENARIO-FILE | -]\n"
                "       %s --interactive [--layout-svg DIR] [--count-calls FILE] [--waits] [MACHINE-FILE]\n",
                argv[0], argv[0]);
        return 2;
    }
    std::string text = winsim::kBuiltInMachine;
    if (!interactive)
        text += winsim::kBuiltInTimeline;
    if (args.size() == 1 && !ReadScenario(args[0].c_str(), text)) {
        fprintf(stderr, "%s: cannot read %s\n", argv[0], args[0].c_str());
        return 2;
    }
    static std::string image = std::string(g_variant.exeName) + ".exe";
    winsim::ProgramImage program{image.c_str(),         WinMain,
                                 &g_duodeskResources,   g_variant.usbId,
                                 g_variant.dispDevId,   g_variant.mirDevId,
                                 g_variant.instanceName};
    const std::string source = args.empty() ? "<built-in>" : args[0] == "-" ? "<stdin>" : args[0];
    return interactive ? winsim::RunInteractive(text, program, source)
                       : winsim::RunScenario(text, program, source);
}
