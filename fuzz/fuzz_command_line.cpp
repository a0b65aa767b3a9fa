// The command line as Windows hands it over: the text after the program name, the verbs a second start
// forwards, the installer's "res" preset and the argument vector the C runtime makes of the whole line.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/res_preset.h"
#include "app/verbs.h"
#include "framework/command_line.h"
#include "fuzz_world.h"
#include "sysint/str_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A command line is a C string: it ends at the first zero.
    const std::string line(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    const char* text = line.c_str();

    const char* args = SkipProgramName(text);
    FUZZ_CHECK(args >= text && args <= text + line.size());
    for (const char* name : {text, args}) {
        const AppVerb* verb = FindAppVerb(name);
        FUZZ_CHECK(verb == nullptr || StrEqualNoCase(name, verb->pszVerb));
    }

    const std::vector<std::string> argv = SplitCommandLine(text);
    // Every argument takes at least one character of the line, or two quotes for an empty one.
    FUZZ_CHECK(argv.size() <= line.size());
    if (line.find('"') == std::string::npos) {
        for (const std::string& arg : argv)
            FUZZ_CHECK(arg.find_first_of(" \t") == std::string::npos && line.find(arg) != std::string::npos);
    }
    std::vector<const char*> pointers;
    for (const std::string& arg : argv)
        pointers.push_back(arg.c_str());
    pointers.push_back(nullptr);
    ResPreset preset{-1, -1, -1};
    if (ParseResPreset(static_cast<int>(argv.size()), pointers.data(), &preset))
        FUZZ_CHECK(argv.size() == 5 && StrEqualNoCase(argv[1].c_str(), "res"));
    else
        FUZZ_CHECK(preset.nWidth == -1 && preset.nHeight == -1 && preset.nBpp == -1);
    return 0;
}
