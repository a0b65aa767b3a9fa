// The command line as Windows hands it over: the text after the program name, the verbs a second start
// forwards, the installer's "res" preset and the argument vector the C runtime makes of the whole line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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

    int argc = 0;
    char** argv = SplitCommandLine(text, &argc);
    FUZZ_CHECK((argv == nullptr) == (argc == 0));
    // Every argument takes at least one character of the line, or two quotes for an empty one, and the
    // vector ends with a null.
    FUZZ_CHECK(static_cast<size_t>(argc) <= line.size());
    FUZZ_CHECK(argv == nullptr || argv[argc] == nullptr);
    if (line.find('"') == std::string::npos) {
        for (int i = 0; i < argc; ++i)
            FUZZ_CHECK(std::strpbrk(argv[i], " \t") == nullptr && line.find(argv[i]) != std::string::npos);
    }
    const char* const none[] = {nullptr};
    ResPreset preset{-1, -1, -1};
    if (ParseResPreset(argc, argv != nullptr ? static_cast<const char* const*>(argv) : none, &preset))
        FUZZ_CHECK(argc == 5 && StrEqualNoCase(argv[1], "res"));
    else
        FUZZ_CHECK(preset.nWidth == -1 && preset.nHeight == -1 && preset.nBpp == -1);
    free(argv);
    return 0;
}
