#!/usr/bin/env python3
"""The simulated Windows held against Wine: one scenario of tests/conformance at a time.

    conformance.py plan SCENARIO SIM_OUTPUT
        prints the steps that replay the scenario's timeline under Wine, one a line, fields separated
        by tabs (tests/wine/conformance.sh carries them out)
    conformance.py compare SCENARIO SIM_OUTPUT WINE_DIR KNOWN_DOC
        compares what the program did on the simulator with what it did under Wine, prints the
        differences and a verdict line "agree", "differ (known)" or "differ", and exits 0 unless a
        difference is not written down in KNOWN_DOC

Both runs are reduced to the same facts, one a line:

    machine os 6.1 ...                 the scenario's "os" and "display" lines / tray-probe's view of Wine
    trace N "TEXT"                     the N-th program start's OutputDebugStringA texts, in order, with
                                       the values of handles masked
    menu N ID "TEXT" [grey] [checked]  the top-level items of each popup menu it opened, in order
    menu N picks ID | menu N dismissed how the menu ended
    cds N DEVICE fields F ... flags X result R   each ChangeDisplaySettingsExA call of the N-th start:
                                       the device, the flagged DEVMODE members, the flags, the result
    exit N CODE | running N            how the N-th start ended, or that it was still running at the end
    dump K display ID current M registry M   at the K-th "dump" and at the end ("final"): each display's
    dump K icon ID                     current and registry mode, and the program's icon if it is shown
    reg "KEY" "NAME" dword VALUE       the profile below HKCU\\Software\\Kiva Dongle when the run ended,
                                       sorted

A difference is one hunk of the unified diff of the two lists. KNOWN_DOC holds the known ones, each in a
fenced block of the kind "known" that names the scenario and then lists the hunk's lines as the diff
prints them ("-" for the simulator's, "+" for Wine's).
"""

import difflib
import os
import re
import shlex
import sys

PROFILE_ROOT = "HKCU\\Software\\Kiva Dongle"

# Traces whose values are handles, which differ from run to run and machine to machine.
HANDLE_TRACES = [
    re.compile(r"^(Handle of device notification )[0-9a-fA-F]+"),
    re.compile(r"^(hKey )[0-9a-fA-F]+(?= SubKey)"),
]

# The DEVMODE members ChangeDisplaySettingsExA reads, by the names Wine's trace gives their flags.
DM_FIELDS = {"POSITION": 0x20, "DISPLAYORIENTATION": 0x80, "BITSPERPEL": 0x40000, "PELSWIDTH": 0x80000,
             "PELSHEIGHT": 0x100000, "DISPLAYFLAGS": 0x200000, "DISPLAYFREQUENCY": 0x400000}

# The verbs after which the resident instance ends (compared as the program compares them).
ENDING_VERBS = ("close", "uninstall")


