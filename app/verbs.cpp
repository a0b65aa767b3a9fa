#include <windows.h>

#include "app/app_messages.h"
#include "app/verbs.h"
#include "sysint/dbg_trace.h"
#include "sysint/str_util.h"
#include "variants/variant.h"

namespace {

// Looked at in this order; the first match acts.
constexpr AppVerb kVerbs[] = {
    {"Uninstall", nullptr, {{&g_nMsgTurnOff, 0}, {&g_nMsgRemoveRegistry, 0}}, 2},
    {"Turnoff", nullptr, {{&g_nMsgTurnOff, 0}, {nullptr, 0}}, 1},
    {"Close", nullptr, {{&g_nMsgTurnOff, TURNOFF_AND_CLOSE}, {nullptr, 0}}, 1},
    {"r0", "rotatin r0\n", {{&g_nMsgSISRotation, 1}, {nullptr, 0}}, 1},
    {"r90", "rotatin r90\n", {{&g_nMsgSISRotation, 2}, {nullptr, 0}}, 1},
    {"r180", "rotatin r180\n", {{&g_nMsgSISRotation, 3}, {nullptr, 0}}, 1},
    {"r270", "rotatin r270\n", {{&g_nMsgSISRotation, 4}, {nullptr, 0}}, 1},
};

} // namespace

const AppVerb* FindAppVerb(const char* pszCmdLine) {
    if (pszCmdLine == nullptr)
        return nullptr;
    for (const AppVerb& verb : kVerbs) {
        if (StrEqualNoCase(pszCmdLine, verb.pszVerb))
            return &verb;
    }
    return nullptr;
}

void ForwardAppVerb(const char* pszCmdLine, const char* pszInstanceName) {
    const AppVerb* pVerb = FindAppVerb(pszCmdLine);
    if (pVerb == nullptr)
        return;
    if (pVerb->pszTrace != nullptr && g_variant.traceRotationVerbs)
        DbgTrace("%s", pVerb->pszTrace);
    // Any window class: the running instance is known only by its title.
    HWND hRunning = FindWindowA(nullptr, pszInstanceName);
    if (hRunning == nullptr)
        return;
    for (int i = 0; i < pVerb->nPosts; ++i) {
        if (!PostMessageA(hRunning, *pVerb->posts[i].pnMsg, pVerb->posts[i].wParam, 0))
            DbgTrace("Forward %s failed, error %d\n", pVerb->pszVerb, (int)GetLastError());
    }
}
