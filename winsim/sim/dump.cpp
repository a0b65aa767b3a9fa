#include "dump.h"

#include "layout.h"
#include "machine.h"
#include "scenario.h"

#include <winioctl.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include <string>

namespace winsim {
namespace {

const char* IoctlName(DWORD code) {
    switch (code) {
    case CTL_CODE(FILE_DEVICE_UNKNOWN, 0x851, METHOD_BUFFERED, FILE_ANY_ACCESS):
        return "IOCTL_DEV_READY";
    case CTL_CODE(FILE_DEVICE_UNKNOWN, 0x852, METHOD_BUFFERED, FILE_ANY_ACCESS):
        return "IOCTL_SET_MIRROR";
    case CTL_CODE(FILE_DEVICE_UNKNOWN, 0x853, METHOD_BUFFERED, FILE_ANY_ACCESS):
        return "IOCTL_MIR_DEV_READY";
    case CTL_CODE(FILE_DEVICE_UNKNOWN, 0x85F, METHOD_BUFFERED, FILE_ANY_ACCESS):
        return "IOCTL_SET_ROTATION";
    case CTL_CODE(FILE_DEVICE_UNKNOWN, 0x866, METHOD_BUFFERED, FILE_ANY_ACCESS):
        return "IOCTL_SET_MIRROR_CENTER";
    default:
        return "IOCTL_UNKNOWN";
    }
}

std::string Hex(const Vec<BYTE>& bytes) {
    if (bytes.empty())
        return "-";
    std::string out;
    char two[3];
    for (BYTE b : bytes) {
        snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// A detached device is "off"; its registry copy keeps the saved resolution, shown as off(MODE).
std::string ModeText(const DisplaySettings& s, bool saved) {
    if (s.attached)
        return ModeName(s.mode);
    if (saved && s.mode.width)
        return "off(" + ModeName(s.mode) + ")";
    return "off";
}

// The ChangeDisplaySettingsExA calls from the `from`-th on.
void DumpDisplayChanges(FILE* out, size_t from) {
    const auto& calls = M().displayChanges;
    for (size_t i = from; i < calls.size(); ++i) {
        const DisplayChangeCall& c = calls[i];
        std::string device = c.hasDevice ? c.device.c_str() : "-";
        char settings[160] = "fields - mode - pos -";
        if (c.hasMode)
            snprintf(settings, sizeof settings, "fields 0x%X mode %s pos %d,%d",
                     static_cast<unsigned>(c.fields), ModeName(c.mode).c_str(), static_cast<int>(c.x),
                     static_cast<int>(c.y));
        fprintf(out, "cds %llu %u %s %s flags 0x%X result %d\n", static_cast<unsigned long long>(c.time),
                static_cast<unsigned>(c.pid), device.c_str(), settings, static_cast<unsigned>(c.flags),
                static_cast<int>(c.result));
    }
}

// The driver requests from the `from`-th on.
void DumpDriverRequests(FILE* out, size_t from) {
    const auto& log = M().driverLog;
    for (size_t i = from; i < log.size(); ++i) {
        const DriverRequest& r = log[i];
        std::string output = r.hasOutputWord ? std::to_string(r.outputWord) : "-";
        fprintf(out, "driver %llu %u %s in %s out %s %s\n", static_cast<unsigned long long>(r.time),
                static_cast<unsigned>(r.pid), IoctlName(r.code), Hex(r.input).c_str(), output.c_str(),
                r.result ? "ok" : "fail");
    }
}

// The Linux process's heap in use: the program's allocations, as the machine itself lives in the shared
// arena. Read before the dump allocates anything of its own.
size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

std::string g_svgDirectory;
int g_dumpCount = 0;

void WriteLayoutSvg(const char* heading, VirtualMs now, const std::string& caption) {
    if (g_svgDirectory.empty())
        return;
    std::string name = std::string(heading) == "final"
                           ? "final-" + std::to_string(now)
                           : "dump-" + std::to_string(++g_dumpCount) + "-" + std::to_string(now);
    std::string path = g_svgDirectory + "/" + name + ".svg";
    FILE* file = fopen(path.c_str(), "w");
    if (!file) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return;
    }
    std::string svg = DrawLayoutSvg(
        caption.empty() ? std::string(heading) + " at " + std::to_string(now) + " ms" : caption);
    fputs(svg.c_str(), file);
    fclose(file);
}

std::string Flags(const DisplayDevice& d) {
    std::string flags;
    auto add = [&](const char* name) {
        if (!flags.empty())
            flags += ",";
        flags += name;
    };
    if (!d.present)
        add("absent");
    if (d.current.attached)
        add("attached");
    if (d.primary)
        add("primary");
    if (d.staticFlags & DISPLAY_DEVICE_MIRRORING_DRIVER)
        add("mirror");
    if (d.staticFlags & DISPLAY_DEVICE_REMOVABLE)
        add("removable");
    return flags.empty() ? "-" : flags;
}

void DumpKey(FILE* out, const RegKey* key, const std::string& path) {
    for (const auto& [name, value] : key->values) {
        std::string line =
            "reg \"" + EscapeText(path.c_str()) + "\" \"" + EscapeText(value.name.c_str()) + "\" ";
        if (value.type == REG_DWORD && value.data.size() == 4) {
            DWORD v = 0;
            memcpy(&v, value.data.data(), 4);
            line += "dword " + std::to_string(static_cast<int32_t>(v));
        } else if (value.type == REG_SZ) {
            std::string text(value.data.begin(), value.data.end());
            text = text.c_str();
            line += "sz \"" + EscapeText(text.c_str()) + "\"";
        } else {
            line += "type" + std::to_string(value.type) + " " + Hex(value.data);
        }
        fprintf(out, "%s\n", line.c_str());
    }
    for (const Str& dacl : key->securityLog)
        fprintf(out, "regsec \"%s\" \"%s\"\n", EscapeText(path.c_str()).c_str(), dacl.c_str());
    for (const auto& [name, child] : key->subkeys)
        DumpKey(out, child, path + "\\" + child->name.c_str());
}

const char* ServiceStateName(ServiceState state) {
    switch (state) {
    case ServiceState::Running:
        return "running";
    case ServiceState::Stopped:
        return "stopped";
    default:
        return "absent";
    }
}

// A registered message by its name, any other by its number.
std::string MessageName(UINT message) {
    for (const auto& [registered, number] : M().registeredMessages) {
        if (number == message)
            return registered.c_str();
    }
    char number[16];
    snprintf(number, sizeof number, "0x%X", message);
    return number;
}

std::string MessageNames(const Vec<UINT>& messages) {
    std::string names;
    for (UINT message : messages)
        names += " \"" + MessageName(message) + "\"";
    return names;
}

} // namespace

void DumpMachine(FILE* out, const char* heading, const std::string& caption) {
    const size_t heap = HeapInUse();
    Machine& m = M();
    fprintf(out, "%s %llu\n", heading, static_cast<unsigned long long>(m.now));
    fprintf(out, "os %u.%u build %u csd \"%s\" edition \"%s\"\n", static_cast<unsigned>(m.os.major),
            static_cast<unsigned>(m.os.minor), static_cast<unsigned>(m.os.build),
            EscapeText(m.os.csd.c_str()).c_str(), EscapeText(m.os.edition.c_str()).c_str());
    for (const DisplayDevice& d : m.displays) {
        fprintf(out, "display %s id \"%s\" flags %s current %s pos %d,%d registry %s pos %d,%d\n",
                d.name.c_str(), EscapeText(d.deviceId.c_str()).c_str(), Flags(d).c_str(),
                ModeText(d.current, false).c_str(), static_cast<int>(d.current.x),
                static_cast<int>(d.current.y), ModeText(d.registry, true).c_str(),
                static_cast<int>(d.registry.x), static_cast<int>(d.registry.y));
    }
    DrawLayoutText(out);
    DumpDisplayChanges(out, 0);
    for (const UsbInterface& usb : m.usb) {
        fprintf(out, "usb \"%s\" %s%s\n", EscapeText(usb.path.c_str()).c_str(),
                usb.present ? "present" : "absent", usb.isAdapter ? " adapter" : "");
    }
    if (m.adapter.declared) {
        const AdapterDevice& a = m.adapter;
        fprintf(out,
                "adapter %s mirror %u rotation %u ready-polls %d mirror-ready-polls %d center %s "
                "not-ready-left %d mirror-not-ready-left %d attach-refusals-left %d\n",
                a.plugged ? "plugged" : "unplugged", static_cast<unsigned>(a.mirror),
                static_cast<unsigned>(a.rotation), a.readyPolls, a.mirrorReadyPolls,
                Hex(a.mirrorCenter).c_str(), a.notReadyLeft, a.mirrorNotReadyLeft, a.attachRefusalsLeft);
    }
    DumpDriverRequests(out, 0);
    for (const Process* p : m.processes) {
        for (const auto& [value, entry] : p->handles) {
            if (entry.object->kind == ObjectKind::File)
                fprintf(out, "handle %u 0x%llx file \"%s\"\n", static_cast<unsigned>(p->pid),
                        static_cast<unsigned long long>(value),
                        EscapeText(entry.object->name.c_str()).c_str());
        }
    }
    for (const DeviceNotification& n : m.notifications) {
        fprintf(out, "notify 0x%llx pid %u window 0x%llx %s size %u %s\n",
                static_cast<unsigned long long>(n.handle), static_cast<unsigned>(n.pid),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(n.recipient)),
                n.deviceType == DBT_DEVTYP_HANDLE ? "handle" : "interface",
                static_cast<unsigned>(n.filterSize), n.active ? "active" : "inactive");
    }
    DumpKey(out, m.hkcu, "HKCU");
    DumpKey(out, m.hklm, "HKLM");
    for (const auto& [name, s] : m.services) {
        fprintf(out, "service %s %s starts %d stops %d\n", name.c_str(), ServiceStateName(s.state), s.starts,
                s.stops);
    }
    for (const Str& line : m.privilegeLog)
        fprintf(out, "privilege %s\n", line.c_str());
    for (const TrayIcon& icon : m.tray) {
        // An icon that LoadImageA made shows its size (or that it is destroyed) after the handle.
        std::string image = IconImageSize(icon.icon);
        fprintf(out, "tray 0x%llx id %u pid %u flags %u callback 0x%X icon 0x%llx%s%s size %u tip \"%s\"\n",
                static_cast<unsigned long long>(icon.hwnd), icon.id, static_cast<unsigned>(icon.ownerPid),
                icon.flags, icon.callbackMessage, static_cast<unsigned long long>(icon.icon),
                image.empty() ? "" : " ", image.c_str(), static_cast<unsigned>(icon.cbSize),
                EscapeText(icon.tip.c_str()).c_str());
    }
    for (const auto& [handle, menu] : m.menus) {
        if (!menu->destroyed)
            fprintf(out, "hmenu 0x%llx pid %u %s items %zu\n", static_cast<unsigned long long>(handle),
                    static_cast<unsigned>(menu->pid), menu->popup ? "popup" : "menu", menu->items.size());
    }
    if (FindWindowRecord(m.foreground))
        fprintf(out, "foreground 0x%llx\n", static_cast<unsigned long long>(m.foreground));
    for (const MonitorPowerEvent& e : m.monitorPower) {
        fprintf(out, "monitor %llu %u %s\n", static_cast<unsigned long long>(e.time),
                static_cast<unsigned>(e.pid), e.power == 2 ? "off" : (e.power == -1 ? "on" : "low"));
    }
    for (const PowerEvent& e : m.powerLog) {
        fprintf(out, "power %llu %s\n", static_cast<unsigned long long>(e.time),
                e.kind == PowerEvent::Kind::Suspend
                    ? "suspend"
                    : (e.kind == PowerEvent::Kind::Resume ? "resume" : "suspend-refused"));
    }
    for (const SessionEvent& e : m.sessionLog) {
        std::string outcome =
            e.outcome == SessionEvent::Outcome::Ended
                ? "ended"
                : (e.outcome == SessionEvent::Outcome::Cancelled ? "cancelled"
                                                                 : "refused-by " + std::to_string(e.pid));
        fprintf(out, "session %llu %s %s\n", static_cast<unsigned long long>(e.time),
                e.logoff ? "logoff" : "shutdown", outcome.c_str());
    }
    for (const CrossPost& post : m.crossPosts) {
        std::string name = MessageName(post.message);
        fprintf(out, "post %llu %u to %u window 0x%llx message \"%s\" wparam %llu lparam %lld\n",
                static_cast<unsigned long long>(post.time), static_cast<unsigned>(post.fromPid),
                static_cast<unsigned>(post.toPid), static_cast<unsigned long long>(post.hwnd), name.c_str(),
                static_cast<unsigned long long>(post.wParam), static_cast<long long>(post.lParam));
    }
    // The messages let in from lower integrity: a Vista program's for the process, a 7 program's per window.
    for (const Process* p : m.processes) {
        if (!p->allowedMessages.empty())
            fprintf(out, "filter process %u%s\n", static_cast<unsigned>(p->pid),
                    MessageNames(p->allowedMessages).c_str());
    }
    for (const auto& [handle, w] : m.windows) {
        if (!w->destroyed && !w->allowedMessages.empty())
            fprintf(out, "filter window 0x%llx%s\n", static_cast<unsigned long long>(handle),
                    MessageNames(w->allowedMessages).c_str());
    }
    for (const auto& [name, object] : m.namedObjects)
        fprintf(out, "mutex \"%s\" handles %d\n", EscapeText(name.c_str()).c_str(), object->refCount);
    for (const Process* p : m.processes) {
        std::string state = p->running ? "running" : "exit " + std::to_string(p->exitCode);
        fprintf(out, "process %u %s %s cmd \"%s\"%s\n", static_cast<unsigned>(p->pid), p->image.c_str(),
                state.c_str(), EscapeText(p->commandLine.c_str() + p->argsOffset).c_str(),
                p->elevated ? " elevated" : "");
    }
    for (const Process* p : m.processes) {
        if (!p->running)
            continue;
        size_t windows = 0;
        for (const auto& [handle, w] : m.windows)
            windows += !w->destroyed && w->pid == p->pid ? 1 : 0;
        fprintf(out, "resources %u handles %zu keys %zu timers %zu windows %zu\n",
                static_cast<unsigned>(p->pid), p->handles.size(), p->regHandles.size(), p->timers.size(),
                windows);
    }
    for (const Process* p : m.processes) {
        fprintf(out, "wakeups %u timers %llu messages %llu sleeps %llu\n", static_cast<unsigned>(p->pid),
                static_cast<unsigned long long>(p->timersFired),
                static_cast<unsigned long long>(p->messagesDelivered),
                static_cast<unsigned long long>(p->sleeps));
    }
    fprintf(out, "sc-handles %zu\n", m.serviceHandles.size());
    fprintf(out, "heap %zu\n", heap);
    for (const auto& [handle, w] : m.windows) {
        if (w->destroyed)
            continue;
        if (w->parent) {
            fprintf(out, "control 0x%llx parent 0x%llx id %d class \"%s\" text \"%s\"\n",
                    static_cast<unsigned long long>(handle), static_cast<unsigned long long>(w->parent),
                    w->controlId, EscapeText(w->className.c_str()).c_str(),
                    EscapeText(w->title.c_str()).c_str());
            continue;
        }
        fprintf(out, "window 0x%llx pid %u class \"%s\" title \"%s\" %s",
                static_cast<unsigned long long>(handle), static_cast<unsigned>(w->pid),
                EscapeText(w->className.c_str()).c_str(), EscapeText(w->title.c_str()).c_str(),
                w->visible ? "visible" : "hidden");
        if (w->isDialog)
            fprintf(out, " dialog %u%s rect %ld,%ld,%ld,%ld", w->templateId, w->modal ? " modal" : "",
                    static_cast<long>(w->rect.left), static_cast<long>(w->rect.top),
                    static_cast<long>(w->rect.right), static_cast<long>(w->rect.bottom));
        fprintf(out, "\n");
    }
    fprintf(out, "end-%s\n", heading);
    fflush(out);
    WriteLayoutSvg(heading, m.now, caption);
}

void DumpStep(FILE* out, StepMarks& shown) {
    Machine& m = M();
    fprintf(out, "step %llu\n", static_cast<unsigned long long>(m.now));
    DumpDisplayChanges(out, shown.displayChanges);
    DumpDriverRequests(out, shown.driverRequests);
    DrawLayoutText(out);
    fprintf(out, "end-step\n");
    fflush(out);
    shown.displayChanges = m.displayChanges.size();
    shown.driverRequests = m.driverLog.size();
}

void SetLayoutSvgDirectory(const std::string& directory) {
    g_svgDirectory = directory;
    g_dumpCount = 0;
}

} // namespace winsim
