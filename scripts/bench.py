#!/usr/bin/env python3
"""The benchmark's measurements and its table (scripts/bench.sh builds what they need and calls this).

scripts/bench.py [--ci] --sim DIR --win32 DIR --win64 DIR [--wine FILE]

  size     the shipped executables' bytes (stripped, as built) next to the minimal tray program's
  idle     wake-ups of 24 virtual hours after a bring-up, and after a bring-up with the menu used once
  latency  the virtual duration of every operation next to the sum of the waits it is designed to make
  menu     the instructions callgrind counts for one opening of the tray menu, next to mini-tray's
  memory   under Wine: private bytes and working set, and the CPU time of 60 s of idle (--wine FILE,
           the figures bench.sh read there)
  speed    virtual time over wall time for a simulated day

--ci runs size and idle only: both fast and deterministic. The table has one row per figure, each next to
its baseline or goal and the ratio; the last line is "N passed, N failed" over the rows that have a goal.
A goal that has been reached (REACHED below) and is missed now is a regression: the exit status is 1.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

# The goals this branch has reached: missing one of them again fails the benchmark. A goal not listed
# here is reported, and counted only once it is reached.
REACHED = {"size-i686", "size-x86_64", "idle", "latency", "memory-growth", "idle-cpu", "speed"}

KIB = 1024
SIZE_GOAL = 64 * KIB
SPEED_GOAL = 100_000

# The waits the program is designed to make, in virtual milliseconds (app/dispo_dlg.h, sysint/dwm_service.cpp,
# adapter/driver_requests.cpp, adapter/bring_up.cpp, tray/state_commands.cpp, app/dispo_dlg_power.cpp).
STARTUP_TIMER = 1000
COMPOSITION_PAUSE = 2000
ARRIVAL_TIMER = 2000
READY_POLL = 500
PRIMARY_SETTLE = 1000
STEP = 500
RESUME_PRIMARY_TIMER = 1000
RESUME_SECONDARY_TIMER = 2000
RESUME_ATTACH_SETTLE = 500

READY_AFTER = 2  # the driver answers "not ready" to the first two polls after each plug-in

SYSTEM = r"display PCI\VEN_10DE&DEV_0421 primary modes 1280x1024x32@60 1024x768x32@60 800x600x32@60"
INTEL = r"display PCI\VEN_8086&DEV_2A42 primary modes 1280x1024x32@60 1024x768x32@60 800x600x32@60"
ADAPTER_MODES = "1280x1024x32@60 1280x1024x16@60 1024x768x32@60 1024x768x16@60 800x600x32@60 800x600x16@60"

# States as the profile saves them, and as the program reads them back from the desktop.
PRIMARY_EXT, PRIMARY_ONLY, EXTENDED, MIRROR, OFF = range(5)
STATE_NAMES = {PRIMARY_EXT: "primary", PRIMARY_ONLY: "primary only", EXTENDED: "extended", MIRROR: "mirror",
               OFF: "off"}
COMMANDS = {"Primary": "USB-VGA(Primary)", "Extended": "USB-VGA(Extended)", "Mirror": "USB-VGA(Mirror)",
            "Off": "USB-VGA(Off)"}


def machine(state, plugged=True, intel=False):
    lines = [INTEL if intel else SYSTEM,
             "adapter %sready-after %d modes %s" % ("plugged " if plugged else "", READY_AFTER, ADAPTER_MODES)]
    for name, value in [("DispState", state), ("FirstRun", 1), ("Width", 1024), ("Height", 768),
                        ("BitDepth", 32), ("RotationState", 0)]:
        lines.append('profile "VGA DONGLE" %s %d' % (name, value))
    return lines


def bring_up_wait(state):
    """What a bring-up waits for once the driver handle is open: its polls, and the primary layouts' settle."""
    polls = READY_AFTER * READY_POLL
    return polls + (PRIMARY_SETTLE if state in (PRIMARY_EXT, PRIMARY_ONLY) else 0)


def command_wait(command, source):
    """tray/state_commands.cpp: the composition pause first (not for Off), then 500 ms between steps."""
    steps = {
        "Primary": {PRIMARY_EXT: 0, PRIMARY_ONLY: 0, EXTENDED: 0, MIRROR: 2, OFF: 1},
        "Extended": {PRIMARY_EXT: 4, PRIMARY_ONLY: 3, EXTENDED: 0, MIRROR: 0, OFF: 0},
        "Mirror": {PRIMARY_EXT: 6, PRIMARY_ONLY: 4, EXTENDED: 0, MIRROR: 0, OFF: 0},
        "Off": {PRIMARY_EXT: 4, PRIMARY_ONLY: 2, EXTENDED: 0, MIRROR: 0, OFF: 0},
    }[command][source]
    return (0 if command == "Off" else COMPOSITION_PAUSE) + steps * STEP


