// CDlgWarning: "Do you want to keep the setting?", with a countdown of 15 seconds, after a change to a
// resolution wider than 1024 or taller than 768. OK keeps it; Cancel, Escape, the close box and the end of
// the countdown all answer IDCANCEL, which puts the old resolution back.
#pragma once
#include <windows.h>

#include "framework/dialog.h"

class CDlgWarning : public CDialog {
public:
    CDlgWarning();

    // Open while RunModal runs: its window exists.
    bool IsOpen() const { return m_hWnd != nullptr; }

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent);

    int m_nCount;      // seconds left, minus one
    UINT_PTR m_nTimer; // the countdown's timer, as SetTimer returned it

    DECLARE_MESSAGE_MAP()
};
