// The scenario language: any text either loads into a machine whose state can be printed, with a timeline
// in time order that ends with its end, or is refused with a message naming a line of it; and each of its
// lines typed into a session is a statement or refused with a message.
#include <winsim/program.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dump.h"
#include "fuzz_world.h"
#include "scenario.h"

extern const winsim::ResourceTable g_duodeskResources;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* sink = fopen("/dev/null", "w");
    fuzz::FreshMachine();
    winsim::M().program = winsim::ProgramImage{"duodesk.exe",         nullptr,
                                               &g_duodeskResources,   g_variant.usbId,
                                               g_variant.dispDevId,   g_variant.mirDevId,
                                               g_variant.instanceName};
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<winsim::ScenarioEvent> timeline;
    winsim::ScenarioError error;
    if (!winsim::LoadScenario(text, timeline, error)) {
        const long lines = std::count(text.begin(), text.end(), '\n') + 1;
        FUZZ_CHECK(error.line >= 1 && error.line <= lines && !error.message.empty());
        return 0;
    }
    FUZZ_CHECK(!timeline.empty() && timeline.back().kind == winsim::ScenarioEvent::Kind::End);
    for (size_t i = 1; i < timeline.size(); ++i)
        FUZZ_CHECK(timeline[i - 1].time <= timeline[i].time);
    winsim::DumpMachine(sink, "dump");
    // Each line typed into a session on that machine is a statement, or refused with a message.
    size_t begin = 0;
    while (begin <= text.size()) {
        size_t end = std::min(text.find('\n', begin), text.size());
        winsim::SessionStatement statement;
        std::string problem;
        if (!winsim::ParseSessionLine(text.substr(begin, end - begin), statement, problem))
            FUZZ_CHECK(!problem.empty());
        begin = end + 1;
    }
    return 0;
}
