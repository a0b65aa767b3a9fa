#!/usr/bin/env bash
# The device channel under Wine, for real: the x86_64 duodesk.exe finds, opens, drives and loses a USB
# device interface that Wine's Plug and Play manager reports. The test bus driver of tests/wine/testdrv
# stands in for the adapter's driver: testbus-ctl.exe installs it from its INF in a fresh prefix and tells
# the bus to report a child with a USB id, or to drop it, and reads back the driver's log of every open,
# close and request. The stories:
#
#   form        what an ANSI window registered with RegisterDeviceNotificationA gets for an arrival: the
#               ANSI record, as on Windows, or the wide one (Wine 8.0); the stories below that depend on
#               the program reading the record are carried out only where it gets the ANSI one, and noted
#   start-up    the adapter present at start: the interface is found and opened after the composition
#               wait, the readiness requests are answered and traced, and the icon appears
#   unplug      the removal reaches the window; the handle is closed and the icon goes
#   plug-in     a plug-in while running: the arrival reaches the window, and the same bring-up follows
#               the 2000 ms timer
#   quick       an unplug before the arrival timer: the next plug-in brings the adapter up
#   two         duodesk.exe and duodeskb.exe side by side, both ids plugged: each opens only its own
#
# Wine's one virtual display has no adapter display device, so each story stops where the display work
# begins: the bring-up ends at "can't get extended display device". The start-up and plug-in stories are
# also run on the simulator (tests/conformance/device/*.scn) and compared with the Wine runs: the traces
# up to the display work, with handles masked, and the driver requests (tests/wine/device_conformance.py,
# known differences in docs/winsim-conformance.md). The last lines are "N agree, N differ (N known)" and
# "N passed, N failed".
#
#   usage: tests/wine/device-channel.sh [--sim DIR] [--win64 DIR] [--keep DIR]
#          (defaults: build/sim and build/win64 of the repository; --keep copies the logs there)
#
# One fresh prefix for the run, deleted at the end with its wineserver; every Wine call and wait is
# bounded, and the whole run is under one more timeout.
set -uo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SIM_DIR=$REPO_ROOT/build/sim
WIN64_DIR=$REPO_ROOT/build/win64
KEEP=
while (($#)); do
    case "$1" in
    --sim) SIM_DIR=$(realpath -m -- "$2"); shift 2 ;;
    --win64) WIN64_DIR=$(realpath -m -- "$2"); shift 2 ;;
    --keep) KEEP=$(realpath -m -- "$2"); shift 2 ;;
    *) echo "usage: $0 [--sim DIR] [--win64 DIR] [--keep DIR]" >&2; exit 2 ;;
    esac
done
WIN32_DIR=$WIN64_DIR # only the 64-bit build runs here: the test driver is an x86_64 driver

T_ALL=400          # the whole script
T_BRINGUP=30       # from a start or a plug-in to the end of the bring-up: 1 s + 2 s + the polls
T_NOTICE=10        # a plug or unplug reaching the window

# shellcheck source=tests/wine/wine-lib.sh
source "$REPO_ROOT/tests/wine/wine-lib.sh"
in_virtual_x "$T_ALL" "${BASH_SOURCE[0]}" --sim "$SIM_DIR" --win64 "$WIN64_DIR" ${KEEP:+--keep "$KEEP"}
begin_run

DRV_DIR=$WIN64_DIR/tests/wine/testdrv
CTL=$DRV_DIR/testbus-ctl.exe
ID_A='vid_5a1e&pid_7300'
ID_B='vid_5a1e&pid_7304'
# What each resident program's log gets: its traces with the time, and the messages its windows get.
RESIDENT_DEBUG=-all,+debugstr,+timestamp,+message
BRINGUP_END="can't get extended display device\\n"
AGREE=0 DIFFER=0 KNOWN=0
RESIDENT_LOG=/dev/null

ctl() { # NAME ARGS...: runs testbus-ctl.exe; RC and CTL_OUT (its output) as probe sets them
    local log=$WORK/ctl-$1.log
    shift
    run_quick "$log" "$CTL" "$@"
    CTL_OUT=$(tr -d '\r' <"$log")
}

