// The timeline: "at TIME EVENT" and "end TIME" lines, and the lines a session types.
#include "machine.h"
#include "scenario_parser.h"

#include <utility>

namespace winsim {
namespace scenario {
namespace {

using Kind = ScenarioEvent::Kind;

// An event's words after its name; empty, or what is wrong.
using EventReader = std::string (*)(const std::string& what, Tokenizer& t, ScenarioEvent& e);

// "start [elevated] [ARGS]": the rest of the line is the command line.
std::string Start(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    std::string rest = t.Rest();
    if (rest == "elevated" || rest.starts_with("elevated ")) {
        e.elevated = true;
        rest.erase(0, rest.find_first_not_of(" \t", sizeof("elevated") - 1));
        if (rest.find_first_not_of(" \t") == std::string::npos)
            rest.clear();
    }
    // A command line given as one quoted text keeps its blanks exactly ("Close ").
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
        Tokenizer q;
        q.line = rest;
        if (!q.Next(e.args) || !q.AtEnd())
            return "bad quoted command line";
    } else {
        e.args = rest;
    }
    return std::string();
}

std::string UsbPath(const std::string& what, Tokenizer& t, ScenarioEvent& e) {
    return t.Next(e.path) ? std::string() : what + " wants a device-interface path";
}

std::string Caption(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    if (t.Next(e.message) && e.message.empty())
        return "a dump's caption cannot be empty";
    return t.error;
}

// display-mode [DEVICE] WxHxBPP[@HZ] [temporary]
std::string NewDisplayMode(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    const char* const usage = "display-mode wants [DEVICE] WxHxBPP[@HZ] [temporary]";
    std::vector<std::string> words;
    for (std::string word; t.Next(word);)
        words.push_back(word);
    if (words.size() > 1 && words.back() == "temporary") {
        e.temporary = true;
        words.pop_back();
    }
    if (words.empty() || words.size() > 2)
        return usage;
    if (words.size() == 2)
        e.device = words.front();
    DisplayMode mode;
    std::string problem = ParseMode(words.back(), mode, 0, usage);
    e.width = mode.width;
    e.height = mode.height;
    e.bpp = mode.bpp;
    e.frequency = mode.frequency;
    return problem;
}

// One word of a fixed set, each naming a value.
template <class T, size_t N>
std::string Choice(Tokenizer& t, const std::pair<const char*, T> (&choices)[N], T& value, const char* usage) {
    std::string word;
    t.Next(word);
    for (const auto& [name, choice] : choices) {
        if (word == name) {
            value = choice;
            return std::string();
        }
    }
    return usage;
}

std::string Click(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    static const std::pair<const char*, TrayClick> kClicks[] = {{"left", TrayClick::Left},
                                                                {"right", TrayClick::Right},
                                                                {"double", TrayClick::Double},
                                                                {"move", TrayClick::Move}};
    return Choice(t, kClicks, e.click, "tray-click wants left, right, double or move");
}

// dialog press ok|cancel|escape|close
std::string Press(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    static const std::pair<const char*, DialogPress> kPresses[] = {{"ok", DialogPress::Ok},
                                                                   {"cancel", DialogPress::Cancel},
                                                                   {"escape", DialogPress::Escape},
                                                                   {"close", DialogPress::Close}};
    const char* const usage = "dialog wants press ok, cancel, escape or close";
    std::string word;
    if (!t.Next(word) || word != "press")
        return usage;
    return Choice(t, kPresses, e.press, usage);
}

// post "NAME" WPARAM LPARAM
std::string Post(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    std::string wParam, lParam;
    const char* usage =
        "post wants \"NAME\" WPARAM LPARAM (numbers, decimal or 0x hex; LPARAM may be negative)";
    if (!t.Next(e.message) || e.message.empty() || !t.Next(wParam) || !t.Next(lParam))
        return usage;
    bool negative = !lParam.empty() && lParam[0] == '-';
    uint64_t magnitude = 0;
    if (!ParseNumber(wParam, e.wParam) || !ParseNumber(negative ? lParam.substr(1) : lParam, magnitude) ||
        magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX)))
        return usage;
    e.lParam = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    return std::string();
}

// menu pick "LABEL" ["LABEL" ...] | menu dismiss
std::string Menu(const std::string&, Tokenizer& t, ScenarioEvent& e) {
    std::string action, label;
    if (!t.Next(action) || (action != "pick" && action != "dismiss"))
        return "menu wants pick \"LABEL\" [\"LABEL\" ...] or dismiss";
    e.kind = action == "pick" ? Kind::MenuPick : Kind::MenuDismiss;
    while (e.kind == Kind::MenuPick && t.Next(label))
        e.labels.push_back(label);
    if (!t.error.empty())
        return t.error;
    if (e.kind == Kind::MenuPick && e.labels.empty())
        return "menu pick wants the label of an item, and of each submenu on the way to it";
    return std::string();
}

