// The program's resources as the simulator sees them: the same texts and numbers that res/duodesk.rc
// compiles into the Windows executables, as plain tables.
#pragma once
#include <windows.h>

namespace winsim {

struct StringResource {
    UINT id;
    const char* text;
};

struct DialogControl {
    int id;
    const char* className; // "Static", "Button"
    const char* text;
    DWORD style;
    short x, y, cx, cy; // dialog units
};

struct DialogTemplate {
    UINT id;
    const char* caption;
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy; // dialog units
    const char* fontName;
    int fontSize;
    const DialogControl* controls;
    size_t controlCount;
};

// A menu template, flattened: depth 0 items sit on the menu bar, depth 1 inside the popup above them.
struct MenuItemResource {
    int depth;
    bool popup;
    UINT id;          // 0 for popups and separators
    const char* text; // nullptr for a separator
};

struct MenuResource {
    UINT id;
    const MenuItemResource* items;
    size_t count;
};

struct ResourceTable {
    const StringResource* strings;
    size_t stringCount;
    const DialogTemplate* dialogs;
    size_t dialogCount;
    const MenuResource* menus;
    size_t menuCount;
    const UINT* iconIds;
    size_t iconCount;
};

} // namespace winsim
