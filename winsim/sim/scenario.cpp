#include "scenario.h"

#include "machine.h"
#include "parse_integer.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace winsim {

// The raw texts' delimiter is "scenario": the menu labels end in ")" and a quote. The machine is a text of
// its own because an interactive session runs on it with the timeline typed in.
const char* const kBuiltInMachine =
    R"scenario(# A Windows XP machine with one display; the adapter, not yet plugged in, saved its layout last time
# (extended, 1024x768).
os 5.1 csd "Service Pack 3"
display PCI\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60,75 1024x768x32@60,75 1024x768x16@60 800x600x32@60
adapter modes 1280x1024x32@60 1280x1024x16@60 1024x768x32@60 1024x768x16@60 800x600x32@60 ready-after 3 mirror-ready-after 1
profile "VGA DONGLE" DispState 2
profile "VGA DONGLE" Width 1024
profile "VGA DONGLE" Height 768
profile "VGA DONGLE" BitDepth 32
profile "VGA DONGLE" FirstRun 1
service UxSms absent
)scenario";

const char* const kBuiltInTimeline =
    R"scenario(# The utility starts at logon; the adapter is plugged in a little later and comes up in its saved
# layout. The user opens the tray menu, switches to Mirror and back to Extended, picks 1280x1024 and keeps
# it when asked; then the adapter is pulled out and a second start closes the utility.
at 0 start
at 1500 dump
at 2s plug
at 12s dump
at 13s tray-click right
at 14s menu pick "USB-VGA(Mirror)"
at 20s dump
at 21s tray-click right
at 22s menu pick "USB-VGA(Extended)"
at 28s dump
at 29s tray-click right
at 30s menu pick "Resolution" "High Resolution" "&1280X1024X32"
at 32s dump
at 33s dialog press ok
at 34s dump
at 36s unplug
at 37s dump
at 39s start Close
end 41s
)scenario";

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
            case '"':
            case '\\':
                out += e;
                break;
            case 'x':
                if (pos + 2 > line.size() || !isxdigit(static_cast<unsigned char>(line[pos])) ||
                    !isxdigit(static_cast<unsigned char>(line[pos + 1])))
                    return Bad("\\x wants two hex digits in a quoted text");
                out += static_cast<char>(strtol(line.substr(pos, 2).c_str(), nullptr, 16));
                pos += 2;
                break;
            default:
                return Bad(std::string("unknown escape \\") + e +
                           " in a quoted text (a backslash is written \\\\)");
            }
        }
        if (pos >= line.size())
            return Bad("unterminated quoted text");
        ++pos;
        return true;
    }

    // A mistake in the text: the rest of the line is not read.
    bool Bad(const char* message) {
        error = message;
        pos = line.size();
        return false;
    }
    bool Bad(const std::string& message) { return Bad(message.c_str()); }

    std::string Rest() {
        AtEnd();
        std::string rest = line.substr(pos);
        while (!rest.empty() && isspace(static_cast<unsigned char>(rest.back())))
            rest.pop_back();
        pos = line.size();
        return rest;
    }
};

// What a scenario may say: every number is checked against these (docs/scenarios.md lists them), so that
// nothing wraps, is cut, or overflows when the machine is laid out.
constexpr int64_t kMaxSize = 16384; // a display's width and height
constexpr int64_t kMaxBpp = 32;
constexpr int64_t kMaxHz = 1000;
constexpr int64_t kMaxCoordinate = int64_t(1) << 24; // a position, either way from the origin
constexpr int64_t kMaxCount = INT32_MAX;
constexpr uint64_t kMaxTimeMs = 10000000000; // 10000000 s, about 115 days
constexpr size_t kMaxDisplays = 64;          // display devices, the adapter's two included

// "a number from MIN to MAX", for the messages.
std::string Range(int64_t min, int64_t max) {
    return "a number from " + std::to_string(min) + " to " + std::to_string(max);
}

