// The resolution lists and the matching over any table of display modes: the input describes the modes
// the primary display and the adapter's display report, the rotation, and the resolutions asked for.
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>
#include <tuple>

#include "adapter/mode_lists.h"
#include "fuzz_world.h"

namespace {

using Triple = std::tuple<unsigned, unsigned, unsigned>;

// Mostly values a display could have, now and then any at all.
unsigned Size(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<unsigned>(0, 2100) : in.ConsumeIntegral<unsigned>();
}
unsigned Depth(FuzzedDataProvider& in) {
    static const unsigned kDepths[] = {8, 16, 24, 32};
    return in.ConsumeBool() ? in.PickValueInArray(kDepths) : in.ConsumeIntegral<unsigned>();
}

winsim::DisplayDevice& AddDisplay(FuzzedDataProvider& in, const char* name, const char* id, size_t maxModes,
                                  std::set<Triple>& reported) {
    winsim::DisplayDevice& d = winsim::M().displays.emplace_back();
    d.name = name;
    d.deviceId = id;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, maxModes);
    for (size_t i = 0; i < count; ++i) {
        const winsim::DisplayMode mode{Size(in), Size(in), Depth(in), in.ConsumeIntegral<uint8_t>()};
        d.modes.push_back(mode);
        reported.insert({mode.width, mode.height, mode.bpp});
    }
    return d;
}

DEVMODEA Mode(FuzzedDataProvider& in) {
    DEVMODEA dm{};
    dm.dmSize = sizeof(dm);
    dm.dmPelsWidth = Size(in);
    dm.dmPelsHeight = Size(in);
    dm.dmBitsPerPel = Depth(in);
    return dm;
}

bool Before(const DispRes* a, const DispRes* b, bool bByDepth) {
    return std::tie(a->nWidth, a->nHeight) < std::tie(b->nWidth, b->nHeight) ||
           (bByDepth && std::tie(a->nWidth, a->nHeight) == std::tie(b->nWidth, b->nHeight) &&
            a->nBpp < b->nBpp);
}

// A menu or full list: strictly ascending, every node a mode the display reported that the filter keeps.
void CheckList(const DispRes* head, const std::set<Triple>& reported, ModeFilter filter) {
    for (const DispRes* p = head; p != nullptr; p = p->pNext) {
        FUZZ_CHECK(reported.count({p->nWidth, p->nHeight, p->nBpp}) == 1);
        if (filter == ModeFilter::Full)
            FUZZ_CHECK(KeepMode(filter, p->nWidth, p->nHeight, p->nBpp));
        FUZZ_CHECK(p->pNext == nullptr || Before(p, p->pNext, true));
    }
}

// A grouped list: one node per size, ascending, as many as counted, each depth bit once.
void CheckGrouped(const DispRes* head, UINT count) {
    UINT n = 0;
    for (const DispRes* p = head; p != nullptr; p = p->pNext, ++n) {
        FUZZ_CHECK(p->nDepthCount == static_cast<unsigned>(__builtin_popcount(p->nDepthMask)));
        FUZZ_CHECK(p->pNext == nullptr || Before(p, p->pNext, false));
    }
    FUZZ_CHECK(n == count);
}

bool InList(const DispRes* head, unsigned w, unsigned h) {
    for (const DispRes* p = head; p != nullptr; p = p->pNext) {
        if (p->nWidth == w && p->nHeight == h)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::FreshMachine();
    std::set<Triple> primaryModes, adapterModes;
    winsim::DisplayDevice& primary =
        AddDisplay(in, "\\\\.\\DISPLAY1", "PCI\\VEN_10DE&DEV_0421", 24, primaryModes);
    if (!primary.modes.empty()) {
        primary.primary = primary.registryPrimary = true;
        primary.current = winsim::DisplaySettings{primary.modes.front(), 0, 0, true};
        primary.registry = primary.current;
    }
    AddDisplay(in, "\\\\.\\DISPLAY2", g_variant.dispDevId, 40, adapterModes).ofAdapter = true;
    const winsim::Vec<winsim::DisplayMode>& primaryList = winsim::M().displays[0].modes;

    fuzz::Program program;
    CAdapter& adapter = program.adapter;
    program.dlg.EnumSysDispMode();
    CheckGrouped(program.dlg.m_pSysDispModeHead, program.dlg.m_nSysDispModeCount);

    adapter.m_nRotation = in.ConsumeIntegralInRange(-1, 4);
    adapter.m_bAllModes = in.ConsumeBool();
    adapter.GetDispRes();
    CheckList(adapter.m_pDispResHead, adapterModes, ModeFilter::Every);
    CheckList(adapter.m_pFullDispResHead, adapterModes, ModeFilter::Full);
    CheckGrouped(adapter.m_pFullDispModeHead, adapter.m_nFullDispModeCount);
    if (in.ConsumeBool())
        adapter.GetFullDispRes();
    if (in.ConsumeBool())
        adapter.EnumFullDispMode();

    adapter.m_nWidth = in.ConsumeIntegral<int>();
    adapter.m_nHeight = in.ConsumeIntegral<int>();
    adapter.m_nBpp = in.ConsumeIntegral<int>();
    const Triple asked{adapter.m_nWidth, adapter.m_nHeight, adapter.m_nBpp};
    FUZZ_CHECK(adapter.CheckResolution() ==
               (adapterModes.count(asked) == 1 &&
                KeepMode(ModeFilter::Full, std::get<0>(asked), std::get<1>(asked), std::get<2>(asked))));

    int w = -7, h = -7, bpp = -7;
    adapter.CheckInitResolution(in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(),
                                in.ConsumeIntegral<int>(), &w, &h, &bpp);
    if (adapter.m_pFullDispResHead == nullptr)
        FUZZ_CHECK(w == -7 && h == -7 && bpp == -7);
    else
        FUZZ_CHECK(adapterModes.count({w, h, bpp}) == 1);

    DEVMODEA mirror = Mode(in);
    MirrorCenter center{};
    if (adapter.FindMirrorRes(&mirror, &center))
        FUZZ_CHECK(InList(adapter.m_pDispResHead, mirror.dmPelsWidth, mirror.dmPelsHeight));
    // The primary display's own mode, or any other.
    DEVMODEA system = Mode(in);
    if (!primaryList.empty() && in.ConsumeBool()) {
        system.dmPelsWidth = primaryList.front().width;
        system.dmPelsHeight = primaryList.front().height;
        system.dmBitsPerPel = primaryList.front().bpp;
    }
    adapter.SyncMirrorDPI(&system);
    return 0;
}
