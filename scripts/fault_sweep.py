#!/usr/bin/env python3
"""The fault sweep: every scenario of a corpus, run once for each of the program's calls with that call failing.

For each scenario the sweep first runs it as it is and records the calls every process makes
(duodesk-sim --count-calls). Then, for each function that can fail and each occurrence N up to the most
calls of it any process made, it runs the scenario again with `fail FUNCTION from N` and checks that the
program kept its promises (docs/reliability.md):

  crash     no sanitizer report, crash or non-zero exit of the simulator, no second start that died
  hang      the virtual clock reaches the scenario's end
  layout    at every change of the layout a display is on the desktop (the simulator's violation lines)
  profile   the profile holds only values the program writes on purpose: nothing the user had is lost,
            replaced by garbage, or replaced where the run without the failure kept it
  leftover  no handle, menu, icon or registration is left beyond what the run without the failure left,
            except the one thing a failed release could not give back
  close     "Close" still ends the program

Without --full a fixed, seeded sample of the (function, occurrence) pairs is run: the first and the last
occurrence of every function in every scenario, and as many others as --sample allows.

A broken promise the program cannot keep whatever it does is counted as "accepted", one found and not yet
mended as "open" (ACCEPTED and OPEN below, each with its reason); neither fails the sweep.
"""
import argparse
import collections
import concurrent.futures
import os
import random
import re
import subprocess
import sys
import tempfile

INVARIANTS = ["crash", "hang", "layout", "profile", "leftover", "close"]

# What a failed release legitimately leaves behind: the kind of leftover each release function gives back.
RELEASES = {
    "DestroyMenu": "menus",
    "Shell_NotifyIconA": "icons",
    "CloseServiceHandle": "sc-handles",
    "CloseHandle": "handles",
    "SetupDiDestroyDeviceInfoList": "handles",
    "RegCloseKey": "keys",
    "KillTimer": "timers",
    "UnregisterDeviceNotification": "notifications",
    "DestroyWindow": "windows",
}
# A failed free leaves its block to the leak checker.
LEAKING_RELEASES = {"HeapFree", "FreeSid"}
# Broken promises the program cannot keep, whatever it does: counted apart, as "accepted", with the reason
# docs/reliability.md gives.
ACCEPTED = {
    # The main window gets its title, the instance name a second start looks for, in one call; without
    # it no second start finds the window, and "Close" cannot reach the program.
    ("SetWindowTextA", "close"),
    # Without its object attached (GWLP_USERDATA) or its procedure installed, the main window hears
    # nothing, "Close" from a second start included.
    ("SetWindowLongPtrA", "close"),
    # The window procedure finds its object through GWLP_USERDATA; a failed read hands that one message
    # to the default procedure: a "TurnOff" lost so is lost, and the next "Close" ends the program.
    ("GetWindowLongPtrA", "close"),
}
# The program records the state and the resolution the adapter's display really has: when it is pulled out,
# when the session ends, when the window follows a display change (that is how a resolution the user set
# in the Display control panel is kept). A failure that leaves the display at another resolution or off
# (a mode list cut short by a failed enumeration or allocation, a mode change refused at the bring-up, a
# lookup of the devices that fails, a message lost as above) makes that the recorded one: the value is
# what the display showed, not one from a failed read.
for function in ("EnumDisplaySettingsA", "new", "ChangeDisplaySettingsExA", "EnumDisplayDevicesA",
                 "GetWindowLongPtrA"):
    ACCEPTED.add((function, "profile"))
# Broken promises found and not mended yet: counted apart, as "open", so that the sampled sweep keeps
# watching everything else. docs/reliability.md lists them; none is left.
OPEN = set()


PROFILE_PREFIX = 'reg "HKCU\\\\Software\\\\Kiva Dongle\\\\'
DEFAULTS = {"Width": {1024}, "Height": {768}, "BitDepth": {32}, "Frequence": {60}}
# Values that change only when the user or a second start asks, never from what the program reads.
REQUESTED_ONLY = {"RotationState"}
RANGES = {"DispState": range(0, 5), "RotationState": range(0, 5), "FirstRun": range(0, 2)}


class Run:
    def __init__(self, status, out, err, calls=None):
        self.status, self.out, self.err, self.calls = status, out, err, calls or {}
        self.final = final_state(out)


