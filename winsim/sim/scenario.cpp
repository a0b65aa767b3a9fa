#include "scenario.h"

#include "machine.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace winsim {

const char* const kBuiltInScenario =
    R"(# A typical Windows XP machine: one display, the adapter plugged in, the utility started at logon.
os 5.1 csd "Service Pack 3"
display PCI\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60,75 1024x768x32@60,75 1024x768x16@60 800x600x32@60
adapter plugged ready-after 3 mirror-ready-after 1
service UxSms absent
at 0 start
at 6s dump
at 8s start Close
end 9s
)";

namespace {

struct Tokenizer {
    std::string line;
    size_t pos = 0;
    std::string error;

    bool AtEnd() {
        while (pos < line.size() && isspace(static_cast<unsigned char>(line[pos])))
            ++pos;
        return pos >= line.size() || line[pos] == '#';
    }

    // A word, or a "quoted text" with C escapes.
    bool Next(std::string& out) {
        out.clear();
        if (AtEnd())
            return false;
        if (line[pos] != '"') {
            while (pos < line.size() && !isspace(static_cast<unsigned char>(line[pos])))
                out += line[pos++];
            return true;
        }
        ++pos;
        while (pos < line.size() && line[pos] != '"') {
            char c = line[pos++];
            if (c != '\\' || pos >= line.size()) {
                out += c;
                continue;
            }
            char e = line[pos++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                std::string hex = line.substr(pos, 2);
                out += static_cast<char>(strtol(hex.c_str(), nullptr, 16));
                pos += 2;
                break;
            }
            default:
                out += e;
                break;
            }
        }
        if (pos >= line.size()) {
            error = "unterminated quoted text";
            return false;
        }
        ++pos;
        return true;
    }

    std::string Rest() {
        AtEnd();
        std::string rest = line.substr(pos);
        while (!rest.empty() && isspace(static_cast<unsigned char>(rest.back())))
            rest.pop_back();
        pos = line.size();
        return rest;
    }
};

