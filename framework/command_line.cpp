#include "framework/command_line.h"

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

// The program name: no escapes, a quote only switches the blank rule on and off.
const char* ScanProgramName(const char* p, std::string* name) {
    bool inQuotes = false;
    while (*p != '\0' && (inQuotes || !IsBlank(*p))) {
        if (*p == '"')
            inQuotes = !inQuotes;
        else if (name != nullptr)
            name->push_back(*p);
        ++p;
    }
    return p;
}

const char* ScanArgument(const char* p, std::string* arg) {
    bool inQuotes = false;
    while (*p != '\0' && (inQuotes || !IsBlank(*p))) {
        if (*p == '\\') {
            size_t backslashes = 0;
            while (*p == '\\') {
                ++backslashes;
                ++p;
            }
            if (*p == '"') {
                arg->append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg->push_back('"');
                    ++p;
                }
            } else {
                arg->append(backslashes, '\\');
            }
            continue;
        }
        if (*p == '"') {
            if (inQuotes && p[1] == '"') {
                arg->push_back('"');
                p += 2;
                continue;
            }
            inQuotes = !inQuotes;
            ++p;
            continue;
        }
        arg->push_back(*p);
        ++p;
    }
    return p;
}

} // namespace

const char* SkipProgramName(const char* cmdLine) {
    if (cmdLine == nullptr)
        return "";
    return SkipBlanks(ScanProgramName(cmdLine, nullptr));
}

std::vector<std::string> SplitCommandLine(const char* cmdLine) {
    std::vector<std::string> args;
    if (cmdLine == nullptr)
        return args;
    const char* p = SkipBlanks(cmdLine);
    if (*p == '\0')
        return args;
    std::string name;
    p = SkipBlanks(ScanProgramName(p, &name));
    args.push_back(name);
    while (*p != '\0') {
        std::string arg;
        p = SkipBlanks(ScanArgument(p, &arg));
        args.push_back(arg);
    }
    return args;
}

std::string ExeBaseName(const char* path) {
    if (path == nullptr)
        return std::string();
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    const char* dot = strrchr(name, '.');
    return dot != nullptr ? std::string(name, dot) : std::string(name);
}
