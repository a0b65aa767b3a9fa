#include "adapter/mode_sort_list.h"

#include <new>

namespace {
// A display device offers a few dozen distinct modes; one allocation usually holds them all.
constexpr unsigned kFirstCapacity = 64;
} // namespace

ModeSortList::~ModeSortList() {
    delete[] m_pItems;
}

bool ModeSortList::Grow() {
    // The capacity doubles; a set that would need more than half the unsigned range is not grown further.
    if (m_nCapacity > ~0u / 2)
        return false;
    const unsigned nCapacity = m_nCapacity == 0 ? kFirstCapacity : m_nCapacity * 2;
    Triple* pItems = new (std::nothrow) Triple[nCapacity];
    if (pItems == nullptr)
        return false;
    for (unsigned i = 0; i < m_nCount; ++i)
        pItems[i] = m_pItems[i];
    delete[] m_pItems;
    m_pItems = pItems;
    m_nCapacity = nCapacity;
    return true;
}

bool ModeSortList::Insert(unsigned nWidth, unsigned nHeight, unsigned nBpp) {
    // Binary search for the first triple not below the new one.
    unsigned nLow = 0;
    unsigned nHigh = m_nCount;
    while (nLow < nHigh) {
        const unsigned nMid = nLow + (nHigh - nLow) / 2;
        const Triple& t = m_pItems[nMid];
        const bool bBelow = t.nWidth != nWidth     ? t.nWidth < nWidth
                            : t.nHeight != nHeight ? t.nHeight < nHeight
                                                   : t.nBpp < nBpp;
        if (bBelow)
            nLow = nMid + 1;
        else
            nHigh = nMid;
    }
    if (nLow < m_nCount) {
        const Triple& t = m_pItems[nLow];
        if (t.nWidth == nWidth && t.nHeight == nHeight && t.nBpp == nBpp)
            return false;
    }
    if (m_nCount == m_nCapacity && !Grow())
        return false;
    for (unsigned i = m_nCount; i > nLow; --i)
        m_pItems[i] = m_pItems[i - 1];
    m_pItems[nLow] = Triple{nWidth, nHeight, nBpp};
    ++m_nCount;
    return true;
}

bool ModeSortList::Get(unsigned nIndex, unsigned* pnWidth, unsigned* pnHeight, unsigned* pnBpp) const {
    if (nIndex >= m_nCount)
        return false;
    const Triple& t = m_pItems[nIndex];
    if (pnWidth != nullptr)
        *pnWidth = t.nWidth;
    if (pnHeight != nullptr)
        *pnHeight = t.nHeight;
    if (pnBpp != nullptr)
        *pnBpp = t.nBpp;
    return true;
}
