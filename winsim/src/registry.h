// The registry (registry.cpp): keys, values and the handles a process holds to them.
#pragma once

#include <windows.h>

#include "containers.h"

namespace winsim {

struct RegValue {
    Str name{Arena()};
    DWORD type = REG_NONE;
    Vec<BYTE> data{Arena()};
};

struct RegKey {
    Str name{Arena()};
    RegKey* parent = nullptr;
    bool deleted = false;
    bool denyWrite = false; // scenario option: writes below this key fail with ERROR_ACCESS_DENIED
    bool denySecurity =
        false;               // scenario option: RegSetKeySecurity on this key fails with ERROR_ACCESS_DENIED
    bool denyDelete = false; // scenario option: RegDeleteKeyA of this key fails with ERROR_ACCESS_DENIED
    LSTATUS enumFails = 0;   // scenario option: RegEnumKeyA on this key answers this error at every index
    NoCaseMap<RegKey*> subkeys{Arena()};
    NoCaseMap<RegValue> values{Arena()};
    Vec<Str> securityLog{Arena()}; // every RegSetKeySecurity, as text, in order
};

struct RegHandle {
    RegKey* key = nullptr;
    REGSAM access = 0;
};

// Helpers for the scenario and the dump.
RegKey* FindKey(RegKey* root, const char* path);
RegKey* CreateKey(RegKey* root, const char* path, bool* created = nullptr);
void SetDwordValue(RegKey* key, const char* name, DWORD value);

} // namespace winsim
