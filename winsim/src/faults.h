// Fault injection and call counting. Every Win32 function of winsim starts with one WINSIM_ENTRY line: the
// call is counted for the calling process and, when a `fail` rule of the scenario says so, the function
// returns its failure value at once, with the last error its table entry gives (docs/scenarios.md lists
// them). Calls that winsim makes itself on the way (RegOpenKeyA through RegOpenKeyExA, the dialog
// manager's GetMessageA, a button's WM_COMMAND) are neither counted nor failed: only the program's are.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace winsim {

// How a function reports a failure.
enum class FailKind {
    Never,     // it has no failure value
    LastError, // its failure value, and the last error set to the rule's code
    Silent,    // its failure value; the last error stays as it was
    Code,      // it returns the code itself (a registry status, a DISP_CHANGE_ result)
};

// Every function a scenario can name, in the order of the table in faults.cpp. `new` is the program's
// nothrow allocations (operator new with std::nothrow, single objects and arrays).
#define WINSIM_APIS(X)                                                                                       \
    X(AddAccessAllowedAce)                                                                                   \
    X(AdjustTokenPrivileges)                                                                                 \
    X(AllocateAndInitializeSid)                                                                              \
    X(AppendMenuA)                                                                                           \
    X(BeginPaint)                                                                                            \
    X(CallWindowProcA)                                                                                       \
    X(ChangeDisplaySettingsExA)                                                                              \
    X(ChangeWindowMessageFilter)                                                                             \
    X(ChangeWindowMessageFilterEx)                                                                           \
    X(CheckMenuItem)                                                                                         \
    X(CheckTokenMembership)                                                                                  \
    X(CloseHandle)                                                                                           \
    X(CloseServiceHandle)                                                                                    \
    X(ControlService)                                                                                        \
    X(CreateDialogParamA)                                                                                    \
    X(CreateFileA)                                                                                           \
    X(CreateMenu)                                                                                            \
    X(CreateMutexA)                                                                                          \
    X(CreatePopupMenu)                                                                                       \
    X(CreateWindowExA)                                                                                       \
    X(DefDlgProcA)                                                                                           \
    X(DefWindowProcA)                                                                                        \
    X(DestroyIcon)                                                                                           \
    X(DestroyMenu)                                                                                           \
    X(DestroyWindow)                                                                                         \
    X(DeviceIoControl)                                                                                       \
    X(DialogBoxParamA)                                                                                       \
    X(DispatchMessageA)                                                                                      \
    X(DrawIcon)                                                                                              \
    X(EnableMenuItem)                                                                                        \
    X(EnableWindow)                                                                                          \
    X(EndDialog)                                                                                             \
    X(EndPaint)                                                                                              \
    X(EnumDisplayDevicesA)                                                                                   \
    X(EnumDisplaySettingsA)                                                                                  \
    X(FindWindowA)                                                                                           \
    X(FreeSid)                                                                                               \
    X(GetClientRect)                                                                                         \
    X(GetCommandLineA)                                                                                       \
    X(GetCurrentProcess)                                                                                     \
    X(GetCurrentProcessId)                                                                                   \
    X(GetCursorPos)                                                                                          \
    X(GetDlgItem)                                                                                            \
    X(GetDlgItemTextA)                                                                                       \
    X(GetForegroundWindow)                                                                                   \
    X(GetLastError)                                                                                          \
    X(GetLengthSid)                                                                                          \
    X(GetMenuItemCount)                                                                                      \
    X(GetMenuItemID)                                                                                         \
    X(GetMenuStringA)                                                                                        \
    X(GetMessageA)                                                                                           \
    X(GetModuleFileNameA)                                                                                    \
    X(GetModuleHandleA)                                                                                      \
    X(GetProcAddress)                                                                                        \
    X(GetProcessHeap)                                                                                        \
    X(GetSubMenu)                                                                                            \
    X(GetSystemMetrics)                                                                                      \
    X(GetTickCount)                                                                                          \
    X(GetVersionExA)                                                                                         \
    X(GetWindowLongPtrA)                                                                                     \
    X(GetWindowRect)                                                                                         \
    X(GetWindowTextA)                                                                                        \
    X(HeapAlloc)                                                                                             \
    X(HeapFree)                                                                                              \
    X(InitCommonControlsEx)                                                                                  \
    X(InitializeAcl)                                                                                         \
    X(InitializeSecurityDescriptor)                                                                          \
    X(IsDialogMessageA)                                                                                      \
    X(IsIconic)                                                                                              \
    X(IsWindow)                                                                                              \
    X(IsWindowEnabled)                                                                                       \
    X(IsWindowVisible)                                                                                       \
    X(KillTimer)                                                                                             \
    X(LoadIconA)                                                                                             \
    X(LoadImageA)                                                                                            \
    X(LoadStringA)                                                                                           \
    X(LookupPrivilegeValueA)                                                                                 \
    X(OpenProcessToken)                                                                                      \
    X(OpenSCManagerA)                                                                                        \
    X(OpenServiceA)                                                                                          \
    X(OutputDebugStringA)                                                                                    \
    X(PeekMessageA)                                                                                          \
    X(PostMessageA)                                                                                          \
    X(PostQuitMessage)                                                                                       \
    X(RegCloseKey)                                                                                           \
    X(RegCreateKeyA)                                                                                         \
    X(RegCreateKeyExA)                                                                                       \
    X(RegDeleteKeyA)                                                                                         \
    X(RegDeleteValueA)                                                                                       \
    X(RegEnumKeyA)                                                                                           \
    X(RegOpenKeyA)                                                                                           \
    X(RegOpenKeyExA)                                                                                         \
    X(RegQueryValueExA)                                                                                      \
    X(RegSetKeySecurity)                                                                                     \
    X(RegSetValueExA)                                                                                        \
    X(RegisterClassA)                                                                                        \
    X(RegisterDeviceNotificationA)                                                                           \
    X(RegisterWindowMessageA)                                                                                \
    X(ReleaseMutex)                                                                                          \
    X(SendMessageA)                                                                                          \
    X(SetDlgItemTextA)                                                                                       \
    X(SetForegroundWindow)                                                                                   \
    X(SetLastError)                                                                                          \
    X(SetSecurityDescriptorDacl)                                                                             \
    X(SetTimer)                                                                                              \
    X(SetWindowLongPtrA)                                                                                     \
    X(SetWindowPos)                                                                                          \
    X(SetWindowTextA)                                                                                        \
    X(SetupDiDestroyDeviceInfoList)                                                                          \
    X(SetupDiEnumDeviceInterfaces)                                                                           \
    X(SetupDiGetClassDevsA)                                                                                  \
    X(SetupDiGetDeviceInterfaceDetailA)                                                                      \
    X(Shell_NotifyIconA)                                                                                     \
    X(ShowWindow)                                                                                            \
    X(Sleep)                                                                                                 \
    X(StartServiceA)                                                                                         \
    X(TrackPopupMenu)                                                                                        \
    X(TranslateMessage)                                                                                      \
    X(UnregisterDeviceNotification)                                                                          \
    X(NothrowNew)

