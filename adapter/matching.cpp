// Matching resolutions against the adapter's lists: a saved resolution on bring-up, and a mode that the
// adapter and the primary display can both show while the adapter mirrors it.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/mode_lists.h"
#include "sysint/dbg_trace.h"

namespace {

// The rate the driver is told for the mirror, whatever the primary display runs at.
constexpr DWORD kMirrorRefreshHz = 60;

bool SameSize(const DispRes* pNode, unsigned nWidth, unsigned nHeight) {
    return pNode->nWidth == nWidth && pNode->nHeight == nHeight;
}

// The size nearest to nWidth x nHeight in a list sorted by width, then height: the size itself; else the
// next taller size of the same width; else the last node narrower (or as wide and shorter). Null when the
// list ends before a node wider than wanted was seen and bCandidateAtEnd is false.
const DispRes* NearestSize(const DispRes* pHead, unsigned nWidth, unsigned nHeight, bool bTraceCandidates,
                           bool bCandidateAtEnd) {
    const DispRes* pCandidate = pHead;
    for (const DispRes* pNode = pHead; pNode != nullptr; pNode = pNode->pNext) {
        if (SameSize(pNode, nWidth, nHeight))
            return pNode;
        if (pNode->nWidth < nWidth || (pNode->nWidth == nWidth && pNode->nHeight < nHeight)) {
            pCandidate = pNode;
            if (bTraceCandidates)
                DbgTrace("Mirror looking for width = %d, height =%d  \n", (int)pNode->nWidth,
                         (int)pNode->nHeight);
            continue;
        }
        if (pNode->nWidth == nWidth)
            return pNode; // as wide and taller: the picture fits without being cut
        return pCandidate;
    }
    return bCandidateAtEnd ? pCandidate : nullptr;
}

// The depth for the mirror at pSelected's size: nBpp when offered, else the largest smaller depth met
// before a larger one. Only nodes of pSelected's own size count: a depth of the next size is no depth of
// this one.
unsigned ChooseDepth(const DispRes* pSelected, unsigned nBpp) {
    unsigned nChosen = nBpp;
    for (const DispRes* pNode = pSelected;
         pNode != nullptr && SameSize(pNode, pSelected->nWidth, pSelected->nHeight); pNode = pNode->pNext) {
        if (pNode->nBpp == nBpp)
            return nBpp;
        if (pNode->nBpp > nBpp)
            break;
        nChosen = pNode->nBpp;
    }
    return nChosen;
}

void SetMode(DEVMODEA* pMode, unsigned nWidth, unsigned nHeight, unsigned nBpp) {
    pMode->dmPelsWidth = nWidth;
    pMode->dmPelsHeight = nHeight;
    pMode->dmBitsPerPel = nBpp;
}

void ApplyNearest(const DispRes* pSelected, DEVMODEA* pMode) {
    const unsigned nBpp = ChooseDepth(pSelected, static_cast<unsigned>(pMode->dmBitsPerPel));
    SetMode(pMode, pSelected->nWidth, pSelected->nHeight, nBpp);
    DbgTrace("Mirror set %d %d %d \n", (int)pSelected->nWidth, (int)pSelected->nHeight, (int)nBpp);
}

// The depth to mirror at from a size's depth mask: nBpp itself when offered, else the next smaller depth
// offered; 0 when none is (and for a depth other than 16, 24 or 32).
unsigned DepthFromMask(unsigned nMask, unsigned nBpp) {
    const unsigned depths[] = {32, 24, 16, 8};
    bool bReached = false;
    if (nBpp != 16 && nBpp != 24 && nBpp != 32)
        return 0;
    for (unsigned nDepth : depths) {
        bReached = bReached || nDepth == nBpp;
        if (bReached && (nMask & DepthMaskBit(nDepth)) != 0)
            return nDepth;
    }
    return 0;
}

unsigned LargestDepth(unsigned nMask) {
    if ((nMask & DepthMaskBit(32)) != 0)
        return 32;
    if ((nMask & DepthMaskBit(24)) != 0)
        return 24;
    if ((nMask & DepthMaskBit(16)) != 0)
        return 16;
    return 8;
}

} // namespace

