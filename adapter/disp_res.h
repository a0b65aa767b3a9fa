// DispRes: one node of a resolution list. Every list is singly linked through pNext in ascending order
// and owns its nodes.
#pragma once

struct DispRes {
    unsigned nHeight;
    unsigned nWidth;
    unsigned nBpp;        // menu and full lists
    unsigned nDepthMask;  // grouped lists: 1 = 8 bits, 2 = 16, 4 = 24, 8 = 32
    unsigned nDepthCount; // grouped lists: how many of the four depths are offered
    char szLabel[20];
    DispRes* pNext;
    DispRes* pPrev; // the primary display's grouped list only
};

// Deletes every node from pHead on; nodes are made with new.
void FreeDispResList(DispRes* pHead);
