// user32: menus. A menu is a list of items kept in the machine; a popup item holds another menu, whose
// handle is also the item's id. docs/winsim-shell.md gives the rules and where they come from.
#include "machine.h"

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

} // namespace

Menu* FindMenuRecord(uintptr_t hmenu) {
    return FindLive(M().menus, hmenu);
}

} // namespace winsim

using namespace winsim;

HMENU CreatePopupMenu(void) {
    return NewMenu(true);
}

HMENU CreateMenu(void) {
    return NewMenu(false);
}

BOOL DestroyMenu(HMENU hMenu) {
    Menu* menu = LookupMenu(hMenu);
    if (!menu)
        return FALSE;
    Destroy(*menu);
    return TRUE;
}

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
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
    Menu* menu = LookupMenu(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

// A popup item has no command id of its own to report.
UINT GetMenuItemID(HMENU hMenu, int nPos) {
    MenuItem* item = ItemAt(hMenu, nPos);
    if (!item || (item->flags & MF_POPUP))
        return static_cast<UINT>(-1);
    return item->id;
}

HMENU GetSubMenu(HMENU hMenu, int nPos) {
    MenuItem* item = ItemAt(hMenu, nPos);
    if (!item || !(item->flags & MF_POPUP) || !FindMenuRecord(item->submenu))
        return nullptr;
    return reinterpret_cast<HMENU>(item->submenu);
}
