// advapi32: the registry. Keys compare case-insensitively and enumerate in name order, as on NT.
// docs/winsim-power.md lists the rules of key enumeration and deletion with their sources.
#include "faults.h"
#include "machine.h"
#include "process.h"
#include "registry.h"
#include "rights.h"

namespace winsim {
namespace {

constexpr uintptr_t kPredefinedBase = 0x80000000u;

RegKey* RootKey(HKEY key) {
    auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    if (value == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)))
        return M().hkcu;
    if (value == static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)))
        return M().hklm;
    return nullptr;
}

bool IsPredefined(HKEY key) {
    return (reinterpret_cast<uintptr_t>(key) & 0xFFFFFFF0u) == kPredefinedBase;
}

// The key behind a handle, with the access it was opened for. Predefined keys allow everything.
LSTATUS Resolve(HKEY key, RegKey*& out, REGSAM& access) {
    if (RegKey* root = RootKey(key)) {
        out = root;
        access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    Process& p = CurrentProcess();
    auto it = p.regHandles.find(reinterpret_cast<uintptr_t>(key));
    if (it == p.regHandles.end())
        return ERROR_INVALID_HANDLE;
    if (it->second.key->deleted)
        return ERROR_KEY_DELETED;
    out = it->second.key;
    access = it->second.access;
    return ERROR_SUCCESS;
}

// HKLM takes writes only from a process with the administrator's full token.
bool WriteDenied(const RegKey* key) {
    for (; key; key = key->parent) {
        if (key->denyWrite || (key == M().hklm && !MayChangeMachine()))
            return true;
    }
    return false;
}

// What an open for writing asks: a key that refuses writes refuses the open.
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | WRITE_DAC | WRITE_OWNER | DELETE;

template <class Visit>
void ForEachSegment(LPCSTR path, Visit visit) {
    if (!path)
        return;
    Str segment(Arena());
    for (const char* c = path;; ++c) {
        if (*c == '\\' || *c == '\0') {
            if (!segment.empty() && !visit(segment))
                return;
            segment.clear();
            if (*c == '\0')
                return;
        } else {
            segment += *c;
        }
    }
}

HKEY NewHandle(RegKey* key, REGSAM access) {
    Process& p = CurrentProcess();
    uintptr_t value = p.nextRegHandle;
    p.nextRegHandle += 4;
    p.regHandles[value] = RegHandle{key, access};
    return reinterpret_cast<HKEY>(value);
}

} // namespace

RegKey* FindKey(RegKey* root, const char* path) {
    RegKey* key = root;
    ForEachSegment(path, [&](const Str& name) {
        auto it = key->subkeys.find(name);
        key = it == key->subkeys.end() ? nullptr : it->second;
        return key != nullptr;
    });
    return key;
}

// The deepest key of `path` that exists already: where a creation would start.
RegKey* DeepestExisting(RegKey* root, const char* path) {
    RegKey* key = root;
    ForEachSegment(path, [&](const Str& name) {
        auto it = key->subkeys.find(name);
        if (it == key->subkeys.end())
            return false;
        key = it->second;
        return true;
    });
    return key;
}

RegKey* CreateKey(RegKey* root, const char* path, bool* created) {
    RegKey* key = root;
    if (created)
        *created = false;
    ForEachSegment(path, [&](const Str& name) {
        auto it = key->subkeys.find(name);
        if (it != key->subkeys.end()) {
            key = it->second;
            return true;
        }
        RegKey* child = New<RegKey>();
        child->name = name;
        child->parent = key;
        key->subkeys.emplace(child->name, child);
        key = child;
        if (created)
            *created = true;
        return true;
    });
    return key;
}

void SetDwordValue(RegKey* key, const char* name, DWORD value) {
    RegValue& v = key->values[Str(name)];
    v.name = name;
    v.type = REG_DWORD;
    v.data.assign(reinterpret_cast<const BYTE*>(&value),
                  reinterpret_cast<const BYTE*>(&value) + sizeof value);
}

} // namespace winsim

using namespace winsim;

LSTATUS RegKeyForSecurity(HKEY hKey, RegKey*& key, REGSAM& access) {
    return Resolve(hKey, key, access);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    WINSIM_ENTRY_CODE(RegOpenKeyExA);
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    RegKey* parent = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, parent, access))
        return status;
    RegKey* key = FindKey(parent, lpSubKey);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if ((samDesired & kWriteAccess) && !MayChangeMachine() && WriteDenied(key))
        return ERROR_ACCESS_DENIED;
    *phkResult = NewHandle(key, samDesired);
    return ERROR_SUCCESS;
}