// Decimal digits, or hex digits after 0x.
bool ParseNumber(const std::string& text, uint64_t& value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    if (!isxdigit(static_cast<unsigned char>(*digits)) ||
        (!hex && !isdigit(static_cast<unsigned char>(*digits))))
        return false;
    char* end = nullptr;
    errno = 0;
    value = strtoull(digits, &end, hex ? 16 : 10);
    return *end == '\0' && errno == 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// Whether a word is meant as a mode: a number first, then an x.
bool LooksLikeMode(const std::string& text) {
    return !text.empty() &&
           (isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+') &&
           text.find('x') != std::string::npos;
}

// WxHxBPP[@HZ[,HZ...]]: one mode per rate, `defaultHz` without @. Empty on success, else what is wrong
// with the word; `rateList` false allows one rate at most.
std::string ParseModes(const std::string& text, Vec<DisplayMode>& modes, bool rateList, unsigned defaultHz) {
    const std::string what = "mode '" + text + "': ";
    const size_t at = text.find('@');
    const std::vector<std::string> size = Split(text.substr(0, at), 'x');
    if (size.size() != 3)
        return what + "a mode is WxHxBPP[@HZ" + (rateList ? "[,HZ...]]" : "]");
    const char* const names[] = {"width", "height", "bits per pixel"};
    const int64_t max[] = {kMaxSize, kMaxSize, kMaxBpp};
    int64_t values[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!ParseInteger(size[i], 1, max[i], values[i]))
            return what + names[i] + " must be " + Range(1, max[i]) + ", not '" + size[i] + "'";
    }
    std::vector<int64_t> rates;
    if (at == std::string::npos) {
        rates.push_back(defaultHz);
    } else {
        const std::vector<std::string> items = Split(text.substr(at + 1), ',');
        if (items.size() > 1 && !rateList)
            return what + "one rate at most";
        for (const std::string& item : items) {
            int64_t hz = 0;
            if (item.empty())
                return what + "a rate is missing after " + (rates.empty() ? "@" : ",");
            if (!ParseInteger(item, 1, kMaxHz, hz))
                return what + "a rate must be " + Range(1, kMaxHz) + ", not '" + item + "'";
            rates.push_back(hz);
        }
    }
    for (int64_t hz : rates) {
        modes.push_back(DisplayMode{static_cast<unsigned>(values[0]), static_cast<unsigned>(values[1]),
                                    static_cast<unsigned>(values[2]), static_cast<unsigned>(hz)});
    }
    return std::string();
}

// X,Y, each within kMaxCoordinate of the origin.
bool ParsePoint(const std::string& text, LONG& x, LONG& y) {
    const std::vector<std::string> parts = Split(text, ',');
    int64_t ix = 0, iy = 0;
    if (parts.size() != 2 || !ParseInteger(parts[0], -kMaxCoordinate, kMaxCoordinate, ix) ||
        !ParseInteger(parts[1], -kMaxCoordinate, kMaxCoordinate, iy))
        return false;
    x = static_cast<LONG>(ix);
    y = static_cast<LONG>(iy);
    return true;
}

bool Listed(const DisplayDevice& d, const DisplayMode& mode) {
    for (const DisplayMode& m : d.modes) {
        if (m == mode)
            return true;
    }
    return false;
}

// The modes an adapter offers when its line lists none: the common sizes of a USB 2.0 display adapter, at
// 16 and 32 bits per pixel.
void DefaultAdapterModes(Vec<DisplayMode>& modes) {
    const struct {
        unsigned w, h;
        std::initializer_list<unsigned> hz;
    } sizes[] = {{640, 480, {60, 75}}, {800, 600, {60, 75}}, {1024, 768, {60, 75}}, {1152, 864, {60}},
                 {1280, 720, {60}},    {1280, 768, {60}},    {1280, 800, {60}},     {1280, 1024, {60, 75}},
                 {1366, 768, {60}},    {1440, 900, {60}},    {1600, 1200, {60}},    {1680, 1050, {60}},
                 {1920, 1080, {60}}};
    for (const auto& size : sizes) {
        for (unsigned bpp : {32u, 16u}) {
            for (unsigned hz : size.hz)
                modes.push_back(DisplayMode{size.w, size.h, bpp, hz});
        }
    }
}

const struct {
    const char* name;
    bool DisplayQuirks::*flag;
} kQuirks[] = {
    {"strict-detach", &DisplayQuirks::strictDetach},
    {"strict-primary", &DisplayQuirks::strictPrimary},
    {"primary-cannot-detach", &DisplayQuirks::primaryCannotDetach},
    {"no-packing", &DisplayQuirks::noPacking},
    {"stacked-keeps-position", &DisplayQuirks::stackedKeepsPosition},
    {"detach-clears-mode", &DisplayQuirks::detachClearsMode},
    {"needs-restart", &DisplayQuirks::needsRestart},
};

bool ParseCount(Tokenizer& t, int& value, bool allowNever) {
    std::string word;
    if (!t.Next(word))
        return false;
    if (allowNever && word == "never") {
        value = -1;
        return true;
    }
    int64_t n = 0;
    if (!ParseInteger(word, 0, kMaxCount, n))
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
        tokens_ = &t;
        const bool ok = Statement(t);
        tokens_ = nullptr;
        return ok;
    }

    // A line of a session: "wait TIME", or an event without its time, by the rules of the timeline's events
    // less their order, which the session's clock keeps by itself.
    bool SessionLine(const std::string& text, SessionStatement& statement) {
        Tokenizer t;
        t.line = text;
        tokens_ = &t;
        const bool ok = SessionStatementOf(t, statement);
        tokens_ = nullptr;
        return ok;
    }

    bool Finish() {
        if (!FinishDisplays())
            return false;
        if (!haveEnd) {
            uint64_t last = timeline_.empty() ? 0 : timeline_.back().time;
            ScenarioEvent end;
            end.time = last + 10000;
            end.kind = ScenarioEvent::Kind::End;
            end.line = line_;
            timeline_.push_back(end);
        }
        return true;
    }

private:
    bool SessionStatementOf(Tokenizer& t, SessionStatement& statement) {
        std::string first;
        if (!t.Next(first)) {
            statement.kind = SessionStatement::Kind::Nothing;
            return t.error.empty() ? true : Fail(t.error);
        }
        for (const auto& machine : kMachineStatements) {
            if (first == machine.keyword)
                return Fail("'" + first + "' describes the machine, which is set before the session starts");
        }
        if (first == "at" || first == "end")
            return Fail("a session has no times: type the event alone, and wait TIME to let time pass");
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

    bool Statement(Tokenizer& t) {
        std::string keyword;
        if (!t.Next(keyword))
            return t.error.empty() ? true : Fail(t.error);
        for (const auto& statement : kMachineStatements) {
            if (keyword == statement.keyword)
                return (this->*statement.parse)(t);
        }
        if (keyword == "at")
            return At(t);
        if (keyword == "end")
            return End(t);
        return Fail("unknown statement '" + keyword + "'");
    }

    // A mistake in the line's text (a quote left open, a bad escape) is the one reported, whatever was
    // missed because of it.
    bool Fail(const std::string& message) {
        error_.line = line_;
        error_.message = tokens_ && !tokens_->error.empty() ? tokens_->error : message;
        return false;
    }

    // Nothing may follow a statement's last word.
    bool NothingMore(Tokenizer& t, const char* statement) {
        if (t.AtEnd())
            return true;
        return Fail("unexpected text after " + std::string(statement) + ": '" + t.Rest() + "'");
    }

    // A number a statement wants, from min to max; decimal, or with `hex` also 0x hex.
    bool Number(const std::string& word, const std::string& what, int64_t min, int64_t max, int64_t& value,
                bool hex = false) {
        if (ParseInteger(word, min, max, value, hex))
            return true;
        return Fail(what + " wants " + Range(min, max) + (hex ? " (decimal, or hex after 0x)" : "") +
                    ", not '" + word + "'");
    }

    // The modes of a word into `modes`; `usage` is the message for a word that is no mode at all.
    bool Modes(const std::string& word, Vec<DisplayMode>& modes, bool rateList, unsigned defaultHz,
               const std::string& usage) {
        if (!LooksLikeMode(word))
            return Fail(usage + ", not '" + word + "'");
        std::string problem = ParseModes(word, modes, rateList, defaultHz);
        return problem.empty() ? true : Fail(problem);
    }
    bool OneMode(const std::string& word, DisplayMode& mode, unsigned defaultHz, const std::string& usage) {
        Vec<DisplayMode> modes(Arena());
        if (!Modes(word, modes, false, defaultHz, usage))
            return false;
        mode = modes.front();
        return true;
    }

    bool RoomForDisplays(size_t more) {
        if (M().displays.size() + more <= kMaxDisplays)
            return true;
        return Fail("at most " + std::to_string(kMaxDisplays) +
                    " display devices, the adapter's two included");
    }

    bool Os(Tokenizer& t) {
        std::string word;
        const char* const usage = "os wants MAJOR.MINOR, each a number from 0 to 99";
        if (!t.Next(word))
            return Fail(usage);
        const std::vector<std::string> parts = Split(word, '.');
        int64_t major = 0, minor = 0;
        if (parts.size() != 2 || !ParseInteger(parts[0], 0, 99, major) ||
            !ParseInteger(parts[1], 0, 99, minor))
            return Fail(std::string(usage) + ", not '" + word + "'");
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
                int64_t b = 0;
                if (!Number(value, "os build", 0, UINT32_MAX, b))
                    return false;
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

    bool ModeWord(Tokenizer& t, const char* what, bool& off, DisplayMode& mode) {
        std::string word;
        if (!t.Next(word))
            return Fail(std::string(what) + " wants a mode WxHxBPP[@HZ] or off");
        if (word == "off") {
            off = true;
            return true;
        }
        return OneMode(word, mode, 60, std::string(what) + " wants a mode WxHxBPP[@HZ] or off");
    }

    bool Display(Tokenizer& t) {
        Machine& m = M();
        DisplayDevice d;
        DisplayLine o;
        o.line = line_;
        std::string word;
        if (!t.Next(word))
            return Fail("display wants a DeviceID");
        if (!RoomForDisplays(1))
            return false;
        d.deviceId = word.c_str();
        d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size() + 1)).c_str();
        d.description = "Display adapter";
        while (t.Next(word)) {
            std::string value;
            if (word == "primary") {
                for (const DisplayDevice& other : m.displays) {
                    if (other.primary)
                        return Fail("only one display can be primary");
                }
                d.primary = true;
            } else if (word == "modes") {
                continue;
            } else if (word == "refuses") {
                if (!t.Next(value))
                    return Fail("refuses wants a mode WxHxBPP[@HZ[,HZ...]]");
                if (!Modes(value, d.refusedModes, true, 60, "refuses wants a mode WxHxBPP[@HZ[,HZ...]]"))
                    return false;
            } else if (word == "name" || word == "string" || word == "key") {
                if (!t.Next(value))
                    return Fail("display option '" + word + "' wants a value");
                (word == "name" ? d.name : word == "string" ? d.description : d.deviceKey) = value.c_str();
            } else if (word == "mirror") {
                d.staticFlags |= DISPLAY_DEVICE_MIRRORING_DRIVER;
            } else if (word == "removable") {
                d.staticFlags |= DISPLAY_DEVICE_REMOVABLE;
            } else if (word == "vga") {
                d.staticFlags |= DISPLAY_DEVICE_VGA_COMPATIBLE;
            } else if (word == "current") {
                if (!ModeWord(t, "current", o.currentOff, o.current))
                    return false;
                o.hasCurrent = true;
            } else if (word == "registry") {
                if (!ModeWord(t, "registry", o.registryOff, o.registry))
                    return false;
                o.hasRegistry = true;
            } else if (word == "pos") {
                if (!t.Next(value) || !ParsePoint(value, o.x, o.y))
                    return Fail("pos wants X,Y, each " + Range(-kMaxCoordinate, kMaxCoordinate) +
                                (value.empty() ? "" : ", not '" + value + "'"));
                o.hasPos = true;
            } else if (word == "attached" || word == "detached") {
                o.attached = word == "attached";
            } else if (word == "no-registry-mode") {
                d.registryMissing = true;
            } else if (word == "video-key-read-only") {
                o.keyReadOnly = true;
            } else if (word == "video-key-no-security") {
                o.keyNoSecurity = true;
            } else if (!Modes(word, d.modes, true, 60, "bad display option or mode")) {
                return false;
            }
        }
        if (!t.error.empty())
            return Fail(t.error);
        if (d.primary && (IsMirror(d) || o.attached == 0 || o.currentOff))
            return Fail("a primary display is attached and is no mirror driver");
        if (o.hasCurrent && !o.currentOff && !Listed(d, o.current))
            return Fail("the current mode must be one of the display's modes");
        displayLines_.push_back(o);
        m.displays.push_back(d);
        return true;
    }

    // The settings each display starts with. A display is attached when it is primary, says `attached`
    // or has a current mode; it then runs its current mode (else its first) at its position (else to the
    // right of the displays before it), and saves the same. A detached display saves its registry mode
    // (else its first). Then the desktop is laid out as Windows would at start: one primary at the origin,
    // the others packed against it.
    bool FinishDisplays() {
        Machine& m = M();
        LONG right = 0;
        for (size_t i = 0; i < m.displays.size(); ++i) {
            DisplayDevice& d = m.displays[i];
            const DisplayLine& o = displayLines_[i];
            line_ = o.line;
            bool attached = o.attached == 1 || d.primary || (o.hasCurrent && !o.currentOff);
            if (o.attached == 0 || o.currentOff)
                attached = false;
            DisplayMode first = d.modes.empty() ? DisplayMode{} : d.modes.front();
            if (attached && !o.hasCurrent && d.modes.empty())
                return Fail("an attached display needs a mode");
            d.current.attached = attached && d.present;
            d.current.mode = o.hasCurrent && !o.currentOff ? o.current : first;
            d.current.x = o.hasPos ? o.x : (attached && !d.primary && !IsMirror(d) ? right : 0);
            d.current.y = o.hasPos ? o.y : 0;
            if (attached && !IsMirror(d) && !o.hasPos)
                right = d.current.x + static_cast<LONG>(d.current.mode.width);
            d.registry = d.current;
            d.registry.attached = attached;
            if (o.hasRegistry)
                d.registry.mode = o.registryOff ? DisplayMode{} : o.registry;
            else if (!attached)
                d.registry.mode = d.ofAdapter ? adapterRegistryMode_ : first;
            if (!attached)
                d.current.mode = DisplayMode{};
            d.registryPrimary = d.primary;
        }
        // Windows always has a desktop: without a primary the first attached display leads, and without any
        // attached display the first of the system's own displays comes up. (A scenario that declares none
        // has no desktop display; the adapter's display is never brought up by the machine.)
        DisplayDevice* primary = nullptr;
        for (DisplayDevice& d : m.displays) {
            if (d.primary && d.current.attached)
                primary = &d;
        }
        for (DisplayDevice& d : m.displays) {
            if (!primary && d.present && d.current.attached && !IsMirror(d))
                primary = &d;
        }
        for (DisplayDevice& d : m.displays) {
            if (!primary && d.present && !IsMirror(d) && !d.ofAdapter && !d.modes.empty()) {
                primary = &d;
                d.current =
                    DisplaySettings{d.registry.mode.width ? d.registry.mode : d.modes.front(), 0, 0, true};
                d.registry = d.current;
            }
        }
        if (primary) {
            for (DisplayDevice& d : m.displays)
                d.primary = d.registryPrimary = &d == primary;
            Vec<DisplaySettings> targets(Arena());
            for (const DisplayDevice& d : m.displays)
                targets.push_back(d.current);
            Vec<bool> save(m.displays.size(), true, Arena());
            CommitDisplayLayout(targets, static_cast<int>(primary - m.displays.data()), false, save,
                                DisplayChangeSource::Outside);
        }
        SeedAttachSwitches();
        for (size_t i = 0; i < m.displays.size(); ++i) {
            const DisplayLine& o = displayLines_[i];
            if (!o.keyReadOnly && !o.keyNoSecurity)
                continue;
            Str path = ProgramVideoKey(m.displays[i]);
            if (path.empty()) {
                line_ = o.line;
                return Fail("this display has no video key on this Windows version");
            }
            RegKey* key = CreateKey(m.hklm, path.c_str());
            key->denyWrite = key->denyWrite || o.keyReadOnly;
            key->denySecurity = key->denySecurity || o.keyNoSecurity;
        }
        return true;
    }

    // The video key a program writes a device's "Attach.ToDesktop" to: the machine's own switch on Windows
    // 2000 and XP; on Vista and 7 the key named from the DeviceKey's 49th character on below the XP base.
    static Str ProgramVideoKey(const DisplayDevice& d) {
        Str path = AttachSwitchPath(d);
        if (!path.empty() || M().os.major != 6)
            return path;
        Str key = DeviceKeyOf(d);
        if (key.size() <= 48)
            return Str(Arena());
        return Str("System\\CurrentControlSet\\Hardware "
                   "Profiles\\Current\\System\\CurrentControlSet\\Control\\"
                   "Video\\",
                   Arena()) +
               key.substr(48);
    }

    bool Quirk(Tokenizer& t) {
        std::string name;
        if (!t.Next(name))
            return Fail("quirk wants a name");
        do {
            bool known = false;
            for (const auto& q : kQuirks) {
                if (name == q.name) {
                    M().displayQuirks.*(q.flag) = true;
                    known = true;
                }
            }
            if (!known)
                return Fail("unknown quirk '" + name + "'");
        } while (t.Next(name));
        return t.error.empty() ? true : Fail(t.error);
    }

    // "uac on|off", "user admin|standard": the token every start gets; see docs/winsim-rights.md.
    bool Uac(Tokenizer& t) { return OnOff(t, "uac wants on or off", "on", "off", M().uac); }
    bool User(Tokenizer& t) {
        return OnOff(t, "user wants admin or standard", "admin", "standard", M().userAdmin);
    }
    bool OnOff(Tokenizer& t, const char* usage, const char* yes, const char* no, bool& flag) {
        std::string word;
        if (!t.Next(word) || (word != yes && word != no))
            return Fail(usage);
        if (!NothingMore(t, usage))
            return false;
        flag = word == yes;
        return true;
    }

    bool Privilege(Tokenizer& t) {
        std::string name, state;
        if (!t.Next(name) || !t.Next(state) || name != "SeSecurityPrivilege" ||
            (state != "held" && state != "absent"))
            return Fail("privilege wants SeSecurityPrivilege held|absent");
        if (!NothingMore(t, "privilege SeSecurityPrivilege held|absent"))
            return false;
        M().securityPrivilegeHeld = state == "held";
        return true;
    }

    bool RegKeyLine(Tokenizer& t) {
        std::string path, word;
        if (!t.Next(path))
            return Fail("regkey wants \"HKLM\\PATH\" or \"HKCU\\PATH\"");
        RegKey* root = nullptr;
        std::string upper = Upper(path.c_str()).c_str();
        if (upper.starts_with("HKLM\\"))
            root = M().hklm;
        else if (upper.starts_with("HKCU\\"))
            root = M().hkcu;
        else
            return Fail("regkey paths start with HKLM\\ or HKCU\\");
        RegKey* key = CreateKey(root, path.substr(5).c_str());
        while (t.Next(word)) {
            if (word == "deny-write") {
                key->denyWrite = true;
            } else if (word == "deny-security") {
                key->denySecurity = true;
            } else if (word == "deny-delete") {
                key->denyDelete = true;
            } else if (word == "enum-fails") {
                std::string code;
                int64_t value = 0;
                if (!t.Next(code) || !ParseInteger(code, 1, INT32_MAX, value))
                    return Fail("enum-fails wants an error code (a number from 1 to 2147483647)");
                key->enumFails = static_cast<LSTATUS>(value);
            } else if (word == "dword") {
                std::string name, number;
                if (!t.Next(name) || !t.Next(number))
                    return Fail("dword wants NAME NUMBER");
                int64_t value = 0;
                if (!Number(number, "dword", INT32_MIN, UINT32_MAX, value, true))
                    return false;
                SetDwordValue(key, name.c_str(), static_cast<DWORD>(value));
            } else {
                return Fail("unknown regkey option '" + word + "'");
            }
        }
        return t.error.empty() ? true : Fail(t.error);
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
        bool plugged = false, listingModes = false, haveRegistry = false, removable = false;
        Vec<DisplayMode> modes(Arena());
        DisplayMode registry;
        std::string displayKey, mirrorKey;
        std::string word;
        while (t.Next(word)) {
            if (word == "plugged") {
                plugged = true;
            } else if (word == "ready-after") {
                if (!ParseCount(t, a.readyAfter, true))
                    return Fail("ready-after wants a count from 0 to 2147483647, or never");
            } else if (word == "mirror-ready-after") {
                if (!ParseCount(t, a.mirrorReadyAfter, true))
                    return Fail("mirror-ready-after wants a count from 0 to 2147483647, or never");
            } else if (word == "set-mirror-fails") {
                if (!ParseCount(t, a.setMirrorFails, false))
                    return Fail("set-mirror-fails wants a count from 0 to 2147483647");
            } else if (word == "open-fails") {
                a.openFails = true;
            } else if (word == "resume-reenumerates") {
                a.resumeReenumerates = true;
            } else if (word == "resume-not-ready") {
                if (!ParseCount(t, a.resumeNotReady, false))
                    return Fail("resume-not-ready wants a count from 0 to 2147483647");
            } else if (word == "attach-refuses") {
                if (!ParseCount(t, a.attachRefuses, false))
                    return Fail("attach-refuses wants a count from 0 to 2147483647");
            } else if (word == "mirror-no-32") {
                a.mirrorNo32 = true;
            } else if (word == "modes") {
                listingModes = true;
            } else if (word == "registry") {
                std::string value;
                if (!t.Next(value))
                    return Fail("registry wants a mode WxHxBPP[@HZ]");
                if (!OneMode(value, registry, 60, "registry wants a mode WxHxBPP[@HZ]"))
                    return false;
                haveRegistry = true;
            } else if (word == "removable") {
                removable = true;
            } else if (word == "display-key" || word == "mirror-key") {
                std::string value;
                if (!t.Next(value))
                    return Fail(word + " wants a DeviceKey");
                (word == "display-key" ? displayKey : mirrorKey) = value;
            } else if (listingModes && LooksLikeMode(word)) {
                if (!Modes(word, modes, true, 60, "bad adapter mode"))
                    return false;
            } else if (word == "path") {
                if (!t.Next(path))
                    return Fail("path wants a device-interface path");
            } else {
                return Fail("unknown adapter option '" + word + "'");
            }
        }
        if (!t.error.empty())
            return Fail(t.error);
        if (!RoomForDisplays(2))
            return false;
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
        if (modes.empty())
            DefaultAdapterModes(modes);
        adapterRegistryMode_ = modes.front();
        for (const DisplayMode& mode : modes) {
            if (mode == DisplayMode{1024, 768, 32, 60})
                adapterRegistryMode_ = mode;
        }
        if (haveRegistry)
            adapterRegistryMode_ = registry;
        // The adapter's own display device and its mirror driver: display devices while it is plugged in.
        const char* ids[2] = {m.program.adapterDisplayId ? m.program.adapterDisplayId : "USBDISPLAY\\DISPLAY",
                              m.program.adapterMirrorId ? m.program.adapterMirrorId : "USBDISPLAY\\MIRROR"};
        for (int mirror = 0; mirror < 2; ++mirror) {
            DisplayDevice d;
            d.deviceId = ids[mirror];
            d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size() + 1)).c_str();
            d.description = mirror ? "USB display adapter mirror driver" : "USB display adapter";
            d.deviceKey = (mirror ? mirrorKey : displayKey).c_str();
            d.staticFlags =
                mirror ? DISPLAY_DEVICE_MIRRORING_DRIVER : (removable ? DISPLAY_DEVICE_REMOVABLE : 0);
            d.ofAdapter = true;
            d.present = plugged;
            d.modes = modes;
            DisplayLine o;
            o.line = line_;
            o.attached = 0;
            displayLines_.push_back(o);
            m.displays.push_back(d);
        }
        return true;
    }

    bool Usb(Tokenizer& t) {
        std::string path;
        if (!t.Next(path))
            return Fail("usb wants a device-interface path");
        if (!NothingMore(t, "usb PATH"))
            return false;
        UsbInterface usb;
        usb.path = path.c_str();
        M().usb.push_back(usb);
        return true;
    }

    bool Profile(Tokenizer& t) {
        std::string section, name, number;
        if (!t.Next(section) || !t.Next(name) || !t.Next(number))
            return Fail("profile wants \"SECTION\" NAME NUMBER");
        int64_t value = 0;
        if (!Number(number, "profile", INT32_MIN, UINT32_MAX, value, true) ||
            !NothingMore(t, "profile \"SECTION\" NAME NUMBER"))
            return false;
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
        if (!NothingMore(t, "service NAME running|stopped|absent"))
            return false;
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

    // fail FUNCTION [from N] [times M|always] [error CODE]: the rule itself is the machine's (faults.cpp).
    bool FailLine(Tokenizer& t) {
        if (!timeline_.empty())
            return Fail("fail describes the machine: it comes before the first event");
        std::vector<std::string> words;
        for (std::string word; t.Next(word);)
            words.push_back(word);
        std::string error;
        if (!t.error.empty())
            return Fail(t.error);
        return AddFailRule(words, error) ? true : Fail(error);
    }

    bool At(Tokenizer& t) {
        std::string timeText;
        ScenarioEvent e;
        e.line = line_;
        if (!t.Next(timeText) || !ParseTime(timeText, e.time))
            return Fail("at wants " + TimeUsage(timeText));
        if (haveEnd)
            return Fail("events after end");
        if (!timeline_.empty() && e.time < timeline_.back().time)
            return Fail("events must be in time order");
        if (!Event(t, e))
            return false;
        timeline_.push_back(e);
        return true;
    }

    // The event of an "at" line, after its time: "plug", "menu pick \"LABEL\" ...".
    bool Event(Tokenizer& t, ScenarioEvent& e) {
        std::string what;
        if (!t.Next(what))
            return Fail("at wants an event");
        if (what == "start") {
            e.kind = ScenarioEvent::Kind::Start;
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
                    return Fail("bad quoted command line");
            } else {
                e.args = rest;
            }
        } else if (what == "plug") {
            e.kind = ScenarioEvent::Kind::Plug;
        } else if (what == "unplug") {
            e.kind = ScenarioEvent::Kind::Unplug;
        } else if (what == "plug-usb" || what == "unplug-usb") {
            e.kind = what == "plug-usb" ? ScenarioEvent::Kind::PlugUsb : ScenarioEvent::Kind::UnplugUsb;
            if (!t.Next(e.path))
                return Fail(what + " wants a device-interface path");
        } else if (what == "dump") {
            e.kind = ScenarioEvent::Kind::Dump;
            if (t.Next(e.message) && e.message.empty())
                return Fail("a dump's caption cannot be empty");
            if (!t.error.empty())
                return Fail(t.error);
        } else if (what == "display-mode") {
            e.kind = ScenarioEvent::Kind::DisplayMode;
            std::vector<std::string> words;
            for (std::string word; t.Next(word);)
                words.push_back(word);
            if (words.size() > 1 && words.back() == "temporary") {
                e.temporary = true;
                words.pop_back();
            }
            if (words.empty() || words.size() > 2)
                return Fail("display-mode wants [DEVICE] WxHxBPP[@HZ] [temporary]");
            std::string modeText = words.back();
            if (words.size() == 2)
                e.device = words.front();
            DisplayMode mode;
            if (!OneMode(modeText, mode, 0, "display-mode wants [DEVICE] WxHxBPP[@HZ] [temporary]"))
                return false;
            e.width = mode.width;
            e.height = mode.height;
            e.bpp = mode.bpp;
            e.frequency = mode.frequency;
        } else if (what == "tray-click") {
            e.kind = ScenarioEvent::Kind::TrayClick;
            if (!TrayClickKind(t, e.click))
                return false;
        } else if (what == "shell-restart") {
            e.kind = ScenarioEvent::Kind::ShellRestart;
        } else if (what == "dialog") {
            e.kind = ScenarioEvent::Kind::DialogPress;
            if (!DialogPressKind(t, e.press))
                return false;
        } else if (what == "post") {
            e.kind = ScenarioEvent::Kind::Post;
            if (!PostEvent(t, e))
                return false;
        } else if (what == "menu") {
            if (!MenuEvent(t, e))
                return false;
        } else if (what == "logoff" || what == "shutdown") {
            e.kind = what == "logoff" ? ScenarioEvent::Kind::Logoff : ScenarioEvent::Kind::Shutdown;
            std::string option;
            if (t.Next(option)) {
                if (option != "cancelled")
                    return Fail(what + " wants nothing or cancelled, not '" + option + "'");
                e.cancelled = true;
            }
        } else if (what == "suspend") {
            e.kind = ScenarioEvent::Kind::Suspend;
        } else if (what == "resume") {
            e.kind = ScenarioEvent::Kind::Resume;
            std::string option;
            if (t.Next(option)) {
                if (option != "unattended")
                    return Fail("resume wants nothing or unattended, not '" + option + "'");
                e.unattended = true;
            }
        } else {
            return Fail("unknown event '" + what + "'");
        }
        if (e.kind != ScenarioEvent::Kind::Start && !t.AtEnd())
            return Fail("unexpected text after the event");
        if ((e.kind == ScenarioEvent::Kind::Plug || e.kind == ScenarioEvent::Kind::Unplug) &&
            !M().adapter.declared)
            return Fail("plug and unplug need an adapter line first");
        return true;
    }

    // One word of a fixed set, each naming a value.
    template <class T, size_t N>
    bool Choice(Tokenizer& t, const std::pair<const char*, T> (&choices)[N], T& value, const char* usage) {
        std::string word;
        t.Next(word);
        for (const auto& [name, choice] : choices) {
            if (word == name) {
                value = choice;
                return true;
            }
        }
        return Fail(usage);
    }

    bool TrayClickKind(Tokenizer& t, TrayClick& click) {
        static const std::pair<const char*, TrayClick> kClicks[] = {{"left", TrayClick::Left},
                                                                    {"right", TrayClick::Right},
                                                                    {"double", TrayClick::Double},
                                                                    {"move", TrayClick::Move}};
        return Choice(t, kClicks, click, "tray-click wants left, right, double or move");
    }

    // dialog press ok|cancel|escape|close
    bool DialogPressKind(Tokenizer& t, DialogPress& press) {
        static const std::pair<const char*, DialogPress> kPresses[] = {{"ok", DialogPress::Ok},
                                                                       {"cancel", DialogPress::Cancel},
                                                                       {"escape", DialogPress::Escape},
                                                                       {"close", DialogPress::Close}};
        std::string word;
        if (!t.Next(word) || word != "press")
            return Fail("dialog wants press ok, cancel, escape or close");
        return Choice(t, kPresses, press, "dialog wants press ok, cancel, escape or close");
    }

    // post "NAME" WPARAM LPARAM
    bool PostEvent(Tokenizer& t, ScenarioEvent& e) {
        std::string wParam, lParam;
        const char* usage =
            "post wants \"NAME\" WPARAM LPARAM (numbers, decimal or 0x hex; LPARAM may be negative)";
        if (!t.Next(e.message) || e.message.empty() || !t.Next(wParam) || !t.Next(lParam))
            return t.error.empty() ? Fail(usage) : Fail(t.error);
        bool negative = !lParam.empty() && lParam[0] == '-';
        uint64_t magnitude = 0;
        if (!ParseNumber(wParam, e.wParam) || !ParseNumber(negative ? lParam.substr(1) : lParam, magnitude) ||
            magnitude > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX)))
            return Fail(usage);
        e.lParam = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
        return true;
    }

    // menu pick "LABEL" ["LABEL" ...] | menu dismiss
    bool MenuEvent(Tokenizer& t, ScenarioEvent& e) {
        std::string action, label;
        if (!t.Next(action) || (action != "pick" && action != "dismiss"))
            return Fail("menu wants pick \"LABEL\" [\"LABEL\" ...] or dismiss");
        e.kind = action == "pick" ? ScenarioEvent::Kind::MenuPick : ScenarioEvent::Kind::MenuDismiss;
        while (e.kind == ScenarioEvent::Kind::MenuPick && t.Next(label))
            e.labels.push_back(label);
        if (!t.error.empty())
            return Fail(t.error);
        if (e.kind == ScenarioEvent::Kind::MenuPick && e.labels.empty())
            return Fail("menu pick wants the label of an item, and of each submenu on the way to it");
        return true;
    }

    bool End(Tokenizer& t) {
        std::string timeText;
        ScenarioEvent e;
        e.kind = ScenarioEvent::Kind::End;
        e.line = line_;
        if (!t.Next(timeText) || !ParseTime(timeText, e.time))
            return Fail("end wants " + TimeUsage(timeText));
        if (haveEnd)
            return Fail("a second end");
        if (!NothingMore(t, "end TIME"))
            return false;
        if (!timeline_.empty() && e.time < timeline_.back().time)
            return Fail("end before the last event");
        haveEnd = true;
        timeline_.push_back(e);
        return true;
    }

    static std::string TimeUsage(const std::string& word) {
        return "a time: milliseconds, or seconds with an s suffix and at most three decimals, up to "
               "10000000s" +
               (word.empty() ? std::string() : ", not '" + word + "'");
    }

    struct MachineStatement {
        const char* keyword;
        bool (Parser::*parse)(Tokenizer&);
    };
    static constexpr MachineStatement kMachineStatements[] = {
        {"os", &Parser::Os},
        {"display", &Parser::Display},
        {"adapter", &Parser::Adapter},
        {"usb", &Parser::Usb},
        {"profile", &Parser::Profile},
        {"service", &Parser::ServiceLine},
        {"quirk", &Parser::Quirk},
        {"privilege", &Parser::Privilege},
        {"regkey", &Parser::RegKeyLine},
        {"fail", &Parser::FailLine},
        {"uac", &Parser::Uac},
        {"user", &Parser::User},
    };

    std::vector<ScenarioEvent>& timeline_;
    ScenarioError& error_;
    Tokenizer* tokens_ = nullptr; // the line being read, while it is
    std::vector<DisplayLine> displayLines_;
    DisplayMode adapterRegistryMode_;
    int line_ = 0;
    bool haveEnd = false;
};

} // namespace

