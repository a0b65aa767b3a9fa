// user32: resources, dialogs from templates (modeless and modal) and the dialog manager's defaults.
#include "machine.h"

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
    uintptr_t handle = dialog.handle;
    for (size_t i = 0; i < tpl->controlCount; ++i) {
        const DialogControl& c = tpl->controls[i];
        Window& control = NewWindowRecord(c.className, c.text, c.style | WS_CHILD);
        control.parent = handle;
        control.controlId = c.id;
    }
    CallWindow(dialog, WM_INITDIALOG, 0, initParam);
    return FindWindowRecord(handle);
}

} // namespace
} // namespace winsim

using namespace winsim;

int LoadStringA(HINSTANCE, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
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

// Icons from LoadIconA are shared: destroying one does nothing, and the handle stays usable.
BOOL DestroyIcon(HICON hIcon) {
    return hIcon != nullptr;
}

HWND CreateDialogParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    Window* dialog = CreateDialogRecord(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, false);
    return dialog ? ToHwnd(dialog->handle) : nullptr;
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    Window* owner = FindWindowRecord(hWndParent);
    if (owner)
        owner->enabled = false;
    Window* dialog = CreateDialogRecord(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, true);
    if (!dialog) {
        if (Window* o = FindWindowRecord(hWndParent))
            o->enabled = true;
        return -1;
    }
    uintptr_t handle = dialog->handle;
    INT_PTR result = IDCANCEL;
    // The dialog manager's own modal loop: it ends when EndDialog has been called. A WM_QUIT that arrives
    // meanwhile ends the dialog and is posted again for the caller's loop.
    for (;;) {
        Window* w = FindWindowRecord(handle);
        if (!w)
            break;
        if (w->dialogEnded) {
            result = w->dialogResult;
            break;
        }
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
    if (Window* w = FindWindowRecord(handle)) {
        result = w->dialogEnded ? w->dialogResult : result;
        DestroyWindowRecord(*w);
    }
    if (Window* o = FindWindowRecord(hWndParent))
        o->enabled = true;
    return result;
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    Window* w = FindWindowRecord(hDlg);
    if (!w || !w->isDialog) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->dialogEnded = true;
    w->dialogResult = nResult;
    w->visible = false;
    return TRUE;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem) {
    uintptr_t parent = reinterpret_cast<uintptr_t>(hDlg);
    for (auto& [value, w] : M().windows) {
        if (!w->destroyed && w->parent == parent && w->controlId == nIDDlgItem)
            return ToHwnd(value);
    }
    SetError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item ? SetWindowTextA(item, lpString) : FALSE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (!item) {
        if (lpString && cchMax > 0)
            lpString[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

LRESULT DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindowRecord(hDlg);
    if (!w)
        return 0;
    DLGPROC dlgProc = w->dlgProc;
    if (dlgProc) {
        w->msgResult = 0;
        INT_PTR handled = dlgProc(hDlg, Msg, wParam, lParam);
        if (handled) {
            if (ReturnsDirectly(Msg))
                return handled;
            Window* after = FindWindowRecord(hDlg);
            return after ? after->msgResult : 0;
        }
    }
    switch (Msg) {
    case WM_CLOSE:
        // The close box of a dialog is its Cancel button.
        return SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0),
                            reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
    case WM_INITDIALOG:
        return TRUE;
    default:
        return DefWindowProcA(hDlg, Msg, wParam, lParam);
    }
}
