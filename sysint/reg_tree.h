// Deleting a registry key with everything below it.
#pragma once
#include <windows.h>

// Deletes hParent\pszName and all its subkeys, depth first: a key goes only after all of its subkeys, so
// one subkey that cannot be deleted keeps every key above it. Each key first grants the Administrators
// group full access. TRUE on success and when the key cannot be opened at all (nothing to delete);
// FALSE when a deletion failed. An enumeration of the subkeys that fails other than at their end stops
// the walk there: the key is then deleted only if it has no subkeys left.
BOOL DeleteKeyTree(HKEY hParent, const char* pszName);
