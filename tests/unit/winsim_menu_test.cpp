// Menus as user32 keeps them: lookups by command that reach into submenus, the previous state as the
// answer of CheckMenuItem and EnableMenuItem, texts as stored, and DestroyMenu taking submenus along.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "winsim_test_support.h"

#include <string>

using namespace winsim;

namespace {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override { BeginTestProcess(); }
};

UINT IdOf(HMENU menu) {
    return static_cast<UINT>(reinterpret_cast<uintptr_t>(menu));
}

std::string TextOf(HMENU menu, UINT item, UINT flags) {
    char text[64];
    GetMenuStringA(menu, item, text, sizeof text, flags);
    return text;
}

} // namespace

TEST_F(MenuTest, ByCommandTheFirstOrdinaryItemWinsDepthFirstAndAPopupItemOnlyAsAFallback) {
    HMENU top = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    HMENU deep = CreateMenu(); // a menu bar works as a submenu too
    AppendMenuA(top, MF_STRING, 100, "top 100");
    AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Resolution");
    AppendMenuA(sub, MF_STRING, 400, "sub 400");
    AppendMenuA(sub, MF_STRING, 100, "sub 100");
    AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(deep), "High Resolution");
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
        {IdOf(deep), "top item with deep's id"}, // an ordinary item beats the popup item wherever it is
        {999, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(TextOf(top, c.id, MF_BYCOMMAND), c.found);
    }
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MENU_ITEM_NOT_FOUND));
    EXPECT_EQ(GetSubMenu(top, 1), sub);
    EXPECT_EQ(GetSubMenu(top, 0), nullptr);
    EXPECT_EQ(GetMenuItemID(top, 0), 100u);
    EXPECT_EQ(GetMenuItemID(top, 1), UINT(-1)); // a popup item
    EXPECT_EQ(GetMenuItemID(top, 9), UINT(-1));
}

// Each row acts on the state the rows before it left.
TEST_F(MenuTest, CheckAndEnableAnswerThePreviousStateOrMinusOneForAMissingItem) {
    HMENU top = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    AppendMenuA(top, MF_STRING | MF_CHECKED, 10, "A");
    AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub");
    AppendMenuA(top, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sub, MF_STRING | MF_GRAYED, 20, "B");
    enum Call { Check, Enable };
    const struct {
        Call call;
        UINT item;
        UINT flags;
        DWORD previous;
    } steps[] = {
        {Check, 10, MF_UNCHECKED, MF_CHECKED},
        {Check, 10, MF_UNCHECKED, MF_UNCHECKED},
        {Check, 20, MF_CHECKED, MF_UNCHECKED}, // found in the submenu
        {Check, 20, MF_UNCHECKED, MF_CHECKED},
        {Check, 77, MF_CHECKED, DWORD(-1)},
        {Check, 3, MF_BYPOSITION | MF_CHECKED, DWORD(-1)},
        {Check, 2, MF_BYPOSITION | MF_CHECKED, MF_UNCHECKED}, // the separator
        {Enable, 20, MF_DISABLED, MF_GRAYED},
        {Enable, 20, MF_GRAYED | MF_DISABLED, MF_DISABLED},
        {Enable, 20, MF_ENABLED, MF_GRAYED | MF_DISABLED},
        {Enable, 20, MF_ENABLED, MF_ENABLED},
        {Enable, 1, MF_BYPOSITION | MF_GRAYED, MF_ENABLED}, // the popup item
        {Enable, 1, MF_BYPOSITION | MF_ENABLED, MF_GRAYED},
        {Enable, 77, MF_GRAYED, DWORD(-1)},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << (s.call == Check ? "CheckMenuItem " : "EnableMenuItem ") << s.item
                                        << " flags 0x" << std::hex << s.flags);
        DWORD previous = s.call == Check ? CheckMenuItem(top, s.item, s.flags)
                                         : static_cast<DWORD>(EnableMenuItem(top, s.item, s.flags));
        EXPECT_EQ(previous, s.previous);
    }
    EXPECT_EQ(FindMenuRecord(reinterpret_cast<uintptr_t>(sub))->items[0].flags, 0u);
    HMENU bad = reinterpret_cast<HMENU>(uintptr_t(0x1234));
    EXPECT_EQ(CheckMenuItem(bad, 10, MF_CHECKED), DWORD(-1));
    EXPECT_EQ(EnableMenuItem(bad, 10, MF_GRAYED), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
}

