#include "scenario_lexer.h"

#include "parse_integer.h"
#include "scenario.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace winsim {
namespace scenario {

bool Tokenizer::AtEnd() {
    while (pos < line.size() && isspace(static_cast<unsigned char>(line[pos])))
        ++pos;
    return pos >= line.size() || line[pos] == '#';
}

bool Tokenizer::Next(std::string& out) {
    out.clear();
    if (AtEnd())
        return false;
    if (line[pos] != '"') {
        while (pos < line.size() && !isspace(static_cast<unsigned char>(line[pos])))
            out += line[pos++];
        return true;
    }
    ++pos;
    while (pos < line.size() && line[pos] != '"') {
        char c = line[pos++];
        if (c != '\\' || pos >= line.size()) {
            out += c;
            continue;
        }
        char e = line[pos++];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '"':
        case '\\':
            out += e;
            break;
        case 'x':
            if (pos + 2 > line.size() || !isxdigit(static_cast<unsigned char>(line[pos])) ||
                !isxdigit(static_cast<unsigned char>(line[pos + 1])))
                return Bad("\\x wants two hex digits in a quoted text");
            out += static_cast<char>(strtol(line.substr(pos, 2).c_str(), nullptr, 16));
            pos += 2;
            break;
        default:
            return Bad(std::string("unknown escape \\") + e +
                       " in a quoted text (a backslash is written \\\\)");
        }
    }
    if (pos >= line.size())
        return Bad("unterminated quoted text");
    ++pos;
    return true;
}

// The rest of the line is not read after a mistake in its text.
bool Tokenizer::Bad(const std::string& message) {
    error = message;
    pos = line.size();
    return false;
}

std::string Tokenizer::Rest() {
    AtEnd();
    std::string rest = line.substr(pos);
    while (!rest.empty() && isspace(static_cast<unsigned char>(rest.back())))
        rest.pop_back();
    pos = line.size();
    return rest;
}

std::string Range(int64_t min, int64_t max) {
    return "a number from " + std::to_string(min) + " to " + std::to_string(max);
}

std::string TimeUsage(const std::string& word) {
    return "a time: milliseconds, or seconds with an s suffix and at most three decimals, up to "
           "10000000s" +
           (word.empty() ? std::string() : ", not '" + word + "'");
}

bool ParseNumber(const std::string& text, uint64_t& value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    if (!isxdigit(static_cast<unsigned char>(*digits)) ||
        (!hex && !isdigit(static_cast<unsigned char>(*digits))))
        return false;
    char* end = nullptr;
    errno = 0;
    value = strtoull(digits, &end, hex ? 16 : 10);
    return *end == '\0' && errno == 0;
}

bool ParseCount(Tokenizer& t, int& value, bool allowNever) {
    std::string word;
    if (!t.Next(word))
        return false;
    if (allowNever && word == "never") {
        value = -1;
        return true;
    }
    int64_t n = 0;
    if (!ParseInteger(word, 0, kMaxCount, n))
        return false;
    value = static_cast<int>(n);
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool ParsePoint(const std::string& text, LONG& x, LONG& y) {
    const std::vector<std::string> parts = Split(text, ',');
    int64_t ix = 0, iy = 0;
    if (parts.size() != 2 || !ParseInteger(parts[0], -kMaxCoordinate, kMaxCoordinate, ix) ||
        !ParseInteger(parts[1], -kMaxCoordinate, kMaxCoordinate, iy))
        return false;
    x = static_cast<LONG>(ix);
    y = static_cast<LONG>(iy);
    return true;
}

bool LooksLikeMode(const std::string& text) {
    return !text.empty() &&
           (isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+') &&
           text.find('x') != std::string::npos;
}

std::string ParseModes(const std::string& text, Vec<DisplayMode>& modes, bool rateList, unsigned defaultHz,
                       const std::string& usage) {
    if (!LooksLikeMode(text))
        return usage + ", not '" + text + "'";
    const std::string what = "mode '" + text + "': ";
    const size_t at = text.find('@');
    const std::vector<std::string> size = Split(text.substr(0, at), 'x');
    if (size.size() != 3)
        return what + "a mode is WxHxBPP[@HZ" + (rateList ? "[,HZ...]]" : "]");
    const char* const names[] = {"width", "height", "bits per pixel"};
    const int64_t max[] = {kMaxSize, kMaxSize, kMaxBpp};
    int64_t values[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!ParseInteger(size[i], 1, max[i], values[i]))
            return what + names[i] + " must be " + Range(1, max[i]) + ", not '" + size[i] + "'";
    }
    std::vector<int64_t> rates;
    if (at == std::string::npos) {
        rates.push_back(defaultHz);
    } else {
        const std::vector<std::string> items = Split(text.substr(at + 1), ',');
        if (items.size() > 1 && !rateList)
            return what + "one rate at most";
        for (const std::string& item : items) {
            int64_t hz = 0;
            if (item.empty())
                return what + "a rate is missing after " + (rates.empty() ? "@" : ",");
            if (!ParseInteger(item, 1, kMaxHz, hz))
                return what + "a rate must be " + Range(1, kMaxHz) + ", not '" + item + "'";
            rates.push_back(hz);
        }
    }
    for (int64_t hz : rates) {
        modes.push_back(DisplayMode{static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1]),
                                    static_cast<unsigned>(values[2]), static_cast<unsigned>(hz)});
    }
    return std::string();
}

std::string ParseMode(const std::string& text, DisplayMode& mode, unsigned defaultHz,
                      const std::string& usage) {
    Vec<DisplayMode> modes(Arena());
    std::string problem = ParseModes(text, modes, false, defaultHz, usage);
    if (problem.empty())
        mode = modes.front();
    return problem;
}

} // namespace scenario

bool ParseTime(const std::string& text, uint64_t& ms) {
    using scenario::kMaxTimeMs;
    const bool seconds = !text.empty() && text.back() == 's';
    const std::string number = seconds ? text.substr(0, text.size() - 1) : text;
    const size_t dot = seconds ? number.find('.') : std::string::npos;
    const std::string whole = number.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : number.substr(dot + 1);
    const int64_t unit = seconds ? 1000 : 1;
    int64_t value = 0, thousandths = 0;
    if (!ParseInteger(whole, 0, static_cast<int64_t>(kMaxTimeMs) / unit, value))
        return false;
    if (dot != std::string::npos) {
        if (fraction.empty() || fraction.size() > 3 || !ParseInteger(fraction, 0, 999, thousandths))
            return false;
        for (size_t i = fraction.size(); i < 3; ++i)
            thousandths *= 10;
    }
    const uint64_t total = static_cast<uint64_t>(value * unit + thousandths);
    if (total > kMaxTimeMs)
        return false;
    ms = total;
    return true;
}

} // namespace winsim
