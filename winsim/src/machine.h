// The simulated machine: one plain data model behind every Win32 call of winsim.
//
// All of it lives in the shared arena (see arena.h), so a second program start, which runs in a fork()ed
// copy of the simulator, works on the same machine as the running instance. Every container therefore
// uses the arena's polymorphic allocator; a std::string or std::vector member would silently fork.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <dbt.h>
#include <winsim/program.h>
#include <winsim/user.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory_resource>
#include <string>
#include <vector>

#include "arena.h"
#include "faults.h"

namespace winsim {

using Str = std::pmr::string;
template <class T>
using Vec = std::pmr::vector<T>;
template <class T>
using Deque = std::pmr::deque<T>;
template <class K, class V>
using Map = std::pmr::map<K, V>;

// Case-insensitive ordering, as the registry and window titles compare names.
struct NoCaseLess {
    bool operator()(const Str& a, const Str& b) const;
};
template <class V>
using NoCaseMap = std::pmr::map<Str, V, NoCaseLess>;
Str Upper(const char* text);
bool EqualNoCase(const char* a, const char* b);

using VirtualMs = uint64_t;

// ----------------------------------------------------------------------------------------------------------
// Operating system

struct OsVersion {
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    Str csd{Arena()};
    Str edition{Arena()}; // HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion "EditionID"; empty = absent
};

// ----------------------------------------------------------------------------------------------------------
// Display devices (EnumDisplayDevicesA / EnumDisplaySettingsA / ChangeDisplaySettingsExA)

struct DisplayMode {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bpp = 0;
    DWORD frequency = 0;
    bool operator==(const DisplayMode&) const = default;
};

// One copy of a device's configuration: what it runs now (current) or what is saved for the next apply and
// the next boot (registry). For the registry copy `attached` is the "Attach.ToDesktop" switch, and `mode`
// keeps the saved resolution even while the switch is off.
struct DisplaySettings {
    DisplayMode mode;
    LONG x = 0;
    LONG y = 0;
    bool attached = false;
};

struct DisplayDevice {
    Str name{Arena()};        // \\.\DISPLAYn
    Str description{Arena()}; // DeviceString
    Str deviceId{Arena()};
    Str deviceKey{Arena()}; // empty: the form of the machine's Windows version (DefaultDeviceKey)
    DWORD staticFlags = 0;  // DISPLAY_DEVICE_MIRRORING_DRIVER, _REMOVABLE, _VGA_COMPATIBLE
    bool primary = false;
    bool registryPrimary =
        false;           // the saved choice of primary display (CDS_SET_PRIMARY | CDS_UPDATEREGISTRY)
    bool present = true; // the adapter's own devices exist only while it is plugged in
    bool ofAdapter = false;
    bool registryMissing = false; // EnumDisplaySettingsA(ENUM_REGISTRY_SETTINGS) fails for this device
    Vec<DisplayMode> modes{Arena()};
    Vec<DisplayMode> refusedModes{
        Arena()}; // listed, but ChangeDisplaySettingsExA answers DISP_CHANGE_BADMODE
    DisplaySettings current;
    DisplaySettings registry;
};

// Stricter readings of the display API that some Windows versions show; all off by default
// (docs/winsim-display.md describes each one and where it comes from).
struct DisplayQuirks {
    bool strictDetach = false;         // a detach takes effect only through the apply call
    bool strictPrimary = false;        // CDS_SET_PRIMARY takes effect only through the apply call
    bool primaryCannotDetach = false;  // the primary display is never detached
    bool noPacking = false;            // positions are taken as given, gaps and overlaps included
    bool stackedKeepsPosition = false; // a display put exactly on top of another keeps its old place
    bool detachClearsMode = false;     // a detach saves a size of 0 in the registry
    bool needsRestart = false;         // every change with CDS_UPDATEREGISTRY answers DISP_CHANGE_RESTART
};

// One ChangeDisplaySettingsExA call as the program made it, for tests where the order of calls is the
// contract.
struct DisplayChangeCall {
    VirtualMs time = 0;
    DWORD pid = 0;
    bool hasDevice = false;
    Str device{Arena()};
    bool hasMode = false;
    DWORD fields = 0;
    DisplayMode mode;
    LONG x = 0;
    LONG y = 0;
    DWORD flags = 0;
    LONG result = 0;
};

// ----------------------------------------------------------------------------------------------------------
// Registry

struct RegValue {
    Str name{Arena()};
    DWORD type = REG_NONE;
    Vec<BYTE> data{Arena()};
};

struct RegKey {
    Str name{Arena()};
    RegKey* parent = nullptr;
    bool deleted = false;
    bool denyWrite = false; // scenario option: writes below this key fail with ERROR_ACCESS_DENIED
    bool denySecurity =
        false;               // scenario option: RegSetKeySecurity on this key fails with ERROR_ACCESS_DENIED
    bool denyDelete = false; // scenario option: RegDeleteKeyA of this key fails with ERROR_ACCESS_DENIED
    LSTATUS enumFails = 0;   // scenario option: RegEnumKeyA on this key answers this error at every index
    NoCaseMap<RegKey*> subkeys{Arena()};
    NoCaseMap<RegValue> values{Arena()};
    Vec<Str> securityLog{Arena()}; // every RegSetKeySecurity, as text, in order
};

// ----------------------------------------------------------------------------------------------------------
// USB device interfaces and the adapter's driver

struct UsbInterface {
    Str path{Arena()};
    bool present = true;
    bool isAdapter = false;
    int removals = 0; // how often it has gone; a handle opened before its last removal stays dead
};

struct DriverRequest {
    VirtualMs time = 0;
    DWORD pid = 0;
    DWORD code = 0;
    Vec<BYTE> input{Arena()};
    BOOL result = FALSE;
    bool hasOutputWord = false;
    DWORD outputWord = 0;
};

struct AdapterDevice {
    bool declared = false;
    bool plugged = false;
    int interfaceIndex = -1;  // into Machine::usb
    int readyAfter = 0;       // the driver answers 0 to this many IOCTL_DEV_READY polls, then 1; -1 = never
    int mirrorReadyAfter = 0; // the same for IOCTL_MIR_DEV_READY
    int setMirrorFails = 0;   // this many IOCTL_SET_MIRROR requests fail after each plug-in
    bool openFails = false;   // CreateFileA on its interface fails with ERROR_ACCESS_DENIED
    // Across a sleep (docs/scenarios.md, the adapter's options).
    bool resumeReenumerates = false; // a resume unplugs and plugs it again before the power broadcasts
    int resumeNotReady = 0;          // after each resume both readiness polls answer 0 this many times
    int attachRefuses = 0;           // after each resume its display refuses this many attaches
    bool mirrorNo32 = false;         // its mirror driver cannot run at 32 bits per pixel
    // Driver state since the last plug-in.
    int readyPolls = 0;
    int mirrorReadyPolls = 0;
    int setMirrorFailuresLeft = 0;
    // What is left since the last resume.
    int notReadyLeft = 0;
    int mirrorNotReadyLeft = 0;
    int attachRefusalsLeft = 0;
    DWORD mirror = 0;
    DWORD rotation = 0;
    Vec<BYTE> mirrorCenter{Arena()};
};

// ----------------------------------------------------------------------------------------------------------
// Kernel objects and handles

enum class ObjectKind { Mutex, File, DevInfoSet, Token, Process, Heap };

struct KernelObject {
    ObjectKind kind = ObjectKind::Mutex;
    int refCount = 0;
    Str name{Arena()};       // mutex name
    int usbIndex = -1;       // file: the interface it was opened on
    int usbRemovals = 0;     // file: the interface's removals at the open
    Vec<Str> paths{Arena()}; // device-info set: the interface paths present at SetupDiGetClassDevsA
    int integrity = 0;       // mutex: its creator's integrity level (rights.h), which guards it
};

struct HandleEntry {
    KernelObject* object = nullptr;
    DWORD access = 0;
};

struct RegHandle {
    RegKey* key = nullptr;
    REGSAM access = 0;
};

struct DeviceNotification {
    uintptr_t handle = 0;
    DWORD pid = 0;
    HWND recipient = nullptr;
    DWORD deviceType = 0; // DBT_DEVTYP_DEVICEINTERFACE or DBT_DEVTYP_HANDLE
    DWORD filterSize = 0; // the dbch_size / dbcc_size the program passed
    DWORD flags = 0;
    GUID classGuid{};
    uintptr_t fileHandle = 0; // the program's handle value, reported back in DEV_BROADCAST_HANDLE
    KernelObject* file = nullptr;
    bool active = true;
};

// ----------------------------------------------------------------------------------------------------------
// Windows, messages and timers

struct Window {
    uintptr_t handle = 0;
    DWORD pid = 0;
    Str className{Arena()};
    Str title{Arena()};
    DWORD style = 0;
    DWORD exStyle = 0;
    int controlId = 0;
    uintptr_t parent = 0; // child controls of a dialog
    uintptr_t owner = 0;
    bool visible = false;
    bool enabled = true;
    bool destroyed = false;
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;
    LONG_PTR userData = 0;
    LONG_PTR msgResult = 0; // DWLP_MSGRESULT
    LONG_PTR dlgUser = 0;   // DWLP_USER
    bool isDialog = false;
    UINT templateId = 0;
    bool modal = false;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    Vec<UINT> allowedMessages{Arena()}; // ChangeWindowMessageFilterEx: let in from lower integrity

