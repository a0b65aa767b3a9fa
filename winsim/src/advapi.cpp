// advapi32: the service control manager, token privileges, SIDs, ACLs and key security.
#include "faults.h"
#include "kernel.h"
#include "machine.h"
#include "process.h"
#include "registry.h"
#include "shell.h"
#include "rights.h"

#include <cstdio>
#include <cstdlib>

namespace winsim {
namespace {

constexpr DWORD kSecurityPrivilegeLuid = 8; // SeSecurityPrivilege
constexpr WORD kDaclPresent = 0x0004;       // SE_DACL_PRESENT

struct SidBytes {
    BYTE revision;
    BYTE subAuthorityCount;
    BYTE authority[6];
    DWORD subAuthority[1];
};

struct AceHeader {
    BYTE type;
    BYTE flags;
    WORD size;
};

DWORD SidLength(const void* sid) {
    return 8 + 4 * static_cast<const SidBytes*>(sid)->subAuthorityCount;
}

Str SidText(const void* sid) {
    auto* s = static_cast<const SidBytes*>(sid);
    unsigned long long authority = 0;
    for (BYTE b : s->authority)
        authority = (authority << 8) | b;
    char buffer[32];
    snprintf(buffer, sizeof buffer, "S-%u-%llu", s->revision, authority);
    Str text(buffer);
    for (BYTE i = 0; i < s->subAuthorityCount; ++i) {
        DWORD sub = 0;
        memcpy(&sub, reinterpret_cast<const BYTE*>(sid) + 8 + 4 * i, sizeof sub);
        snprintf(buffer, sizeof buffer, "-%u", static_cast<unsigned>(sub));
        text += buffer;
    }
    return text;
}

// The access list as SDDL-like text, so a test reads back exactly what the program set.
Str DaclText(const ACL* acl) {
    if (!acl)
        return Str("D:NULL");
    Str text("D:");
    const BYTE* ace = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        AceHeader header;
        memcpy(&header, ace, sizeof header);
        DWORD mask = 0;
        memcpy(&mask, ace + sizeof header, sizeof mask);
        char buffer[64];
        snprintf(buffer, sizeof buffer, "(%s;0x%X;%s)", header.type == 0 ? "A" : "D",
                 static_cast<unsigned>(mask), SidText(ace + sizeof header + sizeof mask).c_str());
        text += buffer;
        ace += header.size;
    }
    return text;
}

Service* FindServiceByHandle(SC_HANDLE handle) {
    Machine& m = M();
    auto it = m.serviceHandles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == m.serviceHandles.end() || it->second.empty())
        return nullptr;
    auto service = m.services.find(it->second);
    return service == m.services.end() ? nullptr : &service->second;
}

SC_HANDLE NewServiceHandle(const Str& name) {
    Machine& m = M();
    uintptr_t value = m.nextServiceHandle;
    m.nextServiceHandle += 0x10;
    m.serviceHandles[value] = name;
    return reinterpret_cast<SC_HANDLE>(value);
}

} // namespace
} // namespace winsim

using namespace winsim;