TEST_F(MenuTest, GetMenuStringGivesTheTextAsStoredCutToTheBuffer) {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 39950, "&800X600X16");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    const struct {
        UINT item;
        UINT flags;
        int size; // -1: no buffer
        int result;
        const char* text;
    } cases[] = {
        {39950, MF_BYCOMMAND, 64, 11, "&800X600X16"},
        {39950, MF_BYCOMMAND, 5, 4, "&800"},
        {39950, MF_BYCOMMAND, 1, 0, ""},
        {39950, MF_BYCOMMAND, 0, 11, "untouched"},
        {39950, MF_BYCOMMAND, -1, 11, "untouched"},
        {0, MF_BYPOSITION, 64, 11, "&800X600X16"},
        {1, MF_BYPOSITION, 64, 0, ""},
        {2, MF_BYPOSITION, 64, 0, ""},
        {7, MF_BYCOMMAND, 64, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "item " << c.item << " flags 0x" << std::hex << c.flags << std::dec
                                        << " buffer " << c.size);
        char text[64] = "untouched";
        EXPECT_EQ(
            GetMenuStringA(menu, c.item, c.size < 0 ? nullptr : text, c.size < 0 ? 64 : c.size, c.flags),
            c.result);
        EXPECT_STREQ(text, c.text);
    }
}

TEST_F(MenuTest, DestroyMenuTakesItsSubmenusAndTheHandlesDieWithIt) {
    HMENU top = CreatePopupMenu();
    HMENU sub = CreatePopupMenu();
    HMENU deep = CreatePopupMenu();
    HMENU other = CreateMenu();
    ASSERT_TRUE(AppendMenuA(top, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "Sub"));
    ASSERT_TRUE(AppendMenuA(sub, MF_POPUP, reinterpret_cast<UINT_PTR>(deep), "Deep"));
    EXPECT_FALSE(AppendMenuA(deep, MF_POPUP, reinterpret_cast<UINT_PTR>(top), "a loop"));
    EXPECT_FALSE(AppendMenuA(top, MF_POPUP, 0x1234, "no such menu"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
    EXPECT_EQ(winsim_test::DumpLines("hmenu").size(), 4u);

    ASSERT_TRUE(DestroyMenu(top));
    for (HMENU gone : {top, sub, deep}) {
        EXPECT_EQ(GetMenuItemCount(gone), -1);
        EXPECT_FALSE(AppendMenuA(gone, MF_STRING, 1, "late"));
    }
    EXPECT_FALSE(DestroyMenu(top));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
    char line[64];
    snprintf(line, sizeof line, "hmenu 0x%llx pid %u menu items 0",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(other)),
             static_cast<unsigned>(CurrentProcess().pid));
    EXPECT_EQ(winsim_test::DumpLines("hmenu"), std::vector<std::string>{line});
}

// ----------------------------------------------------------------------------------------------------------
// TrackPopupMenu

namespace {

using winsim_test::CapturedOutput;
using winsim_test::ScriptedEvents;

struct Seen {
    UINT message;
    WPARAM wParam;
    bool insideTrack;
};
std::vector<Seen> g_seen;
bool g_tracking = false;

LRESULT CALLBACK OwnerProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    g_seen.push_back(Seen{message, wParam, g_tracking});
    return 0;
}

class TrackTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        g_seen.clear();
        Window& w = NewWindowRecord("#32770", "KIVA 7300", 0);
        w.proc = OwnerProc;
        owner = ToHwnd(w.handle);
        menu = CreatePopupMenu();
        HMENU resolution = CreatePopupMenu();
        AppendMenuA(menu, MF_STRING | MF_CHECKED, 32772, "&Extended");
        AppendMenuA(menu, MF_STRING | MF_GRAYED, 32774, "Off");
        AppendMenuA(menu, MF_STRING | MF_DISABLED, 32000, "Rotation");
        AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(resolution), "Resolution");
        AppendMenuA(resolution, MF_STRING, 39950, "&800X600X16");
    }

    BOOL Track(UINT flags) {
        g_tracking = true;
        BOOL result = TrackPopupMenu(menu, flags, 1200, 740, 0, owner, nullptr);
        g_tracking = false;
        return result;
    }

    HWND owner = nullptr;
    HMENU menu = nullptr;
};

} // namespace

