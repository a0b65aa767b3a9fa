#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/profile_names.h"
#include "framework/app.h"
#include "res/resource.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/str_util.h"
#include "tray/menu_labels.h"
#include "tray/tray_menu.h"

namespace {

// A resolution list entry's depths are grouped in this order, one size per block.
constexpr unsigned kGroupDepths[] = {8, 16, 24, 32};
// Sizes wider than this go to the "High Resolution" submenu.
constexpr unsigned kHighResWidth = 1024;
constexpr int kResLabelChars = 32;

constexpr UINT kStateItems[] = {ID_MENU_PRIMARY, ID_MENU_EXTENDED, ID_MENU_OFF, ID_MENU_MIRROR};

// The menu item of each DispState, and the trace of the live state's check.
constexpr struct {
    UINT nId;
    const char* pszTrace;
} kStateItemOf[] = {
    {ID_MENU_PRIMARY, "menu primary\n"},   // DISP_PRIMARY_EXT
    {ID_MENU_PRIMARY, "menu primary\n"},   // DISP_PRIMARY_ONLY
    {ID_MENU_EXTENDED, "menu extended\n"}, // DISP_EXTENDED
    {ID_MENU_MIRROR, "menu mirror\n"},     // DISP_MIRROR
    {ID_MENU_OFF, "menu off\n"},           // DISP_OFF
};

// Checks the item of the state; a value that is no DispState checks nothing.
void CheckStateItem(HMENU hMenu, int nState, bool bTrace) {
    if (nState < DISP_PRIMARY_EXT || nState > DISP_OFF)
        return;
    if (bTrace)
        DbgTrace("%s", kStateItemOf[nState].pszTrace);
    CheckMenuItem(hMenu, kStateItemOf[nState].nId, MF_BYCOMMAND | MF_CHECKED);
}

// "&1024X768X32": the ampersand makes the first digit the item's mnemonic.
void FormatResLabel(char (&szLabel)[kResLabelChars], const DispRes& entry) {
    StrFormat(szLabel, sizeof(szLabel), "&%dX%dX%d", (int)entry.nWidth, (int)entry.nHeight, (int)entry.nBpp);
}

void AppendResItem(HMENU hMenu, const DispRes& entry, UINT nId, char (&szLabel)[kResLabelChars]) {
    FormatResLabel(szLabel, entry);
    AppendMenuA(hMenu, MF_STRING, nId, szLabel);
}

// One group pass: the entries of one size, its depths in the order 8, 16, 24, 32, then a separator.
// Moves *ppEntry and *pnId past what it appended; false when the list ended during the pass, which then
// gets no separator.
bool AppendGroupPass(HMENU hMenu, const DispRes** ppEntry, UINT* pnId) {
    char szLabel[kResLabelChars] = "";
    bool bAppended = false;
    auto appendAndAdvance = [&]() {
        AppendResItem(hMenu, **ppEntry, *pnId, szLabel);
        bAppended = true;
        *ppEntry = (*ppEntry)->pNext;
        if (*ppEntry == nullptr)
            return false;
        ++*pnId;
        return true;
    };
    for (unsigned nDepth : kGroupDepths) {
        if ((*ppEntry)->nBpp == nDepth && !appendAndAdvance())
            return false;
    }
    // An entry of some other depth is listed on its own, so that the pass always moves on and every
    // item's id stays its position in the list.
    if (!bAppended && !appendAndAdvance())
        return false;
    AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
    DbgTrace("[MyAppendMenu] %s \n", szLabel);
    return true;
}

// Checks, by position, the first item whose text is szWanted without regard to case.
bool CheckItemWithText(HMENU hMenu, const char* szWanted) {
    const int nCount = GetMenuItemCount(hMenu);
    for (int i = 0; i < nCount; ++i) {
        char szText[kResLabelChars * 2] = "";
        GetMenuStringA(hMenu, static_cast<UINT>(i), szText, sizeof(szText), MF_BYPOSITION);
        if (StrEqualNoCase(szText, szWanted)) {
            CheckMenuItem(hMenu, static_cast<UINT>(i), MF_BYPOSITION | MF_CHECKED);
            return true;
        }
    }
    return false;
}

// The rotation submenu, the item of the stored rotation checked (none for a value outside 0..3).
void AppendRotationItems(HMENU hRotMenu, const CMenuLabels& labels, int nRotation) {
    const struct {
        UINT nId;
        UINT nLabel;
    } items[] = {{ID_MENU_ROTATE_0, IDS_MENU_ROTATE_0},
                 {ID_MENU_ROTATE_90, IDS_MENU_ROTATE_90},
                 {ID_MENU_ROTATE_180, IDS_MENU_ROTATE_180},
                 {ID_MENU_ROTATE_270, IDS_MENU_ROTATE_270}};
    for (const auto& item : items) {
        const bool bChecked = static_cast<int>(item.nId - ID_MENU_ROTATE_0) == nRotation;
        AppendMenuA(hRotMenu, MF_STRING | (bChecked ? MF_CHECKED : MF_UNCHECKED), item.nId,
                    labels.Get(item.nLabel));
    }
}

// The adapter is not brought up: the state items are greyed, and the one the profile recorded is
// checked. A recorded primary state leaves "USB-VGA(Off)" to choose, so that it can be turned off.
void ShowSavedState(HMENU hPopup) {
    for (UINT nId : kStateItems) {
        CheckMenuItem(hPopup, nId, MF_BYCOMMAND | MF_UNCHECKED);
        EnableMenuItem(hPopup, nId, MF_BYCOMMAND | MF_GRAYED);
    }
    CWinApp* pApp = FwGetApp();
    const int nSaved = pApp != nullptr ? pApp->GetProfileInt(PROFILE_SECTION_DONGLE, PROFILE_DISP_STATE,
                                                             PROFILE_DISP_STATE_DEFAULT)
                                       : PROFILE_DISP_STATE_DEFAULT;
    DbgTrace("Mouse handle dispstate %d\n", nSaved);
    if (nSaved == DISP_PRIMARY_EXT || nSaved == DISP_PRIMARY_ONLY)
        EnableMenuItem(hPopup, ID_MENU_OFF, MF_BYCOMMAND | MF_ENABLED);
    CheckStateItem(hPopup, nSaved, /*bTrace*/ false);
}

} // namespace

