#include <windows.h>

#include "framework/msg_map.h"

namespace {

// Menus and buttons send code 0, accelerators code 1; control notifications carry other codes and are not
// commands.
bool IsCommandNotification(WPARAM wParam) {
    return HIWORD(wParam) <= 1;
}

} // namespace

bool FwEntryMatches(const FwMsgMapEntry& entry, UINT nMsg, WPARAM wParam) {
    switch (entry.kind) {
    case FwEntryKind::Message:
        return nMsg == entry.nMessage;
    case FwEntryKind::Registered:
        return *entry.pnRegistered != 0 && nMsg == *entry.pnRegistered;
    case FwEntryKind::Command:
    case FwEntryKind::CommandRange:
        if (nMsg != WM_COMMAND || !IsCommandNotification(wParam))
            return false;
        return LOWORD(wParam) >= entry.nIdFirst && LOWORD(wParam) <= entry.nIdLast;
    case FwEntryKind::End:
        break;
    }
    return false;
}

const FwMsgMapEntry* FwFindEntry(const FwMsgMap* pMap, UINT nMsg, WPARAM wParam) {
    for (; pMap != nullptr; pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr) {
        for (const FwMsgMapEntry* pEntry = pMap->pEntries; pEntry->kind != FwEntryKind::End; ++pEntry) {
            if (FwEntryMatches(*pEntry, nMsg, wParam))
                return pEntry;
        }
    }
    return nullptr;
}
