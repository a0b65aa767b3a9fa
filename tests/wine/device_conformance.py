#!/usr/bin/env python3
"""The device channel on the simulator held against Wine with the test bus driver (device-channel.sh).

    device_conformance.py SCENARIO SIM_OUTPUT WINE_DIR KNOWN_DOC

Both runs of one story are reduced to the same facts, up to where the display work begins (Wine's one
virtual display has no adapter display device): the program's traces up to and with "load ini", with
handles masked, and the driver's readiness requests, up to the first request of another kind, as the
simulator's dump writes them:

    trace 1 "TEXT"
    driver IOCTL_DEV_READY in - out 0 ok

WINE_DIR holds start-1.log (the program's +debugstr output) and driver.txt (the test driver's log). The
differences, the verdict line and the exit status are those of conformance.py's report, with the known differences
of KNOWN_DOC.
"""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import conformance  # noqa: E402

# Where the display work begins: the settings are loaded, then the adapter's display devices looked up.
DISPLAY_WORK = "load ini\\n"
# The requests of the bring-up before the display work: the readiness polls.
READINESS = ("IOCTL_DEV_READY ", "IOCTL_MIR_DEV_READY ")
# The handle value of the plug-in trace differs from run to run.
HANDLE = re.compile(r'(create file handle = )-?\d+')


def fact(raw):
    return HANDLE.sub(r"\g<1><handle>", conformance.trace_fact(1, raw))


def traces(texts):
    facts = []
    for text in texts:
        facts.append(fact(text))
        if text == DISPLAY_WORK:
            break
    return facts


def readiness(requests):
    facts = []
    for request in requests:
        if not request.startswith(READINESS):
            break
        facts.append("driver " + request)
    return facts


def sim_facts(sim_output):
    lines = conformance.read_lines(sim_output)
    return traces(m.group(1) for m in (re.match(r'^trace \d+ \d+ "(.*)"$', l) for l in lines) if m) + \
        readiness(m.group(1) for m in (re.match(r"^driver \d+ \d+ (.*)$", l) for l in lines) if m)


def wine_facts(wine_dir):
    log = conformance.read_lines(os.path.join(wine_dir, "start-1.log"))
    driver = conformance.read_lines(os.path.join(wine_dir, "driver.txt"))
    return traces(m.group(1) for m in (re.search(r':OutputDebugStringA "(.*)"$', l) for l in log) if m) + \
        readiness(m.group(1) for m in (re.match(r"^driver \S+ (.*)$", l) for l in driver) if m)


def main(argv):
    if len(argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    scenario, sim_output, wine_dir, doc = argv[1:]
    return conformance.report(os.path.basename(scenario), sim_facts(sim_output), wine_facts(wine_dir), doc)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