bool ParseTime(const std::string& text, uint64_t& ms) {
    const bool seconds = !text.empty() && text.back() == 's';
    const std::string number = seconds ? text.substr(0, text.size() - 1) : text;
    const size_t dot = seconds ? number.find('.') : std::string::npos;
    const std::string whole = number.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? std::string() : number.substr(dot + 1);
    const int64_t unit = seconds ? 1000 : 1;
    int64_t value = 0, thousandths = 0;
    if (!ParseInteger(whole, 0, static_cast<int64_t>(kMaxTimeMs) / unit, value))
        return false;
    if (dot != std::string::npos) {
        if (fraction.empty() || fraction.size() > 3 || !ParseInteger(fraction, 0, 999, thousandths))
            return false;
        for (size_t i = fraction.size(); i < 3; ++i)
            thousandths *= 10;
    }
    const uint64_t total = static_cast<uint64_t>(value * unit + thousandths);
    if (total > kMaxTimeMs)
        return false;
    ms = total;
    return true;
}

bool ParseSessionLine(const std::string& text, SessionStatement& statement, std::string& error) {
    std::vector<ScenarioEvent> unused;
    ScenarioError failure;
    Parser parser(unused, failure);
    if (parser.SessionLine(text, statement))
        return true;
    error = failure.message;
    return false;
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
