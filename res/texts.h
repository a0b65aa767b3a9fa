// Every text of the resources, defined once: res/duodesk.rc and the simulator's resource table both
// expand these macros.
#pragma once

#define TXT_MENU_PRIMARY "USB-VGA(Primary)"
#define TXT_MENU_EXTENDED "USB-VGA(Extended)"
#define TXT_MENU_OFF "USB-VGA(Off)"
#define TXT_MENU_MIRROR "USB-VGA(Mirror)"
#define TXT_MENU_RESOLUTION "Resolution"
#define TXT_MENU_HIGH_RESOLUTION "High Resolution"
#define TXT_MENU_ROTATION "Rotation"
#define TXT_MENU_ROTATE_0 "0 degrees"
#define TXT_MENU_ROTATE_270 "270 degrees"
#define TXT_MENU_ROTATE_90 "90 degrees"
#define TXT_MENU_ROTATE_180 "180 degrees"
#define TXT_WARNING_LINE1 "Your desktop has been reconfigured"
#define TXT_WARNING_LINE2 "Do you want to keep the setting?"
#define TXT_WARNING_BEFORE_COUNT "Reverting in"
#define TXT_WARNING_AFTER_COUNT "Seconds"
#define TXT_WARNING_OK "Ok"
#define TXT_WARNING_CANCEL "Cancel"
#define TXT_WARNING_CAPTION "VGA Adapter Utility"
#define TXT_DISPO_DIALOG_TITLE "Dispo"
#define TXT_COUNTDOWN_START "15"

// Labels of the menu template 129. The program builds its tray menu in code and never loads this
// template; the labels only have to read sensibly in a resource viewer.
#define TXT_TEMPLATE_PRIMARY "Primary"
#define TXT_TEMPLATE_EXTENDED "Extended"
#define TXT_TEMPLATE_MIRROR "Mirror"
#define TXT_TEMPLATE_ROTATE_0 "Normal"
#define TXT_TEMPLATE_ROTATE_270 "Left"
#define TXT_TEMPLATE_ROTATE_90 "Right"
#define TXT_TEMPLATE_ROTATE_180 "Flip"
#define TXT_TEMPLATE_OFF "Off"
#define TXT_TEMPLATE_BRAND "Brand"

// Font of the dialog templates.
#define TXT_DIALOG_FONT "MS Shell Dlg"

// Window classes of the dialog controls, as the dialog manager names them.
#define TXT_CLASS_STATIC "Static"
#define TXT_CLASS_BUTTON "Button"

// The version resource. Its product and file names come from the build, one per deliverable: the
// product name is the deliverable's name, as its setup program and Add/Remove Programs show it.
#define TXT_VERSION_DESCRIPTION "USB 2.0 VGA display adapter tray utility"
