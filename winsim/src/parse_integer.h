#pragma once

#include <cstdint>
#include <string>

namespace winsim {

// A whole word that is an integer from min to max: decimal digits, led by a minus sign where min is
// negative, or with `hex` also hex digits after 0x. Nothing wraps: a word beyond the range is refused.
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t& value, bool hex = false);

} // namespace winsim
