// Menus as user32 keeps them, and TrackPopupMenu's loop: lookups by command reach into submenus, Check and
// Enable answer the previous state, texts stay as stored, DestroyMenu takes submenus along, and a pick's
// WM_COMMAND reaches the owner only after TrackPopupMenu has returned.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "winsim_test_support.h"

#include <string>
#include <vector>

using namespace winsim;

namespace {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override { BeginTestProcess(); }
};

HMENU Popup(HMENU parent, HMENU sub, const char* text) {
    AppendMenuA(parent, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text);
    return sub;
}

UINT IdOf(HMENU menu) {
    return static_cast<UINT>(reinterpret_cast<uintptr_t>(menu));
}

} // namespace

TEST_F(MenuTest, ByCommandTheFirstOrdinaryItemWinsDepthFirstAndAPopupItemOnlyAsAFallback) {
    HMENU top = CreatePopupMenu();
    AppendMenuA(top, MF_STRING, 100, "top 100");
    HMENU sub = Popup(top, CreatePopupMenu(), "Resolution");
    AppendMenuA(sub, MF_STRING, 400, "sub 400");
    AppendMenuA(sub, MF_STRING, 100, "sub 100");
    HMENU deep = Popup(sub, CreateMenu(), "High Resolution"); // a menu bar works as a submenu too
    AppendMenuA(deep, MF_STRING, 300, "deep 300");
    AppendMenuA(top, MF_STRING, 400, "top 400");
    AppendMenuA(top, MF_STRING, IdOf(deep), "top item with deep's id");
    const struct {
        UINT id;
        const char* found;
    } cases[] = {
        {100, "top 100"},                        // before the popup, at this level
        {400, "sub 400"},                        // inside the submenu, which comes first
        {300, "deep 300"},                       // two levels down
        {IdOf(sub), "Resolution"},               // nothing else has the id: the popup item itself
        {IdOf(deep), "top item with deep's id"}, // an ordinary item beats a popup item wherever it is
        {999, ""},
    };
    for (const auto& c : cases) {
        char text[64];
        GetMenuStringA(top, c.id, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, c.found) << "id " << c.id;
    }
    EXPECT_EQ(GetSubMenu(top, 1), sub);
    EXPECT_EQ(GetMenuItemID(top, 1), UINT(-1)); // a popup item has no command id
}

// Each row acts on the state the rows before it left.
TEST_F(MenuTest, CheckAndEnableAnswerThePreviousStateOrMinusOneForAMissingItem) {
    HMENU top = CreatePopupMenu();
    AppendMenuA(top, MF_STRING | MF_CHECKED, 10, "A");
    AppendMenuA(Popup(top, CreatePopupMenu(), "Sub"), MF_STRING | MF_GRAYED, 20, "B");
    const struct {
        bool check;
        UINT item, flags;
        DWORD previous;
    } steps[] = {
        {true, 10, MF_UNCHECKED, MF_CHECKED},
        {true, 10, MF_UNCHECKED, MF_UNCHECKED},
        {true, 20, MF_CHECKED, MF_UNCHECKED},
        {true, 20, MF_UNCHECKED, MF_CHECKED},
        {true, 77, MF_CHECKED, DWORD(-1)},
        {true, 2, MF_BYPOSITION | MF_CHECKED, DWORD(-1)},
        {false, 20, MF_DISABLED, MF_GRAYED},
        {false, 20, MF_GRAYED | MF_DISABLED, MF_DISABLED},
        {false, 20, MF_ENABLED, MF_GRAYED | MF_DISABLED},
        {false, 1, MF_BYPOSITION | MF_GRAYED, MF_ENABLED},
        {false, 77, MF_GRAYED, DWORD(-1)},
    };
    for (const auto& s : steps) {
        DWORD previous = s.check ? CheckMenuItem(top, s.item, s.flags)
                                 : static_cast<DWORD>(EnableMenuItem(top, s.item, s.flags));
        EXPECT_EQ(previous, s.previous) << (s.check ? "Check " : "Enable ") << s.item << " flags " << s.flags;
    }
}

