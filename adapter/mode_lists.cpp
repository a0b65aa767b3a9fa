// The adapter's resolution lists: the menu list the tray offers, the full list saved resolutions are
// checked against, and the grouped list of sizes with their depths that the mirror logic matches.
#include <windows.h>

#include <new>

#include "adapter/adapter.h"
#include "adapter/mode_lists.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"

namespace {

// The landscape menu offers the small sizes only as the common 4:3 desktops at 16 or 32 bits; wider modes
// at any real colour depth.
constexpr unsigned kMenuBandMinWidth = 800;
constexpr unsigned kMenuBandMaxWidth = 1024;
constexpr unsigned kMenuBandMaxHeight = 768;
constexpr unsigned kPortraitMinWidth = 600;
// Below these the modes are the firmware's text and planar modes, of no use on a desktop.
constexpr unsigned kTooSmallWidth = 300;
constexpr unsigned kTooSmallHeight = 200;

bool IsDesktopDepth(unsigned nBpp) {
    return nBpp == 16 || nBpp == 32;
}

void TraceInsert(unsigned nWidth, unsigned nHeight, unsigned nBpp) {
    DbgTrace("insert res x: %d y: %d z: %d\n", (int)nWidth, (int)nHeight, (int)nBpp);
}

DispRes* NewNode() {
    DispRes* pNode = new (std::nothrow) DispRes;
    if (pNode != nullptr)
        *pNode = DispRes{};
    return pNode;
}

} // namespace

ModeFilter MenuFilter(BOOL bAllModes, int nRotation) {
    if (bAllModes)
        return ModeFilter::Every;
    switch (nRotation) {
    case 0:
    case 2:
        return ModeFilter::MenuLandscape;
    case 1:
    case 3:
        return ModeFilter::MenuPortrait;
    default:
        return ModeFilter::Nothing;
    }
}

bool KeepMode(ModeFilter filter, unsigned nWidth, unsigned nHeight, unsigned nBpp) {
    switch (filter) {
    case ModeFilter::Every:
        return true;
    case ModeFilter::MenuLandscape:
        if (nWidth >= kMenuBandMinWidth && nWidth <= kMenuBandMaxWidth)
            return nHeight <= kMenuBandMaxHeight && IsDesktopDepth(nBpp);
        if (nWidth > kMenuBandMaxWidth && nBpp > 8) {
            TraceInsert(nWidth, nHeight, nBpp);
            return true;
        }
        return false;
    case ModeFilter::MenuPortrait:
        if (nWidth >= kPortraitMinWidth && nBpp > 8) {
            TraceInsert(nWidth, nHeight, nBpp);
            return true;
        }
        return false;
    case ModeFilter::Nothing:
        return false;
    case ModeFilter::Full:
        return nWidth > kTooSmallWidth && nHeight > kTooSmallHeight && IsDesktopDepth(nBpp);
    case ModeFilter::Grouped:
        return nWidth != kTooSmallWidth && nHeight != kTooSmallHeight;
    }
    return false;
}

unsigned CollectModes(LPCSTR pszDevice, ModeFilter filter, ModeSortList* pSet) {
    if (pszDevice == nullptr || pszDevice[0] == '\0')
        return 0;
    unsigned nReported = 0;
    bool bHavePrevious = false;
    unsigned nPrevWidth = 0;
    unsigned nPrevHeight = 0;
    unsigned nPrevBpp = 0;
    for (DWORD iMode = 0;; ++iMode) {
        DEVMODEA dm;
        InitDevMode(dm);
        if (EnumDisplaySettingsA(pszDevice, iMode, &dm) != TRUE)
            break;
        ++nReported;
        const unsigned nWidth = static_cast<unsigned>(dm.dmPelsWidth);
        const unsigned nHeight = static_cast<unsigned>(dm.dmPelsHeight);
        const unsigned nBpp = static_cast<unsigned>(dm.dmBitsPerPel);
        const bool bRepeat =
            bHavePrevious && nWidth == nPrevWidth && nHeight == nPrevHeight && nBpp == nPrevBpp;
        bHavePrevious = true;
        nPrevWidth = nWidth;
        nPrevHeight = nHeight;
        nPrevBpp = nBpp;
        if (bRepeat)
            continue;
        if (KeepMode(filter, nWidth, nHeight, nBpp) && pSet != nullptr)
            pSet->Insert(nWidth, nHeight, nBpp);
    }
    return nReported;
}

