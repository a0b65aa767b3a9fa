// Windows, messages and timers (window.cpp, message.cpp), their geometry and icon images (geometry.cpp),
// and dialogs (dialog.cpp).
#pragma once

#include <windows.h>
#include <winsim/program.h>
#include <winsim/user.h>

#include <string>
#include <vector>

#include "containers.h"

namespace winsim {

struct Process;

struct Window {
    uintptr_t handle = 0;
    DWORD pid = 0;
    Str className{Arena()};
    Str title{Arena()};
    DWORD style = 0;
    DWORD exStyle = 0;
    int controlId = 0;
    uintptr_t parent = 0; // child controls of a dialog
    uintptr_t owner = 0;
    bool visible = false;
    bool enabled = true;
    bool destroyed = false;
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;
    LONG_PTR userData = 0;
    LONG_PTR msgResult = 0; // DWLP_MSGRESULT
    LONG_PTR dlgUser = 0;   // DWLP_USER
    bool isDialog = false;
    UINT templateId = 0;
    bool modal = false;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    Vec<UINT> allowedMessages{Arena()}; // ChangeWindowMessageFilterEx: let in from lower integrity

    // Geometry (geometry.cpp): the window's rectangle in screen coordinates, its frame included.
    RECT rect{0, 0, 0, 0};
};

// An icon in the size a program asked LoadImageA for. A copy that is not shared is the program's, until
// it destroys it.
struct IconImage {
    uintptr_t handle = 0;
    UINT resourceId = 0;
    int cx = 0;
    int cy = 0;
    bool shared = false;
    bool destroyed = false;
};

struct PostedMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    VirtualMs time = 0;
    DWORD senderPid = 0;
};

// What the system does once the program has handled a sent message: the rest of an operation that waits
// for the program's answer.
struct FollowUp {
    enum class Kind {
        None,
        // The adapter goes once the program has answered this query, so that the program can still take
        // its display off the desktop while it answers.
        AdapterRemoval,
        // The answer counts towards `broadcast`, whose next step waits for every window's answer.
        Broadcast,
    };
    Kind kind = Kind::None;
    uint64_t broadcast = 0;
};

// A message sent from outside the program (device notifications, system broadcasts): it waits in the
// receiver's queue and is handed to the window procedure the next time the program reads its queue. The
// record it points to is owned by the message.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    Vec<BYTE> record{Arena()}; // lParam points here; empty means lParam is `value`
    LPARAM value = 0;          // a plain lParam (WM_DISPLAYCHANGE's size)
    FollowUp followUp;
};

struct Timer {
    uintptr_t hwnd = 0;
    UINT_PTR id = 0;
    UINT periodMs = 0;
    VirtualMs due = 0;
    uint64_t order = 0; // setting order, the tie-break between timers due at the same moment
};

// A message one process posted to another's window: how a second start's requests can be seen.
struct CrossPost {
    VirtualMs time = 0;
    DWORD fromPid = 0;
    DWORD toPid = 0;
    uintptr_t hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A window class the process registered; the system's own classes (dialogs, controls) are not here.
struct WindowClass {
    Str name{Arena()};
    WNDPROC proc = nullptr;
};

Window* FindWindowRecord(HWND hwnd);
Window* FindWindowRecord(uintptr_t hwnd);
HWND ToHwnd(uintptr_t value);
Window& NewWindowRecord(const char* className, const char* title, DWORD style);
LRESULT CallWindow(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
void DestroyWindowRecord(Window& window);
// Returns false when the process is not running, so nothing was queued.
bool QueueSentMessage(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, const void* record, size_t size,
                      FollowUp followUp = {});
// The same for a message whose lParam is a plain value.
bool QueueSentValue(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, FollowUp followUp = {});
// Windows that broadcasts reach: neither child controls nor WS_CHILD windows.
bool IsTopLevel(const Window& window);
// The top-level windows of the running processes (of process `pid` alone, when it is not 0), in the order
// they were made.
Vec<uintptr_t> TopLevelWindows(DWORD pid = 0);
// The first top-level window with this class and title (either may be nullptr), compared as FindWindowA
// compares them.
Window* FindTopLevelWindow(const char* className, const char* title);
// Another program, one the simulator does not run, posts the registered message `name` to the resident
// instance's window (the one titled with the program's instance name); a note when there is none.
void PostFromOutside(const char* name, WPARAM wParam, LPARAM lParam);
// The number of a registered message, registered now if no program has yet (RegisterWindowMessageA).
UINT RegisteredMessage(const char* name);
void DeliverSentMessages(Process& process);
// Takes the next message as GetMessageA and PeekMessageA do, or returns false when there is none now;
// `fromInput` tells whether it is the user's input.
bool TakeMessage(Process& process, LPMSG msg, bool remove, bool* fromInput = nullptr);
// The user's mouse or keyboard input for a window: it waits in its program's input queue.
void QueueInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool HasTimerDue(const Process& process, VirtualMs now);
bool NextTimerDue(const Process& process, VirtualMs& due);

// Gives a dialog made from a template its rectangle, as DialogBox and CreateDialog place it before
// WM_INITDIALOG: the template's size in the dialog font's base units plus the frame, at the template's
// position in the owner's client area, moved onto the display it starts on.
void PlaceDialog(Window& dialog, const DialogTemplate& tpl, const Window* owner);
// The size of the icon behind a handle as text ("16x16"), "destroyed" for a copy destroyed already, or ""
// for a handle LoadImageA did not make.
std::string IconImageSize(uintptr_t handle);
// DestroyIcon of a copy LoadImageA made: true when it was one (and is now destroyed).
bool DestroyIconImage(uintptr_t handle);

// The user presses a key or clicks a button of the modal dialog opened last that is still open (dialog.cpp).
// With no modal dialog open, a note and nothing else.
void UserPressesDialog(DialogPress press);

} // namespace winsim
