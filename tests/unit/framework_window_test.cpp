// The framework's windows on the simulated system: dialogs from templates, the subclassed window
// procedure, default processing, the end of the main window and the message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/dialog.h"
#include "machine.h"
#include "resource.h"

extern const winsim::ResourceTable g_duodeskResources;

namespace {

constexpr UINT WM_PROBE_NESTED = WM_USER + 20;
constexpr UINT WM_PROBE_QUIT = WM_USER + 21;

class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(UINT nIDTemplate = IDD_DISPO_DIALOG) : CDialog(nIDTemplate) {}

    std::vector<UINT> m_prefiltered;
    std::vector<std::string> m_calls;
    HWND m_hWndAtInit = nullptr;
    bool m_bEndInInit = false;

    LRESULT PreFilterMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) override {
        m_prefiltered.push_back(nMsg);
        return CDialog::PreFilterMessage(nMsg, wParam, lParam);
    }

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_hWndAtInit = m_hWnd;
        m_calls.push_back("init");
        if (m_bEndInInit)
            PostMessage(WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    void OnCancel() override {
        m_calls.push_back("cancel");
        CDialog::OnCancel();
    }
    // A handler that sends to its own window and then leaves its own message to the default processing.
    LRESULT OnSetText(WPARAM, LPARAM) {
        SendMessageA(m_hWnd, WM_PROBE_NESTED, 0, 0);
        return Default();
    }
    LRESULT OnNested(WPARAM, LPARAM) {
        m_calls.push_back("nested");
        return 0;
    }
    LRESULT OnQuit(WPARAM wParam, LPARAM) {
        PostQuitMessage(static_cast<int>(wParam));
        return 0;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
ON_MESSAGE(WM_SETTEXT, OnSetText)
ON_MESSAGE(WM_PROBE_NESTED, OnNested)
ON_MESSAGE(WM_PROBE_QUIT, OnQuit)
END_MESSAGE_MAP()

class FrameworkWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::BeginTestProcess();
        winsim::M().program.resources = &g_duodeskResources;
    }
};

std::string TitleOf(HWND hWnd) {
    char szTitle[64] = {};
    GetWindowTextA(hWnd, szTitle, sizeof(szTitle));
    return szTitle;
}

} // namespace

TEST_F(FrameworkWindowTest, AModelessDialogIsBoundToItsObjectBeforeOnInitDialogRuns) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    EXPECT_NE(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_hWndAtInit, dlg.m_hWnd);
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init"}));
    dlg.DestroyWindow();
}

TEST_F(FrameworkWindowTest, AMissingTemplateMakesNoWindow) {
    CProbeDlg dlg(4711);
    EXPECT_FALSE(dlg.Create(nullptr));
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.RunModal(), -1);
    EXPECT_TRUE(dlg.m_calls.empty());
}

TEST_F(FrameworkWindowTest, EveryMessageAfterInitialisationPassesThePreFilterFirst) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.m_prefiltered.clear();
    SendMessageA(dlg.m_hWnd, WM_PROBE_NESTED, 0, 0);
    SendMessageA(dlg.m_hWnd, WM_USER + 99, 0, 0); // no entry: default processing
    EXPECT_EQ(dlg.m_prefiltered, (std::vector<UINT>{WM_PROBE_NESTED, WM_USER + 99}));
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "nested"}));
    dlg.DestroyWindow();
}

TEST_F(FrameworkWindowTest, DefaultAfterANestedMessageStillProcessesTheOuterOne) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    SendMessageA(dlg.m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("KIVA 7300"));
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "nested"}));
    EXPECT_EQ(TitleOf(dlg.m_hWnd), "KIVA 7300");
    dlg.DestroyWindow();
}

// The dialog manager posts the close box's Cancel command: OnCancel runs once the loop dispatches it.
TEST_F(FrameworkWindowTest, TheCloseBoxEndsTheDialogThroughOnCancel) {
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    SendMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init"}));
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    DispatchMessageA(&msg);
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "cancel"}));
    dlg.DestroyWindow();
}

TEST_F(FrameworkWindowTest, AModalDialogReturnsTheButtonThatEndedIt) {
    CProbeDlg dlg(IDD_WARNING);
    dlg.m_bEndInInit = true;
    EXPECT_EQ(dlg.RunModal(), IDOK);
    EXPECT_EQ(dlg.m_hWnd, nullptr); // the dialog manager destroyed it, and the object let go of it
}

TEST_F(FrameworkWindowTest, TheMessageLoopDispatchesUntilQuitAndReturnsItsCode) {
    CWinApp app("duodesk");
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    app.m_pMainWnd = &dlg;
    PostMessageA(dlg.m_hWnd, WM_PROBE_NESTED, 0, 0);
    PostMessageA(dlg.m_hWnd, WM_PROBE_QUIT, 42, 0);
    EXPECT_EQ(app.RunMessageLoop(), 42);
    EXPECT_EQ(app.ExitInstance(), 42);
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "nested"}));
    app.m_pMainWnd = nullptr;
    dlg.DestroyWindow();
}

// The main window is a dialog: the loop hands its keys to the dialog manager, which makes Escape Cancel.
TEST_F(FrameworkWindowTest, TheMessageLoopGivesTheMainWindowsKeysToTheDialogManager) {
    CWinApp app("duodesk");
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    app.m_pMainWnd = &dlg;
    PostMessageA(dlg.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(dlg.m_hWnd, WM_PROBE_QUIT, 3, 0);
    app.RunMessageLoop();
    EXPECT_EQ(dlg.m_calls, (std::vector<std::string>{"init", "cancel"}));
    app.m_pMainWnd = nullptr;
    dlg.DestroyWindow();
}

TEST_F(FrameworkWindowTest, DestroyingTheMainWindowEndsTheMessageLoop) {
    CWinApp app("duodesk");
    CProbeDlg dlg;
    ASSERT_TRUE(dlg.Create(nullptr));
    app.m_pMainWnd = &dlg;
    HWND hWnd = dlg.m_hWnd;
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(app.RunMessageLoop(), 0);
}

TEST_F(FrameworkWindowTest, DestroyingAnotherWindowLeavesTheLoopRunning) {
    CWinApp app("duodesk");
    CProbeDlg mainDlg;
    CProbeDlg otherDlg;
    ASSERT_TRUE(mainDlg.Create(nullptr));
    ASSERT_TRUE(otherDlg.Create(nullptr));
    app.m_pMainWnd = &mainDlg;
    otherDlg.DestroyWindow();
    PostMessageA(mainDlg.m_hWnd, WM_PROBE_QUIT, 7, 0);
    EXPECT_EQ(app.RunMessageLoop(), 7); // the first WM_QUIT is the posted one
    EXPECT_EQ(app.m_pMainWnd, &mainDlg);
    app.m_pMainWnd = nullptr;
}

TEST_F(FrameworkWindowTest, TheApplicationObjectIsReachableWhileItLives) {
    {
        CWinApp app("duodesk");
        EXPECT_EQ(FwGetApp(), &app);
    }
    EXPECT_EQ(FwGetApp(), nullptr);
}
