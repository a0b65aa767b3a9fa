// Fault injection and call counting: the table of every Win32 function winsim provides, the check at each
// function's entry, the `fail` rules of the scenario, and the program's nothrow allocations.
#include "faults.h"

#include "machine.h"
#include "output.h"
#include "process.h"
#include "parse_integer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

namespace winsim {
namespace {

struct ApiInfo {
    Api api;
    const char* name;
    FailKind kind;
    LONG code; // the last error (LastError) or the returned code (Code) of a failure
};

constexpr LONG kNoCode = 0;

// One row per function, in the order of WINSIM_APIS. docs/scenarios.md gives each one's failure value.
constexpr ApiInfo kApis[] = {
    {Api::AddAccessAllowedAce, "AddAccessAllowedAce", FailKind::LastError, ERROR_ALLOTTED_SPACE_EXCEEDED},
    {Api::AdjustTokenPrivileges, "AdjustTokenPrivileges", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::AllocateAndInitializeSid, "AllocateAndInitializeSid", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::AppendMenuA, "AppendMenuA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::BeginPaint, "BeginPaint", FailKind::Silent, kNoCode},
    {Api::CallWindowProcA, "CallWindowProcA", FailKind::Never, kNoCode},
    {Api::ChangeDisplaySettingsExA, "ChangeDisplaySettingsExA", FailKind::Code, DISP_CHANGE_FAILED},
    {Api::ChangeWindowMessageFilter, "ChangeWindowMessageFilter", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::ChangeWindowMessageFilterEx, "ChangeWindowMessageFilterEx", FailKind::LastError,
     ERROR_ACCESS_DENIED},
    {Api::CheckMenuItem, "CheckMenuItem", FailKind::Silent, kNoCode},
    {Api::CheckTokenMembership, "CheckTokenMembership", FailKind::LastError, ERROR_INVALID_PARAMETER},
    {Api::CloseHandle, "CloseHandle", FailKind::LastError, ERROR_INVALID_HANDLE},
    {Api::CloseServiceHandle, "CloseServiceHandle", FailKind::LastError, ERROR_INVALID_HANDLE},
    {Api::ControlService, "ControlService", FailKind::LastError, ERROR_SERVICE_REQUEST_TIMEOUT},
    {Api::CreateDialogParamA, "CreateDialogParamA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::CreateFileA, "CreateFileA", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::CreateMenu, "CreateMenu", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::CreateMutexA, "CreateMutexA", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::CreatePopupMenu, "CreatePopupMenu", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::CreateWindowExA, "CreateWindowExA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::DefDlgProcA, "DefDlgProcA", FailKind::Never, kNoCode},
    {Api::DefWindowProcA, "DefWindowProcA", FailKind::Never, kNoCode},
    {Api::DestroyIcon, "DestroyIcon", FailKind::LastError, ERROR_INVALID_CURSOR_HANDLE},
    {Api::DestroyMenu, "DestroyMenu", FailKind::LastError, ERROR_INVALID_MENU_HANDLE},
    {Api::DestroyWindow, "DestroyWindow", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::DeviceIoControl, "DeviceIoControl", FailKind::LastError, ERROR_GEN_FAILURE},
    {Api::DialogBoxParamA, "DialogBoxParamA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::DispatchMessageA, "DispatchMessageA", FailKind::Never, kNoCode},
    {Api::DrawIcon, "DrawIcon", FailKind::LastError, ERROR_INVALID_CURSOR_HANDLE},
    {Api::EnableMenuItem, "EnableMenuItem", FailKind::Silent, kNoCode},
    {Api::EnableWindow, "EnableWindow", FailKind::Never, kNoCode},
    {Api::EndDialog, "EndDialog", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::EndPaint, "EndPaint", FailKind::Never, kNoCode},
    {Api::EnumDisplayDevicesA, "EnumDisplayDevicesA", FailKind::Silent, kNoCode},
    {Api::EnumDisplaySettingsA, "EnumDisplaySettingsA", FailKind::Silent, kNoCode},
    {Api::FindWindowA, "FindWindowA", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::FreeSid, "FreeSid", FailKind::Silent, kNoCode},
    {Api::GetClientRect, "GetClientRect", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::GetCommandLineA, "GetCommandLineA", FailKind::Never, kNoCode},
    {Api::GetCurrentProcess, "GetCurrentProcess", FailKind::Never, kNoCode},
    {Api::GetCurrentProcessId, "GetCurrentProcessId", FailKind::Never, kNoCode},
    {Api::GetCursorPos, "GetCursorPos", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::GetDlgItem, "GetDlgItem", FailKind::LastError, ERROR_CONTROL_ID_NOT_FOUND},
    {Api::GetDlgItemTextA, "GetDlgItemTextA", FailKind::LastError, ERROR_CONTROL_ID_NOT_FOUND},
    {Api::GetForegroundWindow, "GetForegroundWindow", FailKind::Never, kNoCode},
    {Api::GetLastError, "GetLastError", FailKind::Never, kNoCode},
    {Api::GetLengthSid, "GetLengthSid", FailKind::Never, kNoCode},
    {Api::GetMenuItemCount, "GetMenuItemCount", FailKind::LastError, ERROR_INVALID_MENU_HANDLE},
    {Api::GetMenuItemID, "GetMenuItemID", FailKind::Silent, kNoCode},
    {Api::GetMenuStringA, "GetMenuStringA", FailKind::LastError, ERROR_MENU_ITEM_NOT_FOUND},
    {Api::GetMessageA, "GetMessageA", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::GetModuleFileNameA, "GetModuleFileNameA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::GetModuleHandleA, "GetModuleHandleA", FailKind::LastError, ERROR_MOD_NOT_FOUND},
    {Api::GetProcAddress, "GetProcAddress", FailKind::LastError, ERROR_PROC_NOT_FOUND},
    {Api::GetProcessHeap, "GetProcessHeap", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::GetSubMenu, "GetSubMenu", FailKind::Silent, kNoCode},
    {Api::GetSystemMetrics, "GetSystemMetrics", FailKind::Silent, kNoCode},
    {Api::GetTickCount, "GetTickCount", FailKind::Never, kNoCode},
    {Api::GetVersionExA, "GetVersionExA", FailKind::LastError, ERROR_INVALID_PARAMETER},
    {Api::GetWindowLongPtrA, "GetWindowLongPtrA", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::GetWindowRect, "GetWindowRect", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::GetWindowTextA, "GetWindowTextA", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::HeapAlloc, "HeapAlloc", FailKind::Silent, kNoCode},
    {Api::HeapFree, "HeapFree", FailKind::LastError, ERROR_INVALID_PARAMETER},
    {Api::InitCommonControlsEx, "InitCommonControlsEx", FailKind::Silent, kNoCode},
    {Api::InitializeAcl, "InitializeAcl", FailKind::LastError, ERROR_INVALID_PARAMETER},
    {Api::InitializeSecurityDescriptor, "InitializeSecurityDescriptor", FailKind::LastError,
     ERROR_INVALID_PARAMETER},
    {Api::IsDialogMessageA, "IsDialogMessageA", FailKind::Never, kNoCode},
    {Api::IsIconic, "IsIconic", FailKind::Never, kNoCode},
    {Api::IsWindow, "IsWindow", FailKind::Never, kNoCode},
    {Api::IsWindowEnabled, "IsWindowEnabled", FailKind::Never, kNoCode},
    {Api::IsWindowVisible, "IsWindowVisible", FailKind::Never, kNoCode},
    {Api::KillTimer, "KillTimer", FailKind::LastError, ERROR_INVALID_PARAMETER},
    {Api::LoadIconA, "LoadIconA", FailKind::LastError, ERROR_RESOURCE_NAME_NOT_FOUND},
    {Api::LoadImageA, "LoadImageA", FailKind::LastError, ERROR_RESOURCE_NAME_NOT_FOUND},
    {Api::LoadStringA, "LoadStringA", FailKind::LastError, ERROR_RESOURCE_NAME_NOT_FOUND},
    {Api::LookupPrivilegeValueA, "LookupPrivilegeValueA", FailKind::LastError, ERROR_NO_SUCH_PRIVILEGE},
    {Api::OpenProcessToken, "OpenProcessToken", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::OpenSCManagerA, "OpenSCManagerA", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::OpenServiceA, "OpenServiceA", FailKind::LastError, ERROR_ACCESS_DENIED},
    {Api::OutputDebugStringA, "OutputDebugStringA", FailKind::Never, kNoCode},
    {Api::PeekMessageA, "PeekMessageA", FailKind::Never, kNoCode},
    {Api::PostMessageA, "PostMessageA", FailKind::LastError, ERROR_NOT_ENOUGH_QUOTA},
    {Api::PostQuitMessage, "PostQuitMessage", FailKind::Never, kNoCode},
    {Api::RegCloseKey, "RegCloseKey", FailKind::Code, ERROR_INVALID_HANDLE},
    {Api::RegCreateKeyA, "RegCreateKeyA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegCreateKeyExA, "RegCreateKeyExA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegDeleteKeyA, "RegDeleteKeyA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegDeleteValueA, "RegDeleteValueA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegEnumKeyA, "RegEnumKeyA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegOpenKeyA, "RegOpenKeyA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegOpenKeyExA, "RegOpenKeyExA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegQueryValueExA, "RegQueryValueExA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegSetKeySecurity, "RegSetKeySecurity", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegSetValueExA, "RegSetValueExA", FailKind::Code, ERROR_ACCESS_DENIED},
    {Api::RegisterClassA, "RegisterClassA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::RegisterDeviceNotificationA, "RegisterDeviceNotificationA", FailKind::LastError,
     ERROR_NOT_ENOUGH_MEMORY},
    {Api::RegisterWindowMessageA, "RegisterWindowMessageA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::ReleaseMutex, "ReleaseMutex", FailKind::LastError, ERROR_NOT_OWNER},
    {Api::SendMessageA, "SendMessageA", FailKind::Never, kNoCode},
    {Api::SetDlgItemTextA, "SetDlgItemTextA", FailKind::LastError, ERROR_CONTROL_ID_NOT_FOUND},
    {Api::SetForegroundWindow, "SetForegroundWindow", FailKind::Silent, kNoCode},
    {Api::SetLastError, "SetLastError", FailKind::Never, kNoCode},
    {Api::SetSecurityDescriptorDacl, "SetSecurityDescriptorDacl", FailKind::LastError,
     ERROR_INVALID_PARAMETER},
    {Api::SetTimer, "SetTimer", FailKind::LastError, ERROR_NO_SYSTEM_RESOURCES},
    {Api::SetWindowLongPtrA, "SetWindowLongPtrA", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::SetWindowPos, "SetWindowPos", FailKind::LastError, ERROR_INVALID_WINDOW_HANDLE},
    {Api::SetWindowTextA, "SetWindowTextA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::SetupDiDestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList", FailKind::LastError,
     ERROR_INVALID_HANDLE},
    {Api::SetupDiEnumDeviceInterfaces, "SetupDiEnumDeviceInterfaces", FailKind::LastError,
     ERROR_NOT_ENOUGH_MEMORY},
    {Api::SetupDiGetClassDevsA, "SetupDiGetClassDevsA", FailKind::LastError, ERROR_NOT_ENOUGH_MEMORY},
    {Api::SetupDiGetDeviceInterfaceDetailA, "SetupDiGetDeviceInterfaceDetailA", FailKind::LastError,
     ERROR_NOT_ENOUGH_MEMORY},
    {Api::Shell_NotifyIconA, "Shell_NotifyIconA", FailKind::Silent, kNoCode},
    {Api::ShowWindow, "ShowWindow", FailKind::Never, kNoCode},
    {Api::Sleep, "Sleep", FailKind::Never, kNoCode},
    {Api::StartServiceA, "StartServiceA", FailKind::LastError, ERROR_SERVICE_REQUEST_TIMEOUT},
    {Api::TrackPopupMenu, "TrackPopupMenu", FailKind::LastError, ERROR_POPUP_ALREADY_ACTIVE},
    {Api::TranslateMessage, "TranslateMessage", FailKind::Never, kNoCode},
    {Api::UnregisterDeviceNotification, "UnregisterDeviceNotification", FailKind::LastError,
     ERROR_INVALID_HANDLE},
    {Api::NothrowNew, "new", FailKind::Silent, kNoCode},
};
static_assert(std::size(kApis) == kApiCount, "one row per function");

constexpr bool RowsInOrder() {
    for (size_t i = 0; i < std::size(kApis); ++i) {
        if (static_cast<size_t>(kApis[i].api) != i)
            return false;
    }
    return true;
}
static_assert(RowsInOrder(), "the rows follow WINSIM_APIS");

const ApiInfo& Info(Api api) {
    return kApis[static_cast<size_t>(api)];
}

// How deep the current Linux process is inside winsim's functions: 0 while the program's code runs.
int g_depth = 0;

} // namespace

const char* ApiName(Api api) {
    return Info(api).name;
}

FailKind ApiFailKind(Api api) {
    return Info(api).kind;
}

LONG ApiDefaultCode(Api api) {
    return Info(api).code;
}

bool FindApi(const char* name, Api& api) {
    for (const ApiInfo& info : kApis) {
        if (strcmp(info.name, name) == 0) {
            api = info.api;
            return true;
        }
    }
    return false;
}

ApiCall::ApiCall(Api api) {
    if (g_depth++ > 0)
        return;
    Process* p = RunningProcess();
    if (!p)
        return;
    if (p->apiCalls.size() < kApiCount)
        p->apiCalls.resize(kApiCount, 0);
    const uint32_t n = ++p->apiCalls[static_cast<size_t>(api)];
    for (const FaultRule& rule : M().faultRules) {
        if (rule.api == api && n >= rule.from && (rule.times < 0 || n - rule.from < uint32_t(rule.times))) {
            failed_ = true;
            code_ = rule.code;
        }
    }
    if (!failed_)
        return;
    const ApiInfo& info = Info(api);
    Note("fail: call %u of %s by process %u fails%s", static_cast<unsigned>(n), info.name,
         static_cast<unsigned>(p->pid),
         info.kind == FailKind::Silent ? "" : (" with " + std::to_string(code_)).c_str());
    if (info.kind == FailKind::LastError)
        p->lastError = static_cast<DWORD>(code_);
}

ApiCall::~ApiCall() {
    --g_depth;
}

ProgramCode::ProgramCode() : saved_(g_depth) {
    g_depth = 0;
}

ProgramCode::~ProgramCode() {
    g_depth = saved_;
}

SimulatorCode::SimulatorCode() {
    ++g_depth;
}

SimulatorCode::~SimulatorCode() {
    --g_depth;
}

bool AddFailRule(const std::vector<std::string>& words, std::string& error) {
    const char* usage = "fail wants FUNCTION [from N] [times M|always] [error CODE]";
    if (words.empty()) {
        error = usage;
        return false;
    }
    FaultRule rule;
    if (!FindApi(words[0].c_str(), rule.api)) {
        error = "fail: winsim has no function '" + words[0] + "'";
        return false;
    }
    if (ApiFailKind(rule.api) == FailKind::Never) {
        error = "fail: " + words[0] + " has no failure value";
        return false;
    }
    rule.code = ApiDefaultCode(rule.api);
    for (size_t i = 1; i < words.size(); i += 2) {
        const std::string& option = words[i];
        int64_t value = 0;
        bool haveValue = i + 1 < words.size();
        const std::string valueText = haveValue ? words[i + 1] : "";
        if (option == "from" && haveValue && ParseInteger(valueText, 1, UINT32_MAX, value)) {
            rule.from = static_cast<uint32_t>(value);
        } else if (option == "times" && valueText == "always") {
            rule.times = -1;
        } else if (option == "times" && haveValue && ParseInteger(valueText, 1, UINT32_MAX, value)) {
            rule.times = static_cast<int64_t>(value);
        } else if (option == "error" && haveValue &&
                   ParseInteger(valueText, INT32_MIN, UINT32_MAX, value, true)) {
            rule.code = static_cast<LONG>(value);
        } else {
            error = usage;
            return false;
        }
    }
    M().faultRules.push_back(rule);
    return true;
}

void WriteCallCounts(FILE* out) {
    for (const Process* p : M().processes) {
        for (size_t i = 0; i < p->apiCalls.size(); ++i) {
            if (p->apiCalls[i] != 0)
                fprintf(out, "calls %u %s %u%s\n", static_cast<unsigned>(p->pid), kApis[i].name,
                        static_cast<unsigned>(p->apiCalls[i]),
                        kApis[i].kind == FailKind::Never ? " cannot-fail" : "");
        }
    }
}

} // namespace winsim

// The program's nothrow allocations: `fail new` makes them return null. Everything else (the throwing
// forms, which the standard containers use, and winsim's own arena) is left alone.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    winsim::ApiCall call(winsim::Api::NothrowNew);
    if (call.Failed())
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    winsim::ApiCall call(winsim::Api::NothrowNew);
    if (call.Failed())
        return nullptr;
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