TEST_F(TrackTest, ThePictureShowsEveryItemAndEverySubmenuAsBuilt) {
    HMENU bar = CreatePopupMenu();
    HMENU resolution = CreatePopupMenu();
    HMENU high = CreatePopupMenu();
    AppendMenuA(bar, MF_STRING, 32771, "USB-VGA(Primary)");
    AppendMenuA(bar, MF_STRING | MF_CHECKED, 32772, "USB-VGA(Extended)");
    AppendMenuA(bar, MF_STRING | MF_GRAYED, 32774, "USB-VGA(Off)");
    AppendMenuA(bar, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(resolution), "Resolution");
    AppendMenuA(resolution, MF_STRING, 39950, "&800X600X16");
    AppendMenuA(resolution, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(resolution, MF_POPUP, reinterpret_cast<UINT_PTR>(high), "High Resolution");
    AppendMenuA(high, MF_STRING | MF_CHECKED, 39955, "&1280X1024X32");
    AppendMenuA(bar, MF_STRING | MF_GRAYED | MF_DISABLED, 32001, "Resolution");
    CapturedOutput output;
    ScriptedEvents events;
    events.At(12500, UserDismissesMenu);
    Sleep(12000);
    SetForegroundWindow(owner);
    EXPECT_TRUE(TrackPopupMenu(bar, TPM_RIGHTBUTTON | TPM_RIGHTALIGN, 1200, 740, 0, owner, nullptr));
    const std::vector<std::string> expected = {
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
        "menu 12500 1000 dismiss",
    };
    EXPECT_EQ(CapturedOutput::Lines(), expected);
}

// What the user does, and what TrackPopupMenu answers and leaves in the owner's queue.
TEST_F(TrackTest, APickPostsTheCommandOrReturnsItAndAnythingElseClosesWithNone) {
    using Labels = std::vector<std::string>;
    const struct {
        const char* what;
        std::vector<Labels> requests; // an empty list of labels dismisses
        UINT flags;
        BOOL result;
        UINT posted; // the WM_COMMAND id in the queue afterwards, 0 for none
        const char* closing;
    } cases[] = {
        {"pick", {{"&Extended"}}, 0, TRUE, 32772, "menu 100 1000 pick \"&Extended\" id 32772"},
        {"pick, return the command",
         {{"&Extended"}},
         TPM_RETURNCMD,
         32772,
         0,
         "menu 100 1000 pick \"&Extended\" id 32772"},
        {"dismiss", {{}}, 0, TRUE, 0, "menu 100 1000 dismiss"},
        {"dismiss, return the command", {{}}, TPM_RETURNCMD, 0, 0, "menu 100 1000 dismiss"},
        {"a greyed item", {{"Off"}}, TPM_RETURNCMD, 0, 0, "menu 100 1000 dismiss"},
        {"a disabled item", {{"Rotation"}}, 0, TRUE, 0, "menu 100 1000 dismiss"},
        {"no such label", {{"extended"}}, 0, TRUE, 0, "menu 100 1000 dismiss"},
        {"past an ordinary item", {{"&Extended", "more"}}, 0, TRUE, 0, "menu 100 1000 dismiss"},
        {"a submenu, then its item",
         {{"Resolution"}, {"Resolution", "&800X600X16"}},
         TPM_RETURNCMD,
         39950,
         0,
         "menu 200 1000 pick \"Resolution\" \"&800X600X16\" id 39950"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        CapturedOutput output;
        ScriptedEvents events;
        VirtualMs at = 100;
        for (const Labels& labels : c.requests) {
            events.At(at, [labels] { labels.empty() ? UserDismissesMenu() : UserPicksMenuItem(labels); });
            at += 100;
        }
        EXPECT_EQ(Track(c.flags), c.result);
        EXPECT_EQ(CapturedOutput::Lines().back(), c.closing);
        MSG msg;
        BOOL queued = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        EXPECT_EQ(queued ? msg.wParam : 0, c.posted);
        EXPECT_EQ(queued ? msg.message : UINT(WM_COMMAND), UINT(WM_COMMAND));
    }
}

// The owner hears of the menu's life, and meanwhile its timers and sent messages are handled; the command
// reaches it only from its own loop, after TrackPopupMenu has returned.
TEST_F(TrackTest, TheMenuLoopKeepsTheThreadAliveAndTheCommandComesAfterItReturns) {
    ScriptedEvents events;
    events.At(60, [this] { QueueSentMessage(CurrentProcess().pid, owner, WM_USER + 5, 0, nullptr, 0); });
    events.At(100, [] { UserPicksMenuItem({"&Extended"}); });
    SetTimer(owner, 7, 50, nullptr);
    ASSERT_TRUE(Track(0));
    KillTimer(owner, 7);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    DispatchMessageA(&msg);
    std::vector<std::pair<UINT, bool>> seen;
    for (const Seen& s : g_seen)
        seen.emplace_back(s.message, s.insideTrack);
    const std::vector<std::pair<UINT, bool>> expected = {
        {WM_ENTERMENULOOP, true}, {WM_INITMENU, true},   {WM_INITMENUPOPUP, true}, {WM_TIMER, true},
        {WM_USER + 5, true},      {WM_MENUSELECT, true}, {WM_EXITMENULOOP, true},  {WM_COMMAND, false},
    };
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(g_seen.back().wParam, 32772u);
    EXPECT_EQ(msg.lParam, 0);
}

TEST_F(TrackTest, ASecondMenuABadOwnerOrABadMenuFailsAndAQuitClosesTheMenuButStays) {
    ScriptedEvents events;
    BOOL nested = TRUE;
    DWORD nestedError = 0;
    events.At(100, [&] {
        nested = TrackPopupMenu(menu, 0, 0, 0, 0, owner, nullptr);
        nestedError = GetLastError();
        PostQuitMessage(3);
    });
    EXPECT_EQ(Track(TPM_RETURNCMD), 0);
    EXPECT_FALSE(nested);
    EXPECT_EQ(nestedError, DWORD(ERROR_POPUP_ALREADY_ACTIVE));
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)); // WM_QUIT is still there for the caller
    EXPECT_EQ(msg.wParam, 3u);

    EXPECT_FALSE(TrackPopupMenu(reinterpret_cast<HMENU>(owner), 0, 0, 0, 0, owner, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
    EXPECT_FALSE(TrackPopupMenu(menu, 0, 0, 0, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}