TEST_F(MenuTest, GetMenuStringGivesTheTextAsStoredCutToTheBuffer) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 39950, "&800X600X16");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    const struct {
        UINT item, flags;
        int size; // -1: no buffer
        int result;
        const char* text;
    } cases[] = {
        {39950, MF_BYCOMMAND, 64, 11, "&800X600X16"},
        {39950, MF_BYCOMMAND, 5, 4, "&800"},
        {39950, MF_BYCOMMAND, 0, 11, "untouched"},
        {39950, MF_BYCOMMAND, -1, 11, "untouched"},
        {1, MF_BYPOSITION, 64, 0, ""},
        {7, MF_BYCOMMAND, 64, 0, ""},
    };
    for (const auto& c : cases) {
        char text[64] = "untouched";
        int result =
            GetMenuStringA(menu, c.item, c.size < 0 ? nullptr : text, c.size < 0 ? 64 : c.size, c.flags);
        EXPECT_EQ(result, c.result) << "item " << c.item << " buffer " << c.size;
        EXPECT_STREQ(text, c.text) << "item " << c.item << " buffer " << c.size;
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MENU_ITEM_NOT_FOUND));
}

TEST_F(MenuTest, DestroyMenuTakesItsSubmenusAndTheHandlesDieWithIt) {
    HMENU top = CreatePopupMenu(), other = CreateMenu();
    HMENU sub = Popup(top, CreatePopupMenu(), "Sub");
    HMENU deep = Popup(sub, CreatePopupMenu(), "Deep");
    EXPECT_FALSE(AppendMenuA(deep, MF_POPUP, reinterpret_cast<UINT_PTR>(top), "a loop"));
    ASSERT_TRUE(DestroyMenu(top));
    for (HMENU gone : {top, sub, deep})
        EXPECT_EQ(GetMenuItemCount(gone), -1);
    EXPECT_FALSE(DestroyMenu(sub));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
    char line[64];
    snprintf(line, sizeof line, "hmenu 0x%llx pid %u menu items 0",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(other)),
             static_cast<unsigned>(CurrentProcess().pid));
    EXPECT_EQ(winsim_test::DumpLines("hmenu"), std::vector<std::string>{line});
}

// The user's requests, what TrackPopupMenu answers and what it leaves in the owner's queue; a second
// menu cannot open meanwhile.
TEST_F(MenuTest, APickPostsItsCommandForAfterTheCallAndAnythingElseClosesWithNone) {
    using Labels = std::vector<std::string>;
    const struct {
        std::vector<Labels> requests; // no labels: dismiss
        UINT flags;
        BOOL result;
        UINT posted; // the WM_COMMAND id left in the queue, 0 for none
        const char* closing;
    } cases[] = {
        {{{"&Extended"}}, 0, TRUE, 32772, "menu 200 1000 pick \"&Extended\" id 32772"},
        {{{"&Extended"}}, TPM_RETURNCMD, 32772, 0, "menu 200 1000 pick \"&Extended\" id 32772"},
        {{{}}, TPM_RETURNCMD, 0, 0, "menu 200 1000 dismiss"},
        {{{"Off"}}, 0, TRUE, 0, "menu 200 1000 dismiss"}, // greyed
        {{{"extended"}}, 0, TRUE, 0, "menu 200 1000 dismiss"},
        {{{"Resolution"}, {"Resolution", "&800X600X16"}},
         TPM_RETURNCMD,
         39950,
         0,
         "menu 300 1000 pick \"Resolution\" \"&800X600X16\" id 39950"},
    };
    for (const auto& c : cases) {
        SetUp();
        HWND owner = ToHwnd(NewWindowRecord("#32770", "KIVA 7300", 0).handle);
        HMENU menu = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING | MF_CHECKED, 32772, "&Extended");
        AppendMenuA(menu, MF_STRING | MF_GRAYED, 32774, "Off");
        AppendMenuA(Popup(menu, CreatePopupMenu(), "Resolution"), MF_STRING, 39950, "&800X600X16");
        winsim_test::CapturedOutput output;
        winsim_test::ScriptedEvents events;
        DWORD second = 0;
        events.At(100, [&] {
            if (!TrackPopupMenu(menu, 0, 0, 0, 0, owner, nullptr))
                second = GetLastError();
        });
        VirtualMs at = 200;
        for (const Labels& labels : c.requests) {
            events.At(at, [labels] { labels.empty() ? UserDismissesMenu() : UserPicksMenuItem(labels); });
            at += 100;
        }
        EXPECT_EQ(TrackPopupMenu(menu, c.flags, 1200, 740, 0, owner, nullptr), c.result);
        EXPECT_EQ(second, DWORD(ERROR_POPUP_ALREADY_ACTIVE));
        EXPECT_EQ(output.Lines().back(), c.closing);
        MSG msg{};
        EXPECT_EQ(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE), c.posted != 0) << c.closing;
        EXPECT_EQ(msg.wParam, c.posted) << c.closing;
    }
}

