#include "sysint/str_util.h"

#include <cstring>

namespace {

// Only a-z are folded: device paths and DeviceIDs are plain ASCII, and a locale must not change the match.
char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool StrContainsNoCase(const char* text, const char* part) {
    if (text == nullptr || part == nullptr)
        return false;
    const size_t textLen = strlen(text);
    const size_t partLen = strlen(part);
    if (partLen == 0 || textLen < partLen)
        return false;
    for (size_t start = 0; start + partLen <= textLen; ++start) {
        size_t i = 0;
        while (i < partLen && UpperAscii(text[start + i]) == UpperAscii(part[i]))
            ++i;
        if (i == partLen)
            return true;
    }
    return false;
}

bool StrEqualNoCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr)
        return false;
    for (;; ++a, ++b) {
        if (UpperAscii(*a) != UpperAscii(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}
