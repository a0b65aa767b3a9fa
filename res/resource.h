// Resource numbers, shared by res/duodesk.rc, the program and the simulator's resource table.
#pragma once

#define IDR_MAINFRAME 128    // the application icon
#define IDR_TRAYMENU 129     // menu template; the program builds its menu in code and never loads it
#define IDD_DISPO_DIALOG 102 // the hidden main window
#define IDD_WARNING 130      // the countdown confirmation dialog

#define IDS_MENU_PRIMARY 133
#define IDS_MENU_EXTENDED 134
#define IDS_MENU_OFF 135
#define IDS_MENU_MIRROR 136
#define IDS_MENU_RESOLUTION 137
#define IDS_MENU_HIGH_RESOLUTION 138
#define IDS_MENU_ROTATION 139
#define IDS_MENU_ROTATE_0 140
#define IDS_MENU_ROTATE_270 141
#define IDS_MENU_ROTATE_90 142
#define IDS_MENU_ROTATE_180 143
#define IDS_WARNING_LINE1 144
#define IDS_WARNING_LINE2 145
#define IDS_WARNING_BEFORE_COUNT 146
#define IDS_WARNING_AFTER_COUNT 147
#define IDS_WARNING_OK 148
#define IDS_WARNING_CANCEL 149
#define IDS_WARNING_CAPTION 150

#define IDC_COUNTDOWN 1000
#define IDC_WARNING_LINE1 1002
#define IDC_WARNING_LINE2 1003
#define IDC_WARNING_BEFORE_COUNT 1004
#define IDC_WARNING_AFTER_COUNT 1005

#define ID_MENU_PRIMARY 32771
#define ID_MENU_EXTENDED 32772
#define ID_MENU_MIRROR 32773
#define ID_MENU_OFF 32774
#define ID_MENU_ROTATE_0 32776
#define ID_MENU_ROTATE_90 32777
#define ID_MENU_ROTATE_180 32778
#define ID_MENU_ROTATE_270 32779
#define ID_MENU_ROTATE_LAST 32780
#define ID_MENU_BRAND 32782
#define ID_MENU_ROTATION_GREYED 32000
#define ID_MENU_RESOLUTION_GREYED 32001
#define ID_MENU_RES_FIRST 39950
#define ID_MENU_RES_RANGE_FIRST 39949
#define ID_MENU_RES_RANGE_LAST 39990
