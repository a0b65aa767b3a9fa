// DeviceKeys and device-interface paths of any shape: the video key's part taken from a DeviceKey on each
// Windows version, the attach switch written under it, the case-blind text compares, and the adapter found
// among the USB interfaces by its id in their paths.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_world.h"
#include "sysint/str_util.h"
#include "sysint/video_key.h"

namespace {

// The text up to its first zero, as a C string sees it.
std::string CText(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return !part.empty() && Upper(text).find(Upper(part)) != std::string::npos;
}

// A path like the ones Windows gives, with the adapter's id in any case now and then, or any text at all.
std::string UsbPath(FuzzedDataProvider& in) {
    if (in.ConsumeBool())
        return CText(in.ConsumeRandomLengthString(300));
    std::string id = in.ConsumeBool() ? g_variant.usbId : CText(in.ConsumeRandomLengthString(20));
    for (char& c : id) {
        if (in.ConsumeBool())
            c = static_cast<char>(Upper(std::string(1, c))[0]);
    }
    return "\\\\?\\usb#" + id + CText(in.ConsumeRandomLengthString(40)) +
           "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

void CheckKeySuffix(const std::string& key, size_t cch) {
    const winsim::OsVersion& os = winsim::M().os;
    std::string part;
    bool bHasPart;
    if ((os.major == 5 && os.minor == 0) || os.major == 6) {
        bHasPart = key.size() > 48;
        part = bHasPart ? key.substr(48) : "";
    } else {
        bHasPart = key.find('{') != std::string::npos;
        part = bHasPart ? key.substr(key.find('{')) : "";
    }
    // A buffer of exactly cch bytes, so that a write past it is caught.
    std::vector<char> suffix(cch + (cch == 0 ? 1 : 0));
    const int result = DispDevKeySuffix(key.c_str(), suffix.data(), cch);
    FUZZ_CHECK(result == (bHasPart && part.size() < cch ? 1 : 0));
    if (result == 1)
        FUZZ_CHECK(part == suffix.data());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FreshMachine();
    static const DWORD kVersions[][2] = {{5, 0}, {5, 1}, {6, 0}, {6, 1}, {5, 2}, {4, 0}};
    const auto& version = kVersions[in.ConsumeIntegralInRange<size_t>(0, std::size(kVersions) - 1)];
    winsim::M().os.major = version[0];
    winsim::M().os.minor = version[1];

    const std::string a = CText(in.ConsumeRandomLengthString(200));
    const std::string b = CText(in.ConsumeRandomLengthString(200));
    FUZZ_CHECK(StrContainsNoCase(a.c_str(), b.c_str()) == (!a.empty() && Contains(a, b)));
    FUZZ_CHECK(StrEqualNoCase(a.c_str(), b.c_str()) == (Upper(a) == Upper(b)));
    CheckKeySuffix(a, in.ConsumeIntegralInRange<size_t>(0, 260));

    // The attach switch of a display whose DeviceKey field is filled to the last byte, unterminated.
    DISPLAY_DEVICEA dd{};
    dd.cb = sizeof(dd);
    strcpy(dd.DeviceName, "\\\\.\\DISPLAY2");
    const std::string key = in.ConsumeBytesAsString(in.ConsumeBool() ? sizeof(dd.DeviceKey) : a.size());
    memcpy(dd.DeviceKey, key.data(), key.size() < sizeof(dd.DeviceKey) ? key.size() : sizeof(dd.DeviceKey));
    snprintf(g_szVideoKeyBase, sizeof(g_szVideoKeyBase), "%s", VideoKeyBaseFor(version[0], version[1]));
    SetAttachToDesktop(dd, in.ConsumeIntegral<int>());

    // The adapter is the first present interface whose path holds its id.
    std::string expected;
    for (int i = in.ConsumeIntegralInRange(0, 6); i > 0; --i) {
        winsim::UsbInterface& usb = winsim::M().usb.emplace_back();
        const std::string path = UsbPath(in);
        usb.path = path.c_str();
        usb.present = in.ConsumeBool();
        if (expected.empty() && usb.present && Contains(path, g_variant.usbId))
            expected = path;
    }
    CAdapter adapter(g_variant.usbId, g_variant.dispDevId, g_variant.mirDevId, 1);
    const bool bFound = adapter.OpenDevice();
    FUZZ_CHECK(bFound == !expected.empty());
    if (bFound) {
        const winsim::KernelObject* file = winsim::FileObject(adapter.m_hDevice);
        FUZZ_CHECK(file != nullptr && file->name == expected.c_str());
        CloseHandle(adapter.m_hDevice);
        adapter.m_hDevice = INVALID_HANDLE_VALUE;
    }
    return 0;
}
