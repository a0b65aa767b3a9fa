// The simulated machine: one plain data model behind every Win32 call of winsim. Each module's records and
// internal interface are in its own header; a file includes the ones it uses.
#pragma once

#include <windows.h>
#include <winsim/program.h>

#include "broadcast.h"
#include "containers.h"
#include "display.h"
#include "faults.h"
#include "kernel.h"
#include "menu.h"
#include "output.h"
#include "process.h"
#include "registry.h"
#include "scheduler.h"
#include "shell.h"
#include "usb.h"
#include "window.h"

namespace winsim {

// The Windows version the machine runs (GetVersionExA).
struct OsVersion {
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    Str csd{Arena()};
    Str edition{Arena()}; // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion "EditionID"; empty = absent
};

struct Machine {
    VirtualMs now = 0;
    OsVersion os;
    Vec<DisplayDevice> displays{Arena()};
    Vec<DisplayChangeCall> displayChanges{Arena()};
    DisplayQuirks displayQuirks;
    int displayChangeDepth = 0; // ChangeDisplaySettingsExA calls in progress (WM_DISPLAYCHANGE re-enters)
    RegKey* hkcu = nullptr;
    RegKey* hklm = nullptr;
    Vec<UsbInterface> usb{Arena()};
    AdapterDevice adapter;
    Vec<DriverRequest> driverLog{Arena()};
    Vec<DeviceNotification> notifications{Arena()};
    uintptr_t nextNotification = 0x7A0000;
    NoCaseMap<Service> services{Arena()};
    Vec<TrayIcon> tray{Arena()};
    Vec<MonitorPowerEvent> monitorPower{Arena()};
    Vec<Broadcast> broadcasts{Arena()}; // the system broadcasts that wait for answers
    uint64_t nextBroadcast = 1;
    bool asleep = false; // suspended: no program runs until the machine resumes
    Vec<PowerEvent> powerLog{Arena()};
    Vec<SessionEvent> sessionLog{Arena()};
    bool sessionOver = false; // a logoff or shutdown has ended the session: no program starts any more
    Vec<CrossPost> crossPosts{Arena()};
    Map<uintptr_t, Str> serviceHandles{Arena()}; // "" for a service-manager handle
    uintptr_t nextServiceHandle = 0x5C0010;
    bool securityPrivilegeHeld = true;             // the user's token holds SeSecurityPrivilege
    bool uac = false;                              // User Account Control (Vista and later)
    bool userAdmin = true;                         // the user is an administrator
    Vec<Str> privilegeLog{Arena()};                // every AdjustTokenPrivileges, as text
    Map<Str, KernelObject*> namedObjects{Arena()}; // mutexes by name (case-sensitive, as the kernel)
    NoCaseMap<UINT> registeredMessages{Arena()};
    UINT nextRegisteredMessage = 0xC000;
    Map<uintptr_t, Window*> windows{Arena()};
    uintptr_t nextWindow = 0x10010;
    Map<uintptr_t, Menu*> menus{Arena()};
    uintptr_t nextMenu = 0x300010;
    TrackedMenu trackedMenu;
    uintptr_t foreground = 0; // the window SetForegroundWindow made the foreground window
    Vec<Process*> processes{Arena()};
    DWORD nextPid = 1000;
    uint64_t timerOrder = 0;
    ProgramImage program{};
    Vec<Str> simNotes{Arena()}; // what the simulator itself had to say (a process that would block, ...)
    Vec<FaultRule> faultRules{Arena()};

    // Icons that LoadImageA made (geometry.cpp).
    Vec<IconImage> iconImages{Arena()};
    uintptr_t nextIconImage = 0x30010;
};

// The machine of this run, created on first use.
Machine& M();
// A fresh, empty machine (the arena keeps the old one's memory; runs are short).
void ResetMachine();
// Forgets the machine and gives all of its memory back (ClearArena); the next M() makes a new one. For a
// loop that runs millions of machines, where the memory ResetMachine keeps would run out.
void DiscardMachine();

} // namespace winsim
