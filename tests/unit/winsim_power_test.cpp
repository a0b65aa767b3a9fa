// Suspend and resume as WM_POWERBROADCAST tells them: the query of Windows 2000 and XP and its refusal, the
// suspend alone from Vista on, the two broadcasts of a user's wake, each step queued only once every window
// has handled the one before, Windows going on without the programs that keep it waiting, a sleeping
// machine that runs no program, and the adapter across a sleep.
#include <windows.h>
#include <dbt.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "scenario.h"
#include "winsim_test_support.h"

#include <functional>
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

namespace {

constexpr DWORD kDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr DWORD kMirDevReady = CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS);
const GUID kUsbClass = {0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// Every WM_DEVICECHANGE and WM_POWERBROADCAST the window handles, as "device:<event>" and "power:<event>".
std::vector<std::string> g_heard;

LRESULT CALLBACK AdapterOwnerProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_DEVICECHANGE || message == WM_POWERBROADCAST)
        g_heard.push_back((message == WM_DEVICECHANGE ? "device:" : "power:") + std::to_string(wParam));
    return TRUE;
}

class AdapterSleepTest : public ::testing::Test {
protected:
    // Vista, one display and the plugged adapter with `options`; the program's window is registered for
    // the USB interface class and for its handle on the adapter.
    void Load(const std::string& options) {
        BeginTestProcess();
        g_heard.clear();
        std::vector<ScenarioEvent> timeline;
        ScenarioError error;
        ASSERT_TRUE(LoadScenario("os 6.1\ndisplay A primary modes 1280x1024x32\nadapter plugged modes "
                                 "1024x768x32 " +
                                     options + "\n",
                                 timeline, error))
            << error.message;
        Window& w = NewWindowRecord("#32770", "KIVA 7300", 0);
        w.proc = AdapterOwnerProc;
        device = Open();
        DEV_BROADCAST_DEVICEINTERFACE_A classFilter{
            sizeof classFilter, DBT_DEVTYP_DEVICEINTERFACE, 0, kUsbClass, {}};
        DEV_BROADCAST_HANDLE handleFilter{
            sizeof handleFilter, DBT_DEVTYP_HANDLE, 0, device, nullptr, {}, 0, {}};
        for (void* filter : {static_cast<void*>(&classFilter), static_cast<void*>(&handleFilter)})
            ASSERT_NE(RegisterDeviceNotificationA(ToHwnd(w.handle), filter, DEVICE_NOTIFY_WINDOW_HANDLE),
                      nullptr);
    }

    static HANDLE Open() {
        const Str& path = M().usb[M().adapter.interfaceIndex].path;
        return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }

    // The polls' answers, "" for a failed request.
    static std::string Polls(HANDLE handle, DWORD code, int count) {
        std::string answers;
        for (int i = 0; i < count; ++i) {
            DWORD word = 7;
            answers += DeviceIoControl(handle, code, nullptr, 0, &word, sizeof word, nullptr, nullptr)
                           ? std::to_string(word)
                           : "-";
        }
        return answers;
    }

    // The machine sleeps from 1 s to 10 s; the program reads its queue at 1 s and comes back at 10 s.
    static void SleepAndWake() {
        ScriptedEvents events;
        events.At(1000, [] { MachineSuspends(); });
        events.At(10000, [] { MachineResumes(false); });
        Sleep(1000);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }

    HANDLE device = nullptr;
};

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items)
        text += item + " ";
    return text;
}

} // namespace

