// The command-line verbs a second start forwards to the running instance.
#pragma once
#include <windows.h>

struct AppVerbPost {
    const UINT* pnMsg; // the registered message, read when it is posted
    WPARAM wParam;
};

struct AppVerb {
    const char* pszVerb;
    const char* pszTrace; // rotation verbs only; traced when the build asks for it
    AppVerbPost posts[2];
    int nPosts;
};

// The verb that the whole command-line text names, case ignored; null when it names none. The text is
// compared as it is: a trailing blank or a leading slash makes it no verb.
const AppVerb* FindAppVerb(const char* pszCmdLine);

// Second start: forwards the verb of the command line, if any, to the window titled pszInstanceName.
void ForwardAppVerb(const char* pszCmdLine, const char* pszInstanceName);