def unescape(text):
    """The bytes of a text that the simulator or Wine printed with C escapes."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out += c.encode("latin-1")
            i += 1
            continue
        e = text[i + 1]
        if e == "x":
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
            continue
        out.append({"n": 10, "r": 13, "t": 9}.get(e, ord(e)))
        i += 2
    return bytes(out)


def escape(data):
    out = []
    for b in data:
        if b == 10:
            out.append("\\n")
        elif b in (0x22, 0x5C):
            out.append("\\" + chr(b))
        elif b < 0x20 or b >= 0x7F:
            out.append("\\x%02X" % b)
        else:
            out.append(chr(b))
    return "".join(out)


def trace_fact(n, raw):
    text = escape(unescape(raw))
    for pattern in HANDLE_TRACES:
        text = pattern.sub(r"\g<1><handle>", text)
    return 'trace %d "%s"' % (n, text)


# ---- the scenario --------------------------------------------------------------------------------------

def read_scenario(path):
    """(machine lines, profile values, events): each event is (kind, words)."""
    machine, profile, events = [], [], []
    with open(path) as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            words = shlex.split(line, posix=True)
            if words[0] in ("os", "display"):
                machine.append(" ".join(line.split()))
            elif words[0] == "profile":
                # profile "SECTION" NAME NUMBER: below the profile of the program, duodesk
                profile.append((PROFILE_ROOT + "\\duodesk\\" + words[1], words[2], int(words[3], 0)))
            elif words[0] == "regkey":
                # regkey "HKCU\\PATH" dword NAME NUMBER ...: a key of the user's hive with values
                key = words[1]
                rest = words[2:]
                while rest and rest[0] == "dword":
                    profile.append((key, rest[1], int(rest[2], 0)))
                    rest = rest[3:]
                if rest or not key.startswith("HKCU\\"):
                    raise SystemExit("%s: only dword values of HKCU keys can be set under Wine: %s" % (path, line))
            elif words[0] == "at":
                events.append((words[2], words[3:]))
            elif words[0] == "end":
                pass
            else:
                raise SystemExit("%s: no Wine counterpart for the statement: %s" % (path, line))
    return machine, profile, events


# ---- the simulator's output ----------------------------------------------------------------------------

def sim_menus(lines):
    """The menus the simulator showed, in order: [pid, items, end] with items [(id, text, marks)]."""
    menus = []
    current = None
    for line in lines:
        m = re.match(r"^menu \d+ (\d+) open ", line)
        if m:
            menus.append([int(m.group(1)), [], None])
            current = menus[-1][1]
            continue
        if current is not None:
            if line == "end-menu":
                current = None
                continue
            m = re.match(r'^menu   \[(.)\] "((?:[^"\\]|\\.)*)" (\d+)((?: \w+)*)$', line)
            if m:
                marks = m.group(4).split()
                if m.group(1) == "x":
                    marks.append("checked")
                current.append((int(m.group(3)), m.group(2), marks))
            continue
        m = re.match(r"^menu \d+ \d+ (dismiss|closed|pick .* id (\d+))$", line)
        if m and menus and menus[-1][2] is None:
            menus[-1][2] = "picks %s" % m.group(2) if m.group(2) else "dismissed"
    return menus


def sim_facts(scenario, sim_output):
    machine, _, _ = read_scenario(scenario)
    lines = open(sim_output).read().splitlines()
    final = lines[next(i for i, l in enumerate(lines) if l.startswith("final ")):]
    # Every start is a process of its own, numbered in the order of the starts.
    ends = {}
    for line in final:
        m = re.match(r"^process (\d+) \S+ (running|exit (-?\d+)) cmd", line)
        if m:
            ends[int(m.group(1))] = m.group(3)
    number = {pid: n for n, pid in enumerate(sorted(ends), 1)}
    facts = ["machine " + line for line in machine]
    for line in lines:
        m = re.match(r'^trace \d+ (\d+) "(.*)"$', line)
        if m:
            facts.append(trace_fact(number[int(m.group(1))], m.group(2)))
    for pid, items, end in sim_menus(lines):
        facts += menu_facts(number[pid], items, end)
    facts += sim_cds(final, number)
    for pid in sorted(ends):
        facts.append("running %d" % number[pid] if ends[pid] is None else "exit %d %s" % (number[pid], ends[pid]))
    facts += sim_dumps(lines)
    for line in final:
        m = re.match(r'^reg "(.*)" "(.*)" (dword -?\d+|sz ".*")$', line)
        key = unescape(m.group(1)).decode("latin-1") if m else ""
        if key.startswith(PROFILE_ROOT + "\\"):
            facts.append(reg_fact(key, unescape(m.group(2)).decode("latin-1"), m.group(3)))
    return in_order(facts)


def sim_dumps(lines):
    facts = []
    label = None
    count = 0
    for line in lines:
        if re.match(r"^(dump|final) \d+$", line):
            count += line.startswith("dump ")
            label = str(count) if line.startswith("dump ") else "final"
            continue
        if line in ("end-dump", "end-final"):
            label = None
            continue
        if label is None:
            continue
        m = re.match(r'^display \S+ id "(.*)" flags (\S+) current (\S+) (?:pos \S+ )?registry (\S+)', line)
        if m and "absent" not in m.group(2):
            facts.append(display_fact(label, unescape(m.group(1)).decode("latin-1"), m.group(3), m.group(4)))
        m = re.match(r"^tray 0x[0-9a-fA-F]+ id (\d+) ", line)
        if m:
            facts.append("dump %s icon %s" % (label, m.group(1)))
    return facts


def display_fact(label, device_id, current, registry):
    return "dump %s display %s current %s registry %s" % (label, device_id, current, registry)


def wine_dumps(wine_dir, labels):
    """tray-probe's view at each dump: dump-K.txt (its "machine" lines) and dump-K.icon (its "icon")."""
    facts = []
    for label in labels:
        for line in read_lines(os.path.join(wine_dir, "dump-%s.txt" % label)):
            m = re.match(r"^display (\S+) .*?(?:current (\S+))?(?: registry (\S+))? modes", line)
            if m:
                current = m.group(2) or "off"
                facts.append(display_fact(label, m.group(1), current, m.group(3) or current))
        icon = read_lines(os.path.join(wine_dir, "dump-%s.icon" % label))
        if icon and " is there" in icon[0]:
            facts.append("dump %s icon %s" % (label, icon[0].split()[1]))
    return facts


