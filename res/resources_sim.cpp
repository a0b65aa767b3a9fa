// The simulator's view of the program's resources. On Windows these come out of the executable, put
// there by windres from res/duodesk.rc; here the same X-macro lists of templates.h are expanded into
// plain tables, so the strings, dialogs, menu and icon ids cannot drift apart between the two builds.
#include <windows.h>
#include <winsim/resources.h>

#include "templates.h"

#include <iterator>

namespace {

#define SIM_STRING(id, text) {id, text},
const winsim::StringResource kStrings[] = {RES_STRING_TABLE(SIM_STRING)};
#undef SIM_STRING

#define SIM_CONTROL(id, cls, text, style, x, y, cx, cy) {id, cls, text, (DWORD)(style), x, y, cx, cy},
const winsim::DialogControl kWarningControls[] = {RES_DLG130_CONTROLS(SIM_CONTROL)};
#undef SIM_CONTROL

const winsim::DialogTemplate kDialogs[] = {
    {IDD_DISPO_DIALOG, RES_DLG102_CAPTION, (DWORD)RES_DLG102_STYLE, (DWORD)RES_DLG102_EXSTYLE, RES_DLG102_X,
     RES_DLG102_Y, RES_DLG102_CX, RES_DLG102_CY, TXT_DIALOG_FONT, RES_DIALOG_FONT_SIZE, nullptr, 0},
    {IDD_WARNING, RES_DLG130_CAPTION, (DWORD)RES_DLG130_STYLE, (DWORD)RES_DLG130_EXSTYLE, RES_DLG130_X,
     RES_DLG130_Y, RES_DLG130_CX, RES_DLG130_CY, TXT_DIALOG_FONT, RES_DIALOG_FONT_SIZE, kWarningControls,
     std::size(kWarningControls)},
};

// The flattened menu: a popup's own row carries its label, the rows after it at depth 1 are its items.
// The end of a popup needs no row of its own; the next depth-0 row closes it.
#define SIM_MENU_ITEM(depth, id, text) {depth, false, id, text},
#define SIM_MENU_POPUP_BEGIN(depth, text) {depth, true, 0, text},
#define SIM_MENU_POPUP_END()
const winsim::MenuItemResource kTrayMenuItems[] = {
    RES_MENU129_ITEMS(SIM_MENU_ITEM, SIM_MENU_POPUP_BEGIN, SIM_MENU_POPUP_END)};
#undef SIM_MENU_ITEM
#undef SIM_MENU_POPUP_BEGIN
#undef SIM_MENU_POPUP_END

const winsim::MenuResource kMenus[] = {{IDR_TRAYMENU, kTrayMenuItems, std::size(kTrayMenuItems)}};

#define SIM_ICON(id, file) id,
const UINT kIconIds[] = {RES_ICONS(SIM_ICON)};
#undef SIM_ICON

} // namespace

// Declared here as well as defined, so that the definition has external linkage: a const object at
// namespace scope would otherwise be internal to this file.
extern const winsim::ResourceTable g_duodeskResources;
const winsim::ResourceTable g_duodeskResources = {
    kStrings, std::size(kStrings), kDialogs, std::size(kDialogs),
    kMenus,   std::size(kMenus),   kIconIds, std::size(kIconIds),
};
