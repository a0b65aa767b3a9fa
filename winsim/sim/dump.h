// The machine's state as stable, line-oriented text (docs/scenarios.md lists every line kind).
#pragma once
#include <cstdio>
#include <string>

namespace winsim {
// Prints the state between "<heading> <ms>" and "end-<heading>"; with an SVG directory set, also draws the
// layout there (dump-<n>-<ms>.svg for each dump, final-<ms>.svg for the end of the run).
void DumpMachine(FILE* out, const char* heading);
void SetLayoutSvgDirectory(const std::string& directory);
} // namespace winsim
