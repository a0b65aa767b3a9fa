// Menus (menu.cpp).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "containers.h"

namespace winsim {

struct MenuItem {
    UINT flags = 0;        // MF_SEPARATOR, MF_POPUP and the state bits MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT id = 0;           // the command id; a popup item's is its submenu's handle, as AppendMenuA got it
    uintptr_t submenu = 0; // MF_POPUP
    Str text{Arena()};     // as given, '&' included; empty for a separator
};

struct Menu {
    uintptr_t handle = 0;
    DWORD pid = 0;      // the process that created it
    bool popup = false; // made by CreatePopupMenu rather than CreateMenu
    bool destroyed = false;
    Vec<MenuItem> items{Arena()};
};

// A request the user makes of the open popup menu (scenario events `menu pick` and `menu dismiss`). The
// menu's own loop carries it out on the program's thread, the next time the program waits.
struct MenuRequest {
    bool dismiss = false;
    Vec<Str> labels{Arena()}; // the labels of the items on the way, from the top level
};

// The popup menu TrackPopupMenu shows; one at a time on the desktop.
struct TrackedMenu {
    enum class Outcome { Open, Pick, Dismiss, Quit };
    bool open = false;
    DWORD pid = 0;
    uintptr_t menu = 0;
    uintptr_t owner = 0;
    UINT flags = 0;
    Outcome outcome = Outcome::Open;
    UINT command = 0;
    Vec<uintptr_t> openSubmenus{Arena()}; // the chain of submenus the user has opened, outermost first
    Deque<MenuRequest> requests{Arena()};
};

// The menu behind a handle, or nullptr for one that was never made or has been destroyed (menu.cpp).
Menu* FindMenuRecord(uintptr_t hmenu);
// The user picks an item of the open popup menu by the labels on the way to it, or closes the menu. With no
// menu open, a note and nothing else.
void UserPicksMenuItem(const std::vector<std::string>& labels);
void UserDismissesMenu();

} // namespace winsim
