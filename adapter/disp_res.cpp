#include "adapter/disp_res.h"

void FreeDispResList(DispRes* pHead) {
    while (pHead != nullptr) {
        DispRes* pNext = pHead->pNext;
        delete pHead;
        pHead = pNext;
    }
}
