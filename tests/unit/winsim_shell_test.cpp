// The notification area as Explorer keeps it: one icon per window and id, the members the caller's
// record size holds, callbacks as sent messages, phantom icons, and the tray emptied by a restart.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <string>
#include <utility>
#include <vector>

using namespace winsim;

namespace {

std::vector<std::pair<WPARAM, LPARAM>> g_callbacks;
constexpr UINT kCallback = WM_APP + 1;

LRESULT CALLBACK OwnerProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallback)
        g_callbacks.emplace_back(wParam, lParam);
    return 0;
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        g_callbacks.clear();
        for (HWND& w : windows) {
            Window& record = NewWindowRecord("#32770", "KIVA 7300", 0);
            record.proc = OwnerProc;
            w = ToHwnd(record.handle);
        }
    }

    BOOL Notify(DWORD message, HWND hwnd, UINT id, UINT flags = NIF_MESSAGE | NIF_ICON | NIF_TIP,
                const char* tip = "USB 2.0 VGA DEVICE-1", DWORD size = sizeof(NOTIFYICONDATAA)) {
        NOTIFYICONDATAA data{};
        data.cbSize = size;
        data.hWnd = hwnd;
        data.uID = id;
        data.uFlags = flags;
        data.uCallbackMessage = kCallback;
        data.hIcon = reinterpret_cast<HICON>(uintptr_t(0x20080));
        snprintf(data.szTip, sizeof data.szTip, "%s", tip);
        data.uVersion = version;
        return Shell_NotifyIconA(message, &data);
    }

    // What the owner has been sent by the time it next reads its queue.
    std::vector<std::pair<WPARAM, LPARAM>> Delivered() {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        return std::exchange(g_callbacks, {});
    }

    HWND windows[2] = {};
    UINT version = 0;
};

} // namespace

// The record sizes are those of the platform's own layout: 88, 488 and 504 bytes on 32-bit Windows.
TEST_F(ShellTest, TheRecordsEarlierLayoutsEndWhereTheirFirstMissingMemberBegins) {
    EXPECT_EQ(size_t(NOTIFYICONDATAA_V1_SIZE), offsetof(NOTIFYICONDATAA, szTip) + 64);
    EXPECT_EQ(size_t(NOTIFYICONDATAA_V2_SIZE), sizeof(void*) == 8 ? 504u : 488u);
    EXPECT_EQ(size_t(NOTIFYICONDATAA_V3_SIZE), sizeof(void*) == 8 ? 520u : 504u);
}

// Each row acts on the tray the rows before it left.
TEST_F(ShellTest, OneIconPerWindowAndIdAndCallsOnAMissingIconFail) {
    HWND a = windows[0], b = windows[1];
    const struct {
        DWORD message;
        HWND hwnd;
        UINT id;
        DWORD size;
        BOOL result;
    } steps[] = {
        {NIM_ADD, a, 1, sizeof(NOTIFYICONDATAA), TRUE},
        {NIM_ADD, a, 1, sizeof(NOTIFYICONDATAA), FALSE}, // a duplicate, and the first icon stays as it was
        {NIM_ADD, a, 2, sizeof(NOTIFYICONDATAA), TRUE},
        {NIM_ADD, b, 1, sizeof(NOTIFYICONDATAA), TRUE},
        {NIM_MODIFY, a, 3, sizeof(NOTIFYICONDATAA), FALSE},
        {NIM_DELETE, a, 2, sizeof(NOTIFYICONDATAA), TRUE},
        {NIM_DELETE, a, 2, sizeof(NOTIFYICONDATAA), FALSE},
        {NIM_SETVERSION, a, 2, sizeof(NOTIFYICONDATAA), FALSE},
        {NIM_DELETE, b, 1, 3, TRUE}, // an unknown size is read as the first layout
        {7, a, 1, sizeof(NOTIFYICONDATAA), FALSE},
    };
    int row = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "row " << row++ << ": message " << s.message << " id " << s.id);
        const char* tip = s.message == NIM_ADD && row > 1 ? "second" : "first";
        EXPECT_EQ(Notify(s.message, s.hwnd, s.id, NIF_MESSAGE | NIF_ICON | NIF_TIP, tip, s.size), s.result);
    }
    ASSERT_EQ(M().tray.size(), 1u);
    EXPECT_EQ(M().tray[0].tip, "first");
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
}

TEST_F(ShellTest, OnlyFlaggedMembersInsideTheCallersLayoutAreRead) {
    const std::string longTip(127, 't');
    const struct {
        DWORD size;
        size_t tipChars;
    } sizes[] = {
        {NOTIFYICONDATAA_V1_SIZE, 63},
        {NOTIFYICONDATAA_V2_SIZE, 127},
        {NOTIFYICONDATAA_V3_SIZE, 127},
        {sizeof(NOTIFYICONDATAA), 127},
        {200, 63}, // unknown: the first layout
    };
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << "cbSize " << s.size);
        SetUp();
        ASSERT_TRUE(Notify(NIM_ADD, windows[0], 1, NIF_TIP, longTip.c_str(), s.size));
        EXPECT_EQ(M().tray[0].tip.size(), s.tipChars);
        EXPECT_EQ(M().tray[0].callbackMessage, 0u); // NIF_MESSAGE was not set
        EXPECT_EQ(M().tray[0].cbSize, s.size);
    }
    ASSERT_TRUE(Notify(NIM_MODIFY, windows[0], 1, NIF_MESSAGE | NIF_ICON, "ignored"));
    const TrayIcon& icon = M().tray[0];
    EXPECT_EQ(icon.tip.size(), 63u); // left unchanged
    EXPECT_EQ(icon.callbackMessage, kCallback);
    EXPECT_EQ(icon.icon, 0x20080u);
    EXPECT_EQ(icon.flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
}

