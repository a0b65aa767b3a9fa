// The resolution submenu built from the adapter's menu list: one block of depths per size, each closed by
// a separator, the sizes wider than 1024 in "High Resolution", ids from 39950 in list order across both,
// and the item of the current resolution checked.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter_test_world.h"
#include "tray/tray_menu.h"

extern const winsim::ResourceTable g_duodeskResources;

namespace {

using adapter_test::AdapterWorld;
using adapter_test::MakeList;
using adapter_test::Mode;
using adapter_test::Strings;

// The menu as the simulator draws an open one: an item a line, each submenu indented below its item.
void Draw(HMENU hMenu, int depth, Strings& lines) {
    const winsim::Menu* menu = winsim::FindMenuRecord(reinterpret_cast<uintptr_t>(hMenu));
    ASSERT_NE(menu, nullptr);
    const std::string indent(size_t(4 * depth), ' ');
    for (const winsim::MenuItem& item : menu->items) {
        if (item.flags & MF_SEPARATOR) {
            lines.push_back(indent + "---");
            continue;
        }
        lines.push_back(indent + ((item.flags & MF_CHECKED) ? "[x] " : "[ ] ") + item.text.c_str() + " " +
                        ((item.flags & MF_POPUP) ? std::string("popup") : std::to_string(item.id)));
        if (item.flags & MF_POPUP)
            Draw(reinterpret_cast<HMENU>(item.submenu), depth + 1, lines);
    }
}

struct Case {
    const char* name;
    std::vector<Mode> list; // the adapter's menu list, in its ascending order
    Mode current;           // the adapter's resolution
    Strings menu;
};

class ResolutionMenu : public AdapterWorld {
protected:
    void SetUp() override {
        AdapterWorld::SetUp();
        winsim::M().program.resources = &g_duodeskResources;
        m_pDlg->m_menuLabels.Load(GetModuleHandleA(nullptr));
    }

    Strings Build(const Case& c) {
        DispRes* pHead = nullptr;
        DispRes** ppTail = &pHead;
        for (const Mode& m : c.list) {
            *ppTail = MakeList({m});
            ppTail = &(*ppTail)->pNext;
        }
        FreeDispResList(m_adapter.m_pDispResHead);
        m_adapter.m_pDispResHead = pHead;
        m_adapter.m_nWidth = static_cast<int>(c.current.nWidth);
        m_adapter.m_nHeight = static_cast<int>(c.current.nHeight);
        m_adapter.m_nBpp = static_cast<int>(c.current.nBpp);
        HMENU hMenu = CreateMenu();
        MyAppendMenu(hMenu, m_adapter, m_pDlg->m_menuLabels);
        Strings lines;
        Draw(hMenu, 0, lines);
        DestroyMenu(hMenu);
        return lines;
    }
};

TEST_F(ResolutionMenu, GroupsDepthsBySizeAndMovesWideSizesIntoTheHighResolutionSubmenu) {
    const std::vector<Case> cases = {
        {"the worked example",
         {{800, 600, 16},
          {800, 600, 32},
          {1024, 768, 16},
          {1024, 768, 32},
          {1280, 1024, 16},
          {1280, 1024, 32}},
         {1024, 768, 32},
         {"[ ] &800X600X16 39950", "[ ] &800X600X32 39951", "---", "[ ] &1024X768X16 39952",
          "[x] &1024X768X32 39953", "---", "[ ] High Resolution popup", "    [ ] &1280X1024X16 39954",
          "    [ ] &1280X1024X32 39955"}},
        // A pass takes the depths in the order 8, 16, 24, 32 whatever the size: a larger size whose depth
        // follows in that order joins the block.
        {"a current resolution in the high submenu, compared without regard to case",
         {{1024, 768, 32}, {1280, 1024, 16}, {1600, 1200, 32}},
         {1600, 1200, 32},
         {"[ ] &1024X768X32 39950", "---", "[ ] High Resolution popup", "    [ ] &1280X1024X16 39951",
          "    [x] &1600X1200X32 39952"}},
        {"nothing wider than 1024: no high submenu",
         {{800, 600, 32}, {1024, 768, 16}, {1024, 768, 32}},
         {800, 600, 32},
         {"[x] &800X600X32 39950", "---", "[ ] &1024X768X16 39951", "[ ] &1024X768X32 39952"}},
        {"the list starts wider than 1024: only the high submenu",
         {{1280, 1024, 32}, {1600, 1200, 32}},
         {1024, 768, 32},
         {"[ ] High Resolution popup", "    [ ] &1280X1024X32 39950", "    ---",
          "    [ ] &1600X1200X32 39951"}},
        {"a wide size continuing a run of depths stays where the run began",
         {{1024, 768, 16}, {1280, 768, 32}, {1280, 1024, 32}},
         {1280, 768, 32},
         {"[ ] &1024X768X16 39950", "[x] &1280X768X32 39951", "---", "[ ] High Resolution popup",
          "    [ ] &1280X1024X32 39952"}},
        {"all four depths of a size in one block",
         {{800, 600, 8}, {800, 600, 16}, {800, 600, 24}, {800, 600, 32}, {1024, 768, 32}},
         {800, 600, 24},
         {"[ ] &800X600X8 39950", "[ ] &800X600X16 39951", "[x] &800X600X24 39952", "[ ] &800X600X32 39953",
          "---", "[ ] &1024X768X32 39954"}},
        // A depth outside 8, 16, 24 and 32 gets an item of its own, so that the pass moves on and every id
        // stays its entry's position in the list.
        {"a depth of none of the four",
         {{1024, 768, 15}, {1024, 768, 32}, {1280, 1024, 15}, {1280, 1024, 32}},
         {1280, 1024, 32},
         {"[ ] &1024X768X15 39950", "---", "[ ] &1024X768X32 39951", "---", "[ ] High Resolution popup",
          "    [ ] &1280X1024X15 39952", "    ---", "    [x] &1280X1024X32 39953"}},
        {"a current resolution that is not in the list",
         {{800, 600, 32}, {1280, 1024, 32}},
         {640, 480, 32},
         {"[ ] &800X600X32 39950", "---", "[ ] High Resolution popup", "    [ ] &1280X1024X32 39951"}},
        {"an empty list", {}, {1024, 768, 32}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Build(c), c.menu);
    }
}

TEST_F(ResolutionMenu, TracesEachClosedBlockAndTheHighSubmenuSearch) {
    Build({"", {{800, 600, 16}, {800, 600, 32}, {1280, 1024, 32}, {1600, 1200, 32}}, {1600, 1200, 32}, {}});
    EXPECT_EQ(adapter_test::TracesFrom("[MyAppendMenu]"),
              "[MyAppendMenu] &800X600X32 \n[MyAppendMenu] &1280X1024X32 \n"
              "Update displaydev Failed\nget display state: off\n"
              "Get current res failed, didn't do anything\nHigh res 3\n");
}

} // namespace
