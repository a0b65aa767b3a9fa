// The steps every resolution list is built with: read a display device's modes through a filter into a
// ModeSortList, then turn the set into a list of DispRes nodes. The adapter's three lists and the main
// window's list of the primary display share them.
#pragma once
#include <windows.h>

#include "adapter/disp_res.h"
#include "adapter/mode_sort_list.h"

// Which modes a builder keeps.
enum class ModeFilter {
    Every,         // the menu list when every mode is asked for
    MenuLandscape, // the menu list at rotation 0 or 180 degrees
    MenuPortrait,  // the menu list at rotation 90 or 270 degrees
    Nothing,       // the menu list at a rotation that is none of the four
    Full,          // the full list: 16 and 32 bits above 300 x 200
    Grouped,       // the grouped lists: all but width 300 or height 200, at any depth
};

// The menu list's filter for a rotation index (anything but 0..3 keeps nothing).
ModeFilter MenuFilter(BOOL bAllModes, int nRotation);

// Whether the filter keeps the mode. The menu filters trace "insert res ..." for the modes they keep
// outside the 800-1024 band.
bool KeepMode(ModeFilter filter, unsigned nWidth, unsigned nHeight, unsigned nBpp);

// Puts the kept modes of the display device into pSet and returns how many modes Windows reported. A mode
// equal to the one reported just before it is passed over: drivers list each size once per refresh rate.
// An empty device name reads nothing; Windows would take it for the primary display.
unsigned CollectModes(LPCSTR pszDevice, ModeFilter filter, ModeSortList* pSet);

// One node per triple, in the set's order; labelled "%dX%dX%d" when bMenuLabels. The nodes built before
// an allocation fails are kept.
DispRes* BuildResList(const ModeSortList& set, bool bMenuLabels);

enum class GroupedKind {
    Adapter, // labels "%dx%d"
    System,  // links pPrev, traces each new size
};
// One node per size with the depths offered at it; *pnCount counts the nodes. The nodes built before an
// allocation fails are kept.
DispRes* BuildGroupedList(const ModeSortList& set, GroupedKind kind, UINT* pnCount);

// The depth-mask bit of a depth: 8 -> 1, 16 -> 2, 24 -> 4, 32 -> 8, anything else 0.
unsigned DepthMaskBit(unsigned nBpp);
