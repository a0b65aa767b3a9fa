// Display-change requests in words, for failure messages of the unit and scenario tests: flags by their
// names ("CDS_UPDATEREGISTRY|CDS_NORESET", "DM_PELSWIDTH|DM_POSITION") and a mode with its place
// ("1024x768x32@60 pos 1024,0").
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace display_text {

struct FlagName {
    unsigned bit;
    const char* name;
};

// The named bits of `flags`, joined by "|", what no name covers in hex, "0" for none.
template <size_t N>
std::string FlagNames(unsigned flags, const FlagName (&names)[N]) {
    std::string text;
    for (const FlagName& f : names) {
        if (flags & f.bit) {
            text += text.empty() ? "" : "|";
            text += f.name;
            flags &= ~f.bit;
        }
    }
    if (flags != 0) {
        char rest[16];
        snprintf(rest, sizeof rest, "0x%X", flags);
        text += text.empty() ? rest : std::string("|") + rest;
    }
    return text.empty() ? "0" : text;
}

} // namespace display_text

// ChangeDisplaySettingsExA flags as their names.
inline std::string CdsFlagNames(unsigned flags) {
    static const display_text::FlagName kNames[] = {
        {0x00000001, "CDS_UPDATEREGISTRY"}, {0x00000002, "CDS_TEST"},
        {0x00000004, "CDS_FULLSCREEN"},     {0x00000008, "CDS_GLOBAL"},
        {0x00000010, "CDS_SET_PRIMARY"},    {0x00000020, "CDS_VIDEOPARAMETERS"},
        {0x10000000, "CDS_NORESET"},        {0x40000000, "CDS_RESET"},
    };
    return display_text::FlagNames(flags, kNames);
}

// The dmFields of a DEVMODE as their names, in the order a mode reads: place, size, depth, rate.
inline std::string DmFieldNames(unsigned fields) {
    static const display_text::FlagName kNames[] = {
        {0x00000020, "DM_POSITION"},     {0x00000080, "DM_DISPLAYORIENTATION"},
        {0x00080000, "DM_PELSWIDTH"},    {0x00100000, "DM_PELSHEIGHT"},
        {0x00040000, "DM_BITSPERPEL"},   {0x00400000, "DM_DISPLAYFREQUENCY"},
        {0x00200000, "DM_DISPLAYFLAGS"},
    };
    return display_text::FlagNames(fields, kNames);
}

// A mode and its place: "1024x768x32@60 pos 1024,0".
inline std::string ModeText(unsigned width, unsigned height, unsigned bpp, unsigned hz, long x, long y) {
    return std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(bpp) + "@" +
           std::to_string(hz) + " pos " + std::to_string(x) + "," + std::to_string(y);
}