// It asks for MAXIMUM_ALLOWED: where the token may not write, the key opens for reading only, and the
// write that follows is the call that fails.
LSTATUS RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    WINSIM_ENTRY_CODE(RegOpenKeyA);
    LSTATUS status = RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
    if (status == ERROR_SUCCESS) {
        RegHandle& handle = CurrentProcess().regHandles[reinterpret_cast<uintptr_t>(*phkResult)];
        handle.access = MayChangeMachine() || !WriteDenied(handle.key) ? KEY_ALL_ACCESS : KEY_READ;
    }
    return status;
}

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                        const SECURITY_ATTRIBUTES*, PHKEY phkResult, LPDWORD lpdwDisposition) {
    WINSIM_ENTRY_CODE(RegCreateKeyExA);
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    RegKey* parent = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, parent, access))
        return status;
    RegKey* existing = FindKey(parent, lpSubKey);
    if (!existing && WriteDenied(DeepestExisting(parent, lpSubKey)))
        return ERROR_ACCESS_DENIED;
    bool created = false;
    RegKey* key = existing ? existing : CreateKey(parent, lpSubKey, &created);
    if (lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = NewHandle(key, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    WINSIM_ENTRY_CODE(RegCreateKeyA);
    return RegCreateKeyExA(hKey, lpSubKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, phkResult, nullptr);
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    WINSIM_ENTRY_CODE(RegQueryValueExA);
    RegKey* key = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, key, access))
        return status;
    if (!(access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    auto it = key->values.find(Str(lpValueName ? lpValueName : ""));
    if (it == key->values.end())
        return ERROR_FILE_NOT_FOUND;
    const RegValue& v = it->second;
    if (lpType)
        *lpType = v.type;
    DWORD size = static_cast<DWORD>(v.data.size());
    if (!lpData) {
        if (lpcbData)
            *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (size)
        memcpy(lpData, v.data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    WINSIM_ENTRY_CODE(RegSetValueExA);
    RegKey* key = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, key, access))
        return status;
    if (!(access & KEY_SET_VALUE) || WriteDenied(key))
        return ERROR_ACCESS_DENIED;
    if (!lpData && cbData)
        return ERROR_INVALID_PARAMETER;
    Str name(lpValueName ? lpValueName : "");
    RegValue& v = key->values[name];
    v.name = name;
    v.type = dwType;
    v.data.assign(lpData, lpData + cbData);
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    WINSIM_ENTRY_CODE(RegDeleteValueA);
    RegKey* key = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, key, access))
        return status;
    if (!(access & KEY_SET_VALUE) || WriteDenied(key))
        return ERROR_ACCESS_DENIED;
    return key->values.erase(Str(lpValueName ? lpValueName : "")) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// NT refuses to delete a key that still has subkeys. The call opens the key for DELETE itself, so the
// rights of `hKey` do not matter; "" names the key `hKey` refers to. The key's remaining subkeys move up
// one index, and every handle still open on it answers ERROR_KEY_DELETED from now on.
LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    WINSIM_ENTRY_CODE(RegDeleteKeyA);
    RegKey* parent = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, parent, access))
        return status;
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    RegKey* key = FindKey(parent, lpSubKey);
    if (!key)
        return ERROR_FILE_NOT_FOUND;
    if (!key->parent || !key->subkeys.empty() || key->denyDelete || WriteDenied(key))
        return ERROR_ACCESS_DENIED;
    key->parent->subkeys.erase(key->name);
    key->deleted = true;
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    WINSIM_ENTRY_CODE(RegEnumKeyA);
    RegKey* key = nullptr;
    REGSAM access = 0;
    if (LSTATUS status = Resolve(hKey, key, access))
        return status;
    if (!(access & KEY_ENUMERATE_SUB_KEYS))
        return ERROR_ACCESS_DENIED;
    if (key->enumFails)
        return key->enumFails;
    if (dwIndex >= key->subkeys.size())
        return ERROR_NO_MORE_ITEMS;
    auto it = key->subkeys.begin();
    std::advance(it, dwIndex);
    const Str& name = it->second->name;
    if (!lpName || cchName <= name.size())
        return ERROR_MORE_DATA;
    memcpy(lpName, name.c_str(), name.size() + 1);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY hKey) {
    WINSIM_ENTRY_CODE(RegCloseKey);
    if (IsPredefined(hKey))
        return ERROR_SUCCESS;
    Process& p = CurrentProcess();
    return p.regHandles.erase(reinterpret_cast<uintptr_t>(hKey)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