def cds_fact(n, device, fields, members, flags, result):
    """One call: only the members its dmFields flags, as the system reads only those."""
    if fields is None:
        shown = "fields -"
    else:
        shown = "fields 0x%X" % fields
        for bit, name in ((0x40000, "bpp"), (0x80000, "width"), (0x100000, "height"), (0x400000, "freq"),
                          (0x20, "pos")):
            if fields & bit:
                shown += " %s %s" % (name, members.get(name, "?"))
    return "cds %d %s %s flags 0x%X result %d" % (n, device, shown, flags, result)


def sim_cds(final, number):
    """The final dump's record of every call:
      cds 0 1000 \\.\DISPLAY1 fields 0x5C0020 mode 800x600x32@60 pos 0,0 flags 0x1 result 0"""
    facts = []
    for line in final:
        m = re.match(r"^cds \d+ (\d+) (\S+) fields (\S+) mode (\S+) pos (\S+) flags (\S+) result (-?\d+)$", line)
        if not m:
            continue
        fields = None if m.group(3) == "-" else int(m.group(3), 16)
        members = {}
        size = re.match(r"^(-?\d+)x(-?\d+)x(-?\d+)@(-?\d+)$", m.group(4))
        if size:
            members = {"width": size.group(1), "height": size.group(2), "bpp": size.group(3), "freq": size.group(4)}
        members["pos"] = m.group(5)
        facts.append(cds_fact(number[int(m.group(1))], m.group(2), fields, members, int(m.group(6), 16),
                              int(m.group(7))))
    return facts


def wine_cds(n, log_lines):
    """Wine's +system trace of each call, with the members it flags and, when it fails, its result:
      trace:system:NtUserChangeDisplaySettings L"\\\\.\\DISPLAY1" 0x1628c0 (nil) 0x1 (nil)
      trace:system:trace_devmode dmFields=BITSPERPEL,PELSWIDTH,... dmBitsPerPel=32 ... dmPosition=(0,0)
      err:system:NtUserChangeDisplaySettings Changing L"\\\\.\\DISPLAY1" display settings returned -2."""
    calls = []
    for line in log_lines:
        m = re.search(r':NtUserChangeDisplaySettings (L"(?:[^"\\]|\\.)*"|\(null\)) (\S+) \S+ (0x[0-9a-fA-F]+|0) ', line)
        if m:
            device = "-" if m.group(1) == "(null)" else unescape(m.group(1)[2:-1]).decode("latin-1")
            calls.append([device, None if m.group(2) == "(nil)" else 0, {}, int(m.group(3), 16), 0])
            continue
        m = re.search(r":trace_devmode dmFields=(\S*)(.*)$", line)
        if m and calls and calls[-1][1] == 0:
            calls[-1][1] = sum(DM_FIELDS.get(name, 0x80000000) for name in m.group(1).split(",") if name)
            for key, name in (("dmBitsPerPel", "bpp"), ("dmPelsWidth", "width"), ("dmPelsHeight", "height"),
                              ("dmDisplayFrequency", "freq")):
                v = re.search(r"\b%s=(-?\d+)" % key, m.group(2))
                if v:
                    calls[-1][2][name] = v.group(1)
            v = re.search(r"\bdmPosition=\((-?\d+),(-?\d+)\)", m.group(2))
            if v:
                calls[-1][2]["pos"] = "%s,%s" % v.groups()
            continue
        m = re.search(r":NtUserChangeDisplaySettings Changing .* returned (-?\d+)\.", line)
        if m and calls:
            calls[-1][4] = int(m.group(1))
    return [cds_fact(n, *call) for call in calls]


def menu_facts(n, items, end):
    facts = ['menu %d %d "%s"%s' % (n, i, text, "".join(" " + k for k in marks)) for i, text, marks in items]
    facts.append("menu %d %s" % (n, end or "dismissed"))
    return facts


def reg_fact(key, name, value):
    return 'reg "%s" "%s" %s' % (key, name, value)