// One optional word after the event's name.
std::string Optional(const std::string& what, Tokenizer& t, const char* option, bool& flag) {
    std::string word;
    if (!t.Next(word))
        return std::string();
    flag = word == option;
    return flag ? std::string() : what + " wants nothing or " + option + ", not '" + word + "'";
}
std::string Cancelled(const std::string& what, Tokenizer& t, ScenarioEvent& e) {
    return Optional(what, t, "cancelled", e.cancelled);
}
std::string Unattended(const std::string& what, Tokenizer& t, ScenarioEvent& e) {
    return Optional(what, t, "unattended", e.unattended);
}

const struct {
    const char* word;
    Kind kind;
    EventReader read;  // null: the event has no words of its own
    const char* usage; // what `help` shows
} kEvents[] = {
    {"start", Kind::Start, Start, "start [elevated] [ARGS]"},
    {"plug", Kind::Plug, nullptr, "plug"},
    {"unplug", Kind::Unplug, nullptr, "unplug"},
    {"plug-usb", Kind::PlugUsb, UsbPath, "plug-usb PATH"},
    {"unplug-usb", Kind::UnplugUsb, UsbPath, "unplug-usb PATH"},
    {"dump", Kind::Dump, Caption, "dump [\"CAPTION\"]"},
    {"display-mode", Kind::DisplayMode, NewDisplayMode, "display-mode [DEVICE] WxHxBPP[@HZ] [temporary]"},
    {"tray-click", Kind::TrayClick, Click, "tray-click left|right|double|move"},
    {"shell-restart", Kind::ShellRestart, nullptr, "shell-restart"},
    {"dialog", Kind::DialogPress, Press, "dialog press ok|cancel|escape|close"},
    {"post", Kind::Post, Post, "post \"NAME\" WPARAM LPARAM"},
    {"menu", Kind::MenuPick, Menu, "menu pick \"LABEL\" [\"LABEL\" ...] | menu dismiss"},
    {"logoff", Kind::Logoff, Cancelled, "logoff [cancelled]"},
    {"shutdown", Kind::Shutdown, Cancelled, "shutdown [cancelled]"},
    {"suspend", Kind::Suspend, nullptr, "suspend"},
    {"resume", Kind::Resume, Unattended, "resume [unattended]"},
};

} // namespace

bool Parser::At(Tokenizer& t) {
    std::string timeText;
    ScenarioEvent e;
    e.line = line_;
    if (!t.Next(timeText) || !ParseTime(timeText, e.time))
        return Fail("at wants " + TimeUsage(timeText));
    if (haveEnd_)
        return Fail("events after end");
    if (!timeline_.empty() && e.time < timeline_.back().time)
        return Fail("events must be in time order");
    if (!Event(t, e))
        return false;
    timeline_.push_back(e);
    return true;
}

bool Parser::End(Tokenizer& t) {
    std::string timeText;
    ScenarioEvent e;
    e.kind = Kind::End;
    e.line = line_;
    if (!t.Next(timeText) || !ParseTime(timeText, e.time))
        return Fail("end wants " + TimeUsage(timeText));
    if (haveEnd_)
        return Fail("a second end");
    if (!NothingMore(t, "end TIME"))
        return false;
    if (!timeline_.empty() && e.time < timeline_.back().time)
        return Fail("end before the last event");
    haveEnd_ = true;
    timeline_.push_back(e);
    return true;
}

// The event of an "at" line, after its time: "plug", "menu pick \"LABEL\" ...".
bool Parser::Event(Tokenizer& t, ScenarioEvent& e) {
    std::string what;
    if (!t.Next(what))
        return Fail("at wants an event");
    const auto* event = Lookup(kEvents, what);
    if (!event)
        return Fail("unknown event '" + what + "'");
    e.kind = event->kind;
    if (event->read && !Check(event->read(what, t, e)))
        return false;
    if (e.kind != Kind::Start && !t.AtEnd())
        return Fail("unexpected text after the event");
    if ((e.kind == Kind::Plug || e.kind == Kind::Unplug) && !M().adapter.declared)
        return Fail("plug and unplug need an adapter line first");
    return true;
}

bool Parser::SessionStatementOf(Tokenizer& t, SessionStatement& statement) {
    std::string first;
    if (!t.Next(first)) {
        statement.kind = SessionStatement::Kind::Nothing;
        return t.error.empty() || Fail(t.error);
    }
    if (MachineStatement(first))
        return Fail("'" + first + "' describes the machine, which is set before the session starts");
    if (first == "at" || first == "end")
        return Fail("a session has no times: type the event alone, and wait TIME to let time pass");
    if (first == "help") {
        statement.kind = SessionStatement::Kind::Help;
        return NothingMore(t, "help");
    }
    if (first == "wait") {
        statement.kind = SessionStatement::Kind::Wait;
        std::string timeText;
        if (!t.Next(timeText) || !ParseTime(timeText, statement.wait))
            return Fail("wait wants " + TimeUsage(timeText));
        return NothingMore(t, "wait TIME");
    }
    statement.kind = SessionStatement::Kind::Event;
    t.pos = 0;
    return Event(t, statement.event);
}

} // namespace scenario

std::vector<std::string> SessionStatements() {
    std::vector<std::string> usages;
    for (const auto& event : scenario::kEvents)
        usages.push_back(event.usage);
    usages.push_back("wait TIME");
    usages.push_back("help");
    return usages;
}

} // namespace winsim