# driver_log FILE: the driver's log so far into FILE; LOG_MARK is the line count at a story's start.
driver_log() {
    ctl log log
    printf '%s\n' "$CTL_OUT" >"$1"
}
mark_log() {
    driver_log "$WORK/driver-mark.txt"
    LOG_MARK=$(wc -l <"$WORK/driver-mark.txt")
}
# log_since FILE: the lines the driver logged since the mark.
log_since() {
    driver_log "$WORK/driver-now.txt"
    tail -n +"$((LOG_MARK + 1))" "$WORK/driver-now.txt" >"$1"
}

# start_program LOG EXE: starts a resident program with RESIDENT_DEBUG; its pid in RESIDENT_PID.
start_program() {
    WINEDEBUG=$RESIDENT_DEBUG start_resident "$1" "$2"
    RESIDENT_PID=$BG_PID RESIDENT_LOG=$1
}

# notified LOG WPARAM: true when the main window got WM_DEVICECHANGE with that event (Wine's +message
# trace: ... L"KIVA 7300" [0219] WM_DEVICECHANGE sent from tid 0138 wp=00008000 lp=...).
notified() { grep -aq "L\"$MAIN_TITLE\" *\[0219\] WM_DEVICECHANGE sent .* wp=$2 " "$1"; }
wait_notified() { wait_until "$T_NOTICE" notified "$1" "$2"; }
# wait_for SECONDS LOG TEXT: waits until the log has the trace TEXT.
wait_for() { wait_until "$1" traced "$2" "$3"; }

# stop_program PID EXE: ends the resident program EXE (started as PID) at once, with Wine's taskkill.
# "Close" would first poll a lost driver 42 times.
stop_program() {
    run_quick "$WORK/taskkill.log" taskkill /f /im "$2"
    wait_gone "$1" "$T_CLOSE" || kill "$1" 2>/dev/null
}