enum class Api {
#define WINSIM_API_ENUM(name) name,
    WINSIM_APIS(WINSIM_API_ENUM)
#undef WINSIM_API_ENUM
        Count
};
constexpr size_t kApiCount = static_cast<size_t>(Api::Count);

// The name a scenario uses ("new" for NothrowNew), how the function fails and the code it reports.
const char* ApiName(Api api);
FailKind ApiFailKind(Api api);
LONG ApiDefaultCode(Api api);
// The function of this name; false when there is none.
bool FindApi(const char* name, Api& api);

// The entry of one call: counted, and failed when a rule says so. Construct it first thing in the
// function; while it lives, the Win32 calls winsim makes on the way are its own.
class ApiCall {
public:
    explicit ApiCall(Api api);
    ~ApiCall();
    ApiCall(const ApiCall&) = delete;
    ApiCall& operator=(const ApiCall&) = delete;

    bool Failed() const { return failed_; }
    // For FailKind::Code: what the function returns.
    LONG Code() const { return code_; }

private:
    bool failed_ = false;
    LONG code_ = 0;
};

// Calls into the program (its window procedures, dialog procedures, timer procedures, WinMain) from inside
// winsim: the program's own Win32 calls from there are counted and can fail again.
class ProgramCode {
public:
    ProgramCode();
    ~ProgramCode();
    ProgramCode(const ProgramCode&) = delete;
    ProgramCode& operator=(const ProgramCode&) = delete;

private:
    int saved_;
};

// winsim's own work outside any Win32 function (the scenario's events, a button's procedure): the calls it
// makes are not the program's.
class SimulatorCode {
public:
    SimulatorCode();
    ~SimulatorCode();
    SimulatorCode(const SimulatorCode&) = delete;
    SimulatorCode& operator=(const SimulatorCode&) = delete;
};

// A `fail` statement of the scenario: FUNCTION [from N] [times M|always] [error CODE]. False with a
// message when the words do not make one.
bool AddFailRule(const std::vector<std::string>& words, std::string& error);

// Writes "calls PID FUNCTION COUNT" for every process and every function it called, in pid order; a
// function with no failure value has " cannot-fail" after its count.
void WriteCallCounts(FILE* out);

// A `fail` statement of the scenario: the calls of `api` from the `from`-th on fail `times` times (-1:
// every one), each process counting its own calls.
struct FaultRule {
    Api api = Api::Count;
    uint32_t from = 1;
    int64_t times = 1;
    LONG code = 0; // the last error, or the code returned
};

} // namespace winsim

#define WINSIM_ENTRY(name, failure)                                                                          \
    ::winsim::ApiCall winsimCall(::winsim::Api::name);                                                       \
    if (winsimCall.Failed())                                                                                 \
    return failure
#define WINSIM_ENTRY_CODE(name) WINSIM_ENTRY(name, winsimCall.Code())
#define WINSIM_ENTRY_NEVER_FAILS(name) ::winsim::ApiCall winsimCall(::winsim::Api::name)
