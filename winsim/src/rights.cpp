// Tokens under User Account Control and the message filter between integrity levels. The rules and their
// sources are in docs/winsim-rights.md.
#include "rights.h"

#include "faults.h"
#include "machine.h"
#include "process.h"
#include "window.h"

#include <algorithm>

namespace winsim {
namespace {

bool Listed(const Vec<UINT>& messages, UINT message) {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
}

// Lets the message in (bAllow) or takes it off the list; it is listed once at most.
void SetAllowed(Vec<UINT>& allowed, UINT message, bool bAllow) {
    allowed.erase(std::remove(allowed.begin(), allowed.end(), message), allowed.end());
    if (bAllow)
        allowed.push_back(message);
}

bool HasIntegrityLevels() {
    return M().os.major >= 6;
}

} // namespace

bool HasFullToken(const Process& process) {
    const Machine& m = M();
    return m.userAdmin && (!HasIntegrityLevels() || !m.uac || process.elevated);
}

Integrity IntegrityOf(const Process& process) {
    if (!HasIntegrityLevels())
        return Integrity::None;
    return HasFullToken(process) ? Integrity::High : Integrity::Medium;
}

Integrity ShellIntegrity() {
    if (!HasIntegrityLevels())
        return Integrity::None;
    return M().userAdmin && !M().uac ? Integrity::High : Integrity::Medium;
}

bool MessageReaches(Integrity from, const Window& window, UINT message) {
    const Process* receiver = FindProcess(window.pid);
    if (!receiver || from >= IntegrityOf(*receiver) || message < WM_USER)
        return true;
    return Listed(window.allowedMessages, message) || Listed(receiver->allowedMessages, message);
}

bool MayChangeMachine() {
    const Process* p = RunningProcess();
    return !p || HasFullToken(*p);
}

} // namespace winsim

using namespace winsim;

// Vista's filter is the process's; 7's is the window's. Both exist only from their version on, and only
// GetProcAddress finds them there (see GetProcAddress).
BOOL ChangeWindowMessageFilter(UINT message, DWORD dwFlag) {
    WINSIM_ENTRY(ChangeWindowMessageFilter, FALSE);
    if (dwFlag != MSGFLT_ADD && dwFlag != MSGFLT_REMOVE) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetAllowed(CurrentProcess().allowedMessages, message, dwFlag == MSGFLT_ADD);
    return TRUE;
}

BOOL ChangeWindowMessageFilterEx(HWND hwnd, UINT message, DWORD action,
                                 PCHANGEFILTERSTRUCT pChangeFilterStruct) {
    WINSIM_ENTRY(ChangeWindowMessageFilterEx, FALSE);
    Window* w = FindWindowRecord(hwnd);
    if (!w || w->pid != CurrentProcess().pid) {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if ((pChangeFilterStruct && pChangeFilterStruct->cbSize != sizeof(CHANGEFILTERSTRUCT)) ||
        (action != MSGFLT_ALLOW && action != MSGFLT_DISALLOW && action != MSGFLT_RESET)) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    SetAllowed(w->allowedMessages, message, action == MSGFLT_ALLOW);
    return TRUE;
}

// Under UAC the Administrators group of a filtered token is for deny only, so it does not count.
BOOL CheckTokenMembership(HANDLE TokenHandle, PSID SidToCheck, PBOOL IsMember) {
    WINSIM_ENTRY(CheckTokenMembership, FALSE);
    if (TokenHandle != nullptr || !SidToCheck || !IsMember) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const BYTE* sid = static_cast<const BYTE*>(SidToCheck);
    DWORD rid[2] = {};
    if (sid[1] == 2)
        memcpy(rid, sid + 8, sizeof rid);
    const bool administrators = rid[0] == SECURITY_BUILTIN_DOMAIN_RID && rid[1] == DOMAIN_ALIAS_RID_ADMINS;
    const bool users = rid[0] == SECURITY_BUILTIN_DOMAIN_RID && rid[1] == DOMAIN_ALIAS_RID_USERS;
    *IsMember = users || (administrators && HasFullToken(CurrentProcess())) ? TRUE : FALSE;
    return TRUE;
}
