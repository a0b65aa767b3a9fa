// What the state dump shows of the displays: the `cds` record of every call, and the layout drawn as text
// and as SVG, so that a reader sees the desktop the program left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "dump.h"
#include "layout.h"
#include "machine.h"
#include "winsim_test_support.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

using namespace winsim;
using winsim_test::DumpLines;

namespace {

class DisplayDumpTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        Machine& m = M();
        m.displays.resize(3);
        const char* ids[3] = {"PCI\\VEN_10DE&DEV_0421", "ZTK\\USB2VGA", "ZTK\\USB2VGAM"};
        for (int i = 0; i < 3; ++i) {
            DisplayDevice& d = m.displays[i];
            d.name = ("\\\\.\\DISPLAY" + std::to_string(i + 1)).c_str();
            d.deviceId = ids[i];
            d.modes.push_back(DisplayMode{1280, 1024, 32, 60});
            d.modes.push_back(DisplayMode{1024, 768, 32, 60});
            d.registry = DisplaySettings{DisplayMode{1024, 768, 32, 60}, 0, 0, false};
        }
        m.displays[0].current = DisplaySettings{DisplayMode{1280, 1024, 32, 60}, 0, 0, true};
        m.displays[0].registry = m.displays[0].current;
        m.displays[0].primary = m.displays[0].registryPrimary = true;
        m.displays[2].staticFlags = DISPLAY_DEVICE_MIRRORING_DRIVER;
    }
};

} // namespace

// Every call, in order, with what it was given and what it answered.
TEST_F(DisplayDumpTest, EveryCallIsACdsLine) {
    DEVMODEA dm{};
    dm.dmFields = 0x580020;
    ChangeDisplaySettingsExA("\\\\.\\DISPLAY2", &dm, nullptr, CDS_RESET | CDS_UPDATEREGISTRY, nullptr);
    ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
    ChangeDisplaySettingsExA("\\\\.\\DISPLAY9", &dm, nullptr, 0, nullptr);
    std::vector<std::string> cds = DumpLines("cds ");
    ASSERT_EQ(cds.size(), 3u);
    EXPECT_EQ(cds[0],
              "cds 0 1000 \\\\.\\DISPLAY2 fields 0x580020 mode 0x0x0@0 pos 0,0 flags 0x40000001 result 0");
    EXPECT_EQ(cds[1], "cds 0 1000 - fields - mode - pos - flags 0x0 result 0");
    EXPECT_EQ(cds[2], "cds 0 1000 \\\\.\\DISPLAY9 fields 0x580020 mode 0x0x0@0 pos 0,0 flags 0x0 result -5");
}

// A detached display shows its saved mode in the registry column; its current column says off.
TEST_F(DisplayDumpTest, DisplayLinesShowTheSavedModeOfADetachedDisplay) {
    std::vector<std::string> lines = DumpLines("display \\\\.\\DISPLAY2 ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("current off pos 0,0 registry off(1024x768x32@60) pos 0,0"), std::string::npos)
        << lines[0];
}

// Side-by-side displays share an edge in the drawing, in proportion; the primary is marked, a mirror and a
// detached display are listed under the picture, and the adapter's display says how its driver turns it.
TEST_F(DisplayDumpTest, TheLayoutIsDrawnInProportion) {
    Machine& m = M();
    m.displays[1].ofAdapter = true;
    m.adapter.rotation = 1;
    m.displays[1].current = DisplaySettings{DisplayMode{1024, 768, 32, 60}, 1280, 0, true};
    m.displays[2].current = DisplaySettings{DisplayMode{1280, 1024, 32, 60}, 0, 0, true};
    std::vector<std::string> layout = DumpLines("layout ");
    ASSERT_GE(layout.size(), 5u);
    const std::string& top = layout[0];
    size_t first = top.find('+'), middle = top.find('+', first + 1), last = top.rfind('+');
    ASSERT_NE(middle, last);
    // 1280 : 1024 as the two boxes' widths, within a column.
    double ratio = static_cast<double>(middle - first) / static_cast<double>(last - middle);
    EXPECT_NEAR(ratio, 1.25, 0.1) << top;
    EXPECT_NE(layout[1].find("\\\\.\\DISPLAY1 primary"), std::string::npos);
    EXPECT_NE(layout[1].find("\\\\.\\DISPLAY2"), std::string::npos);
    EXPECT_NE(layout[2].find("1280x1024x32@60"), std::string::npos);
    EXPECT_NE(layout[4].find("|rotated 90 degrees"), std::string::npos) << layout[4];
    const std::string svg = DrawLayoutSvg("");
    EXPECT_NE(svg.find(">rotated 90 degrees<"), std::string::npos);
    EXPECT_EQ(svg.find("degrees"), svg.rfind("degrees")) << "only the adapter's own display is turned";
    EXPECT_EQ(layout.back(), "layout mirror \\\\.\\DISPLAY3 1280x1024x32@60 at 0,0 copies \\\\.\\DISPLAY1");
    // The secondary is shorter: its bottom edge comes before the primary's.
    size_t secondaryBottom = 0, primaryBottom = 0;
    for (size_t i = 1; i < layout.size(); ++i) {
        if (layout[i].size() > last && layout[i][middle] == '+' && layout[i][last] == '+')
            secondaryBottom = i;
        if (layout[i].size() > first + 7 && (layout[i][first + 7] == '+' || layout[i][first + 7] == '-'))
            primaryBottom = primaryBottom ? primaryBottom : i;
    }
    EXPECT_GT(secondaryBottom, 0u);
    EXPECT_GT(primaryBottom, secondaryBottom);
}

TEST_F(DisplayDumpTest, TheSvgHasABoxPerDisplayAndADashedMirror) {
    Machine& m = M();
    m.displays[1].current = DisplaySettings{DisplayMode{1024, 768, 32, 60}, -1024, 0, true};
    m.displays[2].current = DisplaySettings{DisplayMode{1280, 1024, 32, 60}, 0, 0, true};
    std::string svg = DrawLayoutSvg("dump at 5 ms");
    EXPECT_EQ(svg.find("<svg "), 0u);
    EXPECT_NE(svg.find("dump at 5 ms"), std::string::npos);
    size_t rects = 0;
    for (size_t at = svg.find("<rect x="); at != std::string::npos; at = svg.find("<rect x=", at + 1))
        ++rects;
    EXPECT_EQ(rects, 3u); // two displays and the mirror
    EXPECT_NE(svg.find("stroke-dasharray"), std::string::npos);
    EXPECT_NE(svg.find(">primary<"), std::string::npos);
    EXPECT_NE(svg.find("ZTK\\USB2VGA"), std::string::npos);
    // The display at the left starts at the picture's left margin.
    EXPECT_NE(svg.find("<rect x=\"24.0\""), std::string::npos);
    EXPECT_EQ(svg.find('&', svg.find("PCI\\VEN_10DE")), svg.find("&amp;", svg.find("PCI\\VEN_10DE")));
}
