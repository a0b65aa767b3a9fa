// CWinApp: the application object. It holds the command line, the registry profile and the main window,
// and WinMain drives it: construction, InitInstance, then the message loop when InitInstance asks for it.
#pragma once
#include <windows.h>

#include <new>

#include "framework/object.h"

class CWnd;

class CWinApp : public CObject {
    DECLARE_DYNAMIC(CWinApp)

public:
    // Without a name the application is named after its executable file (set before InitInstance).
    explicit CWinApp(LPCSTR pszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up: TRUE runs the framework's message loop after it, FALSE ends the program at once.
    virtual BOOL InitInstance();
    // The program's exit code; by default the wParam of the WM_QUIT that ended the message loop.
    virtual int ExitInstance();

    // GetMessage, the main window's dialog keys, TranslateMessage, DispatchMessage until WM_QUIT; returns
    // the WM_QUIT wParam.
    int RunMessageLoop();

    // Profile values live under HKEY_CURRENT_USER\Software\<registry key>\<application name>\<section>, as
    // REG_DWORD. Without a registry key there is no profile: reads give the default, writes fail.
    void SetRegistryKey(LPCSTR pszRegistryKey);
    // *pbReadFailed, when given, is set (never cleared) when the registry failed to answer, as opposed to
    // the value simply not being there; the default is returned either way.
    int GetProfileInt(LPCSTR pszSection, LPCSTR pszEntry, int nDefault, bool* pbReadFailed = nullptr) const;
    BOOL WriteProfileInt(LPCSTR pszSection, LPCSTR pszEntry, int nValue) const;
    // "Software\<registry key>\<application name>", the key that holds every section; empty without a
    // registry key, or when it would be longer than a registry path may be.
    const char* GetAppProfileKey() const;

    // Registry key names are at most 255 characters; a path of them, at most this many.
    static constexpr size_t kMaxKeyPath = 512;

    // Called by WinMain before InitInstance: the instance, the command-line text after the program name
    // (lpCmdLine, else the one in GetCommandLineA: both last as long as the process) and the argument
    // vector parsed from GetCommandLineA, the application name.
    void InitEntry(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);

    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWDEFAULT;
    int m_argc = 0;
    char** m_argv = nullptr;
    LPCSTR m_pszAppName = nullptr;
    LPCSTR m_pszRegistryKey = nullptr;
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;

private:
    // m_argv's pointers and texts, one block from the C runtime's heap (SplitCommandLine).
    char** m_pArgBlock = nullptr;
    char m_szAppName[MAX_PATH + 1] = {};
    char m_szRegistryKey[256] = {};
    mutable char m_szProfileKey[kMaxKeyPath] = {};
};

// The running application object, or null outside WinMain.
CWinApp* FwGetApp();

// Defined by FW_IMPLEMENT_APP in the product; WinMain builds the application object through it.
CWinApp* FwCreateApp();

// One line in the product names its application class. The object is built afresh in static storage at
// every WinMain, never by a global constructor: every program start must begin from a clean object.
#define FW_IMPLEMENT_APP(AppClass)                                                                           \
    namespace {                                                                                              \
    alignas(AppClass) unsigned char g_appStorage[sizeof(AppClass)];                                          \
    }                                                                                                        \
    CWinApp* FwCreateApp() {                                                                                 \
        return new (static_cast<void*>(g_appStorage)) AppClass();                                            \
    }
