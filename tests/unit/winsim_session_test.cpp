// The end of the session as CSRSS carries it out: process by process in pid order, WM_QUERYENDSESSION to
// every top-level window of a process, then WM_ENDSESSION to the same windows; FALSE when a program outside
// the simulation or one of the windows refused, a refusal stopping the run; and a process that agreed ends
// at once, its code never running again, while the scenario goes on.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "winsim_test_support.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace winsim;
using winsim_test::ScriptedEvents;

namespace {

// Every WM_QUERYENDSESSION ("Q") and WM_ENDSESSION ("E<wParam>") with its lParam in hex, per window.
std::string g_seen;
uintptr_t g_refusing = 0; // the window that answers FALSE to the query

LRESULT CALLBACK SessionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    char text[64];
    if (message == WM_QUERYENDSESSION) {
        snprintf(text, sizeof text, "%llx:Q%llx ",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)),
                 static_cast<unsigned long long>(lParam));
        g_seen += text;
        return reinterpret_cast<uintptr_t>(hwnd) == g_refusing ? FALSE : TRUE;
    }
    if (message == WM_ENDSESSION) {
        snprintf(text, sizeof text, "%llx:E%d/%llx ",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)), static_cast<int>(wParam),
                 static_cast<unsigned long long>(lParam));
        g_seen += text;
    }
    return 0;
}

class SessionTest : public ::testing::Test {
protected:
    // Process A (the first) has a visible window and a hidden one, process B one hidden window.
    void SetUp() override {
        a = BeginTestProcess();
        g_seen.clear();
        g_refusing = 0;
        aWindows[0] = MakeWindow(WS_VISIBLE);
        aWindows[1] = MakeWindow(0);
        b = AddTestProcess();
        PlayTestProcess(b);
        bWindow = MakeWindow(0);
        PlayTestProcess(a);
    }

    static uintptr_t MakeWindow(DWORD style) {
        Window& w = NewWindowRecord("#32770", "KIVA 7300", style);
        w.proc = SessionProc;
        return w.handle;
    }

    // Process `pid` reads its queue once, as its loop does.
    static void ReadQueue(DWORD pid) {
        PlayTestProcess(pid);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }

    DWORD a = 0, b = 0;
    uintptr_t aWindows[2] = {}, bWindow = 0;
};

} // namespace

// Nothing ends here: each process reads its queue in turn, A first, then B. A's windows are 0x10010 (visible)
// and 0x10020 (hidden), B's is 0x10030.
TEST_F(SessionTest, TheSessionGoesOnWhenAnotherProgramOrAWindowRefuses) {
    ASSERT_EQ(std::vector<uintptr_t>({aWindows[0], aWindows[1], bWindow}),
              std::vector<uintptr_t>({0x10010, 0x10020, 0x10030}));
    const struct {
        const char* name;
        DWORD major;
        bool logoff, cancelled;
        int refusing; // the window of A that refuses: -1 none, 0 the visible one, 1 the hidden one
        const char* seen;
        const char* log;
    } cases[] = {
        {"a logoff another program refuses", 5, true, true, -1,
         "10010:Q80000000 10020:Q80000000 10010:E0/80000000 10020:E0/80000000 10030:Q80000000 "
         "10030:E0/80000000 ",
         "session 0 logoff cancelled"},
        {"a shutdown a hidden window refuses", 5, false, false, 1, "10010:Q0 10020:Q0 10010:E0/0 10020:E0/0 ",
         "session 0 shutdown refused-by 1000"},
        {"Vista lets a process with a visible window refuse", 6, false, false, 0,
         "10010:Q0 10020:Q0 10010:E0/0 10020:E0/0 ", "session 0 shutdown refused-by 1000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        M().os.major = c.major;
        g_refusing = c.refusing < 0 ? 0 : aWindows[c.refusing];
        SessionEnds(c.logoff, c.cancelled);
        EXPECT_EQ(FindProcess(a)->sent.size(), 2u);
        EXPECT_TRUE(FindProcess(b)->sent.empty()); // B is asked only once A has answered
        ReadQueue(a);
        ReadQueue(b);
        EXPECT_EQ(g_seen, c.seen);
        EXPECT_TRUE(FindProcess(a)->running && FindProcess(b)->running);
        EXPECT_EQ(winsim_test::DumpLines("session "), (std::vector<std::string>{c.log}));
        EXPECT_FALSE(M().sessionOver);
    }
}

// A process that agreed is ended as soon as its windows have handled WM_ENDSESSION(TRUE), from inside the
// call that delivered it: that call never returns (the code after it would exit with 7), the timeline goes
// on to its next event, and the next process is asked only then. On Vista a process whose windows are all
// hidden cannot refuse: it is ended at its answer, with no WM_ENDSESSION.
TEST_F(SessionTest, AProcessThatAgreedEndsInsideTheCallThatDeliveredWmEndSession) {
    const struct {
        const char* name;
        DWORD major;
        bool hideA;
        const char* reported; // what the event after the end writes to stderr
    } cases[] = {
        {"XP, A agrees", 5, false,
         "A Q80000000 E1 80000000 exit 0 windows 0 timers 0 B Q80000000 session logoff ended"},
        {"Vista, A refuses with no visible window", 6, true,
         "A Q80000000 exit 0 windows 0 timers 0 B Q80000000 session logoff ended"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto run = [&] {
            SetUp();
            M().os.major = c.major;
            if (c.hideA) {
                FindWindowRecord(aWindows[0])->visible = false;
                g_refusing = aWindows[0];
            }
            SetTimer(ToHwnd(aWindows[0]), 1, 60000, nullptr);
            ScriptedEvents events;
            events.At(1000, [] { SessionEnds(true, false); });
            events.At(5000, [this] {
                std::string a0 = g_seen; // what A's windows saw, before B reads its queue
                ReadQueue(b);
                const Process* pa = FindProcess(a);
                std::string report = "A";
                for (const char* token : {"Q80000000", "E1/80000000"}) {
                    if (a0.find(std::string(":") + token) != std::string::npos)
                        report += std::string(" ") + (token[0] == 'E' ? "E1 80000000" : token);
                }
                report += " exit " + std::to_string(pa->running ? 999 : pa->exitCode) + " windows " +
                          std::to_string(TopLevelWindows(a).size()) + " timers " +
                          std::to_string(pa->timers.size()) + " B" +
                          (g_seen.find("10030:Q80000000") != std::string::npos ? " Q80000000" : "");
                for (const std::string& line : winsim_test::DumpLines("session "))
                    report += " session" + line.substr(line.find(' ', 8));
                fprintf(stderr, "%s\n", report.c_str());
            });
            MSG msg;
            GetMessageA(&msg, nullptr, 0, 0);
            _exit(7);
        };
        EXPECT_EXIT(run(), ::testing::ExitedWithCode(5), c.reported);
    }
}
