#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "framework/app.h"
#include "framework/command_line.h"
#include "framework/wnd.h"

IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {
// Set by the application object's constructor at every program start and cleared by its destructor.
CWinApp* g_pApp;
} // namespace

CWinApp* FwGetApp() {
    return g_pApp;
}

CWinApp::CWinApp(LPCSTR pszAppName) {
    if (pszAppName != nullptr) {
        // The name of a file: it fits the buffer, and is cut where it would not.
        strncpy(m_szAppName, pszAppName, sizeof(m_szAppName) - 1);
        m_pszAppName = m_szAppName;
    }
    g_pApp = this;
}

CWinApp::~CWinApp() {
    free(m_pArgBlock);
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::InitEntry(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    m_hInstance = hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr);
    m_nCmdShow = nCmdShow;

    const char* pszFullLine = GetCommandLineA();
    m_lpCmdLine = lpCmdLine != nullptr ? lpCmdLine : const_cast<LPSTR>(SkipProgramName(pszFullLine));

    free(m_pArgBlock);
    m_pArgBlock = SplitCommandLine(pszFullLine, &m_argc);
    // Without arguments (or without the memory for them) the vector is empty, but there is one.
    static char* const kNoArguments[] = {nullptr};
    m_argv = m_pArgBlock != nullptr ? m_pArgBlock : const_cast<char**>(kNoArguments);

    if (m_pszAppName == nullptr) {
        char szModule[MAX_PATH + 1] = {};
        GetModuleFileNameA(nullptr, szModule, MAX_PATH);
        ExeBaseName(szModule, m_szAppName, sizeof(m_szAppName));
        m_pszAppName = m_szAppName;
    }
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return m_nExitCode;
}

int CWinApp::RunMessageLoop() {
    MSG msg = {};
    for (;;) {
        const BOOL bRet = GetMessageA(&msg, nullptr, 0, 0);
        if (bRet == 0)
            break;
        if (bRet == -1) {
            m_nExitCode = -1;
            return m_nExitCode;
        }
        HWND hMain = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
        if (hMain != nullptr && IsDialogMessageA(hMain, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    m_nExitCode = static_cast<int>(msg.wParam);
    return m_nExitCode;
}