def resume_wait(state):
    """app/dispo_dlg_power.cpp: a primary display comes back through the primary timer, the attach, its
    settle and the Primary command from the extended layout; extended and mirrored ones through the
    secondary timer; an adapter that was off stays off."""
    if state in (PRIMARY_EXT, PRIMARY_ONLY):
        return RESUME_PRIMARY_TIMER + RESUME_ATTACH_SETTLE + command_wait("Primary", EXTENDED)
    if state in (EXTENDED, MIRROR):
        return RESUME_SECONDARY_TIMER
    return 0


def run_sim(sim, lines, waits=True):
    with tempfile.NamedTemporaryFile("w", suffix=".scn", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        path = f.name
    try:
        args = [sim] + (["--waits"] if waits else []) + [path]
        out = subprocess.run(args, capture_output=True, text=True, timeout=600)
    finally:
        os.unlink(path)
    if out.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (os.path.basename(sim), out.returncode, out.stderr[-500:]))
    return out.stdout


def settled(out, start, until, pid=1000):
    """The virtual time the program last settled in [start, until): its last wait with no timer set."""
    last = None
    for m in re.finditer(r"^wait (\d+) (\d+) timers 0$", out, re.M):
        t = int(m.group(1))
        if int(m.group(2)) == pid and start <= t < until:
            last = t
    return last


def wakeups(out, heading, pid=1000):
    """(timers, messages, sleeps) of pid in the dump with this heading ("dump 60000")."""
    block = out.split(heading + "\n", 1)[1].split("\nend-", 1)[0]
    m = re.search(r"^wakeups %d timers (\d+) messages (\d+) sleeps (\d+)$" % pid, block, re.M)
    return tuple(int(x) for x in m.groups())


class Table:
    def __init__(self):
        self.rows = []
        self.passed = 0
        self.failed = 0
        self.regressed = []

    def add(self, part, what, measured, baseline, ratio="", goal=None, ok=None):
        """goal: the name of a goal (REACHED), ok: whether the figure meets it."""
        verdict = ""
        if goal is not None:
            if ok:
                verdict = "goal met" if goal in REACHED else "goal met (new)"
                self.passed += 1
            elif goal in REACHED:
                verdict = "REGRESSED"
                self.failed += 1
                self.regressed.append("%s: %s" % (part, what))
            else:
                verdict = "goal not met"
        self.rows.append((part, what, measured, baseline, ratio, verdict))

    def print(self):
        head = ("part", "what", "measured", "baseline or goal", "ratio", "verdict")
        widths = [max(len(str(r[i])) for r in self.rows + [head]) for i in range(len(head))]

        def line(r):
            return "| " + " | ".join(str(c).ljust(w) for c, w in zip(r, widths)) + " |"

        print(line(head))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for r in self.rows:
            print(line(r))


def ratio(a, b):
    return "%.2fx" % (a / b) if b else "-"


def bench_size(table, win32, win64):
    for arch, folder in (("i686", win32), ("x86_64", win64)):
        mini = os.path.getsize(os.path.join(folder, "mini-tray.exe"))
        for name in ("duodesk", "duodeskb"):
            size = os.path.getsize(os.path.join(folder, name + ".exe"))
            table.add("size", "%s %s.exe, stripped" % (arch, name), "%d B" % size,
                      "goal <= %d B; mini-tray.exe %d B" % (SIZE_GOAL, mini), ratio(size, mini),
                      goal="size-%s" % arch if name == "duodesk" else None, ok=size <= SIZE_GOAL)
        table.add("size", "%s mini-tray.exe, stripped" % arch, "%d B" % mini, "the baseline", "1.00x")


def bench_idle(table, sim):
    day = 24 * 3600 * 1000
    cases = [
        ("24 h after a bring-up", [], 60_000),
        ("24 h after a bring-up and the menu used once",
         ["at 30s tray-click right", 'at 31s menu pick "Resolution" "&800X600X32"'], 120_000),
    ]
    for label, events, idle_from in cases:
        lines = machine(EXTENDED) + ["at 0 start"] + events + [
            "at %d dump" % idle_from, "at %d dump" % (idle_from + day), "end %d" % (idle_from + day + 1)]
        out = run_sim(sim, lines, waits=False)
        before = wakeups(out, "dump %d" % idle_from)
        after = wakeups(out, "dump %d" % (idle_from + day))
        timers, messages, sleeps = (a - b for a, b in zip(after, before))
        total = timers + messages + sleeps
        table.add("idle", "wake-ups in %s (timers, messages, sleeps)" % label,
                  "%d (%d, %d, %d)" % (total, timers, messages, sleeps), "goal 0", "-", goal="idle",
                  ok=total == 0)