DispRes* BuildResList(const ModeSortList& set, bool bMenuLabels) {
    DispRes* pHead = nullptr;
    DispRes* pTail = nullptr;
    unsigned nWidth = 0;
    unsigned nHeight = 0;
    unsigned nBpp = 0;
    for (unsigned i = 0; set.Get(i, &nWidth, &nHeight, &nBpp); ++i) {
        DispRes* pNode = NewNode();
        if (pNode == nullptr)
            break;
        pNode->nWidth = nWidth;
        pNode->nHeight = nHeight;
        pNode->nBpp = nBpp;
        // The label is cut to the field; a size no display has could not make it overflow.
        if (bMenuLabels)
            StrFormat(pNode->szLabel, sizeof(pNode->szLabel), "%dX%dX%d", (int)nWidth, (int)nHeight,
                      (int)nBpp);
        if (pTail == nullptr)
            pHead = pNode;
        else
            pTail->pNext = pNode;
        pTail = pNode;
    }
    return pHead;
}

unsigned DepthMaskBit(unsigned nBpp) {
    switch (nBpp) {
    case 8:
        return 1;
    case 16:
        return 2;
    case 24:
        return 4;
    case 32:
        return 8;
    default:
        return 0;
    }
}

DispRes* BuildGroupedList(const ModeSortList& set, GroupedKind kind, UINT* pnCount) {
    DispRes* pHead = nullptr;
    DispRes* pTail = nullptr;
    UINT nCount = 0;
    unsigned nWidth = 0;
    unsigned nHeight = 0;
    unsigned nBpp = 0;
    for (unsigned i = 0; set.Get(i, &nWidth, &nHeight, &nBpp); ++i) {
        if (pTail == nullptr || pTail->nWidth != nWidth || pTail->nHeight != nHeight) {
            DispRes* pNode = NewNode();
            if (pNode == nullptr) {
                DbgTrace("Get dispmode failed\n");
                break;
            }
            pNode->nWidth = nWidth;
            pNode->nHeight = nHeight;
            if (kind == GroupedKind::Adapter) {
                StrFormat(pNode->szLabel, sizeof(pNode->szLabel), "%dx%d", (int)nWidth, (int)nHeight);
            } else {
                pNode->pPrev = pTail;
                DbgTrace("x: %d y: %d z: %d\n", (int)nWidth, (int)nHeight, (int)nBpp);
            }
            if (pTail == nullptr)
                pHead = pNode;
            else
                pTail->pNext = pNode;
            pTail = pNode;
            ++nCount;
        }
        // A depth the mask has no bit for still leaves its size in the list.
        const unsigned nBit = DepthMaskBit(nBpp);
        if (nBit != 0 && (pTail->nDepthMask & nBit) == 0) {
            pTail->nDepthMask |= nBit;
            ++pTail->nDepthCount;
        }
    }
    if (pnCount != nullptr)
        *pnCount = nCount;
    return pHead;
}

bool CAdapter::GetDispRes() {
    DbgTrace("Enter GetDispRes %s\n", m_ddActive.DeviceName);
    FreeDispResList(m_pDispResHead);
    m_pDispResHead = nullptr;
    {
        ModeSortList set;
        CollectModes(m_ddActive.DeviceName, MenuFilter(m_bAllModes, m_nRotation), &set);
        m_pDispResHead = BuildResList(set, /*bMenuLabels*/ true);
    }
    GetFullDispRes();
    return true;
}

bool CAdapter::GetFullDispRes() {
    DbgTrace("Enter GetFullDispRes %s\n", m_ddActive.DeviceName);
    FreeDispResList(m_pFullDispResHead);
    m_pFullDispResHead = nullptr;
    {
        ModeSortList set;
        CollectModes(m_ddActive.DeviceName, ModeFilter::Full, &set);
        DbgTrace("list cnt %d\n", (int)set.Count());
        m_pFullDispResHead = BuildResList(set, /*bMenuLabels*/ false);
    }
    EnumFullDispMode();
    return true;
}

void CAdapter::EnumFullDispMode() {
    DbgTrace("Enter EnumFullDispMode %s\n", m_ddActive.DeviceName);
    // Freed whatever the counter says: a head without a count would otherwise be lost.
    FreeDispResList(m_pFullDispModeHead);
    m_pFullDispModeHead = nullptr;
    m_nFullDispModeCount = 0;
    ModeSortList set;
    CollectModes(m_ddActive.DeviceName, ModeFilter::Grouped, &set);
    DbgTrace("list cnt %d\n", (int)set.Count());
    m_pFullDispModeHead = BuildGroupedList(set, GroupedKind::Adapter, &m_nFullDispModeCount);
}

bool CAdapter::SetAllModes(bool bAll) {
    m_bAllModes = bAll ? TRUE : FALSE;
    return GetDispRes();
}
