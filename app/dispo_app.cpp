#include <windows.h>
#include <commctrl.h>

#include "adapter/adapter.h"
#include "adapter/profile_names.h"
#include "app/app_messages.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "app/res_preset.h"
#include "app/verbs.h"
#include "tray/tray_icon.h"
#include "sysint/dbg_trace.h"
#include "sysint/disp_dev.h"
#include "sysint/video_key.h"
#include "variants/variant.h"

FW_IMPLEMENT_APP(CDispoApp)

CDispoApp* GetDispoApp() {
    return static_cast<CDispoApp*>(FwGetApp());
}

// The framework's own run-time class records answer what the main window is, so the program needs no
// C++ type information (it is built without it).
CDispoDlg* GetDispoDlg() {
    CWinApp* pApp = FwGetApp();
    CWnd* pMain = pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    return pMain != nullptr && pMain->IsKindOf(RUNTIME_CLASS(CDispoDlg)) ? static_cast<CDispoDlg*>(pMain)
                                                                         : nullptr;
}

CDispoApp::CDispoApp()
    : m_nSysX(0), m_nSysY(0), m_nSysZ(0), m_hUsbNotify(nullptr), m_hInstanceMutex(nullptr) {
    // First: the display-device library has to record the system's primary display as it is when the
    // program starts, before anything can change it.
    DispDevInit(g_variant.dispDevId, g_variant.mirDevId);
    RegisterAppMessages();
    g_nResumeCount = 0;
}

BOOL CDispoApp::InitInstance() {
    char szInstanceName[32];
    StrFormat(szInstanceName, sizeof(szInstanceName), "%s", g_variant.instanceName);

    // The mutex only marks that an instance runs; nobody ever waits on it. A successful creation need not
    // clear the last error, so a stale ERROR_ALREADY_EXISTS must not be left lying there.
    SetLastError(ERROR_SUCCESS);
    m_hInstanceMutex = CreateMutexA(nullptr, TRUE, szInstanceName);
    // An instance of higher integrity (elevated) made the mutex; its security refuses us, yet it runs.
    const DWORD dwMutexError = GetLastError();
    if (dwMutexError == ERROR_ALREADY_EXISTS ||
        (m_hInstanceMutex == nullptr && dwMutexError == ERROR_ACCESS_DENIED)) {
        ForwardAppVerb(m_lpCmdLine, szInstanceName);
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc = {};
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);
    CWinApp::InitInstance();

    CDispoDlg* pDlg = new (std::nothrow) CDispoDlg();
    if (pDlg == nullptr)
        return FALSE;
    // Without an adapter object the window still comes up, but the message loop is never entered.
    pDlg->SetAdapter(new (std::nothrow) CAdapter(g_variant.usbId, g_variant.dispDevId, g_variant.mirDevId,
                                                 /*bHasMirror*/ 1));
    m_pMainWnd = pDlg;
    pDlg->Create(nullptr);
    SetWindowTextA(pDlg->m_hWnd, szInstanceName);
    ShowWindow(pDlg->m_hWnd, SW_HIDE);

    SetRegistryKey(PROFILE_REGISTRY_KEY);
    if (ApplyResPreset(pDlg))
        return FALSE;

    AllowAppMessagesFromLowerIntegrity(pDlg->m_hWnd);
    if (pDlg->m_osvi.dwMajorVersion >= 6 && !HasAdminToken())
        DbgTrace("Running without administrator rights: the desktop composition service and the displays' "
                 "attach switches cannot be changed\n");

    pDlg->DetectIntelChip();

    // A primary display that the mirror logic lowered last time (and that was never put back, because the
    // program or Windows ended first) gets its own resolution again.
    LoadSysRes();
    if (HasSavedSysRes()) {
        DbgTrace("Init %d %d %d\n", m_nSysX, m_nSysY, m_nSysZ);
        pDlg->RestoreSavedSystem(/*bForget*/ true);
    }
    pDlg->CreateTrayIcon();
    // Read once, before the adapter can change anything: the mirror logic needs the sizes the primary
    // display offers, and those are the ones from before it lowered the primary display.
    pDlg->EnumSysDispMode();

    // Without its window nothing could ever reach the loop, not even a "Close" from a second start.
    if (pDlg->m_pAdapter != nullptr && pDlg->m_hWnd != nullptr) {
        RunMessageLoop();
        if (m_hUsbNotify != nullptr) {
            UnregisterDeviceNotification(m_hUsbNotify);
            m_hUsbNotify = nullptr;
        }
    }
    Teardown(pDlg);
    return FALSE;
}

// The installer's "res <width> <height> <depth>": the next bring-up of the adapter takes this resolution
// as its first-run resolution. The program ends right after, without touching the adapter.
bool CDispoApp::ApplyResPreset(CDispoDlg* pDlg) {
    ResPreset preset = {};
    if (!ParseResPreset(m_argc, m_argv, &preset))
        return false;
    WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_FIRST_RUN, 0);
    WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_HEIGHT, preset.nHeight);
    WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_WIDTH, preset.nWidth);
    WriteProfileInt(PROFILE_SECTION_DONGLE, PROFILE_BIT_DEPTH, preset.nBpp);
    Teardown(pDlg);
    return true;
}

void CDispoApp::LoadSysRes() {
    m_nSysX = GetProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_X, 0);
    m_nSysY = GetProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_Y, 0);
    m_nSysZ = GetProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_Z, 0);
}

// A failed write only means that a later start cannot put the primary display back; nothing to report.
void CDispoApp::SaveSysRes() {
    WriteProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_X, m_nSysX);
    WriteProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_Y, m_nSysY);
    WriteProfileInt(PROFILE_SECTION_CONFIG, PROFILE_SYS_Z, m_nSysZ);
}

// The window goes, and the adapter and tray icon objects with it; the driver handle is not closed here
// (the process ends right after). The tray icon object takes its icon away, so that no dead icon stays
// behind in the notification area.
void CDispoApp::Teardown(CDispoDlg* pDlg) {
    // Not the main window any more: its destruction must not post a WM_QUIT that nobody will read.
    m_pMainWnd = nullptr;
    delete pDlg->m_pTrayIcon;
    pDlg->m_pTrayIcon = nullptr;
    delete pDlg->m_pAdapter;
    pDlg->m_pAdapter = nullptr;
    pDlg->DestroyWindow();
    delete pDlg;
}
