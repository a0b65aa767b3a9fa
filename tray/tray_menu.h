// The tray icon's popup menu. It is built from scratch on every opening, from the adapter's live state
// and resolution list, shown at the mouse position and destroyed again; the chosen item reaches the main
// window as WM_COMMAND after the menu has closed.
#pragma once
#include <windows.h>

class CAdapter;
class CMenuLabels;
struct DispRes;

// What a menu is built from, and the window that gets its choice.
struct TrayMenuContext {
    CAdapter* pAdapter;
    const CMenuLabels* pLabels;
    bool bStarter; // Windows 7 Starter: the adapter only mirrors
    HWND hOwner;
};

// Opens the menu at the mouse. Nothing happens without an adapter or labels.
void ShowTrayMenu(const TrayMenuContext& context);

// Checks the state item of the adapter's live display state (an item the menu lacks stays unchecked).
void CheckStateMenuItem(HMENU hMenu, CAdapter& adapter);

// Fills the resolution submenu from the adapter's resolution list: one block of depths per size, each
// closed by a separator, and the sizes wider than 1024 in a "High Resolution" submenu at the end. Item ids
// run from ID_MENU_RES_FIRST in list order, across both submenus.
void MyAppendMenu(HMENU hResMenu, CAdapter& adapter, const CMenuLabels& labels);
// Appends the list from pEntry on to the high-resolution submenu, the first item with id nId.
void AppendHighResMenu(UINT nId, const DispRes* pEntry, HMENU hHighMenu);
// Refreshes the adapter's current resolution and checks its item (hHighMenu may be null).
void CheckCurrentResItem(HMENU hResMenu, HMENU hHighMenu, CAdapter& adapter);