bool ParseUnsigned(const std::string& text, unsigned long& value) {
    if (text.empty() || !isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    value = strtoul(text.c_str(), &end, 10);
    return *end == '\0';
}

// WxHxBPP[@HZ[,HZ...]]
bool ParseModes(const std::string& text, Vec<DisplayMode>& modes) {
    unsigned w = 0, h = 0, bpp = 0;
    int consumed = 0;
    if (sscanf(text.c_str(), "%ux%ux%u%n", &w, &h, &bpp, &consumed) != 3)
        return false;
    std::string rest = text.substr(consumed);
    if (rest.empty()) {
        modes.push_back(DisplayMode{w, h, bpp, 60});
        return true;
    }
    if (rest[0] != '@')
        return false;
    std::stringstream hz(rest.substr(1));
    std::string item;
    while (std::getline(hz, item, ',')) {
        unsigned long f = 0;
        if (!ParseUnsigned(item, f))
            return false;
        modes.push_back(DisplayMode{w, h, bpp, static_cast<DWORD>(f)});
    }
    return true;
}

bool ParseCount(Tokenizer& t, int& value, bool allowNever) {
    std::string word;
    if (!t.Next(word))
        return false;
    if (allowNever && word == "never") {
        value = -1;
        return true;
    }
    unsigned long n = 0;
    if (!ParseUnsigned(word, n))
        return false;
    value = static_cast<int>(n);
    return true;
}

const char* const kUsbClassSuffix = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

class Parser {
public:
    Parser(std::vector<ScenarioEvent>& timeline, ScenarioError& error) : timeline_(timeline), error_(error) {}

    bool Line(const std::string& text, int number) {
        line_ = number;
        Tokenizer t;
        t.line = text;
        std::string keyword;
        if (!t.Next(keyword))
            return t.error.empty() ? true : Fail(t.error);
        if (keyword == "os")
            return Os(t);
        if (keyword == "display")
            return Display(t);
        if (keyword == "adapter")
            return Adapter(t);
        if (keyword == "usb")
            return Usb(t);
        if (keyword == "profile")
            return Profile(t);
        if (keyword == "service")
            return ServiceLine(t);
        if (keyword == "at")
            return At(t);
        if (keyword == "end")
            return End(t);
        return Fail("unknown statement '" + keyword + "'");
    }

    bool Finish() {
        if (!haveEnd) {
            uint64_t last = timeline_.empty() ? 0 : timeline_.back().time;
            timeline_.push_back(ScenarioEvent{last + 10000, ScenarioEvent::Kind::End, "", line_});
        }
        return true;
    }

private:
    bool Fail(const std::string& message) {
        error_.line = line_;
        error_.message = message;
        return false;
    }

    bool Os(Tokenizer& t) {
        std::string word;
        unsigned major = 0, minor = 0;
        if (!t.Next(word) || sscanf(word.c_str(), "%u.%u", &major, &minor) != 2)
            return Fail("os wants MAJOR.MINOR");
        OsVersion& os = M().os;
        os.major = major;
        os.minor = minor;
        os.build = major == 5 ? (minor == 0 ? 2195 : 2600) : (minor == 0 ? 6002 : 7601);
        while (t.Next(word)) {
            std::string value;
            if (!t.Next(value))
                return Fail("os option '" + word + "' wants a value");
            if (word == "csd") {
                os.csd = value.c_str();
            } else if (word == "edition") {
                os.edition = value.c_str();
            } else if (word == "build") {
                unsigned long b = 0;
                if (!ParseUnsigned(value, b))
                    return Fail("os build wants a number");
                os.build = static_cast<DWORD>(b);
            } else {
                return Fail("unknown os option '" + word + "'");
            }
        }
        if (!os.edition.empty()) {
            RegKey* key = CreateKey(M().hklm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
            RegValue& v = key->values[Str("EditionID")];
            v.name = "EditionID";
            v.type = REG_SZ;
            v.data.assign(os.edition.c_str(), os.edition.c_str() + os.edition.size() + 1);
        }
        return !t.error.empty() ? Fail(t.error) : true;
    }

    bool Display(Tokenizer& t) {
        Machine& m = M();
        DisplayDevice d;
        std::string word;
        if (!t.Next(word))
            return Fail("display wants a DeviceID");
        d.deviceId = word.c_str();
        d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size() + 1)).c_str();
        d.description = "Display adapter";
        while (t.Next(word)) {
            if (word == "primary") {
                d.primary = true;
            } else if (word == "modes") {
                continue;
            } else if (!ParseModes(word, d.modes)) {
                return Fail("bad display option or mode '" + word + "'");
            }
        }
        if (!t.error.empty())
            return Fail(t.error);
        if (d.primary && !d.modes.empty()) {
            d.current = DisplaySettings{d.modes.front(), 0, 0, true};
            d.registry = d.current;
        }
        m.displays.push_back(d);
        return true;
    }

    bool Adapter(Tokenizer& t) {
        Machine& m = M();
        AdapterDevice& a = m.adapter;
        if (a.declared)
            return Fail("only one adapter");
        a.declared = true;
        std::string path = std::string("\\\\?\\usb#") +
                           (m.program.adapterUsbId ? m.program.adapterUsbId : "vid_0000&pid_0000") +
                           "#5&2a1c3b&0&1" + kUsbClassSuffix;
        bool plugged = false;
        std::string word;
        while (t.Next(word)) {
            if (word == "plugged") {
                plugged = true;
            } else if (word == "ready-after") {
                if (!ParseCount(t, a.readyAfter, true))
                    return Fail("ready-after wants a count or never");
            } else if (word == "mirror-ready-after") {
                if (!ParseCount(t, a.mirrorReadyAfter, true))
                    return Fail("mirror-ready-after wants a count or never");
            } else if (word == "set-mirror-fails") {
                if (!ParseCount(t, a.setMirrorFails, false))
                    return Fail("set-mirror-fails wants a count");
            } else if (word == "open-fails") {
                a.openFails = true;
            } else if (word == "path") {
                if (!t.Next(path))
                    return Fail("path wants a device-interface path");
            } else {
                return Fail("unknown adapter option '" + word + "'");
            }
        }
        if (!t.error.empty())
            return Fail(t.error);
        a.interfaceIndex = static_cast<int>(m.usb.size());
        UsbInterface usb;
        usb.path = path.c_str();
        usb.isAdapter = true;
        usb.present = false;
        m.usb.push_back(usb);
        if (plugged) {
            a.plugged = true;
            a.setMirrorFailuresLeft = a.setMirrorFails;
            m.usb.back().present = true;
        }
        return true;
    }

    bool Usb(Tokenizer& t) {
        std::string path;
        if (!t.Next(path))
            return Fail("usb wants a device-interface path");
        UsbInterface usb;
        usb.path = path.c_str();
        M().usb.push_back(usb);
        return true;
    }

    bool Profile(Tokenizer& t) {
        std::string section, name, number;
        if (!t.Next(section) || !t.Next(name) || !t.Next(number))
            return Fail("profile wants \"SECTION\" NAME NUMBER");
        char* end = nullptr;
        long long value = strtoll(number.c_str(), &end, 0);
        if (*end != '\0')
            return Fail("profile value must be a number");
        std::string image = M().program.imageName ? M().program.imageName : "program.exe";
        std::string base = image.substr(0, image.rfind('.'));
        std::string path = "Software\\Kiva Dongle\\" + base + "\\" + section;
        SetDwordValue(CreateKey(M().hkcu, path.c_str()), name.c_str(), static_cast<DWORD>(value));
        return true;
    }

    bool ServiceLine(Tokenizer& t) {
        std::string name, state;
        if (!t.Next(name) || !t.Next(state))
            return Fail("service wants NAME running|stopped|absent");
        Service& s = M().services[Str(name.c_str())];
        if (state == "running")
            s.state = ServiceState::Running;
        else if (state == "stopped")
            s.state = ServiceState::Stopped;
        else if (state == "absent")
            s.state = ServiceState::Absent;
        else
            return Fail("service state must be running, stopped or absent");
        return true;
    }

    bool At(Tokenizer& t) {
        std::string timeText, what;
        ScenarioEvent e;
        e.line = line_;
        if (!t.Next(timeText) || !ParseTime(timeText, e.time))
            return Fail("at wants a time: milliseconds, or seconds with an s suffix");
        if (haveEnd)
            return Fail("events after end");
        if (!timeline_.empty() && e.time < timeline_.back().time)
            return Fail("events must be in time order");
        if (!t.Next(what))
            return Fail("at wants an event");
        if (what == "start") {
            e.kind = ScenarioEvent::Kind::Start;
            std::string rest = t.Rest();
            // A command line given as one quoted text keeps its blanks exactly ("Close ").
            if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
                Tokenizer q;
                q.line = rest;
                if (!q.Next(e.args) || !q.AtEnd())
                    return Fail("bad quoted command line");
            } else {
                e.args = rest;
            }
        } else if (what == "plug") {
            e.kind = ScenarioEvent::Kind::Plug;
        } else if (what == "unplug") {
            e.kind = ScenarioEvent::Kind::Unplug;
        } else if (what == "dump") {
            e.kind = ScenarioEvent::Kind::Dump;
        } else {
            return Fail("unknown event '" + what + "'");
        }
        if (e.kind != ScenarioEvent::Kind::Start && !t.AtEnd())
            return Fail("unexpected text after the event");
        if ((e.kind == ScenarioEvent::Kind::Plug || e.kind == ScenarioEvent::Kind::Unplug) &&
            !M().adapter.declared)
            return Fail("plug and unplug need an adapter line first");
        timeline_.push_back(e);
        return true;
    }

    bool End(Tokenizer& t) {
        std::string timeText;
        ScenarioEvent e;
        e.kind = ScenarioEvent::Kind::End;
        e.line = line_;
        if (!t.Next(timeText) || !ParseTime(timeText, e.time))
            return Fail("end wants a time");
        if (haveEnd)
            return Fail("a second end");
        if (!timeline_.empty() && e.time < timeline_.back().time)
            return Fail("end before the last event");
        haveEnd = true;
        timeline_.push_back(e);
        return true;
    }

    std::vector<ScenarioEvent>& timeline_;
    ScenarioError& error_;
    int line_ = 0;
    bool haveEnd = false;
};

} // namespace

bool ParseTime(const std::string& text, uint64_t& ms) {
    if (text.empty() || !isdigit(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    if (text.back() == 's') {
        double seconds = strtod(text.c_str(), &end);
        if (end != text.c_str() + text.size() - 1 || seconds < 0 || seconds > 1e9)
            return false;
        ms = static_cast<uint64_t>(seconds * 1000.0 + 0.5);
        return true;
    }
    unsigned long long value = strtoull(text.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    ms = value;
    return true;
}

std::string EscapeText(const char* text) {
    std::string out;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); c && *c; ++c) {
        switch (*c) {
        case '\n':
            out += "\\n";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (*c < 0x20 || *c >= 0x7F) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02X", *c);
                out += hex;
            } else {
                out += static_cast<char>(*c);
            }
        }
    }
    return out;
}

bool LoadScenario(const std::string& text, std::vector<ScenarioEvent>& timeline, ScenarioError& error) {
    Parser parser(timeline, error);
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
