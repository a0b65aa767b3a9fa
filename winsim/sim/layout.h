// Pictures of the desktop layout: every attached display as a box at its place, in proportion, with its
// name and mode; the primary marked, a mirror driver drawn over what it copies.
#pragma once
#include <cstdio>
#include <string>

namespace winsim {

struct DisplayMode;

// "1024x768x32@60", as every line of the dump writes a mode.
std::string ModeName(const DisplayMode& mode);

// The layout as text, every line starting with "layout " (tests that read dumps can skip them).
void DrawLayoutText(FILE* out);

// The layout as an SVG picture, headed with `title`.
std::string DrawLayoutSvg(const std::string& title);

} // namespace winsim
