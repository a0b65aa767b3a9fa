// Kernel objects and the handles of a process (kernel.cpp).
#pragma once

#include <windows.h>

#include "containers.h"

namespace winsim {

enum class ObjectKind { Mutex, File, DevInfoSet, Token, Process, Heap };

struct KernelObject {
    ObjectKind kind = ObjectKind::Mutex;
    int refCount = 0;
    Str name{Arena()};       // mutex name
    int usbIndex = -1;       // file: the interface it was opened on
    int usbRemovals = 0;     // file: the interface's removals at the open
    Vec<Str> paths{Arena()}; // device-info set: the interface paths present at SetupDiGetClassDevsA
    int integrity = 0;       // mutex: its creator's integrity level (rights.h), which guards it
};

struct HandleEntry {
    KernelObject* object = nullptr;
    DWORD access = 0;
};

// Handles of the current process.
HANDLE AddHandle(KernelObject* object, DWORD access);
HandleEntry* LookupHandle(HANDLE handle);
void ReleaseObject(KernelObject* object);
// The file object behind a handle of the current process, or nullptr.
KernelObject* FileObject(HANDLE handle);

} // namespace winsim
