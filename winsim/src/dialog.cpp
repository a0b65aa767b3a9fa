// user32: resources, dialogs from templates (modeless and modal) and the dialog manager's defaults.
#include "faults.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "window.h"

#include <winsim/text.h>

namespace winsim {
namespace {

const ResourceTable* Resources() {
    return M().program.resources;
}

const DialogTemplate* FindDialogTemplate(LPCSTR name) {
    const ResourceTable* table = Resources();
    if (!table || !IS_INTRESOURCE(name))
        return nullptr;
    UINT id = static_cast<UINT>(reinterpret_cast<uintptr_t>(name));
    for (size_t i = 0; i < table->dialogCount; ++i) {
        if (table->dialogs[i].id == id)
            return &table->dialogs[i];
    }
    return nullptr;
}

// Messages whose dialog-procedure result is the message result itself, not DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) {
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

// The "Button" class's own procedure: a click (the left button released over it) tells the parent. A
// disabled button takes no clicks.
LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    SimulatorCode simulator;
    Window* w = FindWindowRecord(hWnd);
    if (message == WM_LBUTTONUP && w && w->enabled)
        return SendMessageA(ToHwnd(w->parent), WM_COMMAND, MAKEWPARAM(w->controlId, BN_CLICKED),
                            reinterpret_cast<LPARAM>(hWnd));
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

bool IsDefaultButton(const Window& w) {
    return EqualNoCase(w.className.c_str(), "Button") && (w.style & 0xF) == BS_DEFPUSHBUTTON;
}

// The dialog itself, or one of its controls.
bool InDialog(HWND hwnd, uintptr_t dialog) {
    for (Window* w = FindWindowRecord(hwnd); w; w = FindWindowRecord(w->parent)) {
        if (w->handle == dialog)
            return true;
    }
    return false;
}

// Enter: the default push button's command, or IDOK when the dialog has none; nothing while the default
// button is disabled.
void PressEnter(HWND hDlg) {
    uintptr_t dialog = reinterpret_cast<uintptr_t>(hDlg);
    for (auto& [value, w] : M().windows) {
        if (w->destroyed || w->parent != dialog || !IsDefaultButton(*w))
            continue;
        if (w->enabled)
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(w->controlId, BN_CLICKED), static_cast<LPARAM>(value));
        return;
    }
    SendMessageA(hDlg, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDOK)));
}

unsigned long long Now() {
    return static_cast<unsigned long long>(M().now);
}

Window* CreateDialogRecord(LPCSTR templateName, HWND owner, DLGPROC dlgProc, LPARAM initParam, bool modal) {
    const DialogTemplate* tpl = FindDialogTemplate(templateName);
    if (!tpl) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    DWORD style = tpl->style | (modal ? WS_VISIBLE : 0);
    Window& dialog = NewWindowRecord("#32770", tpl->caption, style);
    dialog.exStyle = tpl->exStyle;
    dialog.isDialog = true;
    dialog.templateId = tpl->id;
    dialog.modal = modal;
    dialog.owner = reinterpret_cast<uintptr_t>(owner);
    dialog.proc = DefDlgProcA;
    dialog.dlgProc = dlgProc;
    PlaceDialog(dialog, *tpl, FindWindowRecord(owner));
    uintptr_t handle = dialog.handle;
    for (size_t i = 0; i < tpl->controlCount; ++i) {
        const DialogControl& c = tpl->controls[i];
        Window& control = NewWindowRecord(c.className, c.text, c.style | WS_CHILD);
        control.parent = handle;
        control.controlId = c.id;
        if (EqualNoCase(c.className, "Button"))
            control.proc = ButtonProc;
    }
    CallWindow(dialog, WM_INITDIALOG, 0, initParam);
    return FindWindowRecord(handle);
}

} // namespace
} // namespace winsim