// Callbacks wait as sent messages: not delivered during Sleep, delivered when the owner reads its queue.
TEST_F(ShellTest, ClicksReachTheOwnerAsTheMouseMessagesOfTheClickInOrder) {
    using Calls = std::vector<std::pair<WPARAM, LPARAM>>;
    const WPARAM at = MAKEWPARAM(1200, 740);
    const struct {
        TrayClick click;
        UINT version;
        Calls calls;
    } cases[] = {
        {TrayClick::Left, 0, {{5, WM_LBUTTONDOWN}, {5, WM_LBUTTONUP}}},
        {TrayClick::Right, 0, {{5, WM_RBUTTONDOWN}, {5, WM_RBUTTONUP}}},
        {TrayClick::Double,
         0,
         {{5, WM_LBUTTONDOWN}, {5, WM_LBUTTONUP}, {5, WM_LBUTTONDBLCLK}, {5, WM_LBUTTONUP}}},
        {TrayClick::Move, 0, {{5, WM_MOUSEMOVE}}},
        {TrayClick::Left, NOTIFYICON_VERSION, {{5, WM_LBUTTONDOWN}, {5, WM_LBUTTONUP}, {5, NIN_SELECT}}},
        {TrayClick::Right, NOTIFYICON_VERSION, {{5, WM_RBUTTONDOWN}, {5, WM_RBUTTONUP}, {5, WM_CONTEXTMENU}}},
        {TrayClick::Right,
         NOTIFYICON_VERSION_4,
         {{at, MAKELPARAM(WM_RBUTTONDOWN, 5)},
          {at, MAKELPARAM(WM_RBUTTONUP, 5)},
          {at, MAKELPARAM(WM_CONTEXTMENU, 5)}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "click " << int(c.click) << " version " << c.version);
        SetUp();
        M().os.major = 6;
        ASSERT_TRUE(Notify(NIM_ADD, windows[0], 5));
        version = c.version;
        ASSERT_TRUE(Notify(NIM_SETVERSION, windows[0], 5));
        UserClicksTrayIcon(c.click);
        Sleep(500);
        EXPECT_TRUE(g_callbacks.empty());
        EXPECT_EQ(Delivered(), c.calls);
    }
    version = NOTIFYICON_VERSION_4;
    M().os.major = 5;
    EXPECT_FALSE(Notify(NIM_SETVERSION, windows[0], 5)); // XP knows versions 0 and 3 only
}

TEST_F(ShellTest, AnIconWhoseWindowIsGoneStaysUntilThePointerPassesOverIt) {
    UserClicksTrayIcon(TrayClick::Left);
    ASSERT_TRUE(Notify(NIM_ADD, windows[0], 1));
    ASSERT_TRUE(Notify(NIM_ADD, windows[1], 1));
    DestroyWindow(windows[0]);
    UserClicksTrayIcon(TrayClick::Left);
    EXPECT_EQ(M().tray.size(), 2u);
    UserClicksTrayIcon(TrayClick::Move);
    ASSERT_EQ(M().tray.size(), 1u);
    EXPECT_EQ(M().tray[0].hwnd, reinterpret_cast<uintptr_t>(windows[1]));
    EXPECT_TRUE(Delivered().empty()); // the window that is left was not under the pointer
    ASSERT_EQ(M().simNotes.size(), 3u);
    EXPECT_EQ(M().simNotes[0], "tray-click: no icon in the notification area");
    EXPECT_NE(M().simNotes[1].find("takes the click and stays"), Str::npos) << M().simNotes[1];
    EXPECT_NE(M().simNotes[2].find("disappears under the pointer"), Str::npos) << M().simNotes[2];
}

// Hidden windows and windows of other processes hear of the new taskbar; child controls do not.
TEST_F(ShellTest, ARestartEmptiesTheTrayAndTellsEveryTopLevelWindow) {
    Process* other = New<Process>();
    other->pid = 2000;
    M().processes.push_back(other);
    Window& foreign = NewWindowRecord("Other", "elsewhere", 0);
    foreign.pid = other->pid;
    Window& child = NewWindowRecord("Button", "OK", WS_CHILD | WS_VISIBLE);
    child.parent = reinterpret_cast<uintptr_t>(windows[0]);
    ASSERT_TRUE(Notify(NIM_ADD, windows[0], 1));
    RestartShell();
    EXPECT_TRUE(M().tray.empty());
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    std::vector<uintptr_t> told;
    for (const Process* p : M().processes) {
        for (const SentMessage& sent : p->sent) {
            EXPECT_EQ(sent.message, taskbarCreated);
            told.push_back(reinterpret_cast<uintptr_t>(sent.hwnd));
        }
    }
    std::vector<uintptr_t> expected = {reinterpret_cast<uintptr_t>(windows[0]),
                                       reinterpret_cast<uintptr_t>(windows[1]), foreign.handle};
    EXPECT_EQ(told, expected);
}
