// The words of a scenario line, and the numbers, modes, points and times written in them, each checked
// against the limits docs/scenarios.md lists.
#pragma once

#include "display.h"

#include <cstdint>
#include <string>
#include <vector>

namespace winsim::scenario {

// One line, read word by word. A mistake in its text (a quote left open, a bad escape) stops the reading
// and stays in `error`.
struct Tokenizer {
    std::string line;
    size_t pos = 0;
    std::string error;

    // Whether only blanks or a comment are left.
    bool AtEnd();
    // A word, or a "quoted text" with C escapes.
    bool Next(std::string& out);
    // The rest of the line as written, without its trailing blanks.
    std::string Rest();

private:
    bool Bad(const std::string& message);
};

// What a scenario may say: every number is checked against these, so that nothing wraps, is cut, or
// overflows when the machine is laid out.
constexpr int64_t kMaxSize = 16384; // a display's width and height
constexpr int64_t kMaxBpp = 32;
constexpr int64_t kMaxHz = 1000;
constexpr int64_t kMaxCoordinate = int64_t(1) << 24; // a position, either way from the origin
constexpr int64_t kMaxCount = INT32_MAX;
constexpr uint64_t kMaxTimeMs = 10000000000; // 10000000 s, about 115 days
constexpr size_t kMaxDisplays = 64;          // display devices, the adapter's two included

// "a number from MIN to MAX", for the messages.
std::string Range(int64_t min, int64_t max);
// The usage of a time, naming the word that was no time.
std::string TimeUsage(const std::string& word);

// Decimal digits, or hex digits after 0x.
bool ParseNumber(const std::string& text, uint64_t& value);
// A count from 0 to kMaxCount, or with `allowNever` the word never (-1).
bool ParseCount(Tokenizer& t, int& value, bool allowNever);
std::vector<std::string> Split(const std::string& text, char separator);
// X,Y, each within kMaxCoordinate of the origin.
bool ParsePoint(const std::string& text, LONG& x, LONG& y);

// Whether a word is meant as a mode: a number first, then an x.
bool LooksLikeMode(const std::string& text);
// WxHxBPP[@HZ[,HZ...]]: one mode per rate, `defaultHz` without @; `rateList` false allows one rate at most.
// Empty on success, else what is wrong; `usage` is the message for a word that is no mode at all.
std::string ParseModes(const std::string& text, Vec<DisplayMode>& modes, bool rateList, unsigned defaultHz,
                       const std::string& usage);
std::string ParseMode(const std::string& text, DisplayMode& mode, unsigned defaultHz,
                      const std::string& usage);

// The entry of a table of words (each entry's `word`) that `word` names, or null: how a statement finds
// its options and a timeline its events.
template <class Entry, size_t N>
const Entry* Lookup(const Entry (&table)[N], const std::string& word) {
    for (const Entry& entry : table) {
        if (word == entry.word)
            return &entry;
    }
    return nullptr;
}

} // namespace winsim::scenario
