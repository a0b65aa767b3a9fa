#!/usr/bin/env bash
# The simulated Windows checked against Wine. Each scenario of tests/conformance needs no adapter; it is
# run on the simulator (duodesk-sim) and then replayed for real under Wine with the i686 duodesk.exe:
#
#   os, display         checked against the machine Wine presents (tray-probe.exe machine)
#   profile, regkey     set with reg add before the first start
#   start ARGS          the first start stays resident (the script waits for its start-up timer), or
#                       ends by itself (the "res" preset); a later start is a second instance, run to
#                       its end; after "Close" or "Uninstall" the resident instance must end
#   shell-restart       tray-probe.exe broadcasts "TaskbarCreated"
#   tray-click move     the cursor goes onto the icon in the notification area of Wine's taskbar
#   tray-click right    a real right (left) click there; the script waits for the popup menu
#   (and left)
#   menu dismiss, pick  Escape, or Down to the item and Return, typed into the menu; the script waits
#                       for the menu to close
#   dump, and the end   tray-probe.exe's view of the displays' current and registry modes, and whether
#                       the program's icon is in the notification area
#
# Every program runs with WINEDEBUG=+debugstr,+menu,+system. conformance.py reduces both runs to the
# same facts (the traces of each start with handles masked, its menus, its ChangeDisplaySettingsExA
# calls and how it ended, the displays at each dump, the profile under HKCU\Software\Kiva Dongle) and
# compares them; docs/winsim-conformance.md lists the known differences and why they are there. The last lines are "N agree, N differ (N known)" and "N passed, N failed":
# a scenario that agrees, or whose every difference is known, passes.
#
#   usage: tests/wine/conformance.sh [--sim DIR] [--win32 DIR] [--win64 DIR] [--keep DIR] [SCENARIO...]
#          (defaults: build/sim, build/win32 and build/win64 of the repository; every scenario of
#          tests/conformance; --keep copies each scenario's outputs, logs and facts to DIR/<name>)
#
# One prefix is made for the whole run. Its registry files are kept once it is initialised and put back
# before each scenario, with its wineserver down, so that each scenario starts on the same fresh machine
# in a second instead of the quarter of a minute a new prefix takes. Every Wine call and wait is
# bounded; the prefix and its server go at the end, however the run ends.
set -uo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SIM_DIR=$REPO_ROOT/build/sim
WIN32_DIR=$REPO_ROOT/build/win32
WIN64_DIR=$REPO_ROOT/build/win64
KEEP=
SCENARIOS=()
while (($#)); do
    case "$1" in
    --keep) KEEP=$(realpath -m -- "$2"); shift 2 ;;
    --sim) SIM_DIR=$(realpath -m -- "$2"); shift 2 ;;
    --win32) WIN32_DIR=$(realpath -m -- "$2"); shift 2 ;;
    --win64) WIN64_DIR=$(realpath -m -- "$2"); shift 2 ;;
    -*) echo "usage: $0 [--sim DIR] [--win32 DIR] [--win64 DIR] [--keep DIR] [SCENARIO...]" >&2; exit 2 ;;
    *) SCENARIOS+=("$(realpath -- "$1")"); shift ;;
    esac