def final_state(out):
    """The lines between the last 'final <ms>' and 'end-final', and the final time."""
    lines, inside, time = [], False, None
    for line in out.splitlines():
        if line.startswith("final "):
            inside, lines, time = True, [], int(line.split()[1])
        elif line == "end-final":
            inside = False
        elif inside:
            lines.append(line)
    return {"time": time, "lines": lines}


def run_sim(sim, text, count_calls=False, timeout=60):
    with tempfile.TemporaryDirectory(prefix="fault-sweep-") as tmp:
        path = os.path.join(tmp, "scenario.scn")
        with open(path, "w") as f:
            f.write(text)
        args = [sim]
        calls_path = os.path.join(tmp, "calls.txt")
        if count_calls:
            args += ["--count-calls", calls_path]
        try:
            p = subprocess.run(args + [path], capture_output=True, text=True, errors="replace", timeout=timeout)
            status, out, err = p.returncode, p.stdout, p.stderr
        except subprocess.TimeoutExpired as e:
            status, out, err = "timeout", (e.stdout or b"").decode(errors="replace"), "timeout"
        calls = {}
        if count_calls and os.path.exists(calls_path):
            for line in open(calls_path):
                w = line.split()
                calls.setdefault(w[2], {"cannot_fail": len(w) > 4, "by_pid": {}})["by_pid"][int(w[1])] = int(w[3])
        return Run(status, out, err, calls)


def profile(lines):
    values = {}
    for line in lines:
        m = re.match(r'reg "HKCU\\\\Software\\\\Kiva Dongle\\\\[^"]*\\\\([^"\\]*)" "([^"]*)" (.*)$', line)
        if m:
            values[(m.group(1), m.group(2))] = m.group(3)
    return values


def profiles_shown(out):
    """Every profile value any dump of the run showed."""
    seen = collections.defaultdict(set)
    for line in out.splitlines():
        for key, value in profile([line]).items():
            seen[key].add(value)
    return seen


def initial_profile(text):
    values = {}
    for line in text.splitlines():
        m = re.match(r'profile "([^"]*)" (\S+) (\S+)', line)
        if m:
            values[(m.group(1), m.group(2))] = "dword %d" % int(m.group(3), 0)
    return values


def plausible_numbers(text):
    """The numbers a mode, a position of the program or the installer can give, from the scenario."""
    sizes = collections.defaultdict(set)
    for w, h, bpp, hz in re.findall(r"\b(\d+)x(\d+)x(\d+)(?:@([\d,]+))?", text):
        sizes["Width"].add(int(w))
        sizes["Height"].add(int(h))
        sizes["Width"].add(int(h))  # a rotation swaps them
        sizes["Height"].add(int(w))
        sizes["BitDepth"].add(int(bpp))
        for f in (hz or "60").split(","):
            sizes["Frequence"].add(int(f))
    for w, h, bpp in re.findall(r"start res (\d+) (\d+) (\d+)", text):
        sizes["Width"].add(int(w))
        sizes["Height"].add(int(h))
        sizes["BitDepth"].add(int(bpp))
    sizes["SysX"] = sizes["Width"] | {0}
    sizes["SysY"] = sizes["Height"] | {0}
    sizes["SysZ"] = sizes["BitDepth"] | {0}
    for name, values in DEFAULTS.items():
        sizes[name] |= values
    for name, values in RANGES.items():
        sizes[name] = set(values)
    return sizes


def leftovers(lines):
    counts = collections.Counter()
    for line in lines:
        w = line.split()
        if not w:
            continue
        if w[0] == "hmenu":
            counts["menus"] += 1
        elif w[0] == "tray":
            counts["icons"] += 1
        elif w[0] == "notify" and w[-1] == "active":
            counts["notifications"] += 1
        elif w[0] == "sc-handles":
            counts["sc-handles"] += int(w[1])
        elif w[0] == "resources":
            for kind, value in zip(w[2::2], w[3::2]):
                counts[kind] += int(value)
    return counts


def processes(lines):
    """pid -> (running, command text)"""
    found = {}
    for line in lines:
        m = re.match(r'process (\d+) \S+ (running|exit \S+) cmd "(.*)"$', line)
        if m:
            found[int(m.group(1))] = (m.group(2) == "running", m.group(3))
    return found


