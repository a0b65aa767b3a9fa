// Dialogs as the dialog manager runs them: the keyboard interface, the close box and the buttons, and the
// modal loop that keeps the disabled owner alive until the handler that ended the dialog has returned.
#include <windows.h>

#include <gtest/gtest.h>

#include "machine.h"
#include "resource.h"
#include "winsim_test_support.h"

#include <string>
#include <utility>
#include <vector>

extern const winsim::ResourceTable g_duodeskResources;

using namespace winsim;
using winsim_test::CapturedOutput;
using winsim_test::ScriptedEvents;

namespace {

using Commands = std::vector<std::pair<WPARAM, LPARAM>>;
Commands g_commands;
bool g_endOnCommand = false;
std::vector<std::string> g_ownerSaw;

INT_PTR CALLBACK RecordingDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    g_commands.emplace_back(wParam, lParam);
    if (g_endOnCommand) {
        EndDialog(hDlg, LOWORD(wParam));
        // The dialog lives on until this handler has returned.
        EXPECT_TRUE(IsWindow(hDlg));
    }
    return TRUE;
}

LRESULT CALLBACK OwnerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_TIMER || message == WM_USER || message == WM_APP)
        g_ownerSaw.push_back(std::to_string(message) + (IsWindowEnabled(hWnd) ? " enabled" : " disabled"));
    if (message == WM_APP && wParam)
        EndDialog(reinterpret_cast<HWND>(wParam), 7);
    return 0;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        BeginTestProcess();
        M().program.resources = &g_duodeskResources;
        g_commands.clear();
        g_ownerSaw.clear();
        g_endOnCommand = false;
        Window& w = NewWindowRecord("#32770", "KIVA 7300", 0);
        w.proc = OwnerProc;
        owner = ToHwnd(w.handle);
    }

    HWND owner = nullptr;
};

LPARAM Param(HWND hwnd) {
    return reinterpret_cast<LPARAM>(hwnd);
}

} // namespace

// What IsDialogMessageA does with one message, and whether the command came at once (sent) or waits in
// the queue (posted).
TEST_F(DialogTest, EscapeAndEnterSendTheirCommandTheCloseBoxPostsCancelAndAButtonClickSendsBnClicked) {
    enum Target { Dialog, Ok, Cancel, Owner };
    enum Setup { AsBuilt, OkDisabled, CancelDisabled, NoDefaultButton };
    const struct {
        const char* what;
        Setup setup;
        Target target;
        UINT message;
        WPARAM wParam;
        BOOL handled;
        bool sent;      // a command reached the dialog procedure inside the call
        UINT id;        // its id (the low word), IDCANCEL or IDOK
        Target control; // its lParam
    } cases[] = {
        {"Escape", AsBuilt, Dialog, WM_KEYDOWN, VK_ESCAPE, TRUE, true, IDCANCEL, Cancel},
        {"Escape on a control", AsBuilt, Ok, WM_KEYDOWN, VK_ESCAPE, TRUE, true, IDCANCEL, Cancel},
        {"Enter: the default button", AsBuilt, Dialog, WM_KEYDOWN, VK_RETURN, TRUE, true, IDOK, Ok},
        {"Enter: a disabled default button", OkDisabled, Dialog, WM_KEYDOWN, VK_RETURN, TRUE, false, 0,
         Dialog},
        {"Enter: no default button", NoDefaultButton, Dialog, WM_KEYDOWN, VK_RETURN, TRUE, true, IDOK, Ok},
        {"the close box", AsBuilt, Dialog, WM_SYSCOMMAND, SC_CLOSE, TRUE, false, IDCANCEL, Cancel},
        {"the close box, Cancel disabled", CancelDisabled, Dialog, WM_SYSCOMMAND, SC_CLOSE, TRUE, false, 0,
         Dialog},
        {"a click on OK", AsBuilt, Ok, WM_LBUTTONUP, 0, TRUE, true, IDOK, Ok},
        {"a click on a disabled OK", OkDisabled, Ok, WM_LBUTTONUP, 0, TRUE, false, 0, Dialog},
        {"a message for another window", AsBuilt, Owner, WM_KEYDOWN, VK_ESCAPE, FALSE, false, 0, Dialog},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0);
        ASSERT_NE(dlg, nullptr);
        HWND windows[] = {dlg, GetDlgItem(dlg, IDOK), GetDlgItem(dlg, IDCANCEL), owner};
        if (c.setup == OkDisabled)
            EnableWindow(windows[Ok], FALSE);
        if (c.setup == CancelDisabled)
            EnableWindow(windows[Cancel], FALSE);
        if (c.setup == NoDefaultButton)
            SetWindowLongPtrA(windows[Ok], GWL_STYLE, BS_PUSHBUTTON | WS_CHILD | WS_VISIBLE);
        MSG msg{windows[c.target], c.message, c.wParam, 0, 0, {}};
        EXPECT_EQ(IsDialogMessageA(dlg, &msg), c.handled);
        Commands expectedSent, expectedPosted;
        // Enter on a button and a button's click carry BN_CLICKED in the high word, which is 0 as well.
        std::pair<WPARAM, LPARAM> command{MAKEWPARAM(c.id, BN_CLICKED), Param(windows[c.control])};
        if (c.id)
            (c.sent ? expectedSent : expectedPosted).push_back(command);
        EXPECT_EQ(g_commands, expectedSent);
        Commands posted;
        for (const PostedMessage& m : CurrentProcess().posted) {
            if (m.message == WM_COMMAND)
                posted.emplace_back(m.wParam, m.lParam);
        }
        EXPECT_EQ(posted, expectedPosted);
    }
}

