// What the adapter needs of the window that holds it: the primary display's mode as the window last saw
// it, the system it runs on, and the primary display's saved resolution. The adapter reads these at the
// moment it needs them, never from a copy, because the window updates them as displays change.
#pragma once
#include <windows.h>

#include "sysint/disp_mode.h"

struct DispRes;

class CAdapterHost {
public:
    // The primary display's mode as the window last read it.
    virtual int GetSysWidth() const = 0;
    virtual int GetSysHeight() const = 0;
    virtual int GetSysBpp() const = 0;
    // The primary display's sizes as Windows offered them at start-up, smallest first, linked both ways.
    virtual const DispRes* GetSysDispModes() const = 0;

    virtual bool IsIntelChip() const = 0; // an Intel chip drives a display of the system
    virtual bool IsWin7() const = 0;
    virtual bool IsStarter() const = 0; // Windows 7 Starter: the adapter can only mirror
    // The adapter now runs, or no longer runs, as a mirror of the primary display.
    virtual void SetMirrorMode(bool bMirror) = 0;

    // After a rotation swapped the adapter's width and height: moves its resolution to a menu-list mode
    // that holds it.
    virtual int RecheckResolution(BOOL bPortrait) = 0;
    // Sets the primary display to this mode, written to the registry.
    virtual int RestoreSystem(int nWidth, int nHeight, int nBpp) = 0;
    // Remembers the primary display's mode before the mirror logic lowers it, also in the profile, so that
    // it comes back even when the program does not live to restore it.
    virtual void SaveSystemResolution(const DispMode& mode) = 0;
    // Gives the primary display back its saved resolution, when one is saved; bForget then clears it.
    virtual void RestoreSavedSystem(bool bForget) = 0;

protected:
    ~CAdapterHost() = default;
};