void ShowTrayMenu(const TrayMenuContext& context) {
    if (context.pAdapter == nullptr || context.pLabels == nullptr)
        return;
    CAdapter& adapter = *context.pAdapter;
    const CMenuLabels& labels = *context.pLabels;
    const bool bStarter = context.bStarter;

    DbgTrace("Right Mouse click\n");
    adapter.GetDispRes();
    POINT pt = {0, 0};
    GetCursorPos(&pt);

    HMENU hPopup = CreatePopupMenu();
    HMENU hResMenu = CreateMenu();
    HMENU hRotMenu = CreateMenu();
    bool bResAttached = false;
    bool bRotAttached = false;

    // Windows 7 Starter shows the adapter only as a mirror: no primary or extended state to offer.
    if (!bStarter) {
        AppendMenuA(hPopup, MF_STRING, ID_MENU_PRIMARY, labels.Get(IDS_MENU_PRIMARY));
        AppendMenuA(hPopup, MF_STRING, ID_MENU_EXTENDED, labels.Get(IDS_MENU_EXTENDED));
    }
    AppendMenuA(hPopup, MF_STRING, ID_MENU_OFF, labels.Get(IDS_MENU_OFF));
    AppendMenuA(hPopup, MF_STRING, ID_MENU_MIRROR, labels.Get(IDS_MENU_MIRROR));

    if (adapter.m_bReady) {
        AppendMenuA(hPopup, MF_SEPARATOR, 0, nullptr);
        if (adapter.m_nDispState == DISP_MIRROR) {
            // The mirror copies the primary display: its resolution and rotation are not the user's.
            if (!bStarter) {
                AppendMenuA(hPopup, MF_STRING | MF_DISABLED | MF_GRAYED, ID_MENU_RESOLUTION_GREYED,
                            labels.Get(IDS_MENU_RESOLUTION));
                AppendMenuA(hPopup, MF_STRING | MF_DISABLED | MF_GRAYED, ID_MENU_ROTATION_GREYED,
                            labels.Get(IDS_MENU_ROTATION));
            }
        } else if (!bStarter) {
            DbgTrace("Append resolution menu\n");
            MyAppendMenu(hResMenu, adapter, labels);
            bResAttached = AppendMenuA(hPopup, MF_POPUP, reinterpret_cast<UINT_PTR>(hResMenu),
                                       labels.Get(IDS_MENU_RESOLUTION)) != FALSE;
            DbgTrace("Update resolution menu\n");
            AppendRotationItems(hRotMenu, labels, adapter.m_nRotation);
            bRotAttached = AppendMenuA(hPopup, MF_POPUP, reinterpret_cast<UINT_PTR>(hRotMenu),
                                       labels.Get(IDS_MENU_ROTATION)) != FALSE;
        }
        CheckStateMenuItem(hPopup, adapter);
    } else {
        DbgTrace("No device exist\n");
        ShowSavedState(hPopup);
    }

    // A notification-icon menu must be owned by the foreground window, or it does not close when the
    // user clicks elsewhere. The choice comes back to the window as WM_COMMAND after the menu has closed.
    SetForegroundWindow(context.hOwner);
    TrackPopupMenu(hPopup, TPM_RIGHTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, context.hOwner, nullptr);

    // Destroying the popup takes the submenus attached to it along.
    DestroyMenu(hPopup);
    if (!bResAttached)
        DestroyMenu(hResMenu);
    if (!bRotAttached)
        DestroyMenu(hRotMenu);
    // Without a message after it, the next menu of a notification icon can vanish as soon as it opens.
    PostMessageA(context.hOwner, WM_NULL, 0, 0);
}