bool CAdapter::CheckResolution() {
    for (const DispRes* pNode = m_pFullDispResHead; pNode != nullptr; pNode = pNode->pNext) {
        if (pNode->nWidth == static_cast<unsigned>(m_nWidth) &&
            pNode->nHeight == static_cast<unsigned>(m_nHeight) &&
            pNode->nBpp == static_cast<unsigned>(m_nBpp)) {
            m_nWidth = static_cast<int>(pNode->nWidth);
            m_nHeight = static_cast<int>(pNode->nHeight);
            m_nBpp = static_cast<int>(pNode->nBpp);
            DbgTrace("[CheckResolution] Got same resolution\n");
            return true;
        }
    }
    DbgTrace("[CheckResolution] Didn't got same resolution\n");
    return false;
}

bool CAdapter::CheckInitResolution(int nWidth, int nHeight, int nBpp, int* pnWidth, int* pnHeight,
                                   int* pnBpp) {
    m_nWidth = 0;
    m_nHeight = 0;
    m_nBpp = 0;
    if (m_pFullDispResHead == nullptr)
        return false;
    for (const DispRes* pNode = m_pFullDispResHead; pNode != nullptr; pNode = pNode->pNext) {
        // Each node passed goes to the outputs, so that without an answer they hold the largest mode.
        if (pnWidth != nullptr)
            *pnWidth = static_cast<int>(pNode->nWidth);
        if (pnHeight != nullptr)
            *pnHeight = static_cast<int>(pNode->nHeight);
        if (pnBpp != nullptr)
            *pnBpp = static_cast<int>(pNode->nBpp);
        if (pNode->nHeight >= static_cast<unsigned>(nHeight) &&
            pNode->nWidth >= static_cast<unsigned>(nWidth) && pNode->nBpp >= static_cast<unsigned>(nBpp)) {
            DbgTrace("[CheckInitResolution] Got record resolution samller than device\n");
            return true;
        }
    }
    DbgTrace("[CheckInitResolution] Didn't find record resolution bigger than device, use the most big\n");
    return false;
}

bool CAdapter::FindMirrorRes(DEVMODEA* pMode, MirrorCenter* pCenter) {
    if (pMode == nullptr)
        return false;
    bool bFound = false;
    const DispRes* pSelected = NearestSize(m_pDispResHead, static_cast<unsigned>(pMode->dmPelsWidth),
                                           static_cast<unsigned>(pMode->dmPelsHeight),
                                           /*bTraceCandidates*/ true, /*bCandidateAtEnd*/ false);
    if (pSelected != nullptr) {
        ApplyNearest(pSelected, pMode);
        bFound = true;
    }

    // The driver is told where the mirrored picture sits in the primary display's, found or not.
    MirrorCenter center;
    ZeroMemory(&center, sizeof(center));
    if (m_pHost != nullptr) {
        center.dwSysWidth = static_cast<DWORD>(m_pHost->GetSysWidth());
        center.dwSysHeight = static_cast<DWORD>(m_pHost->GetSysHeight());
    }
    center.dwMirWidth = pMode->dmPelsWidth;
    center.dwMirHeight = pMode->dmPelsHeight;
    center.dwFrequency = kMirrorRefreshHz;
    center.dwMirBpp = pMode->dmBitsPerPel;
    center.dwReserved = 0;
    if (HasDevice())
        SendRequest(IOCTL_SET_MIRROR_CENTER, &center, sizeof(center), nullptr, 0);
    else
        DbgTrace("set mirror center IOCTL failed, handle is invalid\n");
    if (pCenter != nullptr)
        *pCenter = center;
    return bFound;
}

void CAdapter::NearestMirrorRes(DEVMODEA* pMode) {
    if (pMode == nullptr || m_pFullDispResHead == nullptr)
        return;
    const DispRes* pSelected = NearestSize(m_pFullDispResHead, static_cast<unsigned>(pMode->dmPelsWidth),
                                           static_cast<unsigned>(pMode->dmPelsHeight),
                                           /*bTraceCandidates*/ false, /*bCandidateAtEnd*/ true);
    if (pSelected != nullptr)
        ApplyNearest(pSelected, pMode);
}

