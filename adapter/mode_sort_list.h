// ModeSortList: the set of (width, height, depth) triples a list builder keeps, in ascending order, each
// once. The lists are built from it, so every list comes out sorted whatever order Windows reports in.
#pragma once

class ModeSortList {
public:
    ModeSortList() = default;
    ~ModeSortList();
    ModeSortList(const ModeSortList&) = delete;
    ModeSortList& operator=(const ModeSortList&) = delete;

    // Keeps ascending order by width, then height, then depth. False when the triple is already present or
    // there is no memory for it; the set is unchanged then.
    bool Insert(unsigned nWidth, unsigned nHeight, unsigned nBpp);
    unsigned Count() const { return m_nCount; }
    // The triple at nIndex; false, leaving the outputs alone, for an index at or beyond Count().
    bool Get(unsigned nIndex, unsigned* pnWidth, unsigned* pnHeight, unsigned* pnBpp) const;

private:
    struct Triple {
        unsigned nWidth;
        unsigned nHeight;
        unsigned nBpp;
    };
    bool Grow();

    Triple* m_pItems = nullptr;
    unsigned m_nCount = 0;
    unsigned m_nCapacity = 0;
};
