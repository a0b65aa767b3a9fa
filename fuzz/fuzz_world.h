// What the fuzz targets run in: a winsim machine made afresh for every input, with the memory of the one
// before given back, and one process that the target's code plays; and the program's own objects as the
// application builds them.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "adapter/adapter.h"
#include "app/dispo_app.h"
#include "app/dispo_dlg.h"
#include "machine.h"
#include "variants/variant.h"

namespace fuzz {

inline void FreshMachine() {
    winsim::DiscardMachine();
    winsim::BeginTestProcess();
}

// A property of the code under test that the input broke: reported like a sanitizer finding, so that
// libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                    \
            abort();                                                                                         \
        }                                                                                                    \
    } while (0)

// The application object with its profile, the main window object (never created as a window) and the
// adapter it holds, for the build's ids; the display devices must be on the machine before (the
// application records the primary display when it is made).
struct Program {
    Program() {
        app.m_pszAppName = "duodesk";
        app.SetRegistryKey("Kiva Dongle");
        dlg.SetAdapter(&adapter);
        app.m_pMainWnd = &dlg;
        snprintf(adapter.m_ddActive.DeviceName, sizeof(adapter.m_ddActive.DeviceName), "\\\\.\\DISPLAY2");
    }
    ~Program() { app.m_pMainWnd = nullptr; }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    CDispoApp app;
    CDispoDlg dlg;
    CAdapter adapter{g_variant.usbId, g_variant.dispDevId, g_variant.mirDevId, 1};
};

} // namespace fuzz
