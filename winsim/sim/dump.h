// The machine's state as stable, line-oriented text (docs/scenarios.md lists every line kind).
#pragma once
#include <cstdio>
#include <string>

namespace winsim {
// Prints the state between "<heading> <ms>" and "end-<heading>"; with an SVG directory set, also draws the
// layout there (dump-<n>-<ms>.svg for each dump, final-<ms>.svg for the end of the run), headed with the
// caption when there is one, else with "<heading> at <ms> ms".
void DumpMachine(FILE* out, const char* heading, const std::string& caption = "");
void SetLayoutSvgDirectory(const std::string& directory);

// How much of the machine's logs a session has shown.
struct StepMarks {
    size_t displayChanges = 0;
    size_t driverRequests = 0;
};
// What the program did since the last step of an interactive session, between "step <ms>" and "end-step":
// the ChangeDisplaySettingsExA calls and driver requests made since, as the dump writes them, then the
// layout.
void DumpStep(FILE* out, StepMarks& shown);
} // namespace winsim
