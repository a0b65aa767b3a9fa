#include "machine.h"
#include "output.h"
#include "registry.h"

#include <winsim/text.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace winsim {

bool NoCaseLess::operator()(const Str& a, const Str& b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int ca = toupper(static_cast<unsigned char>(a[i]));
        int cb = toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

Str Upper(const char* text) {
    Str out(Arena());
    for (; text && *text; ++text)
        out += static_cast<char>(toupper(static_cast<unsigned char>(*text)));
    return out;
}

bool EqualNoCase(const char* a, const char* b) {
    if (!a || !b)
        return a == b;
    for (; *a && *b; ++a, ++b) {
        if (toupper(static_cast<unsigned char>(*a)) != toupper(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

namespace {
Machine* g_machine = nullptr;

RegKey* NewRootKey(const char* name) {
    RegKey* key = New<RegKey>();
    key->name = name;
    return key;
}
} // namespace

Machine& M() {
    if (!g_machine)
        ResetMachine();
    return *g_machine;
}

void ResetMachine() {
    std::pmr::set_default_resource(Arena());
    g_machine = New<Machine>();
    g_machine->hkcu = NewRootKey("HKEY_CURRENT_USER");
    g_machine->hklm = NewRootKey("HKEY_LOCAL_MACHINE");
    // Every user's hive is loaded with its Software key, before any program has written to it
    // (docs/winsim-power.md G12).
    CreateKey(g_machine->hkcu, "Software");
}

void DiscardMachine() {
    g_machine = nullptr;
    ClearArena();
}

void Note(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    M().simNotes.emplace_back(buffer);
    EmitTrace(0, buffer);
}

void Violation(const char* what, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    EmitOutput("violation %llu %s \"%s\"", static_cast<unsigned long long>(M().now), what,
               EscapeText(buffer).c_str());
}

std::string EscapeText(const char* text) {
    std::string out;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); c && *c; ++c) {
        switch (*c) {
        case '\n':
            out += "\\n";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (*c < 0x20 || *c >= 0x7F) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", *c);
                out += hex;
            } else {
                out += static_cast<char>(*c);
            }
        }
    }
    return out;
}

} // namespace winsim