namespace {

std::vector<std::string> g_ownerLog;

LRESULT CALLBACK OwnerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    const char* names[] = {"WM_ENTERMENULOOP", "WM_INITMENUPOPUP", "WM_EXITMENULOOP", "WM_TIMER",
                           "WM_COMMAND"};
    const UINT messages[] = {WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_EXITMENULOOP, WM_TIMER, WM_COMMAND};
    for (size_t i = 0; i < 5; ++i) {
        if (message == messages[i])
            g_ownerLog.push_back(names[i] + (message == WM_COMMAND ? " " + std::to_string(wParam) : ""));
    }
    if (message == WM_TIMER)
        KillTimer(hWnd, wParam);
    return 0;
}

} // namespace

// The menu of a tray program, picked from two submenus down: the owner hears of each submenu as the user
// opens it, its timer runs meanwhile, and the command comes from its own loop after the call has returned.
TEST_F(MenuTest, ThePictureShowsTheMenuAsBuiltAndTheOwnerLivesOnWhileItIsOpen) {
    Window& w = NewWindowRecord("#32770", "KIVA 7300", 0);
    w.proc = OwnerProc;
    HWND owner = ToHwnd(w.handle);
    g_ownerLog.clear();
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 32771, "USB-VGA(Primary)");
    AppendMenuA(menu, MF_STRING | MF_CHECKED, 32772, "USB-VGA(Extended)");
    AppendMenuA(menu, MF_STRING | MF_GRAYED, 32774, "USB-VGA(Off)");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    HMENU resolution = Popup(menu, CreatePopupMenu(), "Resolution");
    AppendMenuA(resolution, MF_STRING, 39950, "&800X600X16");
    AppendMenuA(resolution, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(Popup(resolution, CreatePopupMenu(), "High Resolution"), MF_STRING | MF_CHECKED, 39955,
                "&1280X1024X32");
    AppendMenuA(menu, MF_STRING | MF_GRAYED | MF_DISABLED, 32001, "Resolution");
    winsim_test::CapturedOutput output;
    winsim_test::ScriptedEvents events;
    events.At(12500, [owner] { SetTimer(owner, 9, 100, nullptr); });
    events.At(13000, [] { UserPicksMenuItem({"Resolution", "High Resolution", "&1280X1024X32"}); });
    Sleep(12000);
    SetForegroundWindow(owner);
    ASSERT_TRUE(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RIGHTALIGN, 1200, 740, 0, owner, nullptr));
    g_ownerLog.push_back("returned");
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    DispatchMessageA(&msg);
    EXPECT_EQ(g_ownerLog, (std::vector<std::string>{"WM_ENTERMENULOOP", "WM_INITMENUPOPUP", "WM_TIMER",
                                                    "WM_INITMENUPOPUP", "WM_INITMENUPOPUP", "WM_EXITMENULOOP",
                                                    "returned", "WM_COMMAND 39955"}));
    EXPECT_EQ(output.Lines(),
              (std::vector<std::string>{
                  "menu 12000 1000 open owner 0x10010 foreground yes at 1200,740 flags 0xA",
                  "menu   [ ] \"USB-VGA(Primary)\" 32771",
                  "menu   [x] \"USB-VGA(Extended)\" 32772",
                  "menu   [ ] \"USB-VGA(Off)\" 32774 grey",
                  "menu   ---",
                  "menu   [ ] \"Resolution\" popup",
                  "menu       [ ] \"&800X600X16\" 39950",
                  "menu       ---",
                  "menu       [ ] \"High Resolution\" popup",
                  "menu           [x] \"&1280X1024X32\" 39955",
                  "menu   [ ] \"Resolution\" 32001 grey disabled",
                  "end-menu",
                  "menu 13000 1000 pick \"Resolution\" \"High Resolution\" \"&1280X1024X32\" id 39955",
              }));
}
