// user32: menus. A menu is a list of items kept in the machine; a popup item holds another menu, whose
// handle is also the item's id. docs/winsim-shell.md gives the rules and where they come from.
#include "faults.h"
#include "machine.h"
#include "menu.h"
#include "output.h"
#include "process.h"
#include "scheduler.h"
#include "window.h"

#include <winsim/text.h>

#include <string>

namespace winsim {
namespace {

Menu* LookupMenu(HMENU hMenu) {
    Menu* menu = FindMenuRecord(reinterpret_cast<uintptr_t>(hMenu));
    if (!menu)
        SetError(ERROR_INVALID_MENU_HANDLE);
    return menu;
}

// Whether `target` is `menu` or hangs below it: attaching such a menu as a submenu would make a loop.
bool Reaches(const Menu& menu, uintptr_t target) {
    if (menu.handle == target)
        return true;
    for (const MenuItem& item : menu.items) {
        const Menu* sub = (item.flags & MF_POPUP) ? FindMenuRecord(item.submenu) : nullptr;
        if (sub && Reaches(*sub, target))
            return true;
    }
    return false;
}

// MF_BYCOMMAND walks the items in order and descends into each submenu where its popup item stands, so
// the first ordinary item with the id wins wherever it is. Popup items take part only in the second walk,
// when no ordinary item has the id.
MenuItem* FindByCommand(Menu& menu, UINT id, bool popupItems) {
    for (MenuItem& item : menu.items) {
        if (!(item.flags & MF_POPUP)) {
            if (!popupItems && item.id == id)
                return &item;
            continue;
        }
        if (popupItems && item.id == id)
            return &item;
        if (Menu* sub = FindMenuRecord(item.submenu)) {
            if (MenuItem* found = FindByCommand(*sub, id, popupItems))
                return found;
        }
    }
    return nullptr;
}

MenuItem* FindItem(Menu& menu, UINT item, UINT flags) {
    if (flags & MF_BYPOSITION)
        return item < menu.items.size() ? &menu.items[item] : nullptr;
    MenuItem* found = FindByCommand(menu, item, false);
    return found ? found : FindByCommand(menu, item, true);
}

MenuItem* ItemAt(HMENU hMenu, int pos) {
    Menu* menu = LookupMenu(hMenu);
    if (!menu || pos < 0)
        return nullptr;
    return FindItem(*menu, static_cast<UINT>(pos), MF_BYPOSITION);
}

void Destroy(Menu& menu) {
    menu.destroyed = true;
    for (const MenuItem& item : menu.items) {
        Menu* sub = (item.flags & MF_POPUP) ? FindMenuRecord(item.submenu) : nullptr;
        if (sub)
            Destroy(*sub);
    }
}

HMENU NewMenu(bool popup) {
    Machine& m = M();
    Menu* menu = New<Menu>();
    menu->handle = m.nextMenu;
    m.nextMenu += 0x10;
    menu->pid = CurrentProcess().pid;
    menu->popup = popup;
    m.menus[menu->handle] = menu;
    return reinterpret_cast<HMENU>(menu->handle);
}

constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED;

// ----------------------------------------------------------------------------------------------------------
// TrackPopupMenu

// The menu as the user sees it: one line per item, each submenu below its popup item.
void PrintItems(const Menu& menu, int depth) {
    std::string indent(size_t(2 + 4 * depth), ' ');
    for (const MenuItem& item : menu.items) {
        if (item.flags & MF_SEPARATOR) {
            EmitOutput("menu %s---", indent.c_str());
            continue;
        }
        std::string number = (item.flags & MF_POPUP) ? "popup" : std::to_string(item.id);
        EmitOutput("menu %s[%c] \"%s\" %s%s%s", indent.c_str(), (item.flags & MF_CHECKED) ? 'x' : ' ',
                   EscapeText(item.text.c_str()).c_str(), number.c_str(),
                   (item.flags & MF_GRAYED) ? " grey" : "", (item.flags & MF_DISABLED) ? " disabled" : "");
        if (const Menu* sub = (item.flags & MF_POPUP) ? FindMenuRecord(item.submenu) : nullptr)
            PrintItems(*sub, depth + 1);
    }
}

unsigned long long Now() {
    return static_cast<unsigned long long>(M().now);
}

void Notify(const TrackedMenu& t, UINT message, WPARAM wParam, LPARAM lParam) {
    if (t.flags & TPM_NONOTIFY)
        return;
    if (Window* owner = FindWindowRecord(t.owner))
        CallWindow(*owner, message, wParam, lParam);
}

void Close(TrackedMenu& t, TrackedMenu::Outcome outcome, const char* line) {
    t.outcome = outcome;
    EmitOutput("menu %llu %u %s", Now(), static_cast<unsigned>(t.pid), line);
}

// The menu closes with no command: what the user chose cannot be carried out.
void Refuse(TrackedMenu& t, const char* why, const Str& label) {
    Note("menu pick: \"%s\" %s; the menu closes with no command", label.c_str(), why);
    Close(t, TrackedMenu::Outcome::Dismiss, "dismiss");
}

// Opens the submenu at `depth` of the chain, closing whatever deeper or other submenu was open, and tells
// the owner as Windows does before the submenu shows.
void OpenSubmenu(TrackedMenu& t, size_t depth, uintptr_t submenu, size_t position) {
    if (t.openSubmenus.size() > depth && t.openSubmenus[depth] == submenu)
        return;
    t.openSubmenus.resize(depth);
    t.openSubmenus.push_back(submenu);
    Notify(t, WM_INITMENUPOPUP, submenu, MAKELPARAM(position, FALSE));
}

// Walks the labels from the top level, opening the submenus on the way; the last label is the item chosen.
void CarryOut(TrackedMenu& t, const MenuRequest& request) {
    if (request.dismiss) {
        Close(t, TrackedMenu::Outcome::Dismiss, "dismiss");
        return;
    }
    Menu* level = FindMenuRecord(t.menu);
    std::string path;
    for (size_t depth = 0; depth < request.labels.size(); ++depth) {
        const Str& label = request.labels[depth];
        bool last = depth + 1 == request.labels.size();
        path += " \"" + EscapeText(label.c_str()) + "\"";
        size_t position = 0;
        while (level && position < level->items.size() &&
               ((level->items[position].flags & MF_SEPARATOR) || level->items[position].text != label))
            ++position;
        if (!level || position == level->items.size())
            return Refuse(t, "is not in the menu", label);
        const MenuItem& item = level->items[position];
        if (item.flags & (MF_GRAYED | MF_DISABLED))
            return Refuse(t, (item.flags & MF_GRAYED) ? "is greyed" : "is disabled", label);
        if (!(item.flags & MF_POPUP)) {
            if (!last)
                return Refuse(t, "opens no submenu", label);
            t.command = item.id;
            if (!(t.flags & TPM_RETURNCMD))
                PostMessageA(ToHwnd(t.owner), WM_COMMAND, item.id, 0);
            Close(t, TrackedMenu::Outcome::Pick, ("pick" + path + " id " + std::to_string(item.id)).c_str());
            return;
        }
        OpenSubmenu(t, depth, item.submenu, position);
        if (last) {
            Note("menu pick: \"%s\" opens its submenu; the menu stays open", label.c_str());
            return;
        }
        level = FindMenuRecord(item.submenu);
    }
}

void NoMenuOpen(const MenuRequest& request) {
    Note("menu %s: no menu is open", request.dismiss ? "dismiss" : "pick");
}

void Request(MenuRequest request) {
    TrackedMenu& t = M().trackedMenu;
    if (!t.open || t.outcome != TrackedMenu::Outcome::Open) {
        NoMenuOpen(request);
        return;
    }
    t.requests.push_back(std::move(request));
}

} // namespace

Menu* FindMenuRecord(uintptr_t hmenu) {
    return FindLive(M().menus, hmenu);
}

void UserPicksMenuItem(const std::vector<std::string>& labels) {
    MenuRequest request;
    for (const std::string& label : labels)
        request.labels.emplace_back(label.c_str());
    Request(std::move(request));
}

void UserDismissesMenu() {
    MenuRequest request;
    request.dismiss = true;
    Request(std::move(request));
}

} // namespace winsim

