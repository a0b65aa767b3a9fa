#!/usr/bin/env bash
# The benchmark's figures that only a real Windows can give, read under Wine on a virtual X server:
# the private bytes and working set of duodesk.exe and of the minimal tray program after start-up, after
# 10 and after 100 openings of the tray menu, and the CPU time each takes in 60 s of idle.
#
#   usage: bench/wine-figures.sh EXE_DIR OUT_FILE     (EXE_DIR holds duodesk.exe, mini-tray.exe and
#                                                      tray-probe.exe, of one architecture)
#
# OUT_FILE gets one line per figure, "WHO FIGURE VALUE" (WHO: duodesk or mini; FIGURE: private-start,
# ws-start, private-10, private-100, ws-100, cpu-idle-ms), and "note arch 32|64". scripts/bench.py reads
# it. Each program runs in a fresh prefix that is deleted afterwards; every Wine call is bounded.
set -uo pipefail

if [[ -z "${INNER:-}" ]]; then
    exec env INNER=1 timeout --kill-after=10 900 xvfb-run -a -s "-screen 0 1024x768x24" "$BASH" "$0" "$@"
fi
EXE_DIR=$(realpath "${1:?usage: $0 EXE_DIR OUT_FILE}")
OUT=$(realpath -m "${2:?usage: $0 EXE_DIR OUT_FILE}")

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if file -b "$EXE_DIR/duodesk.exe" | grep -q 'PE32+'; then
    ARCH=64 LOADER=/usr/lib/wine/wine64
    export WINEARCH=win64 WINELOADER=$LOADER
else
    ARCH=32 LOADER=/usr/lib/wine/wine
    export WINEARCH=win32
fi
WINESERVER_BIN=/usr/lib/wine/wineserver64
[[ -x $WINESERVER_BIN ]] || WINESERVER_BIN=$(command -v wineserver)

PREFIX=
cleanup() {
    [[ -n $PREFIX ]] || return 0
    WINEPREFIX=$PREFIX timeout 30 "$WINESERVER_BIN" -k >/dev/null 2>&1
    WINEPREFIX=$PREFIX timeout 30 "$WINESERVER_BIN" -w >/dev/null 2>&1
    rm -rf "$PREFIX"
    PREFIX=
}
trap cleanup EXIT

wine_run() { timeout --kill-after=5 60 "$LOADER" "$@" 2>/dev/null | tr -d '\r'; }
probe() { wine_run "$EXE_DIR/tray-probe.exe" "$@"; }

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

# figures WHO EXE TITLE: one program's figures, appended to OUT.
figures() {
    local who=$1 exe=$2 title=$3 line
    PREFIX=$(mktemp -d -t duodesk-bench.XXXXXX)
    export WINEPREFIX=$PREFIX
    timeout --kill-after=10 180 "$LOADER" wineboot -i >/dev/null 2>&1 || { echo "$who: wineboot failed" >&2; return 1; }
    # A virtual desktop with a taskbar, as the tray checks use: the menu opens as it does on Windows.
    wine_run reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d bench /f >/dev/null
    wine_run reg add 'HKCU\Software\Wine\Explorer\Desktops' /v bench /t REG_SZ /d 1024x768 /f >/dev/null
    probe taskbar 20 >/dev/null
    timeout --kill-after=5 600 "$LOADER" "$exe" >/dev/null 2>&1 &
    probe wait-window "$title" 20 >/dev/null || { echo "$who: no window \"$title\"" >&2; return 1; }
    sleep 3 # the start-up timer and whatever it starts are over
    read_memory() {
        line=$(probe memory "$title" | tail -n 1)
        [[ $line =~ ^private\ ([0-9]+)\ ws\ ([0-9]+)$ ]] || { echo "$who: $line" >&2; return 1; }
    }
    read_memory || return 1
    echo "$who private-start ${BASH_REMATCH[1]}" >>"$OUT"
    echo "$who ws-start ${BASH_REMATCH[2]}" >>"$OUT"
    probe menus "$title" 128 10 >/dev/null && read_memory || return 1
    echo "$who private-10 ${BASH_REMATCH[1]}" >>"$OUT"
    probe menus "$title" 128 90 >/dev/null && read_memory || return 1
    echo "$who private-100 ${BASH_REMATCH[1]}" >>"$OUT"
    echo "$who ws-100 ${BASH_REMATCH[2]}" >>"$OUT"
    local cpu0 cpu1
    cpu0=$(cpu_ms "$exe") || { echo "$who: no Linux process for $exe" >&2; return 1; }
    sleep 60
    cpu1=$(cpu_ms "$exe") || { echo "$who: no Linux process for $exe" >&2; return 1; }
    echo "$who cpu-idle-ms $((cpu1 - cpu0))" >>"$OUT"
    cleanup
}

: >"$OUT"
echo "note arch $ARCH" >>"$OUT"
figures duodesk "$EXE_DIR/duodesk.exe" "KIVA 7300" && figures mini "$EXE_DIR/mini-tray.exe" "Mini Tray"