def in_order(facts):
    """The machine and the dumps first; then each start's traces, menus and end, start by start (the
    simulator prints the traces of all of them in the order of its clock, Wine each process to its own
    log); then the profile, sorted."""
    def start(fact):
        m = re.match(r"^(?:trace|menu|cds|exit|running) (\d+)", fact)
        return int(m.group(1)) if m else 0
    rest = [f for f in facts if not f.startswith("reg ")]
    return sorted(rest, key=start) + sorted(f for f in facts if f.startswith("reg "))


# ---- Wine's side ---------------------------------------------------------------------------------------

def wine_menus(log_lines):
    """Wine's +menu trace: the items of each popup menu as user32 measured them for display, and the
    item its loop carried out. A menu opens with
      trace:menu:NtUserTrackPopupMenuEx hmenu 0x10076 flags 000a (1014,758) hwnd 0x1005c ...
      trace:menu:show_popup owner=0x1005c hmenu=0x10076 id=0x0000 ...
    then each of its items is measured, once, before anything else shows (a submenu has a show_popup of
    its own), other channels' lines in between:
      trace:menu:calc_menu_item_size dc=... owner=... (0,17) item { ID=0x8004, State=grey, Text=L"..."  }
    with no State for an enabled, unchecked item; the item Return or a click lands on is traced as
      trace:menu:exec_focused_item handle 0x3006e ID 00008006 submenu (nil) type 0000"""
    menus = []
    measuring = False
    for line in log_lines:
        if ":NtUserTrackPopupMenuEx " in line:
            menus.append([[], None])
            measuring = False
            continue
        if ":show_popup " in line:
            # The menu's own popup, or a submenu's: only the first is measured here.
            measuring = bool(menus) and not menus[-1][0]
            continue
        if ":calc_menu_item_size " in line and measuring:
            m = re.search(r"item \{ ID=(0x[0-9a-fA-F]+)", line)
            if not m:
                continue
            t = re.search(r'Text=L"((?:[^"\\]|\\.)*)"', line)
            s = re.search(r"State=([^,]*),", line)
            marks = []
            if s and "grey" in s.group(1):
                marks.append("grey")
            if s and "check" in s.group(1):
                marks.append("checked")
            item = (int(m.group(1), 16), t.group(1) if t else "", marks)
            if any(i[0] == item[0] for i in menus[-1][0]):
                measuring = False  # measured again: the first pass is complete
            else:
                menus[-1][0].append(item)
            continue
        m = re.search(r":exec_focused_item .* ID 0*([0-9a-fA-F]+) ", line)
        if m and menus and menus[-1][1] is None:
            # Traced for the focused item whether or not it is carried out: a greyed one posts no
            # command, and the menu closes without a choice (win32u's exec_focused_item).
            chosen = int(m.group(1), 16)
            greyed = any(i == chosen and "grey" in marks for i, _, marks in menus[-1][0])
            menus[-1][1] = "dismissed" if greyed else "picks %d" % chosen
    return menus


def wine_facts(wine_dir):
    facts = ["machine " + " ".join(l.split()) for l in read_lines(os.path.join(wine_dir, "machine.txt"))]
    n = 1
    menus = []
    cds = []
    ends = []
    while os.path.exists(os.path.join(wine_dir, "start-%d.log" % n)):
        log = read_lines(os.path.join(wine_dir, "start-%d.log" % n))
        for line in log:
            m = re.search(r':OutputDebugStringA "(.*)"$', line)
            if m:
                facts.append(trace_fact(n, m.group(1)))
        menus += [[n] + menu for menu in wine_menus(log)]
        cds += wine_cds(n, log)
        end = read_lines(os.path.join(wine_dir, "start-%d.end" % n))
        ends.append("exit %d %s" % (n, end[0]) if end and end[0] != "running" else "running %d" % n)
        n += 1
    for start, items, end in menus:
        facts += menu_facts(start, items, end)
    facts += cds + ends
    dumps = sorted(int(f[5:-4]) for f in os.listdir(wine_dir) if re.match(r"^dump-\d+\.txt$", f))
    facts += wine_dumps(wine_dir, [str(k) for k in dumps] + ["final"])
    key = None
    for line in read_lines(os.path.join(wine_dir, "profile.txt")):
        if line.startswith("HKEY_CURRENT_USER\\"):
            key = "HKCU\\" + line[len("HKEY_CURRENT_USER\\"):]
            continue
        m = re.match(r"^    (.*?)    (REG_DWORD|REG_SZ)    ?(.*)$", line)
        if m and key:
            value = "dword %d" % int(m.group(3), 16) if m.group(2) == "REG_DWORD" else 'sz "%s"' % m.group(3)
            facts.append(reg_fact(key, m.group(1), value))
    return in_order(facts)


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="latin-1") as f:
        return [l.rstrip("\r\n") for l in f]


