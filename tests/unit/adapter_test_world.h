// The world the adapter unit tests run in: the unit tests' machine (test_machine.h) with
// the application object with its profile, the main window object (never created as a window) and one
// adapter, with every trace captured.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "adapter/adapter.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "machine.h"
#include "test_machine.h"

namespace adapter_test {

using namespace test_machine;

constexpr char kAdapterDisplay[] = "\\\\.\\DISPLAY2";
constexpr char kAdapterDeviceId[] = "ZTK\\USB2VGA";

// Nodes made by hand, for the matching tests; the list owns them as a builder's would. MakeGrouped reads
// each Mode's third value as the depth mask and links the nodes both ways, as the primary display's are.
inline DispRes* MakeList(std::initializer_list<Mode> modes, bool bGrouped = false) {
    DispRes* pHead = nullptr;
    DispRes* pTail = nullptr;
    for (const Mode& m : modes) {
        DispRes* pNode = new DispRes{};
        pNode->nWidth = m.nWidth;
        pNode->nHeight = m.nHeight;
        (bGrouped ? pNode->nDepthMask : pNode->nBpp) = m.nBpp;
        pNode->pPrev = bGrouped ? pTail : nullptr;
        (pTail == nullptr ? pHead : pTail->pNext) = pNode;
        pTail = pNode;
    }
    return pHead;
}
inline DispRes* MakeGrouped(std::initializer_list<Mode> sizes) {
    return MakeList(sizes, true);
}

// The menu labels of a list, or "WxHxD" of every node of a list without labels.
inline Strings Labels(const DispRes* p) {
    Strings out;
    for (; p != nullptr; p = p->pNext)
        out.push_back(p->szLabel[0] != '\0' ? std::string(p->szLabel)
                                            : std::to_string(p->nWidth) + "x" + std::to_string(p->nHeight) +
                                                  "x" + std::to_string(p->nBpp));
    return out;
}

inline std::string Text(unsigned w, unsigned h, unsigned d) {
    return std::to_string(w) + "x" + std::to_string(h) + "x" + std::to_string(d);
}
inline std::string Text(const DEVMODEA& dm) {
    return Text(dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel);
}

inline DEVMODEA MakeMode(unsigned nWidth, unsigned nHeight, unsigned nBpp) {
    DEVMODEA dm;
    ZeroMemory(&dm, sizeof(dm));
    dm.dmSize = sizeof(dm);
    dm.dmPelsWidth = nWidth;
    dm.dmPelsHeight = nHeight;
    dm.dmBitsPerPel = nBpp;
    return dm;
}

class AdapterWorld : public Machine {
protected:
    void SetUp() override {
        Machine::SetUp();
        m_pApp = new CDispoApp();
        m_pApp->m_pszAppName = "duodesk";
        m_pApp->SetRegistryKey("Kiva Dongle");
        m_pDlg = new CDispoDlg();
        m_pDlg->SetAdapter(&m_adapter);
        m_pApp->m_pMainWnd = m_pDlg;
        snprintf(m_adapter.m_ddActive.DeviceName, sizeof(m_adapter.m_ddActive.DeviceName), "%s",
                 kAdapterDisplay);
        // As after a bring-up: the settings in memory are the user's.
        m_adapter.m_bSettingsLoaded = true;
        Traces().clear();
    }

    void TearDown() override {
        if (m_pApp != nullptr)
            m_pApp->m_pMainWnd = nullptr;
        delete m_pDlg;
        delete m_pApp;
        Machine::TearDown();
    }

    std::string Resolution() const { return Text(m_adapter.m_nWidth, m_adapter.m_nHeight, m_adapter.m_nBpp); }

    CAdapter m_adapter{"vid_5a1e&pid_7300", kAdapterDeviceId, "ZTK\\USB2VGAM", 1};
    CDispoApp* m_pApp = nullptr;
    CDispoDlg* m_pDlg = nullptr;
};

} // namespace adapter_test