using namespace winsim;

HMENU CreatePopupMenu(void) {
    WINSIM_ENTRY(CreatePopupMenu, nullptr);
    return NewMenu(true);
}

HMENU CreateMenu(void) {
    WINSIM_ENTRY(CreateMenu, nullptr);
    return NewMenu(false);
}

BOOL DestroyMenu(HMENU hMenu) {
    WINSIM_ENTRY(DestroyMenu, FALSE);
    Menu* menu = LookupMenu(hMenu);
    if (!menu)
        return FALSE;
    Destroy(*menu);
    return TRUE;
}

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    WINSIM_ENTRY(AppendMenuA, FALSE);
    Menu* menu = LookupMenu(hMenu);
    if (!menu)
        return FALSE;
    MenuItem item;
    item.flags = uFlags & (kStateBits | MF_POPUP | MF_SEPARATOR);
    item.id = static_cast<UINT>(uIDNewItem);
    if (uFlags & MF_POPUP) {
        Menu* sub = FindMenuRecord(uIDNewItem);
        if (!sub || Reaches(*sub, menu->handle)) {
            SetError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        item.submenu = sub->handle;
    }
    if (!(uFlags & MF_SEPARATOR) && lpNewItem)
        item.text = lpNewItem;
    menu->items.push_back(std::move(item));
    return TRUE;
}

DWORD CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    WINSIM_ENTRY(CheckMenuItem, static_cast<DWORD>(-1));
    Menu* menu = LookupMenu(hMenu);
    MenuItem* item = menu ? FindItem(*menu, uIDCheckItem, uCheck) : nullptr;
    if (!item)
        return static_cast<DWORD>(-1);
    DWORD previous = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~UINT(MF_CHECKED)) | (uCheck & MF_CHECKED);
    return previous;
}

