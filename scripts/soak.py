#!/usr/bin/env python3
"""The soak: a seeded day of random events for the utility, run on the simulator and checked.

scripts/soak.py --write FILE SEED   writes the scenario of one seed
scripts/soak.py SEED...             runs each seed's day and checks it (the sweep's invariants, and that
                                    handles and heap stay flat: none of them is higher in the last quarter
                                    of the day than in the three before)

A day: plugs and unplugs (some in the middle of a bring-up), sleeps and wakes, tray clicks with menu picks,
the confirmation dialog answered or left to count down, verbs from second starts, display-mode changes,
Explorer restarts, and logoffs another program cancels (the utility ends with them and is started again).
Each hour a dump records what the program holds.
"""
import argparse
import os
import random
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fault_sweep  # noqa: E402

HOUR = 3600 * 1000
ADAPTER_MODES = [(1280, 1024, 32), (1280, 1024, 16), (1024, 768, 32), (1024, 768, 16), (800, 600, 32),
                 (800, 600, 16)]
SYSTEM_MODES = [(1280, 1024, 32), (1024, 768, 32), (800, 600, 32)]
STATES = ["USB-VGA(Primary)", "USB-VGA(Extended)", "USB-VGA(Off)", "USB-VGA(Mirror)"]
ROTATIONS = ["0 degrees", "90 degrees", "180 degrees", "270 degrees"]
VERBS = ["r0", "r90", "r180", "r270", "Turnoff", ""]


def mode(m):
    return "%dx%dx%d" % m


def machine(rng):
    win7 = rng.random() < 0.5
    lines = ["# A soak day, seed %d." % rng.seed_value]
    if win7:
        lines += ["os 6.1 edition Professional", "service UxSms running"]
        chip = "PCI\\VEN_8086&DEV_2A42" if rng.random() < 0.5 else "PCI\\VEN_10DE&DEV_0421"
    else:
        lines += ['os 5.1 csd "Service Pack 3"', "service UxSms absent"]
        chip = "PCI\\VEN_10DE&DEV_0421"
    lines.append("display %s primary modes %s" % (chip, " ".join(mode(m) + "@60" for m in SYSTEM_MODES)))
    options = ["ready-after %d" % rng.randint(0, 4)]
    if win7 and rng.random() < 0.5:
        options += ["resume-reenumerates", "resume-not-ready %d" % rng.randint(0, 3)]
    lines.append("adapter plugged %s modes %s" % (" ".join(options), " ".join(mode(m) + "@60" for m in ADAPTER_MODES)))
    w, h, bpp = rng.choice(ADAPTER_MODES[2:])
    for name, value in [("DispState", rng.randint(0, 4)), ("Width", w), ("Height", h), ("BitDepth", bpp),
                        ("FirstRun", 1), ("RotationState", 0)]:
        lines.append('profile "VGA DONGLE" %s %d' % (name, value))
    return lines


def day(seed, hours):
    rng = random.Random(seed)
    rng.seed_value = seed
    lines = machine(rng)
    events = [(0, "start")]
    t = 5000
    plugged, asleep, running = True, False, True
    end = hours * HOUR
    while t < end - 10 * 60 * 1000:
        t += rng.randint(20, 600) * 1000
        # The hour's dump stands in a quiet minute of its own.
        if t % HOUR > HOUR - 90 * 1000 or t % HOUR < 30 * 1000:
            continue
        if asleep:
            events.append((t, "resume" if rng.random() < 0.8 else "resume unattended"))
            asleep = False
            continue
        if not running:
            events.append((t, "start"))
            running = True
            continue
        kind = rng.choices(["plug", "tray", "verb", "mode", "shell", "suspend", "logoff"],
                           [3, 6, 2, 1, 1, 1.2, 0.3])[0]
        if kind == "plug":
            events.append((t, "unplug" if plugged else "plug"))
            plugged = not plugged
            if plugged and rng.random() < 0.3:
                # Pulled again in the middle of its bring-up.
                events.append((t + rng.randint(500, 5000), "unplug"))
                plugged = False
        elif kind == "tray":
            events.append((t, "tray-click " + rng.choice(["right", "right", "left", "double", "move"])))
            pick = rng.random()
            at = t + 1000
            if pick < 0.45:
                events.append((at, 'menu pick "%s"' % rng.choice(STATES)))
            elif pick < 0.8:
                w, h, bpp = rng.choice(ADAPTER_MODES)
                path = '"Resolution" "High Resolution"' if w > 1024 else '"Resolution"'
                events.append((at, 'menu pick %s "&%dX%dX%d"' % (path, w, h, bpp)))
                if w > 1024 or h > 768:
                    answer = rng.choice(["ok", "cancel", "escape", "close", None])
                    if answer:
                        events.append((at + rng.randint(2, 12) * 1000, "dialog press " + answer))
            elif pick < 0.9:
                events.append((at, 'menu pick "Rotation" "%s"' % rng.choice(ROTATIONS)))
            else:
                events.append((at, "menu dismiss"))
        elif kind == "verb":
            events.append((t, ("start " + rng.choice(VERBS)).strip()))
        elif kind == "mode":
            events.append((t, "display-mode " + mode(rng.choice(SYSTEM_MODES))))
        elif kind == "shell":
            events.append((t, "shell-restart"))
        elif kind == "suspend":
            events.append((t, "suspend"))
            asleep = True
        elif kind == "logoff":
            events.append((t, "logoff cancelled"))
            running = False
        t = max(t, events[-1][0])
    if asleep:
        t += 60 * 1000
        events.append((t, "resume"))
    if not running:
        t += 60 * 1000
        events.append((t, "start"))
    events += [(h * HOUR, "dump") for h in range(1, hours + 1) if h * HOUR < end]
    events.sort(key=lambda e: e[0])
    close = max(end - 60 * 1000, events[-1][0] + 60 * 1000)
    lines += ["at %d %s" % e for e in events]
    lines += ["at %d start Close" % close, "end %d" % (close + 30 * 1000)]
    return "\n".join(lines) + "\n"