def check(scenario, text, base, run, function, occurrence):
    """The invariants the run broke, each with what shows it."""
    broken = {}
    sanitizer = re.search(r"(ERROR: AddressSanitizer|runtime error|LeakSanitizer: detected)", run.err)
    leak_only = sanitizer and "LeakSanitizer" in sanitizer.group(1) and "ERROR: AddressSanitizer" not in run.err
    if sanitizer and not (leak_only and function in LEAKING_RELEASES):
        broken["crash"] = sanitizer.group(1)
    elif run.status == "timeout":
        broken["hang"] = "no end within the time limit"
    elif run.status == 3:
        broken["hang"] = run.err.strip().splitlines()[-1] if run.err.strip() else "exit 3"
    elif run.status != 0 and not (leak_only and function in LEAKING_RELEASES):
        broken["crash"] = "exit status %s: %s" % (run.status, run.err.strip()[-200:])
    abnormal = [l for l in run.out.splitlines() if "ended abnormally" in l]
    if abnormal:
        broken["crash"] = abnormal[0]
    if "crash" in broken or "hang" in broken:
        return broken
    if run.final["time"] != base.final["time"]:
        broken["hang"] = "the run ended at %s instead of %s" % (run.final["time"], base.final["time"])
        return broken
    violations = [l for l in run.out.splitlines() if l.startswith("violation ")]
    if violations:
        broken["layout"] = violations[0]

    # The profile.
    had, base_final, final = initial_profile(text), profile(base.final["lines"]), profile(run.final["lines"])
    shown = profiles_shown(base.out)
    numbers = plausible_numbers(text)
    problems = []
    for key in sorted(had):
        if key not in final and key in base_final:
            problems.append("%s\\%s: the user's value is gone" % key)
    for key, value in sorted(final.items()):
        if value == base_final.get(key) or value == had.get(key) or value in shown.get(key, ()):
            continue
        m = re.match(r"dword (-?\d+)$", value)
        if not m or int(m.group(1)) not in numbers.get(key[1], ()):
            problems.append("%s\\%s is %s, which nothing gives" % (key[0], key[1], value))
        elif key in had and key[1] not in REQUESTED_ONLY:
            problems.append("%s\\%s: the user's %s became %s" % (key[0], key[1], had[key], value))
    if problems:
        broken["profile"] = "; ".join(problems)

    # Leftovers, once the processes are in the same state as without the failure.
    base_procs, procs = processes(base.final["lines"]), processes(run.final["lines"])
    base_left, left = leftovers(base.final["lines"]), leftovers(run.final["lines"])
    extra = ["%s %d (without the failure %d)" % (kind, left[kind], base_left[kind])
             for kind in sorted(left) if left[kind] > base_left[kind] and RELEASES.get(function) != kind]
    if extra and [r for r, _ in procs.values()] == [r for r, _ in base_procs.values()]:
        broken["leftover"] = ", ".join(extra)

    # "Close" ends the program: no process started before it still runs, unless the failure hit the
    # Close start itself.
    close_pids = [pid for pid, (_, cmd) in procs.items() if cmd.lower() == "close"]
    if close_pids:
        close_pid = close_pids[-1]
        hit_close = base.calls.get(function, {"by_pid": {}})["by_pid"].get(close_pid, 0) >= occurrence
        still = [pid for pid, (running, _) in procs.items() if running and pid < close_pid]
        if still and not hit_close:
            broken["close"] = "process %s still runs after Close" % ",".join(map(str, still))
    return broken


def with_dumps(text):
    """The scenario with a dump just before each event, so that the run without failures shows every
    value its profile takes on the way."""
    lines = []
    for line in text.splitlines():
        m = re.match(r"(at|end) (\S+)", line)
        if m:
            lines.append("at %s dump" % m.group(2))
        lines.append(line)
    return "\n".join(lines) + "\n"


