// What the simulator prints as the machine runs: traces, desktop output, notes and violations.
#pragma once

#include <windows.h>

#include "containers.h"

namespace winsim {

// Trace output: every OutputDebugStringA, as the simulator prints it.
void EmitTrace(DWORD pid, const char* text);
void SetTraceSink(void (*sink)(VirtualMs time, DWORD pid, const char* text));
// What the simulator shows of the desktop as it happens (menus, dialogs), one line at a time, in order with
// the trace. Without a sink nothing is printed.
void EmitOutput(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SetOutputSink(void (*sink)(const char* line));
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A promise to the user is broken (`what` names which): "violation <ms> <what> \"<text>\"" in the output.
void Violation(const char* what, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace winsim