// Only an administrator's full token may ask for more than to look.
SC_HANDLE OpenSCManagerA(LPCSTR, LPCSTR, DWORD dwDesiredAccess) {
    WINSIM_ENTRY(OpenSCManagerA, nullptr);
    if ((dwDesiredAccess & ~DWORD(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | READ_CONTROL)) &&
        !MayChangeMachine()) {
        SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return NewServiceHandle(Str(""));
}

SC_HANDLE OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
    WINSIM_ENTRY(OpenServiceA, nullptr);
    if ((dwDesiredAccess & ~DWORD(SERVICE_QUERY_STATUS | READ_CONTROL)) && !MayChangeMachine()) {
        SetError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    Machine& m = M();
    auto manager = m.serviceHandles.find(reinterpret_cast<uintptr_t>(hSCManager));
    if (manager == m.serviceHandles.end() || !manager->second.empty()) {
        SetError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto it = m.services.find(Str(lpServiceName ? lpServiceName : ""));
    if (it == m.services.end() || it->second.state == ServiceState::Absent) {
        SetError(ERROR_SERVICE_DOES_NOT_EXIST);
        return nullptr;
    }
    return NewServiceHandle(it->first);
}

BOOL StartServiceA(SC_HANDLE hService, DWORD, LPCSTR*) {
    WINSIM_ENTRY(StartServiceA, FALSE);
    Service* service = FindServiceByHandle(hService);
    if (!service) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (service->state == ServiceState::Running) {
        SetError(ERROR_SERVICE_ALREADY_RUNNING);
        return FALSE;
    }
    service->state = ServiceState::Running;
    service->starts++;
    return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
    WINSIM_ENTRY(ControlService, FALSE);
    Service* service = FindServiceByHandle(hService);
    if (!service) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpServiceStatus)
        *lpServiceStatus = SERVICE_STATUS{
            0x20, service->state == ServiceState::Running ? DWORD(SERVICE_RUNNING) : DWORD(SERVICE_STOPPED),
            0,    0,
            0,    0,
            0};
    if (dwControl != SERVICE_CONTROL_STOP) {
        SetError(ERROR_SERVICE_REQUEST_TIMEOUT);
        return FALSE;
    }
    if (service->state != ServiceState::Running) {
        SetError(ERROR_SERVICE_NOT_ACTIVE);
        return FALSE;
    }
    service->state = ServiceState::Stopped;
    service->stops++;
    if (lpServiceStatus)
        lpServiceStatus->dwCurrentState = SERVICE_STOP_PENDING;
    return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
    WINSIM_ENTRY(CloseServiceHandle, FALSE);
    if (!M().serviceHandles.erase(reinterpret_cast<uintptr_t>(hSCObject))) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
    WINSIM_ENTRY(OpenProcessToken, FALSE);
    if (!TokenHandle || ProcessHandle != GetCurrentProcess()) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KernelObject* token = New<KernelObject>();
    token->kind = ObjectKind::Token;
    *TokenHandle = AddHandle(token, 0);
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR, LPCSTR lpName, PLUID lpLuid) {
    WINSIM_ENTRY(LookupPrivilegeValueA, FALSE);
    if (!lpName || !lpLuid || !EqualNoCase(lpName, SE_SECURITY_NAME)) {
        SetError(ERROR_NO_SUCH_PRIVILEGE);
        return FALSE;
    }
    lpLuid->LowPart = kSecurityPrivilegeLuid;
    lpLuid->HighPart = 0;
    return TRUE;
}

// Like Windows, the call succeeds even when the token does not hold the privilege; only the last error
// (ERROR_NOT_ALL_ASSIGNED) tells.
BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL, PTOKEN_PRIVILEGES NewState, DWORD, PTOKEN_PRIVILEGES,
                           LPDWORD) {
    WINSIM_ENTRY(AdjustTokenPrivileges, FALSE);
    HandleEntry* entry = LookupHandle(TokenHandle);
    if (!entry || entry->object->kind != ObjectKind::Token || !NewState) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Machine& m = M();
    bool allAssigned = true;
    for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& p = NewState->Privileges[i];
        // A filtered or a standard user's token has no SeSecurityPrivilege to enable.
        bool held = p.Luid.LowPart == kSecurityPrivilegeLuid && m.securityPrivilegeHeld && MayChangeMachine();
        allAssigned = allAssigned && held;
        char buffer[96];
        snprintf(buffer, sizeof buffer, "%u luid=%u %s%s", static_cast<unsigned>(CurrentProcess().pid),
                 static_cast<unsigned>(p.Luid.LowPart),
                 (p.Attributes & SE_PRIVILEGE_ENABLED) ? "enable" : "disable", held ? "" : " not-held");
        m.privilegeLog.emplace_back(buffer);
    }
    SetError(allAssigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD s0, DWORD s1, DWORD s2,
                              DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7, PSID* pSid) {
    WINSIM_ENTRY(AllocateAndInitializeSid, FALSE);
    if (!authority || !pSid || count == 0 || count > 8) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    auto* sid = static_cast<BYTE*>(calloc(1, 8 + 4 * count));
    sid[0] = 1;
    sid[1] = count;
    memcpy(sid + 2, authority->Value, 6);
    memcpy(sid + 8, subs, 4 * count);
    *pSid = sid;
    return TRUE;
}

