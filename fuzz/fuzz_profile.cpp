// The profile values as anyone may have left them: each of the adapter's values, of any registry type and
// size, read through GetProfileInt, LoadSettings and the refresh rate's restore.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "adapter/profile_names.h"
#include "fuzz_world.h"

namespace {

const char* const kNames[] = {PROFILE_DISP_STATE,     PROFILE_WIDTH,     PROFILE_HEIGHT,   PROFILE_BIT_DEPTH,
                              PROFILE_ROTATION_STATE, PROFILE_FIRST_RUN, PROFILE_FREQUENCY};

// What GetProfileInt must answer: the value of a REG_DWORD of four bytes, else the default.
int Expected(const winsim::RegKey* section, const char* name, int fallback) {
    auto it = section->values.find(winsim::Str(name));
    if (it == section->values.end() || it->second.type != REG_DWORD ||
        it->second.data.size() != sizeof(DWORD))
        return fallback;
    DWORD value = 0;
    memcpy(&value, it->second.data.data(), sizeof value);
    return static_cast<int>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FreshMachine();
    winsim::DisplayDevice& d = winsim::M().displays.emplace_back();
    d.name = "\\\\.\\DISPLAY2";
    d.deviceId = g_variant.dispDevId;
    d.ofAdapter = true;
    d.modes.push_back(winsim::DisplayMode{1024, 768, 32, 60});
    d.registry.mode = d.modes.front();

    winsim::RegKey* section = winsim::CreateKey(
        winsim::M().hkcu, (std::string("Software\\Kiva Dongle\\duodesk\\") + PROFILE_SECTION_DONGLE).c_str());
    for (int i = in.ConsumeIntegralInRange(0, 8); i > 0; --i) {
        const std::string name =
            in.ConsumeBool() ? in.PickValueInArray(kNames) : in.ConsumeRandomLengthString(12);
        winsim::RegValue& v = section->values[winsim::Str(name.c_str())];
        v.name = name.c_str();
        v.type = in.ConsumeBool() ? in.ConsumeIntegralInRange<DWORD>(0, 11) : in.ConsumeIntegral<DWORD>();
        const std::string bytes =
            in.ConsumeBytesAsString(in.ConsumeBool() ? 4 : in.ConsumeIntegralInRange(0, 300));
        v.data.assign(bytes.begin(), bytes.end());
    }

    fuzz::Program program;
    for (const char* name : kNames) {
        const int fallback = in.ConsumeIntegral<int>();
        FUZZ_CHECK(program.app.GetProfileInt(PROFILE_SECTION_DONGLE, name, fallback) ==
                   Expected(section, name, fallback));
    }
    CAdapter& adapter = program.adapter;
    FUZZ_CHECK(adapter.LoadSettings());
    FUZZ_CHECK(adapter.m_nDispState == Expected(section, PROFILE_DISP_STATE, PROFILE_DISP_STATE_DEFAULT));
    FUZZ_CHECK(adapter.m_nWidth == Expected(section, PROFILE_WIDTH, 1024));
    FUZZ_CHECK(adapter.m_nHeight == Expected(section, PROFILE_HEIGHT, 768));
    FUZZ_CHECK(adapter.m_nBpp == Expected(section, PROFILE_BIT_DEPTH, 32));
    FUZZ_CHECK(adapter.m_nRotation == Expected(section, PROFILE_ROTATION_STATE, 0));

    DISPLAY_DEVICEA dd{};
    dd.cb = sizeof(dd);
    strcpy(dd.DeviceName, "\\\\.\\DISPLAY2");
    adapter.RestoreFrequency(dd);
    FUZZ_CHECK(adapter.m_nFrequency == static_cast<UINT>(Expected(section, PROFILE_FREQUENCY, 60)));
    adapter.SaveFrequency(dd);
    FUZZ_CHECK(adapter.SaveSettings());
    return 0;
}
