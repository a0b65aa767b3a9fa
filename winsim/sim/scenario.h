// The scenario language: a description of the simulated machine, then a timeline of events.
// docs/scenarios.md describes it.
#pragma once

#include <winsim/text.h>
#include <winsim/user.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

struct ScenarioEvent {
    enum class Kind {
        Start,
        Plug,
        Unplug,
        PlugUsb,
        UnplugUsb,
        Dump,
        End,
        DisplayMode,
        MenuPick,
        MenuDismiss,
        TrayClick,
        ShellRestart,
        DialogPress,
        Post,
        Suspend,
        Resume,
        Logoff,
        Shutdown
    };
    uint64_t time = 0;
    Kind kind = Kind::Dump;
    std::string args;      // Start: the command-line text after the program name
    bool elevated = false; // Start: with the user's full token
    int line = 0;
    // DisplayMode: the display (a \\.\DISPLAYn name or a DeviceID; empty for the primary) and its new mode
    // (a frequency of 0 leaves the refresh rate to the display).
    std::string device;
    unsigned width = 0, height = 0, bpp = 0, frequency = 0;
    std::string path;                // PlugUsb, UnplugUsb: the USB device-interface path
    std::vector<std::string> labels; // MenuPick: the labels of the items on the way, from the top level
    winsim::TrayClick click = winsim::TrayClick::Left;   // TrayClick
    winsim::DialogPress press = winsim::DialogPress::Ok; // DialogPress
    // Post: the registered message's name and its parameters. Dump: the caption of its picture.
    std::string message;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    bool unattended = false; // Resume: a wake no user caused
    bool cancelled = false;  // Logoff, Shutdown: a program outside the simulation refuses
    bool temporary = false;  // DisplayMode: made without CDS_UPDATEREGISTRY
};

struct ScenarioError {
    int line = 0;
    std::string message;
};

// Parses `text` and applies its machine description to the machine M(). The program image must already
// be set (profile values go under its executable name). Returns the timeline, ending with one End event.
bool LoadScenario(const std::string& text, std::vector<ScenarioEvent>& timeline, ScenarioError& error);

// Parses a time: milliseconds ("1500") or seconds with an "s" suffix, possibly decimal ("20.5s").
bool ParseTime(const std::string& text, uint64_t& ms);

// A line an interactive session reads: nothing (blank or a comment), "wait TIME", "help", or an event
// written as in a timeline without its "at TIME" ("plug", "menu pick \"USB-VGA(Mirror)\"").
struct SessionStatement {
    enum class Kind { Nothing, Wait, Help, Event };
    Kind kind = Kind::Nothing;
    uint64_t wait = 0; // Wait: how far the clock moves
    ScenarioEvent event;
};

// The events follow the timeline's rules; a machine statement, "at" or "end" is refused.
bool ParseSessionLine(const std::string& text, SessionStatement& statement, std::string& error);
// What `help` lists: the form of each statement a session takes.
std::vector<std::string> SessionStatements();

// The built-in scenario is the machine followed by the timeline.
extern const char* const kBuiltInMachine;
extern const char* const kBuiltInTimeline;

} // namespace winsim