    // Geometry (geometry.cpp): the window's rectangle in screen coordinates, its frame included.
    RECT rect{0, 0, 0, 0};
};

// An icon in the size a program asked LoadImageA for. A copy that is not shared is the program's, until
// it destroys it.
struct IconImage {
    uintptr_t handle = 0;
    UINT resourceId = 0;
    int cx = 0;
    int cy = 0;
    bool shared = false;
    bool destroyed = false;
};

struct PostedMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    VirtualMs time = 0;
    DWORD senderPid = 0;
};

// What the system does once the program has handled a sent message: the rest of an operation that waits
// for the program's answer.
struct FollowUp {
    enum class Kind {
        None,
        // The adapter goes once the program has answered this query: until then it is still there to be
        // taken off the desktop.
        AdapterRemoval,
        // The answer counts towards `broadcast`, whose next step waits for every window's answer.
        Broadcast,
    };
    Kind kind = Kind::None;
    uint64_t broadcast = 0;
};

// A message sent from outside the program (device notifications, system broadcasts): it waits in the
// receiver's queue and is handed to the window procedure the next time the program reads its queue. The
// record it points to is owned by the message.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    Vec<BYTE> record{Arena()}; // lParam points here; empty means lParam is `value`
    LPARAM value = 0;          // a plain lParam (WM_DISPLAYCHANGE's size)
    FollowUp followUp;
};

