#include "parse_integer.h"

#include <cctype>

namespace winsim {

bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t& value, bool hex) {
    size_t i = 0;
    const bool negative = min < 0 && !text.empty() && text[0] == '-';
    i += negative ? 1 : 0;
    int base = 10;
    if (hex && text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int digit = isdigit(c) ? c - '0' : base == 16 && isxdigit(c) ? tolower(c) - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        magnitude = magnitude * base + static_cast<unsigned>(digit);
        if (magnitude > uint64_t(INT64_MAX) / 16) // far beyond every limit, and no wrap
            return false;
    }
    const int64_t v = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (v < min || v > max)
        return false;
    value = v;
    return true;
}

} // namespace winsim