def bench_latency(table, sim):
    ops = []  # (what, scenario lines, event time, expected)
    for state in (PRIMARY_EXT, PRIMARY_ONLY, EXTENDED, MIRROR, OFF):
        intel = state == PRIMARY_ONLY
        ops.append(("bring-up at start, saved %s" % STATE_NAMES[state],
                    machine(state, intel=intel) + ["at 0 start", "end 60s"], 0,
                    STARTUP_TIMER + COMPOSITION_PAUSE + bring_up_wait(state)))
    for state in (PRIMARY_EXT, EXTENDED, MIRROR):
        ops.append(("bring-up at plug-in, saved %s" % STATE_NAMES[state],
                    machine(state, plugged=False) + ["at 0 start", "at 10s plug", "end 70s"], 10_000,
                    COMPOSITION_PAUSE + ARRIVAL_TIMER + bring_up_wait(state)))
    for source in (PRIMARY_EXT, PRIMARY_ONLY, EXTENDED, MIRROR, OFF):
        for command, label in COMMANDS.items():
            lines = machine(source, intel=source == PRIMARY_ONLY) + [
                "at 0 start", "at 30s tray-click right", 'at 31s menu pick "%s"' % label, "end 90s"]
            ops.append(("%s from %s" % (command, STATE_NAMES[source]), lines, 31_000,
                        command_wait(command, source)))
    ops.append(("resolution 800x600x32 from the menu", machine(EXTENDED) + [
        "at 0 start", "at 30s tray-click right", 'at 31s menu pick "Resolution" "&800X600X32"', "end 90s"],
        31_000, 0))
    ops.append(("rotation to 90 degrees from the menu", machine(EXTENDED) + [
        "at 0 start", "at 30s tray-click right", 'at 31s menu pick "Rotation" "90 degrees"', "end 90s"],
        31_000, 0))
    for state in (PRIMARY_EXT, PRIMARY_ONLY, EXTENDED, MIRROR, OFF):
        lines = machine(state, intel=state == PRIMARY_ONLY) + [
            "at 0 start", "at 30s suspend", "at 60s resume", "end 120s"]
        ops.append(("resume, %s before the suspend" % STATE_NAMES[state], lines, 60_000, resume_wait(state)))

    worst = 0
    for what, lines, start, expected in ops:
        out = run_sim(sim, lines)
        # Each scenario ends a minute or more after its operation, with nothing else happening.
        t = settled(out, start, 10**12)
        if t is None:
            table.add("latency", what, "never settled", "%d ms" % expected, "-", goal="latency", ok=False)
            continue
        measured = t - start
        worst = max(worst, abs(measured - expected))
        table.add("latency", what, "%d ms" % measured, "%d ms designed" % expected,
                  ratio(measured, expected) if expected else ("1.00x" if measured == 0 else "-"),
                  goal="latency", ok=measured == expected)


def callgrind_instructions(sim, lines):
    with tempfile.TemporaryDirectory() as tmp:
        scn = os.path.join(tmp, "menu.scn")
        with open(scn, "w") as f:
            f.write("\n".join(lines) + "\n")
        outfile = os.path.join(tmp, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--toggle-collect=*ShowTrayMenu*",
                        "--callgrind-out-file=" + outfile, sim, scn], capture_output=True, text=True,
                       timeout=600, check=True)
        with open(outfile) as f:
            for line in f:
                if line.startswith("totals:") or line.startswith("summary:"):
                    return int(line.split()[1])
    raise RuntimeError("no totals in callgrind's output")


# 41 modes: 21 sizes, each at 32 and 16 bits per pixel but the last at 32 only.
MENU_SIZES = ["640x480", "720x480", "720x576", "800x480", "800x600", "848x480", "1024x600", "1024x768",
              "1152x864", "1280x720", "1280x768", "1280x800", "1280x960", "1280x1024", "1360x768",
              "1366x768", "1400x1050", "1440x900", "1600x900", "1600x1200", "1680x1050"]
MENU_MODES = [s + "x" + d + "@60" for s in MENU_SIZES for d in ("32", "16")][:41]


