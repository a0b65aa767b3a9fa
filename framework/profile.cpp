// The application's registry profile: one REG_DWORD per entry, one key per section.
#include <windows.h>

#include "framework/app.h"

namespace {

std::string SectionKey(const CWinApp& app, LPCSTR pszSection) {
    std::string key = app.GetAppProfileKey();
    if (key.empty() || pszSection == nullptr)
        return std::string();
    key += '\\';
    key += pszSection;
    return key;
}

} // namespace

void CWinApp::SetRegistryKey(LPCSTR pszRegistryKey) {
    m_strRegistryKey = pszRegistryKey != nullptr ? pszRegistryKey : "";
    m_pszRegistryKey = m_strRegistryKey.empty() ? nullptr : m_strRegistryKey.c_str();
}

std::string CWinApp::GetAppProfileKey() const {
    if (m_pszRegistryKey == nullptr || m_pszAppName == nullptr)
        return std::string();
    std::string key = "Software\\";
    key += m_pszRegistryKey;
    key += '\\';
    key += m_pszAppName;
    return key;
}

int CWinApp::GetProfileInt(LPCSTR pszSection, LPCSTR pszEntry, int nDefault, bool* pbReadFailed) const {
    const std::string key = SectionKey(*this, pszSection);
    if (key.empty())
        return nDefault;
    // A value that is not there (or a key that is not) is missing; any other error means the registry
    // could not say what the value is.
    auto failed = [pbReadFailed](LSTATUS status) {
        if (pbReadFailed != nullptr && status != ERROR_FILE_NOT_FOUND)
            *pbReadFailed = true;
    };
    HKEY hKey = nullptr;
    if (const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &hKey);
        status != ERROR_SUCCESS) {
        failed(status);
        return nDefault;
    }
    DWORD dwType = REG_NONE;
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    const LSTATUS status =
        RegQueryValueExA(hKey, pszEntry, nullptr, &dwType, reinterpret_cast<LPBYTE>(&dwValue), &cbValue);
    RegCloseKey(hKey);
    // A value of another type or size (a text someone typed in with the registry editor) counts as
    // missing.
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
        failed(status);
    if (status != ERROR_SUCCESS || dwType != REG_DWORD || cbValue != sizeof(dwValue))
        return nDefault;
    return static_cast<int>(dwValue);
}

BOOL CWinApp::WriteProfileInt(LPCSTR pszSection, LPCSTR pszEntry, int nValue) const {
    const std::string key = SectionKey(*this, pszSection);
    if (key.empty())
        return FALSE;
    HKEY hKey = nullptr;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE | KEY_READ, nullptr, &hKey, &dwDisposition) != ERROR_SUCCESS)
        return FALSE;
    const DWORD dwValue = static_cast<DWORD>(nValue);
    const LSTATUS status = RegSetValueExA(hKey, pszEntry, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}
