// The application's registry profile: one REG_DWORD per entry, one key per section.
#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "framework/app.h"

namespace {

// The parts one after another into buf, which has CWinApp::kMaxKeyPath characters; false, with buf empty,
// when a part is missing or the whole would not fit.
bool JoinKeyPath(char* buf, std::initializer_list<const char*> parts) {
    size_t used = 0;
    buf[0] = '\0';
    for (const char* part : parts) {
        if (part == nullptr)
            return false;
        const size_t length = strlen(part);
        if (used + length >= CWinApp::kMaxKeyPath) {
            buf[0] = '\0';
            return false;
        }
        memcpy(buf + used, part, length + 1);
        used += length;
    }
    return true;
}

bool SectionKey(const CWinApp& app, LPCSTR pszSection, char* buf) {
    const char* pszAppKey = app.GetAppProfileKey();
    return *pszAppKey != '\0' && JoinKeyPath(buf, {pszAppKey, "\\", pszSection});
}

} // namespace

void CWinApp::SetRegistryKey(LPCSTR pszRegistryKey) {
    m_szRegistryKey[0] = '\0';
    // A key name longer than the registry allows is no key at all.
    const size_t cchKey = pszRegistryKey != nullptr ? strlen(pszRegistryKey) : sizeof(m_szRegistryKey);
    if (cchKey < sizeof(m_szRegistryKey))
        memcpy(m_szRegistryKey, pszRegistryKey, cchKey + 1);
    m_pszRegistryKey = m_szRegistryKey[0] == '\0' ? nullptr : m_szRegistryKey;
}

const char* CWinApp::GetAppProfileKey() const {
    JoinKeyPath(m_szProfileKey,
                {m_pszRegistryKey != nullptr ? "Software\\" : nullptr, m_pszRegistryKey, "\\", m_pszAppName});
    return m_szProfileKey;
}

int CWinApp::GetProfileInt(LPCSTR pszSection, LPCSTR pszEntry, int nDefault, bool* pbReadFailed) const {
    char key[kMaxKeyPath];
    if (!SectionKey(*this, pszSection, key))
        return nDefault;
    // A value that is not there (or a key that is not) is missing; any other error means the registry
    // could not say what the value is.
    auto failed = [pbReadFailed](LSTATUS status) {
        if (pbReadFailed != nullptr && status != ERROR_FILE_NOT_FOUND)
            *pbReadFailed = true;
    };
    HKEY hKey = nullptr;
    if (const LSTATUS status = RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &hKey);
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
    char key[kMaxKeyPath];
    if (!SectionKey(*this, pszSection, key))
        return FALSE;
    HKEY hKey = nullptr;
    DWORD dwDisposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE | KEY_READ,
                        nullptr, &hKey, &dwDisposition) != ERROR_SUCCESS)
        return FALSE;
    const DWORD dwValue = static_cast<DWORD>(nValue);
    const LSTATUS status = RegSetValueExA(hKey, pszEntry, 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    RegCloseKey(hKey);
    return status == ERROR_SUCCESS;
}
