// The notification record the tray icon sends, and how its callback reaches the mouse handlers.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>

#include "app/app_messages.h"
#include "machine.h"
#include "tray/tray_icon.h"

namespace {

class CountingHandler : public CTrayIconMouseMsgHandler {
public:
    CountingHandler(int nMsg, int* pnCalls) : CTrayIconMouseMsgHandler(nMsg, nullptr), m_pnCalls(pnCalls) {}
    int OnMouseMsg() override {
        ++*m_pnCalls;
        return 0;
    }

private:
    int* m_pnCalls;
};

class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        winsim::BeginTestProcess();
        RegisterAppMessages();
        m_hOwner = winsim::ToHwnd(winsim::NewWindowRecord("#32770", "KIVA 7300", 0).handle);
    }

    CTrayIcon* MakeIcon(const char* pszTip, int* pnLeft = nullptr, int* pnRight = nullptr) {
        static int unused;
        auto** ppHandlers = new CTrayIconMouseMsgHandler*[3];
        ppHandlers[0] = new CountingHandler(WM_LBUTTONDOWN, pnLeft ? pnLeft : &unused);
        ppHandlers[1] = new CountingHandler(WM_RBUTTONDOWN, pnRight ? pnRight : &unused);
        ppHandlers[2] = new CountingHandler(WM_RBUTTONDOWN, pnRight ? pnRight : &unused);
        return new CTrayIcon(m_hOwner, TRAY_ICON_ID, g_nMsgNotifyIcon, m_hIcon, pszTip, ppHandlers, 3);
    }

    HWND m_hOwner = nullptr;
    HICON m_hIcon = reinterpret_cast<HICON>(uintptr_t(0x20080));
};

TEST_F(TrayIconTest, AddsTheVersionTwoRecordWithItsTipCutTo127CharactersAndRemovesIt) {
    const std::string longTip(200, 'T');
    const struct {
        const char* tip;
        std::string shown;
    } cases[] = {{"USB 2.0 VGA DEVICE-1", "USB 2.0 VGA DEVICE-1"},
                 {longTip.c_str(), longTip.substr(0, 127)},
                 {nullptr, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        CTrayIcon* pIcon = MakeIcon(c.tip);
        ASSERT_TRUE(pIcon->AddToTray());
        ASSERT_EQ(winsim::M().tray.size(), 1u);
        const winsim::TrayIcon& shown = winsim::M().tray[0];
        EXPECT_EQ(shown.cbSize, DWORD(NOTIFYICONDATAA_V2_SIZE));
        EXPECT_EQ(shown.flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
        EXPECT_EQ(shown.id, TRAY_ICON_ID);
        EXPECT_EQ(shown.callbackMessage, g_nMsgNotifyIcon);
        EXPECT_EQ(shown.icon, reinterpret_cast<uintptr_t>(m_hIcon));
        EXPECT_EQ(std::string(shown.tip.c_str()), c.shown);
        // The shell refuses a second icon with the same window and id; the first stays as it was.
        EXPECT_FALSE(pIcon->AddToTray());
        EXPECT_EQ(winsim::M().tray.size(), 1u);
        EXPECT_TRUE(pIcon->RemoveFromTray());
        EXPECT_TRUE(winsim::M().tray.empty());
        delete pIcon;
    }
}

TEST_F(TrayIconTest, EveryHandlerOfTheMouseMessageReactsToItsOwnIconOnly) {
    int nLeft = 0, nRight = 0;
    CTrayIcon* pIcon = MakeIcon("tip", &nLeft, &nRight);
    pIcon->OnNotifyIcon(TRAY_ICON_ID, WM_RBUTTONDOWN);
    EXPECT_EQ(nRight, 2); // both right-button handlers, not only the first
    pIcon->OnNotifyIcon(TRAY_ICON_ID + 1, WM_LBUTTONDOWN);
    pIcon->OnNotifyIcon(TRAY_ICON_ID, WM_LBUTTONUP);
    pIcon->OnNotifyIcon(TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    pIcon->OnNotifyIcon(TRAY_ICON_ID, WM_MOUSEMOVE);
    EXPECT_EQ(nLeft, 0);
    pIcon->OnNotifyIcon(TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_EQ(nLeft, 1);
    delete pIcon;
}

} // namespace