// The bits passed are the new state exactly: MF_ENABLED clears both MF_GRAYED and MF_DISABLED.
BOOL EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    WINSIM_ENTRY(EnableMenuItem, -1);
    Menu* menu = LookupMenu(hMenu);
    MenuItem* item = menu ? FindItem(*menu, uIDEnableItem, uEnable) : nullptr;
    if (!item)
        return -1;
    constexpr UINT kEnableBits = MF_GRAYED | MF_DISABLED;
    BOOL previous = static_cast<BOOL>(item->flags & kEnableBits);
    item->flags = (item->flags & ~kEnableBits) | (uEnable & kEnableBits);
    return previous;
}

int GetMenuStringA(HMENU hMenu, UINT uIDItem, LPSTR lpString, int cchMax, UINT flags) {
    WINSIM_ENTRY(GetMenuStringA, 0);
    if (lpString && cchMax > 0)
        lpString[0] = '\0';
    Menu* menu = LookupMenu(hMenu);
    if (!menu)
        return 0;
    MenuItem* item = FindItem(*menu, uIDItem, flags);
    if (!item) {
        SetError(ERROR_MENU_ITEM_NOT_FOUND);
        return 0;
    }
    if (item->flags & MF_SEPARATOR)
        return 0;
    size_t length = item->text.size();
    if (!lpString || cchMax <= 0)
        return static_cast<int>(length);
    size_t n = length < size_t(cchMax - 1) ? length : size_t(cchMax - 1);
    memcpy(lpString, item->text.data(), n);
    lpString[n] = '\0';
    return static_cast<int>(n);
}

int GetMenuItemCount(HMENU hMenu) {
    WINSIM_ENTRY(GetMenuItemCount, -1);
    Menu* menu = LookupMenu(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

// A popup item has no command id of its own to report.
UINT GetMenuItemID(HMENU hMenu, int nPos) {
    WINSIM_ENTRY(GetMenuItemID, static_cast<UINT>(-1));
    MenuItem* item = ItemAt(hMenu, nPos);
    if (!item || (item->flags & MF_POPUP))
        return static_cast<UINT>(-1);
    return item->id;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
    WINSIM_ENTRY(GetSubMenu, nullptr);
    MenuItem* item = ItemAt(hMenu, nPos);
    if (!item || !(item->flags & MF_POPUP) || !FindMenuRecord(item->submenu))
        return nullptr;
    return reinterpret_cast<HMENU>(item->submenu);
}

// The menu runs a loop of its own until the user picks or dismisses: sent messages are delivered, and
// posted messages and timers of every window of the thread are dispatched. The command goes to the owner
// as a posted WM_COMMAND, so its handler runs only after this call has returned.
BOOL TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
    WINSIM_ENTRY(TrackPopupMenu, FALSE);
    Machine& m = M();
    Process& p = CurrentProcess();
    Menu* menu = LookupMenu(hMenu);
    if (!menu)
        return FALSE;
    Window* owner = FindWindowRecord(hWnd);
    if (!owner || owner->pid != p.pid) {
        SetError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    TrackedMenu& t = m.trackedMenu;
    if (t.open) {
        SetError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    t = TrackedMenu{};
    t.open = true;
    t.pid = p.pid;
    t.menu = menu->handle;
    t.owner = owner->handle;
    t.flags = uFlags;
    Notify(t, WM_ENTERMENULOOP, TRUE, 0);
    Notify(t, WM_INITMENU, t.menu, 0);
    Notify(t, WM_INITMENUPOPUP, t.menu, MAKELPARAM(0, FALSE));
    EmitOutput("menu %llu %u open owner 0x%llx foreground %s at %d,%d flags 0x%X", Now(),
               static_cast<unsigned>(p.pid), static_cast<unsigned long long>(t.owner),
               m.foreground == t.owner ? "yes" : "no", x, y, uFlags);
    if (const Menu* shown = FindMenuRecord(t.menu))
        PrintItems(*shown, 0);
    EmitOutput("end-menu");
    while (t.outcome == TrackedMenu::Outcome::Open) {
        if (!t.requests.empty()) {
            MenuRequest request = std::move(t.requests.front());
            t.requests.pop_front();
            CarryOut(t, request);
            continue;
        }
        MSG msg;
        bool fromInput = false;
        if (!TakeMessage(p, &msg, true, &fromInput)) {
            WaitForWork(p);
            continue;
        }
        if (fromInput) {
            // While a menu is open the mouse and the keyboard belong to it.
            Note("the open menu takes the input 0x%X meant for window 0x%llx", msg.message,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(msg.hwnd)));
            continue;
        }
        if (msg.message == WM_QUIT) {
            // The quit message ends the menu and stays for the caller's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            Close(t, TrackedMenu::Outcome::Quit, "closed");
            break;
        }
        DispatchMessageA(&msg);
    }
    Notify(t, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    Notify(t, WM_EXITMENULOOP, TRUE, 0);
    bool picked = t.outcome == TrackedMenu::Outcome::Pick;
    UINT command = t.command;
    // What the user asked after the menu had closed finds no menu.
    for (const MenuRequest& late : t.requests)
        NoMenuOpen(late);
    t = TrackedMenu{};
    if (uFlags & TPM_RETURNCMD)
        return picked ? static_cast<BOOL>(command) : 0;
    return TRUE;
}