using namespace winsim;

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    WINSIM_ENTRY(LoadStringA, 0);
    if (!lpBuffer || cchBufferMax <= 0)
        return 0;
    lpBuffer[0] = '\0';
    const ResourceTable* table = Resources();
    for (size_t i = 0; table && i < table->stringCount; ++i) {
        if (table->strings[i].id != uID)
            continue;
        const char* text = table->strings[i].text;
        size_t n = strlen(text);
        if (n > size_t(cchBufferMax - 1))
            n = size_t(cchBufferMax - 1);
        memcpy(lpBuffer, text, n);
        lpBuffer[n] = '\0';
        return static_cast<int>(n);
    }
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    WINSIM_ENTRY(LoadIconA, nullptr);
    if (!IS_INTRESOURCE(lpIconName)) {
        SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    UINT id = static_cast<UINT>(reinterpret_cast<uintptr_t>(lpIconName));
    if (!hInstance)
        return reinterpret_cast<HICON>(uintptr_t(0x10000 + id)); // a system icon
    const ResourceTable* table = Resources();
    for (size_t i = 0; table && i < table->iconCount; ++i) {
        if (table->iconIds[i] == id)
            return reinterpret_cast<HICON>(uintptr_t(0x20000 + id));
    }
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// Icons from LoadIconA are shared: destroying one does nothing, and the handle stays usable. A copy that
// LoadImageA made is gone once destroyed; destroying it again fails.
BOOL DestroyIcon(HICON hIcon) {
    WINSIM_ENTRY(DestroyIcon, FALSE);
    const uintptr_t handle = reinterpret_cast<uintptr_t>(hIcon);
    if (!IconImageSize(handle).empty() && !DestroyIconImage(handle)) {
        SetError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    return hIcon != nullptr;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    WINSIM_ENTRY(CreateDialogParamA, nullptr);
    Window* dialog = CreateDialogRecord(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, false);
    return dialog ? ToHwnd(dialog->handle) : nullptr;
}

// The dialog manager's own modal loop. The owner is disabled for the dialog's life (and enabled again only
// if the dialog disabled it), yet its messages and timers are dispatched by this loop. The loop ends after
// the handler that called EndDialog has returned; a WM_QUIT ends it too and is posted again for the caller.
INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    WINSIM_ENTRY(DialogBoxParamA, -1);
    Window* owner = FindWindowRecord(hWndParent);
    bool disabledOwner = owner && owner->enabled;
    if (disabledOwner)
        owner->enabled = false;
    Window* dialog = CreateDialogRecord(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, true);
    if (!dialog) {
        if (Window* o = disabledOwner ? FindWindowRecord(hWndParent) : nullptr)
            o->enabled = true;
        return -1;
    }
    uintptr_t handle = dialog->handle;
    UINT templateId = dialog->templateId;
    DWORD pid = CurrentProcess().pid;
    EmitOutput("dialog %llu %u open %u \"%s\"", Now(), static_cast<unsigned>(pid), templateId,
               EscapeText(dialog->title.c_str()).c_str());
    for (;;) {
        Window* w = FindWindowRecord(handle);
        if (!w || w->dialogEnded)
            break;
        MSG msg;
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageA(ToHwnd(handle), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    INT_PTR result = 0;
    if (Window* w = FindWindowRecord(handle)) {
        result = w->dialogEnded ? w->dialogResult : 0;
        DestroyWindowRecord(*w);
    }
    if (Window* o = disabledOwner ? FindWindowRecord(hWndParent) : nullptr)
        o->enabled = true;
    EmitOutput("dialog %llu %u end %u result %lld", Now(), static_cast<unsigned>(pid), templateId,
               static_cast<long long>(result));
    return result;
}

// Only the flag: the dialog's loop sees it once the current message's handler has returned. The WM_NULL
// wakes a loop that waits, for an EndDialog made while a sent message was handled.
BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    WINSIM_ENTRY(EndDialog, FALSE);
    Window* w = FindWindowRecord(hDlg);
    if (!w || !w->isDialog) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialogEnded = true;
    w->dialogResult = nResult;
    w->visible = false;
    PostMessageA(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

// The dialog's keyboard interface: Escape is the Cancel button and Enter the default button, both sent
// at once. Every other message for the dialog or its controls is dispatched here.
BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    WINSIM_ENTRY_NEVER_FAILS(IsDialogMessageA);
    Window* dialog = FindWindowRecord(hDlg);
    if (!dialog || !lpMsg || !InDialog(lpMsg->hwnd, dialog->handle))
        return FALSE;
    if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_ESCAPE) {
        SendMessageA(hDlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
        return TRUE;
    }
    if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_RETURN) {
        PressEnter(hDlg);
        return TRUE;
    }
    DispatchMessageA(lpMsg);
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    WINSIM_ENTRY(GetDlgItem, nullptr);
    uintptr_t parent = reinterpret_cast<uintptr_t>(hDlg);
    for (auto& [value, w] : M().windows) {
        if (!w->destroyed && w->parent == parent && w->controlId == nIDDlgItem)
            return ToHwnd(value);
    }
    SetError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    WINSIM_ENTRY(SetDlgItemTextA, FALSE);
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SetWindowTextA(item, lpString) : FALSE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    WINSIM_ENTRY(GetDlgItemTextA, 0);
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WINSIM_ENTRY_NEVER_FAILS(DefDlgProcA);
    Window* w = FindWindowRecord(hDlg);
    if (!w)
        return 0;
    DLGPROC dlgProc = w->dlgProc;
    if (dlgProc) {
        w->msgResult = 0;
        INT_PTR handled = 0;
        {
            ProgramCode program;
            handled = dlgProc(hDlg, Msg, wParam, lParam);
        }
        if (handled) {
            if (ReturnsDirectly(Msg))
                return handled;
            Window* after = FindWindowRecord(hDlg);
            return after ? after->msgResult : 0;
        }
    }
    switch (Msg) {
    case WM_CLOSE: {
        // The close box is the Cancel button, clicked later: the command is posted. A disabled Cancel
        // button keeps the dialog open.
        HWND cancel = GetDlgItem(hDlg, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            return 0;
        PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_INITDIALOG:
        return TRUE;
    default:
        return DefWindowProcA(hDlg, Msg, wParam, lParam);
    }
}

namespace winsim {

void UserPressesDialog(DialogPress press) {
    Window* dialog = nullptr;
    for (auto& [value, w] : M().windows) {
        if (!w->destroyed && w->modal && !w->dialogEnded)
            dialog = w;
    }
    if (!dialog) {
        Note("dialog press: no modal dialog is open");
        return;
    }
    HWND hDlg = ToHwnd(dialog->handle);
    switch (press) {
    case DialogPress::Ok:
    case DialogPress::Cancel: {
        HWND button = GetDlgItem(hDlg, press == DialogPress::Ok ? IDOK : IDCANCEL);
        if (!button) {
            Note("dialog press: dialog %u has no %s button", dialog->templateId,
                 press == DialogPress::Ok ? "OK" : "Cancel");
            return;
        }
        QueueInput(button, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        QueueInput(button, WM_LBUTTONUP, 0, 0);
        break;
    }
    case DialogPress::Escape:
        QueueInput(hDlg, WM_KEYDOWN, VK_ESCAPE, 0x00010001); // one press, scan code 1
        break;
    case DialogPress::Close:
        QueueInput(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

} // namespace winsim
