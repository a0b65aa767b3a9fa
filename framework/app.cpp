#include <windows.h>

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
        m_strAppName = pszAppName;
        m_pszAppName = m_strAppName.c_str();
    }
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::InitEntry(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow) {
    m_hInstance = hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr);
    m_nCmdShow = nCmdShow;

    const char* pszFullLine = GetCommandLineA();
    m_strCmdLine = lpCmdLine != nullptr ? lpCmdLine : SkipProgramName(pszFullLine);
    m_lpCmdLine = m_strCmdLine.data();

    m_args = SplitCommandLine(pszFullLine);
    m_argvPointers.clear();
    for (std::string& arg : m_args)
        m_argvPointers.push_back(arg.data());
    m_argvPointers.push_back(nullptr);
    m_argc = static_cast<int>(m_args.size());
    m_argv = m_argvPointers.data();

    if (m_pszAppName == nullptr) {
        char szModule[MAX_PATH + 1] = {};
        GetModuleFileNameA(nullptr, szModule, MAX_PATH);
        m_strAppName = ExeBaseName(szModule);
        m_pszAppName = m_strAppName.c_str();
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
