// The desktop layout that a display change leads to: which displays stay attached, which one is primary,
// where each one sits, and the WM_DISPLAYCHANGE that tells the windows. docs/winsim-display.md lists the
// rules with their sources.
#include "display.h"
#include "machine.h"
#include "output.h"
#include "process.h"
#include "window.h"

#include <climits>
#include <cstdlib>

namespace winsim {
namespace {

struct Rect {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

Rect RectOf(const DisplaySettings& s) {
    return Rect{s.x, s.y, s.x + static_cast<LONG>(s.mode.width), s.y + static_cast<LONG>(s.mode.height)};
}

bool Overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Two displays touch when they share at least one pixel of an edge; meeting at a corner is not enough.
bool Touches(const Rect& a, const Rect& b) {
    bool sideBySide = (a.right == b.left || b.right == a.left) && a.top < b.bottom && b.top < a.bottom;
    bool stacked = (a.bottom == b.top || b.bottom == a.top) && a.left < b.right && b.left < a.right;
    return sideBySide || stacked;
}

LONG Clamp(LONG value, LONG low, LONG high) {
    return value < low ? low : (value > high ? high : value);
}

bool Takes(const DisplayDevice& d, const DisplaySettings& target) {
    return d.present && target.attached && target.mode.width && target.mode.height;
}

struct Placement {
    LONG x = 0;
    LONG y = 0;
    long long cost = LLONG_MAX;
};

// The nearest place where `r` touches a placed display without overlapping any: the place it has when that
// is already so, otherwise against one side of a placed display, keeping as much of its position as the
// side allows. A display given exactly the top-left corner of a placed one (a display that was given no
// place of its own) goes to that display's right, as the Display control panel extends the desktop.
Placement Place(const Rect& r, const Vec<Rect>& placed) {
    bool free = true, touching = false, stackedOnOne = false;
    for (const Rect& p : placed) {
        free = free && !Overlaps(r, p);
        touching = touching || Touches(r, p);
        stackedOnOne = stackedOnOne || (p.left == r.left && p.top == r.top);
    }
    if (free && touching)
        return Placement{r.left, r.top, 0};
    LONG w = r.right - r.left, h = r.bottom - r.top;
    Placement best, bestRight;
    for (const Rect& p : placed) {
        LONG y = Clamp(r.top, p.top - h + 1, p.bottom - 1);
        LONG x = Clamp(r.left, p.left - w + 1, p.right - 1);
        const Placement candidates[4] = {
            {p.right, y, 0}, {x, p.bottom, 0}, {p.left - w, y, 0}, {x, p.top - h, 0}};
        for (int side = 0; side < 4; ++side) {
            Placement c = candidates[side];
            Rect moved{c.x, c.y, c.x + w, c.y + h};
            bool clear = true;
            for (const Rect& other : placed)
                clear = clear && !Overlaps(moved, other);
            if (!clear)
                continue;
            c.cost = std::llabs(static_cast<long long>(c.x) - r.left) +
                     std::llabs(static_cast<long long>(c.y) - r.top);
            if (c.cost < best.cost)
                best = c;
            if (side == 0 && c.cost < bestRight.cost)
                bestRight = c;
        }
    }
    if (stackedOnOne && bestRight.cost != LLONG_MAX)
        return bestRight;
    if (best.cost != LLONG_MAX)
        return best;
    // Every side is taken (cannot happen with rectangles, kept for safety): right of everything.
    LONG right = 0;
    for (const Rect& p : placed)
        right = p.right > right ? p.right : right;
    return Placement{right, 0, 0};
}

// Places every attached, non-mirroring display so that it touches the displays placed before it and
// overlaps none: the primary first, then always the display that has to move least (ties in enumeration
// order). A layout that already fits stays as it is.
void Pack(const Vec<DisplayDevice>& devices, Vec<DisplaySettings>& targets, int primary) {
    Vec<Rect> placed(Arena());
    placed.push_back(RectOf(targets[primary]));
    Vec<int> remaining(Arena());
    for (int i = 0; i < static_cast<int>(devices.size()); ++i) {
        if (i != primary && Takes(devices[i], targets[i]) && !IsMirror(devices[i]))
            remaining.push_back(i);
    }
    while (!remaining.empty()) {
        size_t chosen = 0;
        Placement chosenPlace;
        for (size_t k = 0; k < remaining.size(); ++k) {
            Placement p = Place(RectOf(targets[remaining[k]]), placed);
            if (p.cost < chosenPlace.cost) {
                chosen = k;
                chosenPlace = p;
            }
        }
        DisplaySettings& t = targets[remaining[chosen]];
        t.x = chosenPlace.x;
        t.y = chosenPlace.y;
        placed.push_back(RectOf(t));
        remaining.erase(remaining.begin() + static_cast<long>(chosen));
    }
}

bool SameSettings(const DisplaySettings& a, const DisplaySettings& b) {
    if (a.attached != b.attached)
        return false;
    return !a.attached || (a.mode == b.mode && a.x == b.x && a.y == b.y);
}

// WM_DISPLAYCHANGE carries the primary display's depth and size. A change the program makes sends it to
// every top-level window from inside the call, so the program's own window procedure runs before
// ChangeDisplaySettingsExA returns; windows of a process that cannot be entered from here (the resident
// instance, seen from a second start) get it queued, to handle when they next read their queue.
void TellWindows(DisplayChangeSource source) {
    Machine& m = M();
    const DisplayDevice* primary = PrimaryDisplay();
    WPARAM bpp = primary ? primary->current.mode.bpp : 0;
    LPARAM size = primary ? MAKELPARAM(primary->current.mode.width, primary->current.mode.height) : 0;
    DWORD self = 0;
    if (source == DisplayChangeSource::Program)
        self = CurrentProcess().pid;
    Vec<uintptr_t> targets(Arena());
    for (auto& [value, w] : m.windows) {
        if (!w->destroyed && IsTopLevel(*w))
            targets.push_back(value);
    }
    for (uintptr_t value : targets) {
        Window* w = FindWindowRecord(value);
        if (!w || w->destroyed)
            continue;
        if (source == DisplayChangeSource::Program && w->pid == self) {
            CallWindow(*w, WM_DISPLAYCHANGE, bpp, size);
            continue;
        }
        Process* owner = FindProcess(w->pid);
        if (!owner || !owner->running)
            continue;
        if (source == DisplayChangeSource::Program)
            Note("WM_DISPLAYCHANGE from process %u to window 0x%llx of process %u waits in its queue",
                 static_cast<unsigned>(self), static_cast<unsigned long long>(value),
                 static_cast<unsigned>(w->pid));
        QueueSentValue(w->pid, ToHwnd(value), WM_DISPLAYCHANGE, bpp, size);
    }
}

// Whatever the program asked, the user must still see a desktop: a present display, not a mirror driver,
// attached, and the primary among the attached ones. Checked at every commit of a layout.
void CheckDesktopHasDisplay() {
    int shown = 0, primaries = 0;
    for (const DisplayDevice& d : M().displays) {
        if (!d.present || !d.current.attached || IsMirror(d))
            continue;
        ++shown;
        primaries += d.primary ? 1 : 0;
    }
    if (shown == 0)
        Violation("layout", "no display is on the desktop");
    else if (primaries != 1)
        Violation("layout", "%d of the displays on the desktop are primary", primaries);
}

} // namespace

LONG CommitDisplayLayout(Vec<DisplaySettings>& targets, int requestedPrimary, bool force,
                         const Vec<bool>& savePosition, DisplayChangeSource source) {
    Machine& m = M();
    Vec<DisplayDevice>& devices = m.displays;
    const DisplayQuirks& q = m.displayQuirks;
    int count = static_cast<int>(devices.size());

    // The primary display: the one asked for, else the present one, else the first display left.
    int oldPrimary = -1;
    for (int i = 0; i < count; ++i) {
        if (devices[i].present && devices[i].primary && devices[i].current.attached)
            oldPrimary = i;
    }
    if (q.primaryCannotDetach && oldPrimary >= 0 && !Takes(devices[oldPrimary], targets[oldPrimary]))
        targets[oldPrimary] = devices[oldPrimary].current;
    // Windows never leaves the desktop without a display: a change that would detach the last one is
    // answered with success and changes nothing.
    bool anyDisplay = false;
    for (int i = 0; i < count; ++i)
        anyDisplay = anyDisplay || (Takes(devices[i], targets[i]) && !IsMirror(devices[i]));
    if (!anyDisplay)
        return DISP_CHANGE_SUCCESSFUL;
    auto canLead = [&](int i) {
        return i >= 0 && Takes(devices[i], targets[i]) && !IsMirror(devices[i]) &&
               !(devices[i].staticFlags & DISPLAY_DEVICE_REMOVABLE);
    };
    int primary = -1;
    if (canLead(requestedPrimary))
        primary = requestedPrimary;
    else if (oldPrimary >= 0 && Takes(devices[oldPrimary], targets[oldPrimary]))
        primary = oldPrimary;
    for (int i = 0; i < count && primary < 0; ++i) {
        if (canLead(i))
            primary = i;
    }
    for (int i = 0; i < count && primary < 0; ++i) {
        if (Takes(devices[i], targets[i]) && !IsMirror(devices[i]))
            primary = i;
    }

    // A display put exactly where another one starts keeps the place it had (older Windows).
    if (q.stackedKeepsPosition) {
        for (int i = 0; i < count; ++i) {
            if (i == primary || !Takes(devices[i], targets[i]) || IsMirror(devices[i]) ||
                !devices[i].current.attached)
                continue;
            for (int j = 0; j < count; ++j) {
                if (j != i && Takes(devices[j], targets[j]) && !IsMirror(devices[j]) &&
                    targets[j].x == targets[i].x && targets[j].y == targets[i].y) {
                    targets[i].x = devices[i].current.x;
                    targets[i].y = devices[i].current.y;
                    break;
                }
            }
        }
    }

    // The primary display is at the origin; the others keep their places relative to it.
    LONG dx = -targets[primary].x, dy = -targets[primary].y;
    for (int i = 0; i < count; ++i) {
        if (Takes(devices[i], targets[i]) && !IsMirror(devices[i])) {
            targets[i].x += dx;
            targets[i].y += dy;
        }
    }
    if (!q.noPacking)
        Pack(devices, targets, primary);

    bool changed = false;
    for (int i = 0; i < count; ++i) {
        DisplayDevice& d = devices[i];
        if (!d.present)
            continue;
        DisplaySettings next = targets[i];
        next.attached = Takes(d, next);
        if (!next.attached) {
            next.mode = d.current.mode;
            next.x = d.current.x;
            next.y = d.current.y;
        }
        bool isPrimary = i == primary;
        changed = changed || !SameSettings(d.current, next) || d.primary != isPrimary;
        d.current = next;
        d.primary = isPrimary;
        if (savePosition[i] && next.attached) {
            d.registry.x = next.x;
            d.registry.y = next.y;
        }
    }
    CheckDesktopHasDisplay();
    if (changed || force)
        TellWindows(source);
    return DISP_CHANGE_SUCCESSFUL;
}

void DisplayHardwareChanged() {
    Machine& m = M();
    Vec<DisplaySettings> targets(Arena());
    bool lost = false;
    for (DisplayDevice& d : m.displays) {
        if (!d.present) {
            lost = lost || d.current.attached;
            d.current.attached = false;
        }
        targets.push_back(d.current);
    }
    bool anyDisplay = false;
    for (size_t i = 0; i < m.displays.size(); ++i)
        anyDisplay = anyDisplay || (m.displays[i].present && targets[i].attached && !IsMirror(m.displays[i]));
    if (!anyDisplay) {
        // The last display went with the adapter: Windows falls back to the first display it has left, at
        // its saved mode.
        for (size_t i = 0; i < m.displays.size(); ++i) {
            DisplayDevice& d = m.displays[i];
            if (!d.present || IsMirror(d))
                continue;
            DisplaySettings s = d.registry;
            if (!s.mode.width && !d.modes.empty())
                s.mode = d.modes.front();
            s.attached = true;
            targets[i] = s;
            break;
        }
    }
    for (DisplayDevice& d : m.displays) {
        if (!d.present)
            d.primary = false;
    }
    Vec<bool> save(m.displays.size(), false, Arena());
    CommitDisplayLayout(targets, -1, lost, save, DisplayChangeSource::Outside);
}

} // namespace winsim
