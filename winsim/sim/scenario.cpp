// The scenario reader's entry points and what every statement shares.
#include "machine.h"
#include "parse_integer.h"
#include "scenario_parser.h"

#include <sstream>

namespace winsim {
namespace scenario {

bool Parser::Line(const std::string& text, int number) {
    line_ = number;
    Tokenizer t;
    t.line = text;
    tokens_ = &t;
    std::string keyword;
    bool ok = true;
    if (!t.Next(keyword))
        ok = t.error.empty() || Fail(t.error);
    else if (Statement statement = MachineStatement(keyword))
        ok = (this->*statement)(t);
    else if (keyword == "at")
        ok = At(t);
    else if (keyword == "end")
        ok = End(t);
    else
        ok = Fail("unknown statement '" + keyword + "'");
    tokens_ = nullptr;
    return ok;
}

bool Parser::SessionLine(const std::string& text, SessionStatement& statement) {
    Tokenizer t;
    t.line = text;
    tokens_ = &t;
    const bool ok = SessionStatementOf(t, statement);
    tokens_ = nullptr;
    return ok;
}

bool Parser::Finish() {
    if (!FinishDisplays())
        return false;
    if (!haveEnd_) {
        uint64_t last = timeline_.empty() ? 0 : timeline_.back().time;
        ScenarioEvent end;
        end.time = last + 10000;
        end.kind = ScenarioEvent::Kind::End;
        end.line = line_;
        timeline_.push_back(end);
    }
    return true;
}

// A mistake in the line's text (a quote left open, a bad escape) is the one reported, whatever was missed
// because of it.
bool Parser::Fail(const std::string& message) {
    error_.line = line_;
    error_.message = tokens_ && !tokens_->error.empty() ? tokens_->error : message;
    return false;
}

// Nothing may follow a statement's last word.
bool Parser::NothingMore(Tokenizer& t, const char* statement) {
    if (t.AtEnd())
        return true;
    return Fail("unexpected text after " + std::string(statement) + ": '" + t.Rest() + "'");
}

// A number a statement wants, from min to max; decimal, or with `hex` also 0x hex.
bool Parser::Number(const std::string& word, const std::string& what, int64_t min, int64_t max,
                    int64_t& value, bool hex) {
    if (ParseInteger(word, min, max, value, hex))
        return true;
    return Fail(what + " wants " + Range(min, max) + (hex ? " (decimal, or hex after 0x)" : "") + ", not '" +
                word + "'");
}

bool Parser::RoomForDisplays(size_t more) {
    if (M().displays.size() + more <= kMaxDisplays)
        return true;
    return Fail("at most " + std::to_string(kMaxDisplays) + " display devices, the adapter's two included");
}

} // namespace scenario

bool ParseSessionLine(const std::string& text, SessionStatement& statement, std::string& error) {
    std::vector<ScenarioEvent> unused;
    ScenarioError failure;
    scenario::Parser parser(unused, failure);
    if (parser.SessionLine(text, statement))
        return true;
    error = failure.message;
    return false;
}

bool LoadScenario(const std::string& text, std::vector<ScenarioEvent>& timeline, ScenarioError& error) {
    scenario::Parser parser(timeline, error);
    std::stringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!parser.Line(line, number))
            return false;
    }
    return parser.Finish();
}

} // namespace winsim