PVOID FreeSid(PSID pSid) {
    WINSIM_ENTRY(FreeSid, pSid);
    free(pSid);
    return nullptr;
}

DWORD GetLengthSid(PSID pSid) {
    WINSIM_ENTRY_NEVER_FAILS(GetLengthSid);
    return pSid ? SidLength(pSid) : 0;
}

BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
    WINSIM_ENTRY(InitializeAcl, FALSE);
    if (!pAcl || nAclLength < sizeof(ACL) || dwAclRevision != ACL_REVISION) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *pAcl = ACL{static_cast<BYTE>(dwAclRevision), 0, static_cast<WORD>(nAclLength), 0, 0};
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
    WINSIM_ENTRY(AddAccessAllowedAce, FALSE);
    if (!pAcl || !pSid || dwAceRevision != ACL_REVISION) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* ace = reinterpret_cast<BYTE*>(pAcl) + sizeof(ACL);
    for (WORD i = 0; i < pAcl->AceCount; ++i) {
        AceHeader header;
        memcpy(&header, ace, sizeof header);
        ace += header.size;
    }
    DWORD sidLength = SidLength(pSid);
    DWORD aceSize = sizeof(AceHeader) + sizeof(DWORD) + sidLength;
    if (ace + aceSize > reinterpret_cast<BYTE*>(pAcl) + pAcl->AclSize) {
        SetError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    AceHeader header{0, 0, static_cast<WORD>(aceSize)}; // ACCESS_ALLOWED_ACE_TYPE
    memcpy(ace, &header, sizeof header);
    memcpy(ace + sizeof header, &AccessMask, sizeof AccessMask);
    memcpy(ace + sizeof header + sizeof AccessMask, pSid, sidLength);
    pAcl->AceCount++;
    return TRUE;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
    WINSIM_ENTRY(InitializeSecurityDescriptor, FALSE);
    if (!pSecurityDescriptor || dwRevision != SECURITY_DESCRIPTOR_REVISION) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor) =
        SECURITY_DESCRIPTOR{1, 0, 0, nullptr, nullptr, nullptr, nullptr};
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                               BOOL) {
    WINSIM_ENTRY(SetSecurityDescriptorDacl, FALSE);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sd->Dacl = bDaclPresent ? pDacl : nullptr;
    sd->Control = bDaclPresent ? WORD(sd->Control | kDaclPresent) : WORD(sd->Control & ~kDaclPresent);
    return TRUE;
}

LSTATUS RegKeyForSecurity(HKEY hKey, RegKey*& key, REGSAM& access);

LSTATUS RegSetKeySecurity(HKEY hKey, SECURITY_INFORMATION SecurityInformation,
                          PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    WINSIM_ENTRY_CODE(RegSetKeySecurity);
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(pSecurityDescriptor);
    if (!sd || sd->Revision != SECURITY_DESCRIPTOR_REVISION)
        return ERROR_INVALID_PARAMETER;
    REGSAM access = 0;
    RegKey* key = nullptr;
    if (LSTATUS status = RegKeyForSecurity(hKey, key, access))
        return status;
    if (!(access & WRITE_DAC) || key->denyWrite || key->denySecurity)
        return ERROR_ACCESS_DENIED;
    if (SecurityInformation & DACL_SECURITY_INFORMATION)
        key->securityLog.push_back(DaclText((sd->Control & kDaclPresent) ? sd->Dacl : nullptr));
    return ERROR_SUCCESS;
}