done
((${#SCENARIOS[@]})) || SCENARIOS=("$REPO_ROOT"/tests/conformance/*.scn)

T_ALL=600          # the whole script

# shellcheck source=tests/wine/wine-lib.sh
source "$REPO_ROOT/tests/wine/wine-lib.sh"
in_virtual_x "$T_ALL" "${BASH_SOURCE[0]}" --sim "$SIM_DIR" --win32 "$WIN32_DIR" --win64 "$WIN64_DIR" \
    ${KEEP:+--keep "$KEEP"} "${SCENARIOS[@]}"
begin_run

COMPARE=$REPO_ROOT/tests/wine/conformance.py
KNOWN_DOC=$REPO_ROOT/docs/winsim-conformance.md
AGREE=0
DIFFER=0
KNOWN=0

# The fresh machine: the prefix the 32-bit try leaves (or a 64-bit one), on a virtual desktop that
# fills the screen, so that Wine's explorer shows a taskbar with a notification area as on Windows, and
# without the try's profile. Its registry files are kept in $WORK/template.
make_template() {
    probe_i686 keep
    if [[ -z ${WINEPREFIX:-} ]] && ! fresh_prefix "conformance"; then
        return 1
    fi
    if ! reg_set 'HKCU\Software\Wine\Explorer' Desktop REG_SZ conformance ||
        ! reg_set 'HKCU\Software\Wine\Explorer\Desktops' conformance REG_SZ "$SCREEN_SIZE"; then
        fail "conformance: a virtual desktop set with reg add"
        return 1
    fi
    timeout --kill-after=5 "$T_QUICK" "$LOADER" reg delete 'HKCU\Software\Kiva Dongle' /f >/dev/null 2>&1
    stop_server
    mkdir -p "$WORK/template"
    cp "$WINEPREFIX"/*.reg "$WORK/template/"
}

# Ends every Windows program of the prefix and its server, and waits until the registry is on disk.
stop_server() {
    timeout 30 "$WINESERVER_BIN" -k >/dev/null 2>&1
    timeout 30 "$WINESERVER_BIN" -w >/dev/null 2>&1
}

# read_machine FILE: tray-probe's view of the version and the displays, in the scenario language.
read_machine() {
    probe machine machine
    tr -d '\r' <"$WORK/probe-machine.log" >"$1"
}

# replay PLAN OUT: carries out the steps of conformance.py's plan in the fresh machine; every start's
# debug output goes to OUT/start-N.log and how it ended (its exit status, or "running") to
# OUT/start-N.end, tray-probe's view of the machine to OUT/machine.txt and the profile to
# OUT/profile.txt. Returns non-zero, with a reason in REPLAY_ERROR, when a step could not be done.
replay() {
    local plan=$1 out=$2 step a b c n=0 resident='' resident_n=0 args
    REPLAY_ERROR=
    # Fields are separated by tabs; the last one may be empty or hold blanks (a command line).
    while IFS=$'\t' read -r step a b c; do
        case $step in
        reg) reg_set "$a" "$b" REG_DWORD "$c" || REPLAY_ERROR="reg add $a $b failed" ;;
        taskbar)
            # The taskbar comes first, as the shell does on Windows: the first program on a desktop
            # starts its explorer, which would otherwise keep duodesk's output and WINEDEBUG.
            probe taskbar taskbar "$T_SHOW"
            ((RC == 0)) || REPLAY_ERROR="no taskbar: $PROBE_OUT" ;;
        machine) read_machine "$out/machine.txt" ;;
        start)
            n=$((n + 1))
            # Wine joins the arguments with blanks into the command line; a text with blanks of its own
            # at either end goes as one argument, which Wine quotes, so that it stays no verb.
            read -ra args <<<"$b"
            [[ $b == "${args[*]}" ]] || args=("$b")
            if [[ -n $resident ]] && alive "$resident"; then
                WINEDEBUG=-all,+debugstr,+menu,+system run_quick "$out/start-$n.log" "$EXE_DIR/duodesk.exe" "${args[@]}"
                echo "$RC" >"$out/start-$n.end"
                if [[ $a == ends-resident ]] && wait_gone "$resident" "$T_CLOSE"; then
                    wait "$resident"
                    echo "$?" >"$out/start-$resident_n.end"
                fi
            else
                : >"$out/start-$n.log"
                WINEDEBUG=-all,+debugstr,+menu,+system start_resident "$out/start-$n.log" "$EXE_DIR/duodesk.exe" "${args[@]}"
                resident=$BG_PID resident_n=$n
                echo running >"$out/start-$n.end"
                # Settled once its start-up timer has run; the "res" preset ends without a timer.
                local deadline=$((SECONDS + T_SHOW))
                until traced "$out/start-$n.log" 'STARTUP_TIMER\n' || ! alive "$resident"; do
                    ((SECONDS < deadline)) || { REPLAY_ERROR="start $n: no STARTUP_TIMER within ${T_SHOW}s"; break; }
                    sleep 0.2
                done
                if ! alive "$resident"; then
                    wait "$resident"
                    echo "$?" >"$out/start-$n.end"
                fi
            fi ;;
        taskbar-created) probe broadcast taskbar-created ;;
        on-icon) probe cursor on-icon ;;
        click)
            probe click "$a-click"
            ((RC == 0)) && probe menu wait-menu "$MAIN_TITLE" "$T_SHOW"
            ((RC == 0)) || REPLAY_ERROR="$a click: $PROBE_OUT" ;;
        dump)
            read_machine "$out/dump-$a.txt"
            probe icon icon "$MAIN_TITLE" "$TRAY_ICON_ID"
            echo "$PROBE_OUT" >"$out/dump-$a.icon" ;;
        keys)
            # shellcheck disable=SC2086 # the keys are words
            probe keys keys $a
            ((RC == 0)) && probe menu wait-no-menu "$MAIN_TITLE" "$T_SHOW"
            ((RC == 0)) || REPLAY_ERROR="keys $a: $PROBE_OUT" ;;
        *) REPLAY_ERROR="unknown step $step" ;;
        esac
        [[ -z $REPLAY_ERROR ]] || break
    done <"$plan"
    timeout --kill-after=5 "$T_QUICK" "$LOADER" reg query 'HKCU\Software\Kiva Dongle' /s 2>/dev/null |
        tr -d '\r' >"$out/profile.txt"
    [[ -z $REPLAY_ERROR ]]
}

# run_scenario SCN: the simulator, then Wine, then the comparison.
run_scenario() {
    local scn=$1 name out start=$SECONDS
    name=$(basename "$scn" .scn)
    out=$WORK/$name
    mkdir -p "$out"
    echo "# $name"
    if ! timeout 60 "$SIM_DIR/duodesk-sim" "$scn" >"$out/sim.txt" 2>"$out/sim.err"; then
        fail "$name: duodesk-sim runs the scenario" "$(head -n 3 "$out/sim.err")"
        return
    fi
    if ! python3 "$COMPARE" plan "$scn" "$out/sim.txt" >"$out/plan.txt" 2>"$out/plan.err"; then
        fail "$name: the scenario can be replayed under Wine" "$(cat "$out/plan.err")"
        return
    fi
    cp "$WORK/template"/*.reg "$WINEPREFIX/"
    replay "$out/plan.txt" "$out"
    local replayed=$?
    stop_server
    local verdict
    python3 "$COMPARE" compare "$scn" "$out/sim.txt" "$out" "$KNOWN_DOC" >"$out/compare.txt" 2>&1
    local compared=$?
    verdict=$(tail -n 1 "$out/compare.txt")
    sed '$d' "$out/compare.txt"
    if ((replayed != 0)); then
        note "$name: the replay stopped: $REPLAY_ERROR"
    fi
    case $verdict in
    agree) AGREE=$((AGREE + 1)) ;;
    "differ (known)") DIFFER=$((DIFFER + 1)) KNOWN=$((KNOWN + 1)) ;;
    *) DIFFER=$((DIFFER + 1)) ;;
    esac
    [[ -z $KEEP ]] || { mkdir -p "$KEEP" && cp -r "$out" "$KEEP/"; }
    if ((compared == 0 && replayed == 0)); then
        pass "$name: $verdict ($((SECONDS - start))s)"
    else
        fail "$name: $verdict ($((SECONDS - start))s)"
    fi
}

STAGE_START=$SECONDS
if [[ ! -x $SIM_DIR/duodesk-sim ]]; then
    fail "conformance: $SIM_DIR/duodesk-sim exists"
elif make_template; then
    note "the $ARCH-bit duodesk.exe runs the scenarios under Wine ($((SECONDS - STAGE_START))s to make the machine)"
    for scn in "${SCENARIOS[@]}"; do run_scenario "$scn"; done
    end_prefix
fi

echo "$AGREE agree, $DIFFER differ ($KNOWN known) in $((SECONDS - STAGE_START))s"
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
