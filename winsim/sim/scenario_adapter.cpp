// The adapter's statement: how the USB display adapter behaves, and its display and mirror driver.
#include "machine.h"
#include "scenario_parser.h"

#include <initializer_list>

namespace winsim::scenario {
namespace {

const char* const kUsbClassSuffix = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// What an adapter line says besides the device's own behaviour.
struct AdapterLine {
    explicit AdapterLine(AdapterDevice& d) : device(d) {}
    AdapterDevice& device;
    bool plugged = false, listingModes = false, haveRegistry = false, removable = false;
    Vec<DisplayMode> modes{Arena()};
    DisplayMode registry;
    std::string displayKey, mirrorKey, path;
};

// An option reads its values after its word; empty, or what is wrong.
using AdapterOption = std::string (*)(const char* word, Tokenizer& t, AdapterLine& line);

template <bool AdapterLine::*flag>
std::string LineFlag(const char*, Tokenizer&, AdapterLine& line) {
    line.*flag = true;
    return std::string();
}

template <bool AdapterDevice::*flag>
std::string DeviceFlag(const char*, Tokenizer&, AdapterLine& line) {
    line.device.*flag = true;
    return std::string();
}

template <int AdapterDevice::*count, bool allowNever>
std::string Count(const char* word, Tokenizer& t, AdapterLine& line) {
    if (ParseCount(t, line.device.*count, allowNever))
        return std::string();
    return std::string(word) + " wants a count from 0 to 2147483647" + (allowNever ? ", or never" : "");
}

template <std::string AdapterLine::*key>
std::string DeviceKey(const char* word, Tokenizer& t, AdapterLine& line) {
    return t.Next(line.*key) ? std::string() : std::string(word) + " wants a DeviceKey";
}

std::string Path(const char*, Tokenizer& t, AdapterLine& line) {
    return t.Next(line.path) ? std::string() : "path wants a device-interface path";
}

std::string Registry(const char*, Tokenizer& t, AdapterLine& line) {
    std::string value;
    if (!t.Next(value))
        return "registry wants a mode WxHxBPP[@HZ]";
    line.haveRegistry = true;
    return ParseMode(value, line.registry, 60, "registry wants a mode WxHxBPP[@HZ]");
}

const struct {
    const char* word;
    AdapterOption read;
} kAdapterOptions[] = {
    {"plugged", LineFlag<&AdapterLine::plugged>},
    {"removable", LineFlag<&AdapterLine::removable>},
    {"modes", LineFlag<&AdapterLine::listingModes>},
    {"open-fails", DeviceFlag<&AdapterDevice::openFails>},
    {"resume-reenumerates", DeviceFlag<&AdapterDevice::resumeReenumerates>},
    {"mirror-no-32", DeviceFlag<&AdapterDevice::mirrorNo32>},
    {"ready-after", Count<&AdapterDevice::readyAfter, true>},
    {"mirror-ready-after", Count<&AdapterDevice::mirrorReadyAfter, true>},
    {"set-mirror-fails", Count<&AdapterDevice::setMirrorFails, false>},
    {"resume-not-ready", Count<&AdapterDevice::resumeNotReady, false>},
    {"attach-refuses", Count<&AdapterDevice::attachRefuses, false>},
    {"registry", Registry},
    {"display-key", DeviceKey<&AdapterLine::displayKey>},
    {"mirror-key", DeviceKey<&AdapterLine::mirrorKey>},
    {"path", Path},
};

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

} // namespace

bool Parser::Adapter(Tokenizer& t) {
    Machine& m = M();
    AdapterDevice& a = m.adapter;
    if (a.declared)
        return Fail("only one adapter");
    a.declared = true;
    AdapterLine line(a);
    line.path = std::string("\\\\?\\usb#") +
                (m.program.adapterUsbId ? m.program.adapterUsbId : "vid_0000&pid_0000") + "#5&2a1c3b&0&1" +
                kUsbClassSuffix;
    for (std::string word; t.Next(word);) {
        if (const auto* option = Lookup(kAdapterOptions, word)) {
            if (!Check(option->read(option->word, t, line)))
                return false;
        } else if (line.listingModes && LooksLikeMode(word)) {
            if (!Check(ParseModes(word, line.modes, true, 60, "bad adapter mode")))
                return false;
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
    usb.path = line.path.c_str();
    usb.isAdapter = true;
    usb.present = false;
    m.usb.push_back(usb);
    if (line.plugged) {
        a.plugged = true;
        a.setMirrorFailuresLeft = a.setMirrorFails;
        m.usb.back().present = true;
    }
    if (line.modes.empty())
        DefaultAdapterModes(line.modes);
    adapterRegistryMode_ = line.modes.front();
    for (const DisplayMode& mode : line.modes) {
        if (mode == DisplayMode{1024, 768, 32, 60})
            adapterRegistryMode_ = mode;
    }
    if (line.haveRegistry)
        adapterRegistryMode_ = line.registry;
    // The adapter's own display device and its mirror driver: display devices while it is plugged in.
    const char* ids[2] = {m.program.adapterDisplayId ? m.program.adapterDisplayId : "USBDISPLAY\\DISPLAY",
                          m.program.adapterMirrorId ? m.program.adapterMirrorId : "USBDISPLAY\\MIRROR"};
    for (int mirror = 0; mirror < 2; ++mirror) {
        DisplayDevice d;
        d.deviceId = ids[mirror];
        d.name = ("\\\\.\\DISPLAY" + std::to_string(m.displays.size() + 1)).c_str();
        d.description = mirror ? "USB display adapter mirror driver" : "USB display adapter";
        d.deviceKey = (mirror ? line.mirrorKey : line.displayKey).c_str();
        d.staticFlags =
            mirror ? DISPLAY_DEVICE_MIRRORING_DRIVER : (line.removable ? DISPLAY_DEVICE_REMOVABLE : 0);
        d.ofAdapter = true;
        d.present = line.plugged;
        d.modes = line.modes;
        DisplayLine o;
        o.line = line_;
        o.attached = 0;
        displayLines_.push_back(o);
        m.displays.push_back(d);
    }
    return true;
}

} // namespace winsim::scenario
