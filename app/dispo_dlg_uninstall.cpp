// "RemoveRegistry", the second half of "Uninstall" from a second start: taken by the main window and
// answered with 0; the program's registry tree is left as it is.
#include <windows.h>

#include "app/dispo_dlg.h"

LRESULT CDispoDlg::OnRemoveReg(WPARAM, LPARAM) {
    return 0;
}
