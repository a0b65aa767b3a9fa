#include "framework/command_line.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p))
        ++p;
    return p;
}

// Where the scanners put an argument's characters: counted only while the sizes are taken, written
// too once the block exists.
struct ArgWriter {
    char* pOut = nullptr;
    size_t nChars = 0;

    void Put(char c) {
        if (pOut != nullptr)
            *pOut++ = c;
        ++nChars;
    }
    void Put(size_t nCount, char c) {
        for (; nCount > 0; --nCount)
            Put(c);
    }
};

// The program name: no escapes, a quote only switches the blank rule on and off.
const char* ScanProgramName(const char* p, ArgWriter* pName) {
    bool inQuotes = false;
    while (*p != '\0' && (inQuotes || !IsBlank(*p))) {
        if (*p == '"')
            inQuotes = !inQuotes;
        else if (pName != nullptr)
            pName->Put(*p);
        ++p;
    }
    return p;
}

const char* ScanArgument(const char* p, ArgWriter* pArg) {
    bool inQuotes = false;
    while (*p != '\0' && (inQuotes || !IsBlank(*p))) {
        if (*p == '\\') {
            size_t backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                pArg->Put(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    pArg->Put('"');
                    ++p;
                }
            } else {
                pArg->Put(backslashes, '\\');
            }
            continue;
        }
        if (*p == '"') {
            if (inQuotes && p[1] == '"') {
                pArg->Put('"');
                p += 2;
                continue;
            }
            inQuotes = !inQuotes;
            ++p;
            continue;
        }
        pArg->Put(*p);
        ++p;
    }
    return p;
}

// One pass over the line: the number of arguments and of their characters with the terminators, and,
// with argv, the texts and the pointers to them.
int ScanLine(const char* p, ArgWriter* pWriter, char** argv) {
    int nArgs = 0;
    auto next = [&]() {
        if (argv != nullptr)
            argv[nArgs] = pWriter->pOut;
        ++nArgs;
    };
    next();
    p = SkipBlanks(ScanProgramName(p, pWriter));
    pWriter->Put('\0');
    while (*p != '\0') {
        next();
        p = SkipBlanks(ScanArgument(p, pWriter));
        pWriter->Put('\0');
    }
    return nArgs;
}

} // namespace

const char* SkipProgramName(const char* cmdLine) {
    if (cmdLine == nullptr)
        return "";
    return SkipBlanks(ScanProgramName(cmdLine, nullptr));
}

char** SplitCommandLine(const char* cmdLine, int* pArgc) {
    *pArgc = 0;
    if (cmdLine == nullptr)
        return nullptr;
    const char* p = SkipBlanks(cmdLine);
    if (*p == '\0')
        return nullptr;
    ArgWriter sizes;
    const int nArgs = ScanLine(p, &sizes, nullptr);
    const size_t cbPointers = (static_cast<size_t>(nArgs) + 1) * sizeof(char*);
    auto** argv = static_cast<char**>(malloc(cbPointers + sizes.nChars));
    if (argv == nullptr)
        return nullptr;
    ArgWriter texts;
    texts.pOut = reinterpret_cast<char*>(argv) + cbPointers;
    ScanLine(p, &texts, argv);
    argv[nArgs] = nullptr;
    *pArgc = nArgs;
    return argv;
}

void ExeBaseName(const char* path, char* name, size_t size) {
    name[0] = '\0';
    if (path == nullptr)
        return;
    const char* start = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            start = p + 1;
    }
    const char* dot = strrchr(start, '.');
    size_t length = dot != nullptr ? static_cast<size_t>(dot - start) : strlen(start);
    if (length > size - 1)
        length = size - 1;
    memcpy(name, start, length);
    name[length] = '\0';
}
