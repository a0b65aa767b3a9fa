// "RemoveRegistry", the second half of "Uninstall" from a second start: the program's whole registry tree
// under the current user goes, and the utility ends.
#include <windows.h>

#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "sysint/dbg_trace.h"
#include "sysint/reg_tree.h"

LRESULT CDispoDlg::OnRemoveReg(WPARAM, LPARAM) {
    DbgTrace("remove registry \n");
    DbgTrace("OnRemove Reg\n");
    // The tree is the key every profile of the program lives under: Software\<registry key>, the same for
    // both deliverables and every section.
    CDispoApp* pApp = GetDispoApp();
    HKEY hSoftware = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &hSoftware) != ERROR_SUCCESS) {
        DbgTrace("Failt to Open Uninstall registry\n");
    } else {
        if (pApp != nullptr && pApp->m_pszRegistryKey != nullptr)
            DeleteKeyTree(hSoftware, pApp->m_pszRegistryKey);
        RegCloseKey(hSoftware);
    }
    // The profile is gone for good: anything still handled before the quit must not write it back.
    if (pApp != nullptr)
        pApp->SetRegistryKey(nullptr);
    PostQuitMessage(0);
    return 0;
}
