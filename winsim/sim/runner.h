// Runs a scenario on the machine and prints what happens: every trace record as it is made, the state at
// each dump and at the end.
#pragma once
#include <winsim/program.h>

#include <string>

namespace winsim {

// Returns the exit status for the command: 0 after a complete run, 2 for a scenario that does not parse,
// which is reported on stderr as one line "SOURCE:LINE: problem" (SOURCE names the scenario: its file
// name as given, "<stdin>" or "<built-in>"). A run normally ends inside its End event, which prints the
// final state and ends the Linux process.
int RunScenario(const std::string& text, const ProgramImage& image, const std::string& source);

// The same on the machine `machine` describes (a scenario without events, reported as SOURCE:LINE when it
// does not parse or holds an event), with the timeline read from standard input as it is typed: "wait
// TIME" moves the clock, every other line is an event that happens now. After each step it prints the
// step (DumpStep); the end of input ends the run.
int RunInteractive(const std::string& machine, const ProgramImage& image, const std::string& source);

// At the end of the run, every process's calls of each function go to this file (see WriteCallCounts).
void SetCallCountFile(const std::string& path);
// Prints a "wait" line each time the running instance is back in a message loop with nothing to do.
void PrintWaits(bool on);

} // namespace winsim