def with_rule(text, function, occurrence):
    return "fail %s from %d\n%s" % (function, occurrence, text)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("corpus", nargs="?", default="tests/corpus")
    ap.add_argument("--sim", default="build/sim/duodesk-sim")
    ap.add_argument("--full", action="store_true", help="every (function, occurrence) pair")
    ap.add_argument("--sample", type=int, default=1600, help="pairs in the sampled sweep (default 1600)")
    ap.add_argument("--seed", type=int, default=7300)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--only", help="SCENARIO:FUNCTION:N: run one case and print its output")
    ap.add_argument("--list", type=int, default=40, help="violations to list (default 40)")
    args = ap.parse_args()

    scenarios = sorted(f for f in os.listdir(args.corpus) if f.endswith(".scn"))
    texts = {s: open(os.path.join(args.corpus, s)).read() for s in scenarios}
    if args.only:
        name, function, n = args.only.split(":")
        run = run_sim(args.sim, with_rule(texts[name], function, int(n)))
        sys.stdout.write(run.out)
        sys.stderr.write(run.err)
        base = run_sim(args.sim, with_dumps(texts[name]), count_calls=True)
        print("broken:", check(name, texts[name], base, run, function, int(n)) or "nothing")
        return 0

    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        bases = dict(zip(scenarios, pool.map(lambda s: run_sim(args.sim, with_dumps(texts[s]), count_calls=True),
                                             scenarios)))
    pairs, baseline_broken = [], []
    for s in scenarios:
        base = bases[s]
        broken = check(s, texts[s], base, base, "", 0)
        if base.status != 0 or base.final["time"] is None or broken:
            baseline_broken.append("%s without any failure: %s" % (s, broken or base.err.strip()[-300:]))
            continue
        for function, info in sorted(base.calls.items()):
            if info["cannot_fail"]:
                continue
            most = max(info["by_pid"].values())
            pairs += [(s, function, n) for n in range(1, most + 1)]
    if baseline_broken:
        print("\n".join(baseline_broken))
        print("0 passed, %d failed" % len(baseline_broken))
        return 1

    total = len(pairs)
    if not args.full and total > args.sample:
        ends = {p for p in pairs if p[2] == 1}
        last = {}
        for p in pairs:
            last[(p[0], p[1])] = max(last.get((p[0], p[1]), 0), p[2])
        ends |= {(s, f, n) for (s, f), n in last.items()}
        rest = sorted(set(pairs) - ends)
        rng = random.Random(args.seed)
        chosen = sorted(ends) + rng.sample(rest, max(0, min(len(rest), args.sample - len(ends))))
        pairs = sorted(chosen)

    def one(pair):
        s, function, n = pair
        run = run_sim(args.sim, with_rule(texts[s], function, n))
        return pair, check(s, texts[s], bases[s], run, function, n)

    table = collections.defaultdict(lambda: collections.Counter())
    listed = []
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for (s, function, n), broken in pool.map(one, pairs):
            row = table[function]
            row["tried"] += 1
            accepted = {inv for inv in broken if (function, inv) in ACCEPTED | OPEN}
            row["accepted"] += 1 if {inv for inv in accepted if (function, inv) in ACCEPTED} else 0
            row["open"] += 1 if {inv for inv in accepted if (function, inv) in OPEN} else 0
            for inv in set(broken) - accepted:
                row[inv] += 1
            if set(broken) - accepted:
                failed += 1
                for inv, why in broken.items():
                    if inv not in accepted:
                        listed.append("%s fail %s from %d: %s: %s" % (s, function, n, inv, why))

    print("fault sweep: %d scenarios, %d of %d (function, occurrence) pairs%s" %
          (len(scenarios), len(pairs), total, "" if len(pairs) == total else " (seeded sample %d)" % args.seed))
    header = "%-34s %6s " % ("function", "tried") + " ".join("%8s" % i for i in INVARIANTS + ["accepted", "open"])
    print(header)
    print("-" * len(header))
    for function in sorted(table):
        row = table[function]
        print("%-34s %6d " % (function, row["tried"]) +
              " ".join("%8d" % row[i] for i in INVARIANTS + ["accepted", "open"]))
    print("-" * len(header))
    print("%-34s %6d " % ("all", len(pairs)) +
          " ".join("%8d" % sum(r[i] for r in table.values()) for i in INVARIANTS + ["accepted", "open"]))
    for line in sorted(listed)[: args.list]:
        print("  " + line)
    if len(listed) > args.list:
        print("  (%d more)" % (len(listed) - args.list))
    print("%d passed, %d failed" % (len(pairs) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
