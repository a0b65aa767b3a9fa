// The machine the unit tests of sysint and adapter run on: a fresh simulated Windows whose display devices,
// version and services a test fills in, with the test playing the program's process and every trace
// captured. The ChangeDisplaySettingsExA calls the program made read back as one line each, so that a
// sequence compares as a table and a failure shows "\\.\DISPLAY2 1024x768x16@60 pos 1280,0 fields
// DM_POSITION|DM_DISPLAYFREQUENCY flags CDS_UPDATEREGISTRY|CDS_NORESET".
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "display_text.h"
#include "machine.h"

namespace test_machine {

using Strings = std::vector<std::string>;

struct Mode {
    unsigned nWidth;
    unsigned nHeight;
    unsigned nBpp; // the depth mask for the adapter tests' MakeGrouped
    unsigned nHz = 60;
};

inline Strings& Traces() {
    static Strings traces;
    return traces;
}

inline int CountTrace(const std::string& text) {
    int n = 0;
    for (const std::string& t : Traces())
        n += t == text ? 1 : 0;
    return n;
}

// The traces from the first one that starts with `first` on, as one text.
inline std::string TracesFrom(const std::string& first) {
    std::string out;
    for (const std::string& t : Traces())
        if (!out.empty() || t.rfind(first, 0) == 0)
            out += t;
    return out;
}

inline void CaptureTrace(winsim::VirtualMs, DWORD, const char* text) {
    Traces().push_back(text);
}

// A DeviceKey as XP and later report it for a display adapter.
inline std::string VideoDeviceKey(const char* pszGuid, int nIndex = 0) {
    char key[128];
    snprintf(key, sizeof(key), "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\%s\\%04d",
             pszGuid, nIndex);
    return key;
}

// Adds a display device named pszName. An attached device sits at (x, y) in its first mode, now and in the
// registry; a detached one keeps its first mode in the registry.
inline winsim::DisplayDevice& AddDisplayNamed(const char* pszName, const char* pszDeviceId,
                                              std::initializer_list<Mode> modes, bool bAttached = false,
                                              LONG x = 0, LONG y = 0) {
    winsim::Machine& m = winsim::M();
    m.displays.emplace_back();
    winsim::DisplayDevice& d = m.displays.back();
    d.name = pszName;
    d.description = "Display adapter";
    d.deviceId = pszDeviceId;
    char guid[64];
    snprintf(guid, sizeof(guid), "{1B0D2C4A-00%02u-4E5F-9A7B-C0FFEE00D15B}",
             static_cast<unsigned>(m.displays.size()));
    d.deviceKey = VideoDeviceKey(guid).c_str();
    for (const Mode& mode : modes)
        d.modes.push_back(winsim::DisplayMode{mode.nWidth, mode.nHeight, mode.nBpp, mode.nHz});
    if (!d.modes.empty()) {
        d.current = winsim::DisplaySettings{d.modes.front(), x, y, bAttached};
        d.registry = winsim::DisplaySettings{d.modes.front(), x, y, bAttached};
        if (!bAttached)
            d.current.mode = winsim::DisplayMode{};
    }
    return d;
}

// Adds a display device as the next \\.\DISPLAYn.
inline winsim::DisplayDevice& AddDisplay(const char* pszDeviceId, std::initializer_list<Mode> modes,
                                         bool bAttached = false, LONG x = 0, LONG y = 0) {
    const std::string name = "\\\\.\\DISPLAY" + std::to_string(winsim::M().displays.size() + 1);
    return AddDisplayNamed(name.c_str(), pszDeviceId, modes, bAttached, x, y);
}

inline winsim::DisplayDevice& AddPrimary(const char* pszDeviceId, std::initializer_list<Mode> modes) {
    winsim::DisplayDevice& d = AddDisplay(pszDeviceId, modes, true, 0, 0);
    d.primary = true;
    d.registryPrimary = true;
    return d;
}

inline DISPLAY_DEVICEA Record(int nIndex) {
    DISPLAY_DEVICEA dd = {};
    dd.cb = sizeof(dd);
    EXPECT_TRUE(EnumDisplayDevicesA(nullptr, static_cast<DWORD>(nIndex), &dd, 0))
        << "display device " << nIndex;
    return dd;
}

inline std::string CallText(const winsim::DisplayChangeCall& c) {
    if (!c.hasDevice && !c.hasMode && c.flags == 0)
        return "apply";
    const std::string device = c.hasDevice ? c.device.c_str() : "(null)";
    if (!c.hasMode)
        return device + " no mode";
    return device + " " +
           ModeText(c.mode.width, c.mode.height, c.mode.bpp, c.mode.frequency, static_cast<long>(c.x),
                    static_cast<long>(c.y)) +
           " fields " + DmFieldNames(c.fields) + " flags " + CdsFlagNames(c.flags);
}

// Every ChangeDisplaySettingsExA call so far, one line each.
inline std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    for (const winsim::DisplayChangeCall& c : winsim::M().displayChanges)
        calls.push_back(CallText(c));
    return calls;
}

inline std::vector<long> Results() {
    std::vector<long> results;
    for (const winsim::DisplayChangeCall& c : winsim::M().displayChanges)
        results.push_back(static_cast<long>(c.result));
    return results;
}

// The "Attach.ToDesktop" value under HKLM\path, or -1 when there is none.
inline long AttachFlag(const std::string& path) {
    winsim::RegKey* key = winsim::FindKey(winsim::M().hklm, path.c_str());
    if (key == nullptr)
        return -1;
    auto it = key->values.find(winsim::Str("Attach.ToDesktop"));
    if (it == key->values.end() || it->second.data.size() != 4)
        return -1;
    DWORD value = 0;
    memcpy(&value, it->second.data.data(), 4);
    return static_cast<long>(value);
}

// Where XP and later keep a device's attach flag for the program, from the DeviceKey's first "{".
inline std::string XpVideoKey(const winsim::DisplayDevice& d) {
    std::string key = d.deviceKey.c_str();
    return "System\\CurrentControlSet\\Hardware "
           "Profiles\\Current\\System\\CurrentControlSet\\Control\\Video\\" +
           key.substr(key.find('{'));
}

class Machine : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::BeginTestProcess();
        Traces().clear();
        winsim::SetTraceSink(&CaptureTrace);
    }
    void TearDown() override { winsim::SetTraceSink(nullptr); }

    static void SetOs(unsigned nMajor, unsigned nMinor, const char* pszCsd = "") {
        winsim::M().os.major = nMajor;
        winsim::M().os.minor = nMinor;
        winsim::M().os.csd = pszCsd;
    }
};

} // namespace test_machine