# ---- the comparison ------------------------------------------------------------------------------------

def hunks(sim, wine):
    """The differences: for each hunk of the diff, its lines as "-FACT" (simulator) and "+FACT" (Wine)."""
    out = []
    for group in difflib.SequenceMatcher(a=sim, b=wine, autojunk=False).get_grouped_opcodes(0):
        lines = []
        for tag, i1, i2, j1, j2 in group:
            if tag != "equal":
                lines += ["-" + f for f in sim[i1:i2]] + ["+" + f for f in wine[j1:j2]]
        if lines:
            out.append(lines)
    return out


def known_differences(doc):
    """{scenario: [hunk lines]} from the doc's ```known blocks."""
    known = {}
    block = None
    for line in read_lines(doc):
        if block is None:
            if line.strip() == "```known":
                block = []
            continue
        if line.strip() == "```":
            if block:
                known.setdefault(block[0].strip(), []).append(block[1:])
            block = None
            continue
        block.append(line[:1] + line[1:].strip() if line[:1] in "-+" else line)
    return known


def compare(scenario, sim_output, wine_dir, doc):
    return report(os.path.basename(scenario), sim_facts(scenario, sim_output), wine_facts(wine_dir), doc)


def report(name, sim, wine, doc):
    """Prints the differences of the two lists of facts and the verdict; 0 unless one is not known."""
    differences = hunks(sim, wine)
    known = known_differences(doc).get(name, [])
    unknown = 0
    for lines in differences:
        is_known = lines in known
        unknown += not is_known
        print("  %s difference:" % ("known" if is_known else "NEW"))
        for line in lines:
            print("    %s %s" % ("sim " if line[0] == "-" else "wine", line[1:]))
    for lines in known:
        if lines not in differences:
            print("  note: a known difference did not show: " + " | ".join(lines))
    if not differences:
        print("agree")
    else:
        print("differ (known)" if unknown == 0 else "differ")
    return 0 if unknown == 0 else 1


def plan(scenario, sim_output):
    """The replay: the profile first, then each event as the Wine checks' helpers can carry it out. One
    step a line, its fields separated by tabs; a start's command line is its last field."""
    machine, profile, events = read_scenario(scenario)
    menus = sim_menus(open(sim_output).read().splitlines())
    steps = [("reg", key, name, str(value)) for key, name, value in profile]
    if any(kind in ("shell-restart", "tray-click", "menu") for kind, _ in events):
        steps.append(("taskbar",))
    steps.append(("machine",))
    menu_no = 0
    dumps = 0
    for kind, words in events:
        if kind == "start":
            args = " ".join(words)
            steps.append(("start", "ends-resident" if args.lower() in ENDING_VERBS else "-", args))
        elif kind == "shell-restart":
            steps.append(("taskbar-created",))
        elif kind == "tray-click" and words == ["move"]:
            steps.append(("on-icon",))
        elif kind == "tray-click" and words in (["right"], ["left"]):
            steps.append(("click", words[0]))
        elif kind == "menu" and words == ["dismiss"]:
            steps.append(("keys", "escape"))
            menu_no += 1
        elif kind == "menu" and words[0] == "pick" and len(words) == 2 and menu_no < len(menus):
            # Wine's menus move the highlight over every item but separators, greyed ones included; the
            # first Down lands on the first item.
            items = [text for _, text, _ in menus[menu_no][1]]
            if words[1] not in items:
                raise SystemExit("%s: the simulator's menu has no item %s" % (scenario, words[1]))
            steps.append(("keys", " ".join(["down"] * (items.index(words[1]) + 1) + ["return"])))
            menu_no += 1
        elif kind == "dump":
            dumps += 1
            steps.append(("dump", str(dumps)))
        else:
            raise SystemExit("%s: no Wine counterpart for the event: %s %s" % (scenario, kind, " ".join(words)))
    steps.append(("dump", "final"))
    for step in steps:
        print("\t".join(step))
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "plan":
        return plan(argv[2], argv[3])
    if len(argv) == 6 and argv[1] == "compare":
        return compare(*argv[2:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
