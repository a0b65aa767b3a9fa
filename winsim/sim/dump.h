// The machine's state as stable, line-oriented text (docs/scenarios.md lists every line kind).
#pragma once
#include <cstdio>

namespace winsim {
void DumpMachine(FILE* out, const char* heading);
} // namespace winsim
