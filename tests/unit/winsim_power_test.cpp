// Suspend and resume as WM_POWERBROADCAST tells them: the query of Windows 2000 and XP and its refusal, the
// suspend alone from Vista on, the two broadcasts of a user's wake, each step queued only once every window
// has handled the one before, Windows going on without the programs that keep it waiting, and a sleeping
// machine that runs no program.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "winsim_test_support.h"

#include <initializer_list>
#include <string>
#include <vector>

using namespace winsim;
using winsim_test::ScriptedEvents;

namespace {

// One WM_POWERBROADCAST as a window saw it: which window (0 or 1), the event, lParam and when.
struct Seen {
    int window;
    WPARAM event;
    LPARAM lParam;
    VirtualMs time;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> g_seen;
std::vector<size_t> g_queuedAtResume;
HWND g_windows[2];
LRESULT g_refusal = TRUE; // what window 1 answers to PBT_APMQUERYSUSPEND; window 0 always agrees

LRESULT CALLBACK PowerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_POWERBROADCAST)
        return 0;
    int index = hwnd == g_windows[0] ? 0 : 1;
    g_seen.push_back(Seen{index, wParam, lParam, M().now});
    if (wParam == PBT_APMRESUMEAUTOMATIC)
        g_queuedAtResume.push_back(CurrentProcess().sent.size());
    return wParam == PBT_APMQUERYSUSPEND && index == 1 ? g_refusal : TRUE;
}

std::string Describe(const std::vector<Seen>& seen) {
    std::string text;
    for (const Seen& s : seen)
        text += "w" + std::to_string(s.window) + ":" + std::to_string(s.event) + "/" +
                std::to_string(s.lParam) + "@" + std::to_string(s.time) + " ";
    return text;
}

std::vector<std::string> PowerLines() {
    return winsim_test::DumpLines("power ");
}

class PowerTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(5); }

    // A process with a visible window and a hidden one, both top-level.
    void Reset(DWORD major) {
        BeginTestProcess();
        M().os.major = major;
        g_seen.clear();
        g_refusal = TRUE;
        for (int i = 0; i < 2; ++i) {
            Window& w = NewWindowRecord("#32770", "KIVA 7300", i == 0 ? WS_VISIBLE : 0);
            w.proc = PowerProc;
            g_windows[i] = ToHwnd(w.handle);
        }
    }

    // Reads the queue once, as the program's loop does.
    static void ReadQueue() {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
};

constexpr WPARAM Q = PBT_APMQUERYSUSPEND, QF = PBT_APMQUERYSUSPENDFAILED, S = PBT_APMSUSPEND,
                 RA = PBT_APMRESUMEAUTOMATIC, RS = PBT_APMRESUMESUSPEND;

// What both windows see of these steps, in order: each step reaches window 0, then window 1.
struct Step {
    WPARAM event;
    LPARAM lParam;
    VirtualMs time;
};
std::vector<Seen> Both(std::initializer_list<Step> steps) {
    std::vector<Seen> seen;
    for (const Step& s : steps) {
        for (int window : {0, 1})
            seen.push_back(Seen{window, s.event, s.lParam, s.time});
    }
    return seen;
}

} // namespace

// The suspend at 1 s, the user's wake at 10 s. The program reads its queue once, at 2 s: everything it is
// told reaches it from inside that call, each step after both windows have handled the one before, and the
// call returns only once the machine is awake again.
TEST_F(PowerTest, EachVersionAnnouncesTheSuspendAsItDoesAndEachStepWaitsForEveryAnswer) {
    const struct {
        DWORD major;
        LRESULT refusal;
        std::vector<Seen> seen;
        std::vector<std::string> log;
    } cases[] = {
        {5,
         TRUE,
         Both({{Q, 1, 2000}, {S, 0, 2000}, {RA, 0, 10000}, {RS, 0, 10000}}),
         {"power 2000 suspend", "power 10000 resume"}},
        {5, BROADCAST_QUERY_DENY, Both({{Q, 1, 2000}, {QF, 0, 2000}}), {"power 2000 suspend-refused"}},
        {6,
         BROADCAST_QUERY_DENY, // Vista asks no one
         Both({{S, 0, 2000}, {RA, 0, 10000}, {RS, 0, 10000}}),
         {"power 2000 suspend", "power 10000 resume"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Windows " << c.major << " refusal " << c.refusal);
        Reset(c.major);
        g_refusal = c.refusal;
        ScriptedEvents events;
        events.At(1000, [] { MachineSuspends(); });
        events.At(10000, [] { MachineResumes(false); });
        Sleep(2000); // Sleep hands out nothing, and the next step waits for the answers
        EXPECT_TRUE(g_seen.empty()) << Describe(g_seen);
        EXPECT_EQ(CurrentProcess().sent.size(), 2u);
        ReadQueue();
        EXPECT_EQ(g_seen, c.seen) << Describe(g_seen);
        EXPECT_EQ(PowerLines(), c.log);
        Sleep(10000); // a resume of a machine that did not sleep sends nothing
        ReadQueue();
        EXPECT_EQ(g_seen.size(), c.seen.size()) << Describe(g_seen);
    }
}

// PBT_APMRESUMEAUTOMATIC comes at every wake; PBT_APMRESUMESUSPEND follows it only for a wake the user
// caused, queued once both windows have handled the automatic one.
TEST_F(PowerTest, AUsersWakeFollowsTheAutomaticResumeAndAnUnattendedOneDoesNot) {
    for (bool unattended : {false, true}) {
        SCOPED_TRACE(unattended ? "unattended" : "the user's wake");
        Reset(6);
        g_queuedAtResume.clear();
        ScriptedEvents events;
        events.At(1000, [] { MachineSuspends(); });
        events.At(10000, [unattended] { MachineResumes(unattended); });
        Sleep(1000);
        ReadQueue();
        EXPECT_EQ(GetTickCount(), 10000u);
        std::vector<Seen> expected = unattended ? Both({{S, 0, 1000}, {RA, 0, 10000}})
                                                : Both({{S, 0, 1000}, {RA, 0, 10000}, {RS, 0, 10000}});
        EXPECT_EQ(g_seen, expected) << Describe(g_seen);
        // What waited in the queue as each automatic resume was handled: the other window's, then nothing.
        EXPECT_EQ(g_queuedAtResume, (std::vector<size_t>{1, 0}));
        EXPECT_EQ(PowerLines(), (std::vector<std::string>{"power 1000 suspend", "power 10000 resume"}));
    }
}

// A program that sleeps through the query keeps nobody waiting: 20 s after the query Windows sends the
// suspend, 2 s later it sleeps, and the answers that come after that count for nothing.
TEST_F(PowerTest, WindowsGoesOnWithoutTheProgramsThatDoNotReadTheirQueues) {
    g_refusal = BROADCAST_QUERY_DENY;
    ScriptedEvents events;
    events.At(1000, [] { MachineSuspends(); });
    events.At(40000, [] { MachineResumes(false); });
    Sleep(30000); // from 0 to 30 s, while the machine sleeps from 23 s to 40 s
    EXPECT_EQ(GetTickCount(), 40000u);
    ReadQueue();
    EXPECT_EQ(g_seen, Both({{Q, 1, 40000}, {S, 0, 40000}, {RA, 0, 40000}, {RS, 0, 40000}}))
        << Describe(g_seen);
    EXPECT_EQ(PowerLines(), (std::vector<std::string>{"power 23000 suspend", "power 40000 resume"}));
    EXPECT_NE(M().simNotes.front().find("did not take the power broadcast"), Str::npos)
        << M().simNotes.front();
}