// A broadcast of the system whose next step waits for the answers of every window it went to: the power
// events and the end of the session (broadcast.cpp, power.cpp, session.cpp; docs/winsim-power.md).
enum class BroadcastStep {
    QuerySuspend,
    Suspend,
    ResumeAutomatic,
    ResumeSuspend,
    QueryEndSession,
    EndSession
};
struct Broadcast {
    uint64_t id = 0;
    BroadcastStep step = BroadcastStep::Suspend;
    int waiting = 0;         // messages not yet handled
    bool refused = false;    // a window said no: BROADCAST_QUERY_DENY, or FALSE to WM_QUERYENDSESSION
    VirtualMs deadline = 0;  // when Windows stops waiting for the rest; 0: it waits as long as it takes
    bool unattended = false; // resume: no user caused the wake
    bool logoff = false;     // end of session: a logoff rather than a shutdown
    bool cancelled = false;  // end of session: a program outside the simulation refused the query
    DWORD pid = 0;           // end of session: the process this step goes to
    bool ending = false;     // end of session: WM_ENDSESSION's wParam
};

struct PowerEvent {
    enum class Kind { Suspend, Resume, SuspendRefused };
    VirtualMs time = 0;
    Kind kind = Kind::Suspend;
};

struct SessionEvent {
    enum class Outcome { Ended, Cancelled, RefusedBy };
    VirtualMs time = 0;
    bool logoff = false;
    Outcome outcome = Outcome::Ended;
    DWORD pid = 0; // RefusedBy: the process that refused
};

struct Timer {
    uintptr_t hwnd = 0;
    UINT_PTR id = 0;
    UINT periodMs = 0;
    VirtualMs due = 0;
    uint64_t order = 0; // setting order, the tie-break between timers due at the same moment
};

