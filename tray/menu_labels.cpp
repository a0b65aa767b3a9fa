#include <windows.h>

#include "res/resource.h"
#include "tray/menu_labels.h"

void CMenuLabels::Load(HINSTANCE hInstance) {
    for (int i = 0; i < kCount; ++i)
        LoadStringA(hInstance, IDS_MENU_PRIMARY + i, m_szLabels[i], kChars);
}

const char* CMenuLabels::Get(UINT nStringId) const {
    if (nStringId < IDS_MENU_PRIMARY || nStringId >= IDS_MENU_PRIMARY + kCount)
        return "";
    return m_szLabels[nStringId - IDS_MENU_PRIMARY];
}
