// kernel32: handles, named mutexes, modules and their exports, the last error, the OS version and the
// debug trace.
#include "faults.h"
#include "kernel.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "rights.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace winsim {
namespace {
constexpr uintptr_t kImageBase = 0x400000;
constexpr uintptr_t kUser32Base = 0x77D40000;
void (*g_traceSink)(VirtualMs, DWORD, const char*) = nullptr;
void (*g_outputSink)(const char*) = nullptr;
} // namespace

HANDLE AddHandle(KernelObject* object, DWORD access) {
    Process& p = CurrentProcess();
    uintptr_t value = p.nextHandle;
    p.nextHandle += 4;
    object->refCount++;
    p.handles[value] = HandleEntry{object, access};
    return reinterpret_cast<HANDLE>(value);
}

HandleEntry* LookupHandle(HANDLE handle) {
    Process& p = CurrentProcess();
    auto it = p.handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == p.handles.end() ? nullptr : &it->second;
}

void ReleaseObject(KernelObject* object) {
    if (!object || --object->refCount > 0)
        return;
    if (object->kind == ObjectKind::Mutex)
        M().namedObjects.erase(object->name);
}

void SetTraceSink(void (*sink)(VirtualMs, DWORD, const char*)) {
    g_traceSink = sink;
}

void EmitTrace(DWORD pid, const char* text) {
    if (g_traceSink)
        g_traceSink(M().now, pid, text);
}

void SetOutputSink(void (*sink)(const char*)) {
    g_outputSink = sink;
}

void EmitOutput(const char* format, ...) {
    if (!g_outputSink)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_outputSink(line);
}

} // namespace winsim

using namespace winsim;

DWORD GetLastError(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetLastError);
    return CurrentProcess().lastError;
}

void SetLastError(DWORD dwErrCode) {
    WINSIM_ENTRY_NEVER_FAILS(SetLastError);
    CurrentProcess().lastError = dwErrCode;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
    WINSIM_ENTRY(CreateMutexA, nullptr);
    Machine& m = M();
    if (lpName && *lpName) {
        auto it = m.namedObjects.find(Str(lpName));
        if (it != m.namedObjects.end()) {
            if (it->second->kind != ObjectKind::Mutex) {
                SetError(ERROR_INVALID_HANDLE);
                return nullptr;
            }
            // The creator's default security lets in no caller of lower integrity, yet the name is taken.
            if (static_cast<int>(IntegrityOf(CurrentProcess())) < it->second->integrity) {
                SetError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            HANDLE h = AddHandle(it->second, 0);
            // The caller gets a handle to the existing mutex, and the error says so.
            SetError(ERROR_ALREADY_EXISTS);
            return h;
        }
    }
    KernelObject* mutex = New<KernelObject>();
    mutex->kind = ObjectKind::Mutex;
    mutex->integrity = static_cast<int>(IntegrityOf(CurrentProcess()));
    if (lpName && *lpName) {
        mutex->name = lpName;
        m.namedObjects[mutex->name] = mutex;
    }
    HANDLE h = AddHandle(mutex, 0);
    SetError(ERROR_SUCCESS);
    return h;
}

BOOL ReleaseMutex(HANDLE hMutex) {
    WINSIM_ENTRY(ReleaseMutex, FALSE);
    HandleEntry* entry = LookupHandle(hMutex);
    if (!entry || entry->object->kind != ObjectKind::Mutex) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    WINSIM_ENTRY(CloseHandle, FALSE);
    Process& p = CurrentProcess();
    auto it = p.handles.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == p.handles.end()) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KernelObject* object = it->second.object;
    p.handles.erase(it);
    ReleaseObject(object);
    return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    WINSIM_ENTRY(GetVersionExA, FALSE);
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const OsVersion& os = M().os;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.build;
    info->dwPlatformId = os.platformId;
    memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    strncpy(info->szCSDVersion, os.csd.c_str(), sizeof info->szCSDVersion - 1);
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = 1; // VER_NT_WORKSTATION
        ex->wReserved = 0;
    }
    return TRUE;
}

void OutputDebugStringA(LPCSTR lpOutputString) {
    WINSIM_ENTRY_NEVER_FAILS(OutputDebugStringA);
    EmitTrace(CurrentProcess().pid, lpOutputString ? lpOutputString : "");
}

DWORD GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize) {
    WINSIM_ENTRY(GetModuleFileNameA, 0);
    if (!lpFilename || nSize == 0) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    Str path("C:\\Program Files\\duodesk\\");
    path += CurrentProcess().image;
    size_t n = path.size() < nSize ? path.size() : nSize - 1;
    memcpy(lpFilename, path.data(), n);
    lpFilename[n] = '\0';
    if (n < path.size()) {
        SetError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(n);
}

// The program's own image, and user32.dll, which every program with a window has loaded.
HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    WINSIM_ENTRY(GetModuleHandleA, nullptr);
    if (!lpModuleName)
        return reinterpret_cast<HMODULE>(kImageBase);
    if (EqualNoCase(lpModuleName, "user32.dll") || EqualNoCase(lpModuleName, "user32"))
        return reinterpret_cast<HMODULE>(kUser32Base);
    SetError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// user32's exports that not every Windows has: a program finds them only where they exist.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    WINSIM_ENTRY(GetProcAddress, nullptr);
    const OsVersion& os = M().os;
    const DWORD version = os.major * 100 + os.minor;
    if (reinterpret_cast<uintptr_t>(hModule) == kUser32Base && lpProcName != nullptr) {
        if (strcmp(lpProcName, "ChangeWindowMessageFilter") == 0 && version >= 600)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ChangeWindowMessageFilter));
        if (strcmp(lpProcName, "ChangeWindowMessageFilterEx") == 0 && version >= 601)
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ChangeWindowMessageFilterEx));
    }
    SetError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

LPSTR GetCommandLineA(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetCommandLineA);
    return CurrentProcess().commandLine.data();
}

HANDLE GetCurrentProcess(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetCurrentProcess);
    return reinterpret_cast<HANDLE>(intptr_t(-1));
}

DWORD GetCurrentProcessId(void) {
    WINSIM_ENTRY_NEVER_FAILS(GetCurrentProcessId);
    return CurrentProcess().pid;
}

HANDLE GetProcessHeap(void) {
    WINSIM_ENTRY(GetProcessHeap, nullptr);
    return reinterpret_cast<HANDLE>(uintptr_t(0x150000));
}

LPVOID HeapAlloc(HANDLE, DWORD dwFlags, size_t dwBytes) {
    WINSIM_ENTRY(HeapAlloc, nullptr);
    void* p = malloc(dwBytes ? dwBytes : 1);
    if (p && (dwFlags & HEAP_ZERO_MEMORY))
        memset(p, 0, dwBytes);
    return p;
}

BOOL HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    WINSIM_ENTRY(HeapFree, FALSE);
    free(lpMem);
    return TRUE;
}