// A message one process posted to another's window: how a second start's requests can be seen.
struct CrossPost {
    VirtualMs time = 0;
    DWORD fromPid = 0;
    DWORD toPid = 0;
    uintptr_t hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A window class the process registered; the system's own classes (dialogs, controls) are not here.
struct WindowClass {
    Str name{Arena()};
    WNDPROC proc = nullptr;
};

struct Process {
    DWORD pid = 0;
    Str image{Arena()};
    Str commandLine{Arena()}; // the whole command line, as GetCommandLineA returns it
    size_t argsOffset = 0;    // where the text after the program name starts
    bool running = true;
    bool forked = false;
    bool elevated = false;              // started with the user's full token (a prompt, a logon task)
    Vec<UINT> allowedMessages{Arena()}; // ChangeWindowMessageFilter: let in from lower integrity
    DWORD exitCode = STILL_ACTIVE;
    DWORD lastError = 0;
    VirtualMs started = 0;
    VirtualMs ended = 0;
    Deque<PostedMessage> posted{Arena()};
    Deque<PostedMessage> input{Arena()}; // the user's mouse and keyboard input, after posted messages
    Deque<SentMessage> sent{Arena()};
    bool quitPosted = false;
    int quitCode = 0;
    Vec<Timer> timers{Arena()};
    bool heardSuspend =
        false; // its windows were sent PBT_APMSUSPEND: the user's wake sends PBT_APMRESUMESUSPEND
    Map<uintptr_t, HandleEntry> handles{Arena()};
    Map<uintptr_t, RegHandle> regHandles{Arena()};
    uintptr_t nextHandle = 0x40;
    uintptr_t nextRegHandle = 0x100;
    Vec<uint32_t> apiCalls{Arena()}; // the program's calls of each function so far, by Api
    // Every time the process was woken: a WM_TIMER handed to it, any other message delivered to it (sent
    // from outside, posted, input, WM_QUIT), a Sleep.
    Vec<WindowClass> classes{Arena()}; // RegisterClassA
    uint64_t timersFired = 0;
    uint64_t messagesDelivered = 0;
    uint64_t sleeps = 0;
};

// ----------------------------------------------------------------------------------------------------------
// Menus

struct MenuItem {
    UINT flags = 0;        // MF_SEPARATOR, MF_POPUP and the state bits MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT id = 0;           // the command id; a popup item's is its submenu's handle, as AppendMenuA got it
    uintptr_t submenu = 0; // MF_POPUP
    Str text{Arena()};     // as given, '&' included; empty for a separator
};

struct Menu {
    uintptr_t handle = 0;
    DWORD pid = 0;      // the process that created it
    bool popup = false; // made by CreatePopupMenu rather than CreateMenu
    bool destroyed = false;
    Vec<MenuItem> items{Arena()};
};

// A request the user makes of the open popup menu (scenario events `menu pick` and `menu dismiss`). The
// menu's own loop carries it out on the program's thread, the next time the program waits.
struct MenuRequest {
    bool dismiss = false;
    Vec<Str> labels{Arena()}; // the labels of the items on the way, from the top level
};

// The popup menu TrackPopupMenu shows; one at a time on the desktop.
struct TrackedMenu {
    enum class Outcome { Open, Pick, Dismiss, Quit };
    bool open = false;
    DWORD pid = 0;
    uintptr_t menu = 0;
    uintptr_t owner = 0;
    UINT flags = 0;
    Outcome outcome = Outcome::Open;
    UINT command = 0;
    Vec<uintptr_t> openSubmenus{Arena()}; // the chain of submenus the user has opened, outermost first
    Deque<MenuRequest> requests{Arena()};
};

// ----------------------------------------------------------------------------------------------------------
// Shell and services

struct TrayIcon {
    uintptr_t hwnd = 0;
    UINT id = 0;
    DWORD ownerPid = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;
    uintptr_t icon = 0;
    Str tip{Arena()};
    DWORD cbSize = 0;
    UINT version = 0; // NIM_SETVERSION: how the callbacks are laid out
};

enum class ServiceState { Absent, Stopped, Running };

struct Service {
    ServiceState state = ServiceState::Absent;
    int starts = 0;
    int stops = 0;
};

struct MonitorPowerEvent {
    VirtualMs time = 0;
    DWORD pid = 0;
    LPARAM power = 0; // 2 off, -1 on, 1 low power
};

// A `fail` statement of the scenario: the calls of `api` from the `from`-th on fail `times` times (-1:
// every one), each process counting its own calls.
struct FaultRule {
    Api api = Api::Count;
    uint32_t from = 1;
    int64_t times = 1;
    LONG code = 0; // the last error, or the code returned
};

// ----------------------------------------------------------------------------------------------------------

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

template <class T, class... Args>
T* New(Args&&... args) {
    std::pmr::polymorphic_allocator<T> alloc(Arena());
    T* p = alloc.allocate(1);
    alloc.construct(p, std::forward<Args>(args)...);
    return p;
}

// The record behind a user32 handle (windows, menus), or nullptr for one never made or already destroyed.
template <class T>
T* FindLive(const Map<uintptr_t, T*>& records, uintptr_t handle) {
    auto it = records.find(handle);
    return it == records.end() || it->second->destroyed ? nullptr : it->second;
}

// ----------------------------------------------------------------------------------------------------------
// Window geometry and icon images (geometry.cpp)

// Gives a dialog made from a template its rectangle, as DialogBox and CreateDialog place it before
// WM_INITDIALOG: the template's size in the dialog font's base units plus the frame, at the template's
// position in the owner's client area, moved onto the display it starts on.
void PlaceDialog(Window& dialog, const DialogTemplate& tpl, const Window* owner);
// The size of the icon behind a handle as text ("16x16"), "destroyed" for a copy destroyed already, or ""
// for a handle LoadImageA did not make.
std::string IconImageSize(uintptr_t handle);
// DestroyIcon of a copy LoadImageA made: true when it was one (and is now destroyed).
bool DestroyIconImage(uintptr_t handle);

// ----------------------------------------------------------------------------------------------------------
// Processes (process.cpp)

Process& CurrentProcess();
// The process whose code runs now, or nullptr outside of any (a test's own code, the start-up).
Process* RunningProcess();
Process* FindProcess(DWORD pid);
bool InChildProcess(); // true in a fork()ed second start
void SetError(DWORD error);

// Starts the program with this command-line text (the part after the program name). The first program
// runs right here and returns when it ends; a start while one is running forks, so it runs in a process of
// its own, and returns when that process has ended. Returns the new pid.
DWORD StartProgram(const char* args, bool elevated = false);

// For tests of winsim itself: a fresh machine with one process that the calling code plays.
DWORD BeginTestProcess();
// For tests of winsim itself: another process, and which one the calling code plays from now on.
DWORD AddTestProcess();
void PlayTestProcess(DWORD pid);

// What Windows does when a process ends: its windows, timers, handles, mutexes and registrations go away,
// and what waited in its queue counts as answered.
void EndProcess(Process& p, DWORD exitCode);
// The current process was ended from outside while the simulator held it (the end of the session): its
// code must never run again, so the rest of the scenario's timeline runs from here, up to its end.
void LeaveIfEnded();

// Registry helpers for the scenario and the dump (registry.cpp)
RegKey* FindKey(RegKey* root, const char* path);
RegKey* CreateKey(RegKey* root, const char* path, bool* created = nullptr);
void SetDwordValue(RegKey* key, const char* name, DWORD value);

// Handles of the current process (kernel.cpp)
HANDLE AddHandle(KernelObject* object, DWORD access);
HandleEntry* LookupHandle(HANDLE handle);
void ReleaseObject(KernelObject* object);

// ----------------------------------------------------------------------------------------------------------
// Time (scheduler.cpp)

// What happens to the machine from outside, at given virtual times: the scenario.
class EventSource {
public:
    virtual ~EventSource() = default;
    // The time of the next event, if any.
    virtual bool NextEventTime(VirtualMs& time) = 0;
    // Runs the next event. The clock has been moved to its time.
    virtual void RunNextEvent() = 0;
    // Whether a program that waits for messages handles what each event caused before the next event
    // runs, also one due at the same moment. A scenario's events at one time run back to back; a person
    // typing the timeline sees the answer to each statement before typing the next.
    virtual bool ProgramAnswersEachEvent() const { return false; }
};
void SetEventSource(EventSource* source);

// Moves the clock to `time`, running every external event due up to it, in order, and taking the next step
// of each broadcast whose deadline passes on the way.
void AdvanceTo(VirtualMs time);
// Blocks the current process until its queue has something for GetMessageA, or the user has asked
// something of the popup menu it shows.
void WaitForWork(Process& process);
// With it on, WaitForWork prints "wait <ms> <pid> timers <n>" each time the running instance starts to
// wait with nothing to do: the moment it is back in a message loop, and the timers it still has set.
void SetWaitLines(bool on);
// A sleeping machine runs no program: the current one waits here until the machine has resumed.
void HoldWhileAsleep();

// ----------------------------------------------------------------------------------------------------------
// System broadcasts (broadcast.cpp, power.cpp, session.cpp; docs/winsim-power.md describes the model)

// Queues `message` to each of `windows` as a sent message answering to the new broadcast `b`; when no
// window took it, its next step is taken at once.
void SendBroadcast(Broadcast b, const Vec<uintptr_t>& windows, UINT message, WPARAM wParam, LPARAM lParam);
// A window has handled a message of broadcast `id` and answered `answer`.
void BroadcastAnswered(uint64_t id, LRESULT answer);
// The earliest deadline of the broadcasts under way, if any has one.
bool NextBroadcastDeadline(VirtualMs& deadline);
// Takes the next step of every broadcast whose deadline has come, as though the windows that have not
// answered had agreed.
void ExpireBroadcasts();
// The next step of a power broadcast (power.cpp) or of the end of the session (session.cpp), once every
// window has answered `b` or its deadline has passed.
void PowerStep(const Broadcast& b);
void SessionStep(const Broadcast& b);
// The machine goes to sleep (scenario event `suspend`) and wakes up again (`resume`).
void MachineSuspends();
void MachineResumes(bool unattended);
// The user logs off or shuts down (scenario events `logoff`, `shutdown`); with `cancelled` a program outside
// the simulation refuses.
void SessionEnds(bool logoff, bool cancelled);

// ----------------------------------------------------------------------------------------------------------
// Messages and windows (window.cpp, message.cpp)

Window* FindWindowRecord(HWND hwnd);
Window* FindWindowRecord(uintptr_t hwnd);
HWND ToHwnd(uintptr_t value);
Window& NewWindowRecord(const char* className, const char* title, DWORD style);
LRESULT CallWindow(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
void DestroyWindowRecord(Window& window);
// Returns false when the process is not running, so nothing was queued.
bool QueueSentMessage(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, const void* record, size_t size,
                      FollowUp followUp = {});
// The same for a message whose lParam is a plain value.
bool QueueSentValue(DWORD pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, FollowUp followUp = {});
// Windows that broadcasts reach: neither child controls nor WS_CHILD windows.
bool IsTopLevel(const Window& window);
// The top-level windows of the running processes (of process `pid` alone, when it is not 0), in the order
// they were made.
Vec<uintptr_t> TopLevelWindows(DWORD pid = 0);
// The first top-level window with this class and title (either may be nullptr), compared as FindWindowA
// compares them.
Window* FindTopLevelWindow(const char* className, const char* title);
// Another program, one the simulator does not run, posts the registered message `name` to the resident
// instance's window (the one titled with the program's instance name); a note when there is none.
void PostFromOutside(const char* name, WPARAM wParam, LPARAM lParam);
// The number of a registered message, registered now if no program has yet (RegisterWindowMessageA).
UINT RegisteredMessage(const char* name);
void DeliverSentMessages(Process& process);
// Takes the next message as GetMessageA and PeekMessageA do, or returns false when there is none now;
// `fromInput` tells whether it is the user's input.
bool TakeMessage(Process& process, LPMSG msg, bool remove, bool* fromInput = nullptr);
// The user's mouse or keyboard input for a window: it waits in its program's input queue.
void QueueInput(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
bool HasTimerDue(const Process& process, VirtualMs now);
bool NextTimerDue(const Process& process, VirtualMs& due);

// The menu behind a handle, or nullptr for one that was never made or has been destroyed (menu.cpp).
Menu* FindMenuRecord(uintptr_t hmenu);
// The user picks an item of the open popup menu by the labels on the way to it, or closes the menu. With no
// menu open, a note and nothing else.
void UserPicksMenuItem(const std::vector<std::string>& labels);
void UserDismissesMenu();

// ----------------------------------------------------------------------------------------------------------
// Display devices (display*.cpp; docs/winsim-display.md describes the model)

// The present display device with this name (\\.\DISPLAYn, compared without regard to case), if any.
DisplayDevice* FindDisplay(const char* name);
DisplayDevice* PrimaryDisplay();
DWORD DisplayStateFlags(const DisplayDevice& device);
bool IsMirror(const DisplayDevice& device);

// The DeviceKey a display device reports: the scenario's, or the form of the machine's Windows version.
Str DeviceKeyOf(const DisplayDevice& device);
// Where the machine keeps the device's "Attach.ToDesktop" switch below HKLM, or "" on versions that keep
// it out of the program's reach (6.x).
Str AttachSwitchPath(const DisplayDevice& device);
// Writes every device's switch where its version keeps it; the scenario calls this once the machine is
// described.
void SeedAttachSwitches();

// The user changes a display's mode in the Display control panel (ChangeDisplaySettingsExA with
// CDS_UPDATEREGISTRY from the shell, or without it for a `temporary` change, which leaves the saved mode as
// it was); WM_DISPLAYCHANGE waits in every program's queue. Returns the DISP_CHANGE_ code.
LONG UserChangeDisplayMode(DisplayDevice& device, const DisplayMode& mode, bool temporary = false);
// Devices came or went (the adapter was plugged or pulled): the desktop is laid out again without them.
void DisplayHardwareChanged();

// How a layout change reaches the windows: sent from inside the program's own call, or queued for the
// next time each program reads its queue (a change made by the user or the hardware).
enum class DisplayChangeSource { Program, Outside };
// Lays out the desktop from one target per entry of Machine::displays (display_layout.cpp): keeps at least
// one display, chooses the primary (`requestedPrimary`, an index, or -1), moves the primary to the origin,
// packs the others against it, commits the current settings, saves the resulting positions of the
// devices marked in `savePosition` and sends WM_DISPLAYCHANGE when anything changed or `force` is set.
LONG CommitDisplayLayout(Vec<DisplaySettings>& targets, int requestedPrimary, bool force,
                         const Vec<bool>& savePosition, DisplayChangeSource source);

// ----------------------------------------------------------------------------------------------------------
// Devices (usb.cpp)

void PlugAdapter();
void UnplugAdapter();
// Another USB device interface arrives or goes (scenario events plug-usb and unplug-usb); the adapter's own
// path is the same as PlugAdapter and UnplugAdapter.
void PlugUsbDevice(const char* path);
void UnplugUsbDevice(const char* path);
void CompleteAdapterRemoval();
// The machine has resumed: the adapter comes back as its options say, before the power broadcasts.
void AdapterWakes();
// A program's change would put the adapter's own display, which is off the desktop, on it: whether the
// adapter refuses, as it may after a resume (scenario option attach-refuses). Each call counts.
bool AdapterRefusesAttach(const DisplayDevice& device);
// Whether the adapter's mirror driver would be asked to run at 32 bits per pixel while the adapter line
// says `mirror-no-32`: it then leaves the desktop instead (noted).
bool MirrorRefusesDepth(const DisplayDevice& device, const DisplaySettings& target);
KernelObject* FileObject(HANDLE handle);

// ----------------------------------------------------------------------------------------------------------
// The shell (shell.cpp; docs/winsim-shell.md describes the model)

// The user's pointer acts on the first icon of the notification area: its owner window gets the callback
// messages, queued as sent messages.
void UserClicksTrayIcon(TrayClick click);
// Explorer starts again: the notification area is empty, and "TaskbarCreated" waits in the queue of every
// top-level window.
void RestartShell();

// The user presses a key or clicks a button of the modal dialog opened last that is still open (dialog.cpp).
// With no modal dialog open, a note and nothing else.
void UserPressesDialog(DialogPress press);

// Trace output: every OutputDebugStringA, as the simulator prints it.
void EmitTrace(DWORD pid, const char* text);
void SetTraceSink(void (*sink)(VirtualMs time, DWORD pid, const char* text));
// What the simulator shows of the desktop as it happens (menus, dialogs), one line at a time, in order with
// the trace. Without a sink nothing is printed.
void EmitOutput(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SetOutputSink(void (*sink)(const char* line));
void Note(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A promise to the user is broken (`what` names which): "violation <ms> <what> \"<text>\"" in the output.
void Violation(const char* what, const char* format, ...) __attribute__((format(printf, 2, 3)));

} // namespace winsim
