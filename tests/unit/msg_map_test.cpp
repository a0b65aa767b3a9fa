// Message maps without a window: which entry takes a message, and what its handler gets.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/wnd.h"

namespace {

UINT g_nMsgProbe; // plays a registered message: its number is only known at run time

constexpr UINT WM_PROBE_PLAIN = WM_USER + 10;
constexpr UINT WM_PROBE_OVERRIDDEN = WM_USER + 11;
constexpr UINT ID_PROBE_ONE = 32771;
constexpr UINT ID_PROBE_FIRST = 39949;
constexpr UINT ID_PROBE_LAST = 39990;

class CProbeWnd : public CWnd {
public:
    std::vector<std::string> m_calls;

    LRESULT Route(UINT nMsg, WPARAM wParam, LPARAM lParam = 0) {
        LRESULT lResult = -12345;
        if (!OnWndMsg(nMsg, wParam, lParam, &lResult))
            m_calls.push_back("unhandled");
        return lResult;
    }

protected:
    LRESULT OnPlain(WPARAM wParam, LPARAM lParam) {
        m_calls.push_back("plain " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 77;
    }
    LRESULT OnOverridden(WPARAM, LPARAM) {
        m_calls.push_back("base overridden");
        return 1;
    }
    LRESULT OnProbe(WPARAM wParam, LPARAM) {
        m_calls.push_back("registered " + std::to_string(wParam));
        return 5;
    }
    void OnOne() { m_calls.push_back("one"); }
    void OnRange(UINT nID) { m_calls.push_back("range " + std::to_string(nID)); }
    void OnTimer(UINT_PTR nIDEvent) { m_calls.push_back("timer " + std::to_string(nIDEvent)); }
    BOOL OnDeviceChange(UINT nEvent, DWORD_PTR dwData) {
        m_calls.push_back("device " + std::to_string(nEvent) + " " + std::to_string(dwData));
        return TRUE;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
ON_MESSAGE(WM_PROBE_PLAIN, OnPlain)
ON_MESSAGE(WM_PROBE_OVERRIDDEN, OnOverridden)
ON_REGISTERED_MESSAGE(g_nMsgProbe, OnProbe)
ON_COMMAND(ID_PROBE_ONE, OnOne)
ON_COMMAND_RANGE(ID_PROBE_FIRST, ID_PROBE_LAST, OnRange)
ON_WM_TIMER()
ON_WM_DEVICECHANGE()
END_MESSAGE_MAP()

class CDerivedProbeWnd : public CProbeWnd {
protected:
    LRESULT OnDerivedOverridden(WPARAM, LPARAM) {
        m_calls.push_back("derived overridden");
        return 2;
    }
    void OnFirstOfRange() { m_calls.push_back("derived first"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbeWnd, CProbeWnd)
ON_MESSAGE(WM_PROBE_OVERRIDDEN, OnDerivedOverridden)
ON_COMMAND(ID_PROBE_FIRST, OnFirstOfRange)
END_MESSAGE_MAP()

class MessageMapTest : public ::testing::Test {
protected:
    void SetUp() override { g_nMsgProbe = 0; }
};

} // namespace

TEST_F(MessageMapTest, APlainEntryGetsBothParametersAndItsResultIsTheMessageResult) {
    CProbeWnd wnd;
    EXPECT_EQ(wnd.Route(WM_PROBE_PLAIN, 3, 4), 77);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"plain 3 4"}));
}

TEST_F(MessageMapTest, AMessageWithoutEntryIsLeftToTheCaller) {
    CProbeWnd wnd;
    EXPECT_EQ(wnd.Route(WM_PROBE_PLAIN + 100, 0), -12345);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"unhandled"}));
}

TEST_F(MessageMapTest, ARegisteredEntryFollowsTheNumberRegisteredAtRunTime) {
    CProbeWnd wnd;
    g_nMsgProbe = 0xC123;
    EXPECT_EQ(wnd.Route(0xC123, 9), 5);
    g_nMsgProbe = 0xC456; // another desktop, another number
    wnd.Route(0xC123, 1);
    wnd.Route(0xC456, 2);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"registered 9", "unhandled", "registered 2"}));
}

TEST_F(MessageMapTest, AFailedRegistrationDoesNotCatchWmNull) {
    CProbeWnd wnd;
    g_nMsgProbe = 0;
    wnd.Route(WM_NULL, 0);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"unhandled"}));
}

TEST_F(MessageMapTest, CommandsFromMenusAndAcceleratorsReachTheirEntryButNotificationsDoNot) {
    CProbeWnd wnd;
    wnd.Route(WM_COMMAND, MAKEWPARAM(ID_PROBE_ONE, 0));
    wnd.Route(WM_COMMAND, MAKEWPARAM(ID_PROBE_ONE, 1));
    wnd.Route(WM_COMMAND, MAKEWPARAM(ID_PROBE_ONE, 0x0300)); // an edit control's EN_CHANGE
    wnd.Route(ID_PROBE_ONE, 0);                              // the id alone is no command
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"one", "one", "unhandled", "unhandled"}));
}

TEST_F(MessageMapTest, ACommandRangeIncludesBothEndsAndPassesTheId) {
    CProbeWnd wnd;
    wnd.Route(WM_COMMAND, ID_PROBE_FIRST - 1);
    wnd.Route(WM_COMMAND, ID_PROBE_FIRST);
    wnd.Route(WM_COMMAND, 39950);
    wnd.Route(WM_COMMAND, ID_PROBE_LAST);
    wnd.Route(WM_COMMAND, ID_PROBE_LAST + 1);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"unhandled", "range 39949", "range 39950", "range 39990",
                                                     "unhandled"}));
}

TEST_F(MessageMapTest, TypedHandlersGetTheirParametersOutOfWParamAndLParam) {
    CProbeWnd wnd;
    wnd.Route(WM_TIMER, 3);
    EXPECT_EQ(wnd.Route(WM_DEVICECHANGE, 0x8004, 0x1234), TRUE);
    EXPECT_EQ(wnd.m_calls, (std::vector<std::string>{"timer 3", "device 32772 4660"}));
}

TEST_F(MessageMapTest, TheDerivedMapComesFirstAndTheBaseMapStillServesTheRest) {
    CDerivedProbeWnd wnd;
    EXPECT_EQ(wnd.Route(WM_PROBE_OVERRIDDEN, 0), 2);
    wnd.Route(WM_COMMAND, ID_PROBE_FIRST);     // the derived single id wins over the base range
    wnd.Route(WM_COMMAND, ID_PROBE_FIRST + 1); // the rest of the range is still the base's
    wnd.Route(WM_PROBE_PLAIN, 1, 2);
    EXPECT_EQ(wnd.m_calls,
              (std::vector<std::string>{"derived overridden", "derived first", "range 39950", "plain 1 2"}));
}

TEST(RuntimeClass, NamesTheMostDerivedClassAndKnowsItsBases) {
    CDialog dlg(102);
    const CObject& object = dlg;
    EXPECT_STREQ(object.GetRuntimeClassName(), "CDialog");
    EXPECT_TRUE(object.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_TRUE(object.IsKindOf(RUNTIME_CLASS(CObject)));
    CWnd wnd;
    EXPECT_STREQ(wnd.GetRuntimeClassName(), "CWnd");
    EXPECT_FALSE(wnd.IsKindOf(RUNTIME_CLASS(CDialog)));
}