// Each press ends the dialog from the dialog procedure's WM_COMMAND handler.
TEST_F(DialogTest, TheModalLoopRunsTheDisabledOwnerAndEndsOnThePressedButton) {
    const struct {
        DialogPress press;
        INT_PTR result;
    } cases[] = {
        {DialogPress::Ok, IDOK},
        {DialogPress::Cancel, IDCANCEL},
        {DialogPress::Escape, IDCANCEL},
        {DialogPress::Close, IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.press));
        SetUp();
        g_endOnCommand = true;
        CapturedOutput output;
        ScriptedEvents events;
        SetTimer(owner, 1, 1000, nullptr);
        events.At(1500, [this] {
            PostMessageA(owner, WM_USER, 0, 0);
            QueueSentValue(CurrentProcess().pid, owner, WM_APP, 0, 0);
        });
        std::vector<std::string> controls;
        events.At(2000, [&] {
            HWND dlg = FindWindowA(nullptr, "VGA Adapter Utility");
            SetDlgItemTextA(dlg, IDC_COUNTDOWN, "14");
            controls = winsim_test::DumpLines("control");
            UserPressesDialog(c.press);
        });
        EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0),
                  c.result);
        EXPECT_TRUE(IsWindowEnabled(owner));
        KillTimer(owner, 1);
        EXPECT_EQ(g_ownerSaw, (std::vector<std::string>{"275 disabled", "32768 disabled", "1024 disabled"}));
        EXPECT_EQ(CapturedOutput::Lines(),
                  (std::vector<std::string>{"dialog 0 1000 open 130 \"VGA Adapter Utility\"",
                                            "dialog 2000 1000 end 130 result " + std::to_string(c.result)}));
        ASSERT_EQ(controls.size(), 7u);
        EXPECT_NE(controls[3].find("id 1000 class \"Static\" text \"14\""), std::string::npos) << controls[3];
    }
}

TEST_F(DialogTest, AQuitAnEndFromASentMessageAndAnOwnerDisabledBeforeAreEachKept) {
    UserPressesDialog(DialogPress::Ok);
    EXPECT_EQ(M().simNotes.back(), "dialog press: no modal dialog is open");

    ScriptedEvents events;
    events.At(100, [] { PostQuitMessage(4); });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0), 0);
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)); // the quit message is there again for the caller
    EXPECT_EQ(msg.wParam, 4u);

    // The owner ends the dialog while it handles a sent message: the loop wakes and ends.
    EnableWindow(owner, FALSE);
    events.At(200, [this] {
        QueueSentValue(CurrentProcess().pid, owner, WM_APP,
                       reinterpret_cast<WPARAM>(FindWindowA(nullptr, "VGA Adapter Utility")), 0);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0), 7);
    EXPECT_FALSE(IsWindowEnabled(owner)); // the dialog did not disable it, so it does not enable it
    EXPECT_EQ(M().now, 200u);
}
