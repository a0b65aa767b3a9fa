// Text as the simulator prints it, in traces, notes, dumps and pictures.
#pragma once
#include <string>

namespace winsim {

// Escapes text for the output: \n, \", \\ and \xHH for other control and non-ASCII bytes.
std::string EscapeText(const char* text);

} // namespace winsim
