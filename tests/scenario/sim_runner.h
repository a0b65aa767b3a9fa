// Runs duodesk-sim or duodeskb-sim on a scenario and gives the tests its output in pieces. Every scenario
// test reads the dump through these readers, so that a failure prints the layout, flags and menus in
// words rather than the dump's raw numbers.
#pragma once

#include <gtest/gtest.h>

#include "display_text.h"

#include <cstdint>
#include <string>
#include <vector>

enum class Deliverable { Duodesk, Duodeskb };

struct TraceLine {
    uint64_t ms = 0;
    unsigned pid = 0;
    std::string text; // unescaped
};

// A menu as TrackPopupMenu showed it: its item lines as the output draws them, without the leading
// "menu " and with the indentation of their submenu level ("  [x] \"USB-VGA(Off)\" 32774 grey"), and how
// it closed ("pick \"USB-VGA(Off)\" id 32774", "dismiss", or "" while it is open).
struct ShownMenu {
    uint64_t ms = 0;
    unsigned pid = 0;
    bool foreground = false;
    std::vector<std::string> items;
    std::string closing;
};

struct SimRun {
    Deliverable deliverable = Deliverable::Duodesk;
    int exitStatus = -1;
    std::string out;
    std::string err;
    std::vector<TraceLine> traces;

    // Lines of the state printed by the last dump with this heading: "dump", "final", or one dump by its
    // time ("dump 3000").
    std::vector<std::string> State(const std::string& heading = "final") const;
    // State lines that start with `prefix`.
    std::vector<std::string> StateLines(const std::string& prefix,
                                        const std::string& heading = "final") const;
    bool HasStateLine(const std::string& line, const std::string& heading = "final") const;

    std::vector<TraceLine> TracesOf(unsigned pid) const;
    int CountTrace(const std::string& text) const;
    const TraceLine* FindTrace(const std::string& text) const;
    // The trace texts from this virtual time on, in order.
    std::vector<std::string> TextsFrom(uint64_t ms) const;
    // The pids of the program starts, in start order, from the final state.
    std::vector<unsigned> Pids() const;
    // Whether the program start with this pid had ended by the final state.
    bool Ended(unsigned pid) const;

    // The desktop, one display after another in enumeration order: USB and MIR for the adapter's own
    // display and its mirror driver, DISPLAYn for the others; then "off", or the flags, mode and place:
    // "DISPLAY1 primary 1280x1024x32@60 0,0; USB 1024x768x32@60 1280,0; MIR off".
    std::string Desk(const std::string& heading = "final") const;
    // A value of this deliverable's profile, "-" when it is not there.
    std::string Saved(const std::string& name, const std::string& section = "VGA DONGLE",
                      const std::string& heading = "final") const;
    // Every ChangeDisplaySettingsExA call, as "\\.\DISPLAY2 1024x768x32@60 pos 1280,0 fields
    // DM_POSITION|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET result 0" ("-" for no device or
    // no fields, "no mode" without a mode record).
    std::vector<std::string> DisplayCalls(const std::string& heading = "final") const;
    // Every menu TrackPopupMenu showed, in order.
    std::vector<ShownMenu> Menus() const;
    // The output lines that start with this prefix, wherever they are (menu, dialog and note lines).
    std::vector<std::string> OutputLines(const std::string& prefix) const;
};

SimRun RunSim(const std::string& scenario, Deliverable deliverable = Deliverable::Duodesk);
// The simulator on its built-in scenario.
SimRun RunBuiltInScenario(Deliverable deliverable = Deliverable::Duodesk);

// `duodesk-sim --interactive` with `typed` as what the person types, on the machine `machine` describes
// (the built-in machine when it is empty).
SimRun RunSession(const std::string& typed, const std::string& machine = "",
                  Deliverable deliverable = Deliverable::Duodesk);

// The executable base name of a deliverable, which names its profile key.
const char* ExeName(Deliverable deliverable);

// The words of a dump or output line, split at white space.
std::vector<std::string> Words(const std::string& line);
// A text as the dump prints it inside quotes, every backslash doubled.
std::string Escaped(const std::string& text);

// `expected` occurs in `texts` in this order, other texts between them allowed.
::testing::AssertionResult InOrder(const std::vector<std::string>& texts,
                                   const std::vector<std::string>& expected);
