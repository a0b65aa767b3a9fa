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

namespace {

using Commands = std::vector<std::pair<WPARAM, LPARAM>>;
Commands g_commands;
std::vector<std::string> g_ownerSaw;

// Every command ends the dialog with its id; the dialog lives on until this handler has returned.
INT_PTR CALLBACK RecordingDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND)
        return message == WM_INITDIALOG;
    g_commands.emplace_back(wParam, lParam);
    EndDialog(hDlg, LOWORD(wParam));
    EXPECT_TRUE(IsWindow(hDlg));
    return TRUE;
}

// WM_APP with a dialog in wParam ends that dialog from inside a sent message.
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
        Window& w = NewWindowRecord("#32770", "KIVA 7300", 0);
        w.proc = OwnerProc;
        owner = ToHwnd(w.handle);
    }

    INT_PTR RunModal() {
        return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0);
    }

    HWND owner = nullptr;
};

HWND Dialog() {
    return FindWindowA(nullptr, "VGA Adapter Utility");
}

} // namespace

// What IsDialogMessageA does with one message, and whether the command came at once (sent) or waits in
// the queue (posted).
TEST_F(DialogTest, EscapeAndEnterSendTheirCommandTheCloseBoxPostsCancelAndAButtonClickSendsBnClicked) {
    enum Target { Dlg, Ok, Cancel, Owner };
    enum Setup { AsBuilt, OkDisabled, CancelDisabled, NoDefaultButton };
    const struct {
        Setup setup;
        Target target;
        UINT message;
        WPARAM wParam;
        BOOL handled;
        bool sent;      // the command reached the dialog procedure inside the call, else it was posted
        UINT id;        // the command's id (BN_CLICKED is 0), 0 for no command
        Target control; // its lParam
    } cases[] = {
        {AsBuilt, Dlg, WM_KEYDOWN, VK_ESCAPE, TRUE, true, IDCANCEL, Cancel},
        {AsBuilt, Ok, WM_KEYDOWN, VK_ESCAPE, TRUE, true, IDCANCEL, Cancel}, // at a control of the dialog
        {AsBuilt, Dlg, WM_KEYDOWN, VK_RETURN, TRUE, true, IDOK, Ok},        // the default push button
        {OkDisabled, Dlg, WM_KEYDOWN, VK_RETURN, TRUE, true, 0, Dlg},
        {NoDefaultButton, Dlg, WM_KEYDOWN, VK_RETURN, TRUE, true, IDOK, Ok},
        {AsBuilt, Dlg, WM_SYSCOMMAND, SC_CLOSE, TRUE, false, IDCANCEL, Cancel},
        {CancelDisabled, Dlg, WM_SYSCOMMAND, SC_CLOSE, TRUE, false, 0, Dlg},
        {AsBuilt, Ok, WM_LBUTTONUP, 0, TRUE, true, IDOK, Ok},
        {OkDisabled, Ok, WM_LBUTTONUP, 0, TRUE, true, 0, Dlg},
        {AsBuilt, Owner, WM_KEYDOWN, VK_ESCAPE, FALSE, true, 0, Dlg}, // not the dialog's
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        SetUp();
        HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0);
        HWND windows[] = {dlg, GetDlgItem(dlg, IDOK), GetDlgItem(dlg, IDCANCEL), owner};
        EnableWindow(windows[Ok], c.setup != OkDisabled);
        EnableWindow(windows[Cancel], c.setup != CancelDisabled);
        if (c.setup == NoDefaultButton)
            SetWindowLongPtrA(windows[Ok], GWL_STYLE, BS_PUSHBUTTON | WS_CHILD | WS_VISIBLE);
        MSG msg{windows[c.target], c.message, c.wParam, 0, 0, {}};
        EXPECT_EQ(IsDialogMessageA(dlg, &msg), c.handled);
        Commands expected, posted;
        if (c.id)
            expected.emplace_back(c.id, reinterpret_cast<LPARAM>(windows[c.control]));
        for (const PostedMessage& m : CurrentProcess().posted) {
            if (m.message == WM_COMMAND)
                posted.emplace_back(m.wParam, m.lParam);
        }
        EXPECT_EQ(c.sent ? g_commands : posted, expected);
    }
}

// The owner is disabled while the dialog runs, and its timer, posted and sent messages are handled by the
// dialog's loop; the dump shows the texts the dialog set.
TEST_F(DialogTest, TheModalLoopRunsTheDisabledOwnerAndEndsOnThePressedButton) {
    const struct {
        DialogPress press;
        INT_PTR result;
    } cases[] = {{DialogPress::Ok, IDOK},
                 {DialogPress::Cancel, IDCANCEL},
                 {DialogPress::Escape, IDCANCEL},
                 {DialogPress::Close, IDCANCEL}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.press));
        SetUp();
        winsim_test::CapturedOutput output;
        winsim_test::ScriptedEvents events;
        SetTimer(owner, 1, 1000, nullptr);
        events.At(1500, [this] {
            PostMessageA(owner, WM_USER, 0, 0);
            QueueSentValue(CurrentProcess().pid, owner, WM_APP, 0, 0);
        });
        std::vector<std::string> controls;
        events.At(2000, [&] {
            SetDlgItemTextA(Dialog(), IDC_COUNTDOWN, "14");
            controls = winsim_test::DumpLines("control");
            UserPressesDialog(c.press);
        });
        EXPECT_EQ(RunModal(), c.result);
        EXPECT_TRUE(IsWindowEnabled(owner));
        KillTimer(owner, 1);
        EXPECT_EQ(g_ownerSaw, (std::vector<std::string>{"275 disabled", "32768 disabled", "1024 disabled"}));
        EXPECT_EQ(output.Lines(),
                  (std::vector<std::string>{"dialog 0 1000 open 130 \"VGA Adapter Utility\"",
                                            "dialog 2000 1000 end 130 result " + std::to_string(c.result)}));
        ASSERT_EQ(controls.size(), 7u);
        EXPECT_NE(controls[3].find("id 1000 class \"Static\" text \"14\""), std::string::npos) << controls[3];
    }
}