HELD = ["handles", "keys", "timers", "windows", "menus", "icons", "notifications", "sc-handles"]


def dumps(out):
    """Each hourly dump's time, what the program holds and the heap."""
    found, current, inside = [], None, False
    for line in out.splitlines():
        if line.startswith("dump "):
            inside, current = True, []
        elif line == "end-dump":
            inside = False
            held = fault_sweep.leftovers(current)
            heap = [int(l.split()[1]) for l in current if l.startswith("heap ")]
            found.append((held, heap[0] if heap else 0))
        elif inside:
            current.append(line)
    return found


def check_day(sim, seed, hours):
    text = day(seed, hours)
    run = fault_sweep.run_sim(sim, text, timeout=600)
    broken = fault_sweep.check("soak-%d" % seed, text, run, run, "", 0)
    hourly = dumps(run.out)
    if len(hourly) < 4:
        broken["hang"] = broken.get("hang", "only %d hourly dumps" % len(hourly))
        return text, broken, hourly
    # Flat: nothing the last quarter of the day holds exceeds the most the three before it held (what the
    # program holds depends on whether the adapter is plugged in at that hour, so a single hour says little).
    quarter = max(1, len(hourly) // 4)
    first, last = hourly[:-quarter], hourly[-quarter:]
    for kind in HELD:
        before, after = max(h[kind] for h, _ in first), max(h[kind] for h, _ in last)
        if after > before:
            broken["leftover"] = "%s grew from %d to %d" % (kind, before, after)
    if max(heap for _, heap in last) > max(heap for _, heap in first):
        broken["leftover"] = "heap grew from %d to %d bytes" % (max(heap for _, heap in first),
                                                               max(heap for _, heap in last))
    return text, broken, hourly


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("seeds", nargs="+", type=int)
    ap.add_argument("--hours", type=int, default=24)
    ap.add_argument("--write", help="write the scenario of the (one) seed to this file and stop")
    ap.add_argument("--sim", default="build/sim/duodesk-sim")
    args = ap.parse_args()
    if args.write:
        with open(args.write, "w") as f:
            f.write(day(args.seeds[0], args.hours))
        return 0
    failed = 0
    for seed in args.seeds:
        text, broken, hourly = check_day(args.sim, seed, args.hours)
        events = len(re.findall(r"^at ", text, re.M))
        first, last = (hourly[0], hourly[-1]) if hourly else (({}, 0), ({}, 0))
        held = ", ".join("%s %d->%d" % (k, first[0].get(k, 0), last[0].get(k, 0))
                         for k in ["handles", "keys", "timers", "windows"])
        print("soak seed %d: %d h, %d events; first and last hour: %s, heap %d->%d bytes: %s" %
              (seed, args.hours, events, held, first[1], last[1],
               "; ".join("%s: %s" % kv for kv in broken.items()) or "ok"))
        failed += 1 if broken else 0
    print("%d passed, %d failed" % (len(args.seeds) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
