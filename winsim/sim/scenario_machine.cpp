// The machine's statements: its Windows, displays, registry, services, rights and faults.
#include "faults.h"
#include "machine.h"
#include "parse_integer.h"
#include "scenario_parser.h"

namespace winsim::scenario {
namespace {

bool Listed(const DisplayDevice& d, const DisplayMode& mode) {
    for (const DisplayMode& m : d.modes) {
        if (m == mode)
            return true;
    }
    return false;
}

const struct {
    const char* word;
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

// The video key a program writes a device's "Attach.ToDesktop" to: the machine's own switch on Windows
// 2000 and XP; on Vista and 7 the key named from the DeviceKey's 49th character on below the XP base.
Str ProgramVideoKey(const DisplayDevice& d) {
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

} // namespace

Parser::Statement Parser::MachineStatement(const std::string& keyword) {
    static constexpr struct {
        const char* word;
        Statement parse;
    } kStatements[] = {
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
    const auto* statement = Lookup(kStatements, keyword);
    return statement ? statement->parse : nullptr;
}

bool Parser::Os(Tokenizer& t) {
    std::string word;
    const char* const usage = "os wants MAJOR.MINOR, each a number from 0 to 99";
    if (!t.Next(word))
        return Fail(usage);
    const std::vector<std::string> parts = Split(word, '.');
    int64_t major = 0, minor = 0;
    if (parts.size() != 2 || !ParseInteger(parts[0], 0, 99, major) || !ParseInteger(parts[1], 0, 99, minor))
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

bool Parser::ModeWord(Tokenizer& t, const char* what, bool& off, DisplayMode& mode) {
    std::string word;
    if (!t.Next(word))
        return Fail(std::string(what) + " wants a mode WxHxBPP[@HZ] or off");
    if (word == "off") {
        off = true;
        return true;
    }
    return Check(ParseMode(word, mode, 60, std::string(what) + " wants a mode WxHxBPP[@HZ] or off"));
}

bool Parser::Display(Tokenizer& t) {
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
            if (!Check(
                    ParseModes(value, d.refusedModes, true, 60, "refuses wants a mode WxHxBPP[@HZ[,HZ...]]")))
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
        } else if (!Check(ParseModes(word, d.modes, true, 60, "bad display option or mode"))) {
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
bool Parser::FinishDisplays() {
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

bool Parser::Quirk(Tokenizer& t) {
    std::string name;
    if (!t.Next(name))
        return Fail("quirk wants a name");
    do {
        const auto* quirk = Lookup(kQuirks, name);
        if (!quirk)
            return Fail("unknown quirk '" + name + "'");
        M().displayQuirks.*(quirk->flag) = true;
    } while (t.Next(name));
    return t.error.empty() ? true : Fail(t.error);
}

// "uac on|off", "user admin|standard": the token every start gets; see docs/winsim-rights.md.
bool Parser::Uac(Tokenizer& t) {
    return OnOff(t, "uac wants on or off", "on", "off", M().uac);
}
bool Parser::User(Tokenizer& t) {
    return OnOff(t, "user wants admin or standard", "admin", "standard", M().userAdmin);
}
bool Parser::OnOff(Tokenizer& t, const char* usage, const char* yes, const char* no, bool& flag) {
    std::string word;
    if (!t.Next(word) || (word != yes && word != no))
        return Fail(usage);
    if (!NothingMore(t, usage))
        return false;
    flag = word == yes;
    return true;
}

bool Parser::Privilege(Tokenizer& t) {
    std::string name, state;
    if (!t.Next(name) || !t.Next(state) || name != "SeSecurityPrivilege" ||
        (state != "held" && state != "absent"))
        return Fail("privilege wants SeSecurityPrivilege held|absent");
    if (!NothingMore(t, "privilege SeSecurityPrivilege held|absent"))
        return false;
    M().securityPrivilegeHeld = state == "held";
    return true;
}

bool Parser::RegKeyLine(Tokenizer& t) {
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

bool Parser::Usb(Tokenizer& t) {
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

bool Parser::Profile(Tokenizer& t) {
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

bool Parser::ServiceLine(Tokenizer& t) {
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
bool Parser::FailLine(Tokenizer& t) {
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

} // namespace winsim::scenario