def bench_menu(table, sim, mini_sim):
    duodesk = [SYSTEM.replace("800x600x32@60", "800x600x32@60 1680x1050x32@60"),
               "adapter plugged modes " + " ".join(MENU_MODES)] + machine(EXTENDED)[2:] + [
        "at 0 start", "at 30s tray-click right", "at 31s menu dismiss", "end 32s"]
    out = run_sim(sim, duodesk, waits=False)
    items = len(re.findall(r'^menu +\[.\] "&\d+X\d+X\d+"', out, re.M))
    mine = callgrind_instructions(sim, duodesk)
    mini = callgrind_instructions(mini_sim, ["at 0 start", "at 30s tray-click right", "at 31s menu dismiss",
                                             "end 32s"])
    table.add("menu", "one opening, adapter with %d modes (%d in the menu): instructions" % (len(MENU_MODES), items),
              "{:,}".format(mine), "mini-tray {:,} (4 items)".format(mini), ratio(mine, mini))


def bench_memory(table, path):
    figures = {}
    with open(path) as f:
        for line in f:
            words = line.split()
            if len(words) == 3:
                figures[(words[0], words[1])] = int(words[2])
    note = figures.get(("note", "arch"), 32)
    for what, key in (("private bytes after start-up", "private-start"),
                      ("working set after start-up", "ws-start"),
                      ("private bytes after 100 menu openings", "private-100"),
                      ("working set after 100 menu openings", "ws-100")):
        mine, mini = figures.get(("duodesk", key)), figures.get(("mini", key))
        if mine is None or mini is None:
            table.add("memory", what, "not measured", "-")
            continue
        table.add("memory", "%s (Wine, %d-bit)" % (what, note), "%d KiB" % (mine // KIB),
                  "mini-tray %d KiB" % (mini // KIB), ratio(mine, mini))
    for who, label in (("duodesk", "duodesk.exe"), ("mini", "mini-tray.exe")):
        g10, g100 = figures.get((who, "private-10")), figures.get((who, "private-100"))
        if g10 is None or g100 is None:
            continue
        growth = g100 - g10
        mini_growth = figures.get(("mini", "private-100"), 0) - figures.get(("mini", "private-10"), 0)
        table.add("memory", "%s private bytes grown from opening 10 to 100" % label, "%d B" % growth,
                  "goal 0 B" if who == "duodesk" else "the baseline", "-",
                  goal="memory-growth" if who == "duodesk" else None, ok=growth <= max(0, mini_growth))
    mine, mini = figures.get(("duodesk", "cpu-idle-ms")), figures.get(("mini", "cpu-idle-ms"))
    if mine is not None and mini is not None:
        table.add("idle", "CPU time of 60 s idle under Wine (10 ms ticks)", "%d ms" % mine,
                  "mini-tray %d ms" % mini, ratio(mine, mini) if mini else "-", goal="idle-cpu",
                  ok=mine <= mini + 10)


def bench_speed(table, sim, soak):
    with tempfile.NamedTemporaryFile("w", suffix=".scn", delete=False) as f:
        path = f.name
    try:
        subprocess.run([sys.executable, soak, "--write", path, "1"], check=True, capture_output=True)
        with open(path) as f:
            text = f.read()
        end = int(re.search(r"^end (\d+)", text, re.M).group(1)) if re.search(r"^end (\d+)", text, re.M) else 0
        begin = time.monotonic()
        out = subprocess.run([sim, path], capture_output=True, text=True, timeout=600)
        wall = time.monotonic() - begin
    finally:
        os.unlink(path)
    final = re.findall(r"^final (\d+)$", out.stdout, re.M)
    virtual = int(final[-1]) if final else end
    speed = virtual / 1000 / wall
    table.add("speed", "a soak day (seed 1): %.1f virtual h in %.2f s" % (virtual / 3600000, wall),
              "{:,.0f}x".format(speed), "goal >= {:,}x".format(SPEED_GOAL), ratio(speed, SPEED_GOAL),
              goal="speed", ok=speed >= SPEED_GOAL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ci", action="store_true")
    parser.add_argument("--sim", required=True, help="the build folder of duodesk-sim")
    parser.add_argument("--win32", required=True)
    parser.add_argument("--win64", required=True)
    parser.add_argument("--wine", help="the figures read under Wine")
    args = parser.parse_args()
    here = os.path.dirname(os.path.abspath(__file__))
    sim = os.path.join(args.sim, "duodesk-sim")
    table = Table()
    bench_size(table, args.win32, args.win64)
    bench_idle(table, sim)
    if not args.ci:
        bench_latency(table, sim)
        bench_menu(table, sim, os.path.join(args.sim, "mini-tray-sim"))
        if args.wine:
            bench_memory(table, args.wine)
        bench_speed(table, sim, os.path.join(here, "soak.py"))
    table.print()
    if table.regressed:
        print()
        print("regressed: " + "; ".join(table.regressed))
    print("%d passed, %d failed" % (table.passed, table.failed))
    return 1 if table.failed else 0


if __name__ == "__main__":
    sys.exit(main())