TEST_F(DialogTest, AQuitAnEndFromASentMessageAndAnOwnerDisabledBeforeAreEachKept) {
    UserPressesDialog(DialogPress::Ok);
    EXPECT_EQ(M().simNotes.back(), "dialog press: no modal dialog is open");
    winsim_test::ScriptedEvents events;
    events.At(100, [] { PostQuitMessage(4); });
    EXPECT_EQ(RunModal(), 0);
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0)); // the quit message is there again for the caller
    EXPECT_EQ(msg.wParam, 4u);

    EnableWindow(owner, FALSE);
    events.At(200, [this] {
        QueueSentValue(CurrentProcess().pid, owner, WM_APP, reinterpret_cast<WPARAM>(Dialog()), 0);
    });
    EXPECT_EQ(RunModal(), 7);             // the loop woke for the end made in a sent message's handler
    EXPECT_FALSE(IsWindowEnabled(owner)); // the dialog did not disable it, so it does not enable it
}

// The template's 215 x 123 dialog units are 329 x 225 pixels with the frame; the client area sits at the
// template's 0, 0 in the owner's client area, moved back onto the display when it would run off it.
TEST_F(DialogTest, TheTemplateSizesAndPlacesTheDialogAndSetWindowPosMovesIt) {
    DisplayDevice display;
    display.primary = true;
    display.current.attached = true;
    display.current.mode = DisplayMode{1280, 1024, 32, 60};
    M().displays.push_back(display);
    const struct {
        RECT owner;
        RECT dialog;
    } cases[] = {
        {{100, 50, 435, 229}, {100, 50, 429, 275}},
        {{1100, 900, 1435, 1079}, {951, 799, 1280, 1024}},
    };
    for (const auto& c : cases) {
        Window* w = FindWindowRecord(owner);
        w->style = WS_POPUP | WS_CAPTION;
        w->rect = c.owner;
        HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0);
        RECT rc = {};
        EXPECT_TRUE(GetWindowRect(dlg, &rc));
        EXPECT_EQ(std::vector<LONG>({rc.left, rc.top, rc.right, rc.bottom}),
                  std::vector<LONG>({c.dialog.left, c.dialog.top, c.dialog.right, c.dialog.bottom}));
        DestroyWindow(dlg);
    }
    HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_WARNING), owner, RecordingDlgProc, 0);
    RECT rc = {};
    EXPECT_TRUE(SetWindowPos(dlg, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_TRUE(SetWindowPos(dlg, nullptr, 0, 0, 100, 50, SWP_NOMOVE));
    EXPECT_TRUE(GetWindowRect(dlg, &rc));
    EXPECT_EQ(std::vector<LONG>({rc.left, rc.top, rc.right, rc.bottom}),
              std::vector<LONG>({10, 20, 110, 70}));
}

// The small-icon size of 96 DPI; a load without LR_SHARED is a new copy, destroyed once; a shared one
// outlives DestroyIcon; an icon the program does not have is no icon.
TEST_F(DialogTest, LoadImageMakesIconCopiesOfTheSizeAskedForAndDestroyIconEndsThemOnce) {
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
    EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), 16);
    HINSTANCE self = GetModuleHandleA(nullptr);
    auto load = [self](UINT id, int size, UINT flags) {
        return static_cast<HICON>(LoadImageA(self, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, flags));
    };
    HICON a = load(IDR_MAINFRAME, 20, 0);
    HICON b = load(IDR_MAINFRAME, 20, 0);
    HICON shared = load(IDR_MAINFRAME, 16, LR_SHARED);
    EXPECT_NE(a, b);
    EXPECT_EQ(load(IDR_MAINFRAME, 16, LR_SHARED), shared);
    EXPECT_EQ(IconImageSize(reinterpret_cast<uintptr_t>(a)), "20x20");
    EXPECT_TRUE(DestroyIcon(a));
    EXPECT_FALSE(DestroyIcon(a));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_CURSOR_HANDLE));
    EXPECT_EQ(IconImageSize(reinterpret_cast<uintptr_t>(a)), "destroyed");
    EXPECT_TRUE(DestroyIcon(shared));
    EXPECT_EQ(IconImageSize(reinterpret_cast<uintptr_t>(shared)), "16x16");
    EXPECT_EQ(load(999, 16, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}
