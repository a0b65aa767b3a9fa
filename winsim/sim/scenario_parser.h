// The reader of a scenario, line by line. Its statements live by concern: the machine's
// (scenario_machine.cpp), the adapter's (scenario_adapter.cpp) and the timeline's events
// (scenario_events.cpp); scenario.cpp holds what they share.
#pragma once

#include "scenario.h"
#include "scenario_lexer.h"

#include <string>
#include <vector>

namespace winsim::scenario {

class Parser {
public:
    Parser(std::vector<ScenarioEvent>& timeline, ScenarioError& error) : timeline_(timeline), error_(error) {}

    bool Line(const std::string& text, int number);
    // A line of a session: "wait TIME", or an event without its time, by the rules of the timeline's events
    // less their order, which the session's clock keeps by itself.
    bool SessionLine(const std::string& text, SessionStatement& statement);
    bool Finish();

    using Statement = bool (Parser::*)(Tokenizer&);
    // The machine statement a keyword names, or null.
    static Statement MachineStatement(const std::string& keyword);

private:
    // What a display line said about the device's state; the defaults are filled in once the whole machine
    // is known (FinishDisplays).
    struct DisplayLine {
        int line = 0;
        bool hasCurrent = false, currentOff = false;
        DisplayMode current;
        bool hasRegistry = false, registryOff = false;
        DisplayMode registry;
        bool hasPos = false;
        LONG x = 0, y = 0;
        int attached = -1; // -1 not said, 0 detached, 1 attached
        bool keyReadOnly = false, keyNoSecurity = false;
    };

    // Shared by every statement (scenario.cpp).
    bool Fail(const std::string& message);
    bool Check(const std::string& problem) { return problem.empty() || Fail(problem); }
    bool NothingMore(Tokenizer& t, const char* statement);
    bool Number(const std::string& word, const std::string& what, int64_t min, int64_t max, int64_t& value,
                bool hex = false);
    bool RoomForDisplays(size_t more);

    // The machine (scenario_machine.cpp).
    bool Os(Tokenizer& t);
    bool Display(Tokenizer& t);
    bool ModeWord(Tokenizer& t, const char* what, bool& off, DisplayMode& mode);
    bool FinishDisplays();
    bool Quirk(Tokenizer& t);
    bool Uac(Tokenizer& t);
    bool User(Tokenizer& t);
    bool OnOff(Tokenizer& t, const char* usage, const char* yes, const char* no, bool& flag);
    bool Privilege(Tokenizer& t);
    bool RegKeyLine(Tokenizer& t);
    bool Usb(Tokenizer& t);
    bool Profile(Tokenizer& t);
    bool ServiceLine(Tokenizer& t);
    bool FailLine(Tokenizer& t);
    bool Adapter(Tokenizer& t); // scenario_adapter.cpp

    // The timeline (scenario_events.cpp).
    bool At(Tokenizer& t);
    bool End(Tokenizer& t);
    bool Event(Tokenizer& t, ScenarioEvent& e);
    bool SessionStatementOf(Tokenizer& t, SessionStatement& statement);

    std::vector<ScenarioEvent>& timeline_;
    ScenarioError& error_;
    Tokenizer* tokens_ = nullptr; // the line being read, while it is
    std::vector<DisplayLine> displayLines_;
    DisplayMode adapterRegistryMode_;
    int line_ = 0;
    bool haveEnd_ = false;
};

} // namespace winsim::scenario
