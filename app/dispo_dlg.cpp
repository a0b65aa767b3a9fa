// The main window: construction, the message map, the initialisation of the window and its painting.
#include <windows.h>

#include "adapter/adapter.h"
#include "adapter/disp_res.h"
#include "app/app_messages.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "res/resource.h"
#include "sysint/env_probes.h"

IMPLEMENT_DYNAMIC(CDispoDlg, CDialog)

// The first matching entry handles a message; PreFilterMessage has seen it before.
BEGIN_MESSAGE_MAP(CDispoDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_DEVICECHANGE()
ON_REGISTERED_MESSAGE(g_nMsgTaskbarCreated, OnTaskbarCreated)
ON_REGISTERED_MESSAGE(g_nMsgNotifyIcon, OnNotifyIcon)
ON_REGISTERED_MESSAGE(g_nMsgTurnOff, OnTurnOff)
ON_REGISTERED_MESSAGE(g_nMsgRemoveRegistry, OnRemoveReg)
ON_REGISTERED_MESSAGE(g_nMsgSISRotation, OnSISRotation)
ON_COMMAND(ID_MENU_PRIMARY, OnPrimary)
ON_COMMAND(ID_MENU_EXTENDED, OnExt)
ON_COMMAND(ID_MENU_OFF, OnOff)
ON_COMMAND(ID_MENU_MIRROR, OnMirror)
ON_COMMAND(ID_MENU_BRAND, OnBrand)
ON_COMMAND_RANGE(ID_MENU_RES_RANGE_FIRST, ID_MENU_RES_RANGE_LAST, OnTraySetDPI)
ON_COMMAND_RANGE(ID_MENU_ROTATE_0, ID_MENU_ROTATE_LAST, OnRotation)
ON_WM_TIMER()
ON_WM_ENDSESSION()
ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

CDispoDlg::CDispoDlg()
    : CDialog(IDD_DISPO_DIALOG), m_pSysDispModeHead(nullptr), m_nSysDispModeCount(0), m_bResumeKick(FALSE),
      m_bWin7(FALSE), m_bStarter(FALSE), m_bMirrorMode(FALSE), m_hIcon(nullptr), m_pTrayIcon(nullptr),
      m_pAdapter(nullptr), m_nSysBpp(0), m_nSysWidth(0), m_nSysHeight(0), m_bIntelChip(0),
      m_bChangingSysMode(false) {
    ZeroMemory(&m_osvi, sizeof(m_osvi));
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    // Set before the window exists: the start-up and everything after it read the version flags.
    ProbeWindowsVersion(m_osvi, m_bWin7, m_bStarter);
}

void CDispoDlg::SetAdapter(CAdapter* pAdapter) {
    m_pAdapter = pAdapter;
    if (pAdapter != nullptr)
        pAdapter->SetHost(this);
}

CDispoDlg::~CDispoDlg() {
    DestroyWindow();
    FreeDispResList(m_pSysDispModeHead);
    m_pSysDispModeHead = nullptr;
    m_nSysDispModeCount = 0;
}

BOOL CDispoDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    UpdateSysMode();
    GetDispoApp()->RegisterUsbNotify();
    // The adapter is not touched before the message loop runs: the first look for it is one second in.
    SetTimer(STARTUP_TIMER, STARTUP_TIMER_MS);
    m_menuLabels.Load(GetModuleHandleA(nullptr));
    m_bMirrorMode = FALSE;
    return TRUE;
}

// The window is never shown, so this minimised painting (the icon centred in the client area) is never
// seen; it is what a dialog with an application icon does when it is minimised.
void CDispoDlg::OnPaint() {
    if (!IsIconic(m_hWnd)) {
        Default();
        return;
    }
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(m_hWnd, &ps);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    RECT rect;
    GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(hdc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
}

HCURSOR CDispoDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}