void CheckStateMenuItem(HMENU hMenu, CAdapter& adapter) {
    for (UINT nId : kStateItems)
        CheckMenuItem(hMenu, nId, MF_BYCOMMAND | MF_UNCHECKED);
    CheckStateItem(hMenu, adapter.GetDispState(), /*bTrace*/ true);
}

void MyAppendMenu(HMENU hResMenu, CAdapter& adapter, const CMenuLabels& labels) {
    UINT nId = ID_MENU_RES_FIRST;
    HMENU hHighMenu = nullptr;
    // The width is looked at only where a pass starts: a wide entry that continues a run of depths
    // begun by a narrower one stays in this submenu.
    for (const DispRes* pEntry = adapter.m_pDispResHead; pEntry != nullptr;) {
        if (pEntry->nWidth > kHighResWidth) {
            hHighMenu = CreateMenu();
            AppendHighResMenu(nId, pEntry, hHighMenu);
            break;
        }
        if (!AppendGroupPass(hResMenu, &pEntry, &nId))
            break;
    }
    CheckCurrentResItem(hResMenu, hHighMenu, adapter);
    if (hHighMenu != nullptr && !AppendMenuA(hResMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(hHighMenu),
                                             labels.Get(IDS_MENU_HIGH_RESOLUTION))) {
        // Not attached, the submenu goes with no other menu's destruction.
        DbgTrace("High resolution menu not attached\n");
        DestroyMenu(hHighMenu);
    }
}

void AppendHighResMenu(UINT nId, const DispRes* pEntry, HMENU hHighMenu) {
    if (hHighMenu == nullptr)
        return;
    while (pEntry != nullptr && AppendGroupPass(hHighMenu, &pEntry, &nId)) {
    }
}

void CheckCurrentResItem(HMENU hResMenu, HMENU hHighMenu, CAdapter& adapter) {
    const int nState = adapter.GetDispState();
    DEVMODEA dm;
    InitDevMode(dm);
    if (DispDevGetRegMode(adapter.m_ddActive, dm)) {
        DbgTrace("Get current res scucces x = %d, y = %d, z = %d\n", (int)dm.dmPelsWidth,
                 (int)dm.dmPelsHeight, (int)dm.dmBitsPerPel);
        adapter.StoreMode({(int)dm.dmPelsWidth, (int)dm.dmPelsHeight, (int)dm.dmBitsPerPel});
    } else {
        DbgTrace("Get current res failed, didn't do anything\n");
    }
    char szWanted[kResLabelChars];
    if (nState == DISP_MIRROR)
        StrFormat(szWanted, sizeof(szWanted), "&%dx%dx%d", adapter.m_nMirWidth, adapter.m_nMirHeight,
                  adapter.m_nMirBpp);
    else
        StrFormat(szWanted, sizeof(szWanted), "&%dx%dx%d", adapter.m_nWidth, adapter.m_nHeight,
                  adapter.m_nBpp);
    if (CheckItemWithText(hResMenu, szWanted) || hHighMenu == nullptr)
        return;
    DbgTrace("High res %d\n", GetMenuItemCount(hHighMenu));
    CheckItemWithText(hHighMenu, szWanted);
}
