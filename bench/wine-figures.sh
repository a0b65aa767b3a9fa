#!/usr/bin/env bash
# The benchmark's figures that only a real Windows can give, read under Wine on a virtual X server:
# the private bytes and working set of duodesk.exe and of the minimal tray program after start-up, after
# 10 and after 100 openings of the tray menu, and the CPU time each takes in 60 s of idle.
#
#   usage: bench/wine-figures.sh WIN32_DIR WIN64_DIR OUT_FILE   (each folder holds duodesk.exe,
#                                                                mini-tray.exe and tray-probe.exe)
#
# The i686 build is measured where 32-bit Wine runs, else the x86_64 one (the run says so). OUT_FILE gets
# one line per figure, "WHO FIGURE VALUE" (WHO: duodesk or mini; FIGURE: private-start, ws-start,
# private-10, private-100, ws-100, cpu-idle-ms), and "note arch 32|64"; scripts/bench.py reads it. Each
# program runs in a fresh prefix that is deleted afterwards; every Wine call is bounded.
set -uo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
(($# == 3)) || { echo "usage: $0 WIN32_DIR WIN64_DIR OUT_FILE" >&2; exit 2; }
WIN32_DIR=$(realpath "$1")
WIN64_DIR=$(realpath "$2")
OUT=$(realpath -m "$3")

# shellcheck source=tests/wine/wine-lib.sh
source "$REPO_ROOT/tests/wine/wine-lib.sh"
in_virtual_x 900 "${BASH_SOURCE[0]}" "$WIN32_DIR" "$WIN64_DIR" "$OUT"
begin_run

# cpu_ms EXE: the CPU time (user + system) the Linux process that runs EXE has used so far. Read from
# /proc rather than with GetProcessTimes, whose answer under Wine drops the time of threads that have
# ended and so can go down.
cpu_ms() {
    local pid stat ticks
    for pid in $(pgrep -f -- "$1"); do
        [[ $(cat "/proc/$pid/comm" 2>/dev/null) == timeout ]] && continue
        stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
        read -r -a ticks <<<"${stat##*) }"
        echo $(((ticks[11] + ticks[12]) * 1000 / $(getconf CLK_TCK)))
        return 0
    done
    return 1
}

# read_memory WHO TITLE: the private bytes and working set of the window's process, in MEM_PRIVATE and
# MEM_WS.
read_memory() {
    probe memory memory "$2"
    [[ $PROBE_OUT =~ ^private\ ([0-9]+)\ ws\ ([0-9]+)$ ]] || { echo "$1: $PROBE_OUT" >&2; return 1; }
    MEM_PRIVATE=${BASH_REMATCH[1]}
    MEM_WS=${BASH_REMATCH[2]}
}

# figures WHO EXE TITLE: one program's figures, appended to OUT.
figures() {
    local who=$1 exe=$2 title=$3 cpu0 cpu1
    new_prefix || { echo "$who: wineboot failed" >&2; return 1; }
    # A virtual desktop with a taskbar, as the tray checks use: the menu opens as it does on Windows.
    reg_set 'HKCU\Software\Wine\Explorer' Desktop REG_SZ bench &&
        reg_set 'HKCU\Software\Wine\Explorer\Desktops' bench REG_SZ "$SCREEN_SIZE" &&
        probe taskbar taskbar "$T_SHOW" || { echo "$who: no taskbar: $PROBE_OUT" >&2; return 1; }
    start_resident "$WORK/$who.log" "$exe"
    probe window wait-window "$title" "$T_SHOW"
    ((RC == 0)) || { echo "$who: $PROBE_OUT" >&2; return 1; }
    sleep 3 # the start-up timer and whatever it starts are over
    read_memory "$who" "$title" || return 1
    echo "$who private-start $MEM_PRIVATE" >>"$OUT"
    echo "$who ws-start $MEM_WS" >>"$OUT"
    probe menus menus "$title" "$TRAY_ICON_ID" 10 && read_memory "$who" "$title" || return 1
    echo "$who private-10 $MEM_PRIVATE" >>"$OUT"
    probe menus menus "$title" "$TRAY_ICON_ID" 90 && read_memory "$who" "$title" || return 1
    echo "$who private-100 $MEM_PRIVATE" >>"$OUT"
    echo "$who ws-100 $MEM_WS" >>"$OUT"
    cpu0=$(cpu_ms "$exe") || { echo "$who: no Linux process for $exe" >&2; return 1; }
    sleep 60
    cpu1=$(cpu_ms "$exe") || { echo "$who: no Linux process for $exe" >&2; return 1; }
    echo "$who cpu-idle-ms $((cpu1 - cpu0))" >>"$OUT"
    end_prefix
}

# 32-bit Wine where it runs (its loader is itself a 32-bit Linux program), else 64-bit.
if timeout 10 "$WINE32_LOADER" --version >/dev/null 2>&1; then
    use_arch 32
else
    note "32-bit Wine cannot run here; the Wine figures are of the x86_64 executables"
    use_arch 64
fi
: >"$OUT"
echo "note arch $ARCH" >>"$OUT"
# mini-tray's icon has the same id as duodesk's, and its callback the same registered message.
figures duodesk "$EXE_DIR/duodesk.exe" "$MAIN_TITLE" && figures mini "$EXE_DIR/mini-tray.exe" "Mini Tray"
