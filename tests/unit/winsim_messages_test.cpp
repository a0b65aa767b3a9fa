// The message loop rules the program relies on: what GetMessageA hands out first, how timers fire on the
// virtual clock, and that Sleep moves time without pumping.
#include <windows.h>
#include <dbt.h>

#include <gtest/gtest.h>

#include "machine.h"

#include <vector>

using namespace winsim;

namespace {

std::vector<UINT> g_seen;

LRESULT CALLBACK RecordingProc(HWND, UINT message, WPARAM, LPARAM) {
    g_seen.push_back(message);
    return 0;
}

HWND MakeWindow(const char* title = "test") {
    Window& w = NewWindowRecord("TestClass", title, 0);
    w.proc = RecordingProc;
    return ToHwnd(w.handle);
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        g_seen.clear();
    }
};

} // namespace

TEST_F(MessagesTest, PostedMessagesComeBeforeQuitAndQuitBeforeDueTimers) {
    HWND hwnd = MakeWindow();
    SetTimer(hwnd, 1, 100, nullptr);
    Sleep(100);
    PostQuitMessage(7);
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_USER + 1));
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
}

TEST_F(MessagesTest, TimersFireByDueTimeThenBySettingOrderOnTheVirtualClock) {
    HWND hwnd = MakeWindow();
    SetTimer(hwnd, 3, 2000, nullptr);
    SetTimer(hwnd, 2, 1000, nullptr);
    SetTimer(hwnd, 1, 1000, nullptr);
    MSG msg;
    std::vector<UINT_PTR> order;
    std::vector<VirtualMs> times;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
        ASSERT_EQ(msg.message, UINT(WM_TIMER));
        order.push_back(msg.wParam);
        times.push_back(M().now);
        KillTimer(hwnd, msg.wParam);
    }
    EXPECT_EQ(order, (std::vector<UINT_PTR>{2, 1, 3}));
    EXPECT_EQ(times, (std::vector<VirtualMs>{1000, 1000, 2000}));
}

TEST_F(MessagesTest, SettingATimerAgainReplacesItAndKillingAMissingTimerFails) {
    HWND hwnd = MakeWindow();
    SetTimer(hwnd, 1, 5000, nullptr);
    SetTimer(hwnd, 1, 300, nullptr);
    EXPECT_EQ(CurrentProcess().timers.size(), 1u);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(M().now, 300u);
    EXPECT_TRUE(KillTimer(hwnd, 1));
    EXPECT_FALSE(KillTimer(hwnd, 1));
}

TEST_F(MessagesTest, SleepMovesTheClockWithoutDeliveringSentMessages) {
    HWND hwnd = MakeWindow();
    DEV_BROADCAST_HDR record{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_HANDLE, 0};
    QueueSentMessage(CurrentProcess().pid, hwnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, &record,
                     sizeof record);
    PostMessageA(hwnd, WM_USER, 0, 0);
    Sleep(2000);
    EXPECT_EQ(M().now, 2000u);
    EXPECT_TRUE(g_seen.empty());
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    // The sent notification reached the window procedure inside GetMessageA, before the posted message.
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_DEVICECHANGE}));
    EXPECT_EQ(msg.message, UINT(WM_USER));
}

TEST_F(MessagesTest, RegisteredMessagesShareOneNumberPerNameAcrossCase) {
    UINT first = RegisterWindowMessageA("TurnOff");
    EXPECT_GE(first, 0xC000u);
    EXPECT_EQ(RegisterWindowMessageA("TURNOFF"), first);
    EXPECT_NE(RegisterWindowMessageA("SISRotation"), first);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST_F(MessagesTest, FindWindowMatchesTopLevelTitlesOnly) {
    HWND main = MakeWindow("KIVA 7300");
    Window& child = NewWindowRecord("Static", "KIVA 7304", WS_CHILD);
    child.parent = reinterpret_cast<uintptr_t>(main);
    EXPECT_EQ(FindWindowA(nullptr, "kiva 7300"), main);
    EXPECT_EQ(FindWindowA(nullptr, "KIVA 7304"), nullptr);
    DestroyWindow(main);
    EXPECT_EQ(FindWindowA(nullptr, "KIVA 7300"), nullptr);
    EXPECT_FALSE(PostMessageA(main, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MessagesTest, ANamedMutexReportsThatItExistsUntilItsLastHandleCloses) {
    HANDLE first = CreateMutexA(nullptr, TRUE, "KIVA 7300");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    HANDLE second = CreateMutexA(nullptr, TRUE, "KIVA 7300");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    CreateMutexA(nullptr, TRUE, "kiva 7300"); // kernel object names are case-sensitive
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    CloseHandle(first);
    CloseHandle(second);
    CreateMutexA(nullptr, TRUE, "KIVA 7300");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(uintptr_t(0x9999))));
}

TEST_F(MessagesTest, EveryWakeUpIsCountedAsATimerAMessageOrASleep) {
    HWND hwnd = MakeWindow();
    Process& p = CurrentProcess();
    SetTimer(hwnd, 1, 100, nullptr);
    DEV_BROADCAST_HDR record{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_HANDLE, 0};
    QueueSentMessage(p.pid, hwnd, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, &record, sizeof record);
    PostMessageA(hwnd, WM_USER, 0, 0);
    // A message a window sends to its own process is a call, and a look that leaves the message where it
    // is delivers nothing.
    SendMessageA(hwnd, WM_USER + 1, 0, 0);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(p.messagesDelivered, 1u); // the sent notification, handed over by the look
    Sleep(100);
    Sleep(0);
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_USER));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_TIMER));
    KillTimer(hwnd, 1);
    PostQuitMessage(0);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(p.timersFired, 1u);
    EXPECT_EQ(p.messagesDelivered, 3u);
    EXPECT_EQ(p.sleeps, 2u);
}

TEST_F(MessagesTest, AWindowOfARegisteredClassHearsOfItsCreationAndRefusingItUndoesIt) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recorder";
    EXPECT_NE(RegisterClassA(&wc), 0);
    wc.lpszClassName = "RECORDER";
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(CreateWindowExA(0, "Other", "x", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));

    // RecordingProc answers 0 to WM_NCCREATE: the window is refused.
    EXPECT_EQ(CreateWindowExA(0, "recorder", "refused", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_NCCREATE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(FindWindowA(nullptr, "refused"), nullptr);

    g_seen.clear();
    wc.lpszClassName = "Plain";
    wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        g_seen.push_back(message);
        return DefWindowProcA(hwnd, message, wParam, lParam);
    };
    EXPECT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "Plain", "Mini Tray", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(g_seen, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(FindWindowA("plain", "Mini Tray"), hwnd);
    EXPECT_FALSE(IsWindowVisible(hwnd));
}