bool CAdapter::MatchMirrorDepth(DEVMODEA* pMode) {
    if (pMode == nullptr)
        return false;
    const unsigned nWidth = static_cast<unsigned>(pMode->dmPelsWidth);
    const unsigned nHeight = static_cast<unsigned>(pMode->dmPelsHeight);
    unsigned nBpp = static_cast<unsigned>(pMode->dmBitsPerPel);
    bool bSizeFound = false;
    for (const DispRes* pNode = m_pFullDispModeHead; pNode != nullptr; pNode = pNode->pNext) {
        if (!SameSize(pNode, nWidth, nHeight))
            continue;
        bSizeFound = true;
        const unsigned nDepth = DepthFromMask(pNode->nDepthMask, nBpp);
        if (nDepth != 0) {
            nBpp = nDepth;
            break;
        }
    }
    if (!bSizeFound) {
        DbgTrace("Mirror can't get 100%% match res\n");
        return false;
    }
    pMode->dmBitsPerPel = nBpp;
    return true;
}

void CAdapter::SyncMirrorDPI(DEVMODEA* pMode) {
    if (pMode == nullptr)
        return;
    DbgTrace("[SyncMirrorDPI] System x:%d y:%d z:%d\n", (int)pMode->dmPelsWidth, (int)pMode->dmPelsHeight,
             (int)pMode->dmBitsPerPel);
    DEVMODEA copy = *pMode;
    if (MatchMirrorDepth(&copy)) {
        SetMode(pMode, copy.dmPelsWidth, copy.dmPelsHeight, copy.dmBitsPerPel);
        return;
    }

    const DispRes* pCurrent = nullptr;
    if (m_pHost != nullptr) {
        for (pCurrent = m_pHost->GetSysDispModes(); pCurrent != nullptr; pCurrent = pCurrent->pNext) {
            if (SameSize(pCurrent, static_cast<unsigned>(pMode->dmPelsWidth),
                         static_cast<unsigned>(pMode->dmPelsHeight)))
                break;
        }
    }
    // A size the primary display never offered: nothing is known to step down from.
    if (pCurrent == nullptr)
        return;
    DbgTrace("Mirror get current system res %d %d\n", (int)pCurrent->nWidth, (int)pCurrent->nHeight);

    for (const DispRes* pSmaller = pCurrent->pPrev; pSmaller != nullptr; pSmaller = pSmaller->pPrev) {
        SetMode(&copy, pSmaller->nWidth, pSmaller->nHeight, LargestDepth(pSmaller->nDepthMask));
        DbgTrace("Mirror previous %d %d\n", (int)pSmaller->nWidth, (int)pSmaller->nHeight);
        if (!MatchMirrorDepth(&copy))
            continue;
        // The primary display's resolution goes to the profile before it is lowered, so that it comes back
        // even when the program does not live to restore it.
        m_pHost->SaveSystemResolution({static_cast<int>(pMode->dmPelsWidth),
                                       static_cast<int>(pMode->dmPelsHeight),
                                       static_cast<int>(pMode->dmBitsPerPel)});
        DbgTrace("Sync mirror DPI\n");
        m_pHost->RestoreSystem(static_cast<int>(copy.dmPelsWidth), static_cast<int>(copy.dmPelsHeight),
                               static_cast<int>(copy.dmBitsPerPel));
        SetMode(pMode, copy.dmPelsWidth, copy.dmPelsHeight, copy.dmBitsPerPel);
        DbgTrace("Mirror match %d %d %d \n", (int)pMode->dmPelsWidth, (int)pMode->dmPelsHeight,
                 (int)pMode->dmBitsPerPel);
        return;
    }
    DbgTrace("No any match resolution for mirror\n");
    NearestMirrorRes(pMode);
}

int CAdapter::RecheckResolution() {
    if (m_pDispResHead == nullptr) {
        DbgTrace("[Recheck Resolution] m_pAdapter->m_pDispResHead == NULL \n");
        return 0;
    }
    const DispMode old = GetMode();
    // The list ascends by width, then height, then depth: the first mode that holds the old one in all
    // three values is the smallest that loses nothing.
    for (const DispRes* pNode = m_pDispResHead; pNode != nullptr; pNode = pNode->pNext) {
        StoreMode({static_cast<int>(pNode->nWidth), static_cast<int>(pNode->nHeight),
                   static_cast<int>(pNode->nBpp)});
        if (static_cast<unsigned>(old.nWidth) <= pNode->nWidth &&
            static_cast<unsigned>(old.nHeight) <= pNode->nHeight &&
            static_cast<unsigned>(old.nBpp) <= pNode->nBpp)
            return 1;
    }
    return 0;
}