// By default the adapter stays through the sleep with its driver as it was. Re-enumerated, it goes and
// comes back before the power broadcasts, the handle opened before stays dead, and with resume-not-ready
// the driver owes each readiness poll its count of 0 answers.
TEST_F(AdapterSleepTest, TheAdapterStaysThroughASleepOrIsFoundAgainAndTakesItsTimeToBeReady) {
    const std::string query = "device:" + std::to_string(DBT_DEVICEQUERYREMOVE),
                      removed = "device:" + std::to_string(DBT_DEVICEREMOVECOMPLETE),
                      arrived = "device:" + std::to_string(DBT_DEVICEARRIVAL);
    const struct {
        const char* options;
        std::vector<std::string> heard;
        const char* oldHandlePolls;
        const char* newHandlePolls; // IOCTL_DEV_READY three times, then IOCTL_MIR_DEV_READY three times
        const char* counters;       // what the dump's adapter line ends with
    } cases[] = {
        {"", {"power:4", "power:18", "power:7"}, "1", "111111", "not-ready-left 0 mirror-not-ready-left 0"},
        {"resume-reenumerates resume-not-ready 2",
         {"power:4", query, removed, removed, arrived, "power:18", "power:7"},
         "-",
         "001001",
         "not-ready-left 0 mirror-not-ready-left 0"},
        {"resume-not-ready 4",
         {"power:4", "power:18", "power:7"},
         "0",
         "000000",
         "not-ready-left 0 mirror-not-ready-left 1 attach-refusals-left 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        Load(c.options);
        SleepAndWake();
        EXPECT_EQ(g_heard, c.heard) << Joined(g_heard);
        EXPECT_EQ(Polls(device, kDevReady, 1), c.oldHandlePolls);
        HANDLE again = Open();
        EXPECT_EQ(Polls(again, kDevReady, 3) + Polls(again, kMirDevReady, 3), c.newHandlePolls);
        ASSERT_EQ(winsim_test::DumpLines("adapter ").size(), 1u);
        EXPECT_NE(winsim_test::DumpLines("adapter ")[0].find(c.counters), std::string::npos)
            << winsim_test::DumpLines("adapter ")[0];
    }
}

// After each resume the first N changes that would put the adapter's display on the desktop fail and leave
// it off: a staged change and a one-call change each count, and so does an apply that would attach it
// because the program set its switch. A test, an apply with nothing to attach and a change of the display
// before the sleep do not.
TEST_F(AdapterSleepTest, AfterAResumeTheAdaptersDisplayRefusesItsFirstAttaches) {
    Load("attach-refuses 3");
    M().os.major = 5; // the switch is the program's to write
    DisplayDevice* adapter = &M().displays[1];
    const std::string name = adapter->name.c_str();
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_POSITION | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = 1024;
    mode.dmPelsHeight = 768;
    mode.dmPosition.x = 1280;
    DEVMODEA off = mode;
    off.dmPelsWidth = off.dmPelsHeight = 0;
    ASSERT_EQ(ChangeDisplaySettingsExA(name.c_str(), &mode, nullptr, CDS_UPDATEREGISTRY, nullptr),
              DISP_CHANGE_SUCCESSFUL);
    ASSERT_EQ(ChangeDisplaySettingsExA(name.c_str(), &off, nullptr, CDS_UPDATEREGISTRY, nullptr),
              DISP_CHANGE_SUCCESSFUL);
    SleepAndWake();
    adapter = &M().displays[1];
    const struct {
        const char* call;
        std::function<LONG()> make;
        LONG result;
        int refusalsLeft;
    } steps[] = {
        {"staged",
         [&] {
             return ChangeDisplaySettingsExA(name.c_str(), &mode, nullptr, CDS_UPDATEREGISTRY | CDS_NORESET,
                                             nullptr);
         },
         DISP_CHANGE_FAILED, 2},
        {"test", [&] { return ChangeDisplaySettingsExA(name.c_str(), &mode, nullptr, CDS_TEST, nullptr); },
         DISP_CHANGE_SUCCESSFUL, 2},
        {"apply with nothing staged",
         [] { return ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr); },
         DISP_CHANGE_SUCCESSFUL, 2},
        {"apply of the switch the program set",
         [&] {
             SetDwordValue(CreateKey(M().hklm, AttachSwitchPath(*adapter).c_str()), "Attach.ToDesktop", 1);
             return ChangeDisplaySettingsExA(nullptr, nullptr, nullptr, 0, nullptr);
         },
         DISP_CHANGE_FAILED, 1},
        {"one call",
         [&] { return ChangeDisplaySettingsExA(name.c_str(), &mode, nullptr, CDS_UPDATEREGISTRY, nullptr); },
         DISP_CHANGE_FAILED, 0},
        {"one call again",
         [&] { return ChangeDisplaySettingsExA(name.c_str(), &mode, nullptr, CDS_UPDATEREGISTRY, nullptr); },
         DISP_CHANGE_SUCCESSFUL, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.call);
        bool last = &s == &steps[std::size(steps) - 1];
        EXPECT_EQ(s.make(), s.result);
        EXPECT_EQ(M().adapter.attachRefusalsLeft, s.refusalsLeft);
        EXPECT_EQ(adapter->current.attached, last);
    }
}
