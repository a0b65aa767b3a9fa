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

using Calls = std::vector<std::pair<WPARAM, LPARAM>>;
Calls g_callbacks;
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

    BOOL Notify(DWORD message, HWND hwnd, UINT id, const char* tip = "tip",
                DWORD size = sizeof(NOTIFYICONDATAA), UINT flags = NIF_MESSAGE | NIF_TIP, UINT version = 0) {
        NOTIFYICONDATAA data{};
        data.cbSize = size;
        data.hWnd = hwnd;
        data.uID = id;
        data.uFlags = flags;
        data.uCallbackMessage = kCallback;
        snprintf(data.szTip, sizeof data.szTip, "%s", tip);
        data.uVersion = version;
        return Shell_NotifyIconA(message, &data);
    }

    HWND windows[2] = {};
};

} // namespace

// Each row acts on the tray the rows before it left. The record sizes are the platform's own: 88, 488 and
// 504 bytes on 32-bit Windows, 104, 504 and 520 on this 64-bit simulator.
TEST_F(ShellTest, OneIconPerWindowAndIdWithTheMembersTheCallersRecordHolds) {
    ASSERT_EQ(size_t(NOTIFYICONDATAA_V2_SIZE), sizeof(void*) == 8 ? 504u : 488u);
    const std::string tip(127, 't');
    HWND a = windows[0], b = windows[1];
    const struct {
        DWORD message;
        HWND hwnd;
        UINT id;
        DWORD size;
        BOOL result;
        size_t tipChars; // of the icon (a, 1) afterwards
    } steps[] = {
        {NIM_ADD, a, 1, NOTIFYICONDATAA_V1_SIZE, TRUE, 63},
        {NIM_ADD, a, 1, sizeof(NOTIFYICONDATAA), FALSE, 63}, // a duplicate leaves the icon as it was
        {NIM_MODIFY, a, 1, NOTIFYICONDATAA_V2_SIZE, TRUE, 127},
        {NIM_MODIFY, a, 1, 200, TRUE, 63}, // an unknown size is read as the first layout
        {NIM_ADD, b, 1, NOTIFYICONDATAA_V3_SIZE, TRUE, 63},
        {NIM_MODIFY, a, 2, sizeof(NOTIFYICONDATAA), FALSE, 63},
        {NIM_DELETE, b, 1, 3, TRUE, 63},
        {NIM_DELETE, b, 1, sizeof(NOTIFYICONDATAA), FALSE, 63},
        {NIM_SETVERSION, b, 1, sizeof(NOTIFYICONDATAA), FALSE, 63},
    };
    int row = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        EXPECT_EQ(Notify(s.message, s.hwnd, s.id, tip.c_str(), s.size), s.result);
        ASSERT_EQ(M().tray.front().tip.size(), s.tipChars);
    }
    ASSERT_TRUE(Notify(NIM_MODIFY, a, 1, "not read", sizeof(NOTIFYICONDATAA), NIF_ICON));
    EXPECT_EQ(M().tray.size(), 1u);
    EXPECT_EQ(M().tray[0].tip.size(), 63u); // NIF_TIP was not set
    EXPECT_EQ(M().tray[0].flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
}

// Callbacks wait as sent messages: not delivered during Sleep, delivered when the owner reads its queue.
TEST_F(ShellTest, ClicksReachTheOwnerAsTheMouseMessagesOfTheClickInOrder) {
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
        ASSERT_TRUE(Notify(NIM_SETVERSION, windows[0], 5, "", sizeof(NOTIFYICONDATAA), 0, c.version));
        UserClicksTrayIcon(c.click);
        Sleep(500);
        EXPECT_TRUE(g_callbacks.empty());
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        EXPECT_EQ(g_callbacks, c.calls);
    }
}

// An icon whose window is gone stays until the pointer passes over it; a restart empties the tray and tells
// every top-level window, hidden ones and those of other processes too, but no child control.
TEST_F(ShellTest, APhantomIconGoesUnderThePointerAndARestartTellsEveryTopLevelWindow) {
    ASSERT_TRUE(Notify(NIM_ADD, windows[0], 1));
    DestroyWindow(windows[0]);
    UserClicksTrayIcon(TrayClick::Left);
    EXPECT_EQ(M().tray.size(), 1u);
    UserClicksTrayIcon(TrayClick::Move);
    EXPECT_TRUE(M().tray.empty());
    EXPECT_NE(M().simNotes.back().find("disappears under the pointer"), Str::npos) << M().simNotes.back();

    Process* other = New<Process>();
    other->pid = 2000;
    M().processes.push_back(other);
    Window& foreign = NewWindowRecord("Other", "elsewhere", 0);
    foreign.pid = other->pid;
    NewWindowRecord("Button", "OK", WS_CHILD).parent = reinterpret_cast<uintptr_t>(windows[1]);
    ASSERT_TRUE(Notify(NIM_ADD, windows[1], 1));
    RestartShell();
    EXPECT_TRUE(M().tray.empty());
    std::vector<std::pair<uintptr_t, UINT>> told;
    for (const Process* p : M().processes) {
        for (const SentMessage& sent : p->sent)
            told.emplace_back(reinterpret_cast<uintptr_t>(sent.hwnd), sent.message);
    }
    UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    EXPECT_EQ(told, (std::vector<std::pair<uintptr_t, UINT>>{
                        {reinterpret_cast<uintptr_t>(windows[1]), taskbarCreated},
                        {foreign.handle, taskbarCreated}}));
}
