// The resource templates as X-macro lists: the string table, the two dialog templates and the menu
// template. res/duodesk.rc expands them into resource statements for windres, and
// res/resources_sim.cpp expands the very same lists into the simulator's tables, so a layout or a text
// can only ever change in one place.
//
// windres runs the C preprocessor over the .rc file, which is why plain macros work there. A macro
// expands onto a single line; the resource compiler's grammar does not care about line breaks.
#pragma once

#include <windows.h>
#include "resource.h"
#include "texts.h"

// Both dialogs use the shell dialog font at 8 points, which is what the dialog-unit sizes below were
// laid out for. The resource compiler sets DS_SETFONT itself when a FONT statement is present; the
// styles name it too, so that the simulator's tables carry the same style word Windows sees.
#define RES_DIALOG_FONT_SIZE 8

// ---------------------------------------------------------------------------------------------------
// String table: X(string id, text).
// ---------------------------------------------------------------------------------------------------
#define RES_STRING_TABLE(X)                                                                                  \
    X(IDS_MENU_PRIMARY, TXT_MENU_PRIMARY)                                                                    \
    X(IDS_MENU_EXTENDED, TXT_MENU_EXTENDED)                                                                  \
    X(IDS_MENU_OFF, TXT_MENU_OFF)                                                                            \
    X(IDS_MENU_MIRROR, TXT_MENU_MIRROR)                                                                      \
    X(IDS_MENU_RESOLUTION, TXT_MENU_RESOLUTION)                                                              \
    X(IDS_MENU_HIGH_RESOLUTION, TXT_MENU_HIGH_RESOLUTION)                                                    \
    X(IDS_MENU_ROTATION, TXT_MENU_ROTATION)                                                                  \
    X(IDS_MENU_ROTATE_0, TXT_MENU_ROTATE_0)                                                                  \
    X(IDS_MENU_ROTATE_270, TXT_MENU_ROTATE_270)                                                              \
    X(IDS_MENU_ROTATE_90, TXT_MENU_ROTATE_90)                                                                \
    X(IDS_MENU_ROTATE_180, TXT_MENU_ROTATE_180)                                                              \
    X(IDS_WARNING_LINE1, TXT_WARNING_LINE1)                                                                  \
    X(IDS_WARNING_LINE2, TXT_WARNING_LINE2)                                                                  \
    X(IDS_WARNING_BEFORE_COUNT, TXT_WARNING_BEFORE_COUNT)                                                    \
    X(IDS_WARNING_AFTER_COUNT, TXT_WARNING_AFTER_COUNT)                                                      \
    X(IDS_WARNING_OK, TXT_WARNING_OK)                                                                        \
    X(IDS_WARNING_CANCEL, TXT_WARNING_CANCEL)                                                                \
    X(IDS_WARNING_CAPTION, TXT_WARNING_CAPTION)

// ---------------------------------------------------------------------------------------------------
// Dialog template 102: the hidden main window. It exists only to receive messages; it has no controls
// and is never made visible. WS_EX_APPWINDOW would give it a taskbar button if it were ever shown.
// ---------------------------------------------------------------------------------------------------
#define RES_DLG102_STYLE (DS_SETFONT | WS_POPUP | WS_CAPTION)
#define RES_DLG102_EXSTYLE WS_EX_APPWINDOW
#define RES_DLG102_X 0
#define RES_DLG102_Y 0
#define RES_DLG102_CX 219
#define RES_DLG102_CY 95
#define RES_DLG102_CAPTION TXT_DISPO_DIALOG_TITLE

// ---------------------------------------------------------------------------------------------------
// Dialog template 130: the countdown confirmation. The texts in the template are what a resource
// viewer shows; at run time the dialog loads the string table into the same controls, except the
// counter, which starts from the template's "15".
//
// X(control id, window class, text, style, x, y, cx, cy), positions and sizes in dialog units.
// ---------------------------------------------------------------------------------------------------
#define RES_DLG130_STYLE (DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define RES_DLG130_EXSTYLE 0
#define RES_DLG130_X 0
#define RES_DLG130_Y 0
#define RES_DLG130_CX 215
#define RES_DLG130_CY 123
#define RES_DLG130_CAPTION TXT_WARNING_CAPTION

#define RES_STATIC_STYLE (SS_LEFT | WS_CHILD | WS_VISIBLE)

// clang-format off
#define RES_DLG130_CONTROLS(X)                                                                                        \
    X(IDC_WARNING_LINE1,        TXT_CLASS_STATIC, TXT_WARNING_LINE1,        RES_STATIC_STYLE,  29, 26, 126,  8)       \
    X(IDC_WARNING_LINE2,        TXT_CLASS_STATIC, TXT_WARNING_LINE2,        RES_STATIC_STYLE,  29, 46, 117,  8)       \
    X(IDC_WARNING_BEFORE_COUNT, TXT_CLASS_STATIC, TXT_WARNING_BEFORE_COUNT, RES_STATIC_STYLE,  29, 66,  43,  8)       \
    X(IDC_COUNTDOWN,            TXT_CLASS_STATIC, TXT_COUNTDOWN_START,      RES_STATIC_STYLE,  93, 66,   9,  8)       \
    X(IDC_WARNING_AFTER_COUNT,  TXT_CLASS_STATIC, TXT_WARNING_AFTER_COUNT,  RES_STATIC_STYLE, 128, 67,  39,  8)       \
    X(IDOK,     TXT_CLASS_BUTTON, TXT_WARNING_OK,     (BS_DEFPUSHBUTTON | WS_TABSTOP | WS_CHILD | WS_VISIBLE),  23, 89, 50, 14) \
    X(IDCANCEL, TXT_CLASS_BUTTON, TXT_WARNING_CANCEL, (BS_PUSHBUTTON | WS_TABSTOP | WS_CHILD | WS_VISIBLE),    130, 89, 50, 14)
// clang-format on

// ---------------------------------------------------------------------------------------------------
// Menu template 129. The program never loads it (the tray menu is built in code on every opening);
// it carries the command ids that the menu handlers are routed by.
//
// ITEM(depth, command id, label), POPUP_BEGIN(depth, label), POPUP_END(). Depth 0 is the menu bar,
// depth 1 the inside of the popup opened above.
// ---------------------------------------------------------------------------------------------------
// clang-format off
#define RES_MENU129_ITEMS(ITEM, POPUP_BEGIN, POPUP_END)        \
    ITEM(0, ID_MENU_PRIMARY, TXT_TEMPLATE_PRIMARY)             \
    ITEM(0, ID_MENU_EXTENDED, TXT_TEMPLATE_EXTENDED)           \
    ITEM(0, ID_MENU_MIRROR, TXT_TEMPLATE_MIRROR)               \
    POPUP_BEGIN(0, TXT_MENU_ROTATION)                          \
        ITEM(1, ID_MENU_ROTATE_0, TXT_TEMPLATE_ROTATE_0)       \
        ITEM(1, ID_MENU_ROTATE_270, TXT_TEMPLATE_ROTATE_270)   \
        ITEM(1, ID_MENU_ROTATE_90, TXT_TEMPLATE_ROTATE_90)     \
        ITEM(1, ID_MENU_ROTATE_180, TXT_TEMPLATE_ROTATE_180)   \
    POPUP_END()                                                \
    ITEM(0, ID_MENU_OFF, TXT_TEMPLATE_OFF)                     \
    ITEM(0, ID_MENU_BRAND, TXT_TEMPLATE_BRAND)
// clang-format on

// Icons: X(icon id, file). The file is looked up on windres's include path (res/).
#define RES_ICONS(X) X(IDR_MAINFRAME, "duodesk.ico")