# trace_prefix_time LOG TEXT: the time, in milliseconds, of the first trace that starts with TEXT.
trace_prefix_time() {
    local line
    line=$(grep -aF -m 1 -- "OutputDebugStringA \"$2" "$1") || return 1
    [[ $line =~ ^([0-9]+)\.([0-9]{3}): ]] || return 1
    echo $((10#${BASH_REMATCH[1]} * 1000 + 10#${BASH_REMATCH[2]}))
}
trace_time() { trace_prefix_time "$1" "$2\""; }

# traced_times N LOG TEXT: true when at least N traces start with TEXT.
traced_times() { (($(grep -acF -- "OutputDebugStringA \"$3" "$2") >= $1)); }

verdict() { # STATUS NAME DETAIL...
    local status=$1 name=$2
    shift 2
    if ((status == 0)); then pass "$name"; else
        fail "$name" "$@"
        show_log "$RESIDENT_LOG"
    fi
    return "$status"
}

# ---- the machine --------------------------------------------------------------------------------------
setup() {
    use_arch 64
    local missing=() file
    for file in "$EXE_DIR/duodesk.exe" "$EXE_DIR/duodeskb.exe" "$EXE_DIR/tray-probe.exe" "$CTL" \
        "$DRV_DIR/duodesk-testbus.sys" "$DRV_DIR/testbus.inf"; do
        [[ -f $file ]] || missing+=("$file")
    done
    verdict_list "setup: the x86_64 executables, the test driver and its INF exist" "missing:" || return 1
    fresh_prefix "setup" || return 1
    # A virtual desktop with a taskbar, whose notification area shows the icon.
    if ! reg_set 'HKCU\Software\Wine\Explorer' Desktop REG_SZ device ||
        ! reg_set 'HKCU\Software\Wine\Explorer\Desktops' device REG_SZ "$SCREEN_SIZE"; then
        fail "setup: a virtual desktop set with reg add"
        return 1
    fi
    # Wine's Plug and Play manager, brought up for the first time by wineboot in a new prefix, does not
    # start a driver installed while that first session is still on (the install succeeds, the bus device
    # never appears); in a session started afterwards it does at once.
    timeout 30 "$WINESERVER_BIN" -k >/dev/null 2>&1
    timeout 30 "$WINESERVER_BIN" -w >/dev/null 2>&1
    # The driver and its INF in a folder of their own, which the INF's source disk names.
    mkdir -p "$WORK/driver"
    cp "$DRV_DIR/duodesk-testbus.sys" "$DRV_DIR/testbus.inf" "$WORK/driver/"
    local inf="Z:${WORK//\//\\}\\driver\\testbus.inf" start=$SECONDS
    ctl install install "$inf" "$T_QUICK"
    verdict "$RC" "setup: the test bus driver installs from its INF and its bus device opens ($((SECONDS - start))s)" \
        "$CTL_OUT" || return 1
    probe taskbar taskbar "$T_SHOW"
    verdict "$RC" "setup: Wine's virtual desktop has a taskbar" "$PROBE_OUT"
}

verdict_list() {
    if ((${#missing[@]} == 0)); then pass "$1"; else fail "$1" "$2" "${missing[@]/#/  }"; return 1; fi
}

# ---- form: the record an ANSI registration gets ---------------------------------------------------------
check_form() {
    echo "# form: the arrival record of a RegisterDeviceNotificationA registration"
    ctl form watch-plug 'vid_0000&pid_0001' "$T_NOTICE"
    FORM=unknown
    [[ $CTL_OUT =~ ^arrival\ (ansi|wide)\  ]] && FORM=${BASH_REMATCH[1]}
    verdict "$RC" "form: a window registered with RegisterDeviceNotificationA gets the arrival ($FORM record)" \
        "$CTL_OUT"
    [[ $FORM == wide ]] && note "Wine sends the wide record to an ANSI registration: the program cannot read the" \
        "path, so the plug-in, unplug and quick stories stop at the notification (docs/winsim-conformance.md)"
    ctl form-unplug unplug 'vid_0000&pid_0001'
    ctl form-gone interface 'vid_0000&pid_0001' gone "$T_NOTICE"
}

# ---- start-up with the adapter present, then its unplug --------------------------------------------------
check_startup() {
    echo "# start-up: the adapter present at start (ready after 2 polls, the mirror after 1)"
    mark_log
    ctl ready ready 2 1
    ctl plug plug "$ID_A"
    ctl iface interface "$ID_A" present "$T_NOTICE"
    verdict "$RC" "start-up: the child $ID_A is reported and its USB interface is present: $CTL_OUT" || return
    local log=$WORK/startup.log
    start_program "$log" "$EXE_DIR/duodesk.exe"
    wait_for "$T_BRINGUP" "$log" "$BRINGUP_END"
    verdict $? "start-up: the bring-up runs to the display work (\"can't get extended display device\")" || return
    log_since "$WORK/startup-driver.txt"
    traced "$log" 'STARTUP_TIMER\n' 'got  device\n' 'Device arrival\n' 'DZTK: WaitDevReady ... 1\n' \
        'DZTK: WaitDevReady ... 2\n' 'DZTK: WaitMirDevReady ... 1\n' 'load ini\n'
    verdict $? "start-up: traced the timer, \"got  device\", \"Device arrival\", two device polls, one mirror poll"
    local t_timer t_open
    t_timer=$(trace_time "$log" 'STARTUP_TIMER\n') && t_open=$(trace_time "$log" 'got  device\n')
    ((t_open - t_timer >= 2000))
    verdict $? "start-up: opened after the composition wait ($((t_open - t_timer)) ms after the timer)"
    local got want="open $ID_A|driver $ID_A IOCTL_DEV_READY in - out 0 ok|driver $ID_A IOCTL_DEV_READY in - out 0 ok|driver $ID_A IOCTL_DEV_READY in - out 1 ok|driver $ID_A IOCTL_MIR_DEV_READY in - out 0 ok|driver $ID_A IOCTL_MIR_DEV_READY in - out 1 ok"
    got=$(grep -v '^\(plug\|start\) ' "$WORK/startup-driver.txt" | paste -sd '|')
    [[ $got == "$want" ]]
    verdict $? "start-up: the driver got the open, then three device and two mirror polls" "got:  $got" "want: $want"
    probe icon icon "$MAIN_TITLE" "$TRAY_ICON_ID"
    verdict "$RC" "start-up: the icon $TRAY_ICON_ID of \"$MAIN_TITLE\" is in the notification area" "$PROBE_OUT"
    cp "$WORK/startup-driver.txt" "$WORK/startup-requests.txt"

    echo "# unplug: the adapter pulled while the program holds it"
    mark_log
    ctl unplug unplug "$ID_A"
    wait_notified "$log" 00008004
    verdict $? "unplug: DBT_DEVICEREMOVECOMPLETE reaches \"$MAIN_TITLE\""
    if [[ $FORM == ansi ]]; then
        wait_for "$T_NOTICE" "$log" 'Remove device and Close handle\n'
        verdict $? "unplug: traced \"Remove device and Close handle\""
        log_since "$WORK/unplug-driver.txt"
        grep -qxF "close $ID_A" "$WORK/unplug-driver.txt"
        verdict $? "unplug: the driver sees the handle closed" "$(paste -sd '|' "$WORK/unplug-driver.txt")"
        probe icon icon "$MAIN_TITLE" "$TRAY_ICON_ID"
        ((RC == 1))
        verdict $? "unplug: the icon is gone from the notification area" "$PROBE_OUT"
    else
        sleep 2
        log_since "$WORK/unplug-driver.txt"
        ! traced "$log" 'Remove device \n' && ! grep -qxF "close $ID_A" "$WORK/unplug-driver.txt"
        verdict $? "unplug: with the wide record the program keeps its handle, as it must with a record it cannot read"
        note "unplug: the handle close and the icon's going are not reachable under this Wine (no handle notification, wide record)"
    fi
    stop_program "$RESIDENT_PID" duodesk.exe
}

# ---- a plug-in while running, and a quick unplug -------------------------------------------------------
check_plugin() {
    echo "# plug-in: the adapter plugged in while the program runs"
    mark_log
    ctl ready ready 0 0
    local log=$WORK/plugin.log
    start_program "$log" "$EXE_DIR/duodesk.exe"
    wait_for "$T_SHOW" "$log" 'STARTUP_TIMER\n'
    verdict $? "plug-in: the program runs its start-up timer with no adapter" || return
    sleep 1 # the look on the timer is over once it has traced; nothing more to wait on
    ctl plug plug "$ID_A"
    wait_notified "$log" 00008000
    verdict $? "plug-in: DBT_DEVICEARRIVAL reaches \"$MAIN_TITLE\""
    if [[ $FORM == ansi ]]; then
        wait_for "$T_BRINGUP" "$log" "$BRINGUP_END"
        local t_plug t_arrival
        t_plug=$(trace_prefix_time "$log" "Device $ID_A was plug-in and create file handle = ")
        t_arrival=$(trace_time "$log" 'Device arrival\n')
        traced "$log" 'Device arrival\n' 'load ini\n' && ((t_arrival - t_plug >= 2000))
        verdict $? "plug-in: \"Device arrival\" follows the plug-in trace after the 2000 ms timer"
        probe icon icon "$MAIN_TITLE" "$TRAY_ICON_ID"
        verdict "$RC" "plug-in: the icon is in the notification area" "$PROBE_OUT"
    else
        sleep 5 # the composition wait and the arrival timer, had the program read the record
        ! traced "$log" 'Device arrival\n'
        verdict $? "plug-in: with the wide record the program opens nothing (the path does not match)"
        note "plug-in: the bring-up after the arrival timer is not reachable under this Wine (wide record)"
    fi
    log_since "$WORK/plugin-driver.txt"
    cp "$log" "$WORK/plugin-trace.log"
    ctl unplug unplug "$ID_A"
    ctl gone interface "$ID_A" gone "$T_NOTICE"

    if [[ $FORM == ansi ]] && wait_until "$T_NOTICE" traced_times 1 "$log" 'Remove device and Close handle\n"'; then
        echo "# quick: an unplug before the arrival timer, then a plug-in"
        # The plug-in story has traced one plug-in, one bring-up and one removal so far.
        ctl plug2 plug "$ID_A"
        wait_until "$T_NOTICE" traced_times 2 "$log" "Device $ID_A was plug-in and create file handle = "
        ctl unplug2 unplug "$ID_A"
        wait_until "$T_NOTICE" traced_times 2 "$log" 'Remove device and Close handle\n"'
        ctl plug3 plug "$ID_A"
        wait_until "$T_BRINGUP" traced_times 2 "$log" 'load ini\n"'
        verdict $? "quick: after an unplug before the arrival timer, the next plug-in brings the adapter up"
        ctl unplug3 unplug "$ID_A"
    else
        note "quick: not reachable under this Wine (the arrival is not acted on)"
    fi
    stop_program "$RESIDENT_PID" duodesk.exe
}

# ---- two deliverables side by side ----------------------------------------------------------------------
check_two() {
    echo "# two: duodesk.exe and duodeskb.exe, both adapters plugged in"
    ctl ready ready 0 0
    ctl plug-a plug "$ID_A"
    ctl plug-b plug "$ID_B"
    ctl iface-b interface "$ID_B" present "$T_NOTICE"
    mark_log
    local log_a=$WORK/two-a.log log_b=$WORK/two-b.log pid_a
    start_program "$log_a" "$EXE_DIR/duodesk.exe"
    pid_a=$RESIDENT_PID
    start_program "$log_b" "$EXE_DIR/duodeskb.exe"
    wait_for "$T_BRINGUP" "$log_a" "$BRINGUP_END" && wait_for "$T_BRINGUP" "$log_b" "$BRINGUP_END"
    verdict $? "two: both bring-ups run to the display work"
    log_since "$WORK/two-driver.txt"
    local opens
    opens=$(grep '^open ' "$WORK/two-driver.txt" | sort | paste -sd '|')
    [[ $opens == "open $ID_A|open $ID_B" ]]
    verdict $? "two: each id is opened once (one by each program)" "opens: $opens"
    [[ $(grep -c "^driver $ID_A IOCTL_DEV_READY" "$WORK/two-driver.txt") -ge 1 &&
        $(grep -c "^driver $ID_B IOCTL_DEV_READY" "$WORK/two-driver.txt") -ge 1 ]]
    verdict $? "two: each adapter is polled" "$(paste -sd '|' "$WORK/two-driver.txt")"
    stop_program "$pid_a" duodesk.exe
    stop_program "$RESIDENT_PID" duodeskb.exe
}

# ---- the same stories on the simulator -------------------------------------------------------------------
# compare NAME TRACE_LOG DRIVER_LOG: runs tests/conformance/device/NAME.scn on the simulator and compares
# it with the Wine run.
compare() {
    local scn=$REPO_ROOT/tests/conformance/device/$1.scn out=$WORK/conformance-$1
    mkdir -p "$out"
    cp "$2" "$out/start-1.log"
    echo running >"$out/start-1.end"
    cp "$3" "$out/driver.txt"
    if ! timeout 60 "$SIM_DIR/duodesk-sim" "$scn" >"$out/sim.txt" 2>"$out/sim.err"; then
        fail "$1: duodesk-sim runs the scenario" "$(head -n 3 "$out/sim.err")"
        return
    fi
    python3 "$REPO_ROOT/tests/wine/device_conformance.py" "$scn" "$out/sim.txt" "$out" \
        "$REPO_ROOT/docs/winsim-conformance.md" >"$out/compare.txt" 2>&1
    local status=$? result
    result=$(tail -n 1 "$out/compare.txt")
    sed '$d' "$out/compare.txt"
    case $result in
    agree) AGREE=$((AGREE + 1)) ;;
    "differ (known)") DIFFER=$((DIFFER + 1)) KNOWN=$((KNOWN + 1)) ;;
    *) DIFFER=$((DIFFER + 1)) ;;
    esac
    verdict "$status" "$1: the simulator and Wine $result"
}

STAGE_START=$SECONDS
FORM=unknown
if setup; then
    check_form
    check_startup
    check_plugin
    check_two
    if [[ -x $SIM_DIR/duodesk-sim ]]; then
        echo "# the same stories on the simulator"
        [[ -f $WORK/startup-requests.txt ]] && compare device-startup "$WORK/startup.log" "$WORK/startup-requests.txt"
        [[ -f $WORK/plugin-driver.txt ]] && compare device-plugin "$WORK/plugin-trace.log" "$WORK/plugin-driver.txt"
    else
        fail "conformance: $SIM_DIR/duodesk-sim exists"
    fi
fi
[[ -z $KEEP ]] || { mkdir -p "$KEEP" && cp -r "$WORK"/. "$KEEP/"; }
end_prefix
echo "$AGREE agree, $DIFFER differ ($KNOWN known) in $((SECONDS - STAGE_START))s"
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
