# shellcheck shell=bash
# shellcheck disable=SC2034 # the settings and results here are read by the scripts that source it
# The helpers of the Wine checks (run-wine-tests.sh) and of the simulator's conformance run
# (conformance.sh): timeouts, fresh prefixes and their clean-up, programs started under `timeout`,
# the registry, tray-probe.exe, debug traces, and the choice between the 32-bit and the 64-bit build.
# A script sets WIN32_DIR and WIN64_DIR, then sources this file.

# Upper bounds, in seconds. Generous, because the first start in a new prefix builds the whole
# registry and system folder; a normal run stays far below them.
T_WINEBOOT=180     # creating a prefix
T_QUICK=60         # a program that is expected to end by itself (preset, second instance, reg query)
T_RESIDENT=240     # hard cap on a program that is expected to stay running
T_CLOSE=30         # how long a resident program gets to end after "Close"
T_SHOW=20          # how long a window, a tooltip, a menu or a debug trace line gets to appear

# The virtual X server's screen, which the Wine desktop of the tray checks fills.
SCREEN_SIZE=1024x768

# in_virtual_x SECONDS SCRIPT ARGS...: runs the script again, with ARGS, on a private virtual X server
# and under one more timeout, unless it already runs there (INNER). Wine needs an X display for
# anything with a window (our hidden main window included). xvfb-run -a picks a free display number,
# so parallel runs and a developer's own X session are left alone.
in_virtual_x() {
    [[ -z "${INNER:-}" ]] || return 0
    local seconds=$1 tool
    shift
    for tool in xvfb-run xauth timeout; do
        if ! command -v "$tool" >/dev/null; then
            echo "wine tests: $tool is missing (run scripts/install-deps.sh)" >&2
            echo "0 passed, 1 failed"
            exit 1
        fi
    done
    INNER=1 exec timeout --kill-after=10 "$seconds" xvfb-run -a -s "-screen 0 ${SCREEN_SIZE}x24" "$BASH" "$@"
}

export WINEDEBUG=-all
# Keep Wine from offering to download its Mono and Gecko add-ons while a prefix is created, and its
# menu builder from turning the setup programs' Start-menu shortcuts into entries of the Linux
# desktop's menus, outside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64
if [[ -x /usr/lib/wine/wineserver64 ]]; then
    WINESERVER_BIN=/usr/lib/wine/wineserver64
else
    WINESERVER_BIN=$(command -v wineserver || echo /usr/lib/wine/wineserver)
fi

PASSED=0
FAILED=0

pass() {
    PASSED=$((PASSED + 1))
    echo "ok     - $1"
}
fail() {
    FAILED=$((FAILED + 1))
    echo "FAILED - $1"
    shift
    local line
    for line in "$@"; do echo "         $line"; done
}
note() { echo "note: $*"; }

# Shows the end of a program's captured output under a failure.
show_log() {
    [[ -s "$1" ]] || return 0
    echo "         --- last lines of $(basename "$1") ---"
    tail -n 15 "$1" | sed 's/^/         | /'
}

alive() {
    # A child that has ended but is not yet reaped is a zombie; kill -0 would still succeed on it, so
    # the state letter is read from /proc (no procps needed). It follows the last ")" of the command
    # name, which may itself contain blanks and parentheses.
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ -n "$stat" && "$stat" != Z* && "$stat" != X* ]]
}

# wait_gone PID SECONDS: true when the process ends within the time.
wait_gone() {
    local pid=$1 deadline=$((SECONDS + $2))
    while ((SECONDS < deadline)); do
        alive "$pid" || return 0
        sleep 0.2
    done
    ! alive "$pid"
}

kill_prefix() {
    local prefix=$1
    [[ -d "$prefix" ]] || return 0
    # -k ends every Windows process of the prefix and its server; -w then waits for the server to be
    # gone, so that the folder is not removed under a live server that is still writing the registry.
    WINEPREFIX=$prefix timeout 30 "$WINESERVER_BIN" -k >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 30 "$WINESERVER_BIN" -w >/dev/null 2>&1
    rm -rf "$prefix"
}

cleanup() {
    local pid prefix
    for pid in "${BG_PIDS[@]}"; do
        alive "$pid" && kill "$pid" 2>/dev/null
    done
    for prefix in "${PREFIXES[@]}"; do kill_prefix "$prefix"; done
    rm -rf "$WORK"
}

# begin_run: the run's folder for logs, and the clean-up of everything it makes, whatever way it ends.
# Called on the virtual X server, after in_virtual_x.
begin_run() {
    WORK=$(mktemp -d -t duodesk-wine.XXXXXX)
    PREFIXES=()   # every prefix made, so that the exit trap can take down its wineserver and remove it
    BG_PIDS=()    # every program started in the background
    trap cleanup EXIT
    trap 'exit 130' INT TERM
}

# ---- the Wine flavour in use -----------------------------------------------------------------------------
# use_arch 32|64 selects the loader and prefix kind for the programs started afterwards.
use_arch() {
    ARCH=$1
    if [[ $ARCH == 32 ]]; then
        LOADER=$WINE32_LOADER
        export WINEARCH=win32
        unset WINELOADER
        EXE_DIR=$WIN32_DIR
    else
        LOADER=$WINE64_LOADER
        export WINEARCH=win64
        # Processes that Wine itself starts (wineboot's helpers, services) use this loader too.
        export WINELOADER=$WINE64_LOADER
        EXE_DIR=$WIN64_DIR
    fi
}

# new_prefix: a fresh, initialised prefix in $PREFIX. Returns non-zero when Wine cannot create it.
new_prefix() {
    PREFIX=$(mktemp -d -t duodesk-prefix.XXXXXX)
    PREFIXES+=("$PREFIX")
    export WINEPREFIX=$PREFIX
    timeout --kill-after=10 "$T_WINEBOOT" "$LOADER" wineboot -i >"$WORK/wineboot.log" 2>&1
}

end_prefix() {
    kill_prefix "$PREFIX"
    unset WINEPREFIX
}

# fresh_prefix NAME: new_prefix, failing NAME's check (and removing what was made) when it cannot.
fresh_prefix() {
    new_prefix && return 0
    fail "$1: Wine prefix created" "wineboot -i failed"
    show_log "$WORK/wineboot.log"
    end_prefix
    return 1
}

# run_quick LOG EXE ARGS...: runs a program that should end by itself; sets RC and ELAPSED.
run_quick() {
    local log=$1 exe=$2 start=$SECONDS
    shift 2
    timeout --kill-after=5 "$T_QUICK" "$LOADER" "$exe" "$@" >"$log" 2>&1
    RC=$?
    ELAPSED=$((SECONDS - start))
}

# start_resident LOG EXE ARGS...: starts a program in the background; its pid (of `timeout`, which
# lives exactly as long as the program) goes to BG_PID.
start_resident() {
    local log=$1 exe=$2
    shift 2
    timeout --kill-after=5 "$T_RESIDENT" "$LOADER" "$exe" "$@" >"$log" 2>&1 &
    BG_PID=$!
    BG_PIDS+=("$BG_PID")
}

# reg_value KEY NAME TYPE: prints the value's data when it exists with that type. `reg query` prints
# each value as "    Name    REG_DWORD    0x400", four blanks apart.
reg_value() {
    local out line
    out=$(timeout --kill-after=5 "$T_QUICK" "$LOADER" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r') ||
        return 1
    while IFS= read -r line; do
        if [[ $line == "    $2    $3    "* ]]; then
            echo "${line#"    $2    $3    "}"
            return 0
        fi
    done <<<"$out"
    return 1
}

# reg_dword KEY NAME: prints the value as a decimal number when it exists as a REG_DWORD.
reg_dword() {
    local value
    value=$(reg_value "$1" "$2" REG_DWORD) && [[ $value =~ ^0x[0-9a-fA-F]+$ ]] && echo $((value))
}

PROFILE_KEY='HKCU\Software\Kiva Dongle\duodesk\VGA DONGLE'
MAIN_TITLE='KIVA 7300'   # duodesk.exe's hidden main window
DIALOG_TITLE='VGA Adapter Utility' # the countdown confirmation's caption
TRAY_ICON_ID=128

# probe NAME ARGS...: runs tray-probe.exe; RC is its exit status, PROBE_OUT the line it printed.
probe() {
    local log=$WORK/probe-$1.log
    shift
    run_quick "$log" "$EXE_DIR/tray-probe.exe" "$@"
    PROBE_OUT=$(tr -d '\r' <"$log" | tail -n 1)
}

reg_set() { # KEY NAME TYPE DATA
    timeout --kill-after=5 "$T_QUICK" "$LOADER" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

# traced LOG TEXT...: true when the program's debug output (WINEDEBUG=+debugstr) has these
# OutputDebugStringA texts in this order; "\n" stands for the newline, as Wine prints it.
traced() {
    local log=$1 from=0 text at
    shift
    for text in "$@"; do
        at=$(tail -n +"$((from + 1))" "$log" | grep -nF -m 1 -- "OutputDebugStringA \"$text\"" | cut -d: -f1)
        [[ -n $at ]] || return 1
        from=$((from + at))
    done
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds, for at most SECONDS.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# wait_traced LOG TEXT: waits (at most T_SHOW seconds) until the program has traced TEXT.
wait_traced() { wait_until "$T_SHOW" traced "$1" "$2"; }

# ---- 32-bit or 64-bit ---------------------------------------------------------------------------------
# Tries the shipped i686 build for real: a preset run in a 32-bit prefix. It decides which build the
# Wine checks use. probe_i686 keep|end: with "keep", the prefix of a successful try stays, as $PREFIX,
# for the caller.
probe_i686() {
    local loader_err exe=$WIN32_DIR/duodesk.exe
    echo "# probe: can this machine run the i686 executables?"
    # bash, not `timeout` itself, execs the loader: on "Exec format error" timeout's execvp would fall
    # back to feeding the ELF file to /bin/sh and report a meaningless syntax error instead.
    # shellcheck disable=SC2016 # $0 is expanded by the inner bash
    loader_err=$(timeout 10 bash -c 'exec "$0" --version' "$WINE32_LOADER" 2>&1 >/dev/null)
    local loader_rc=$?

    use_arch 32
    RC=none
    if [[ ! -f $exe ]]; then
        fail "probe: i686 duodesk.exe exists" "not found: $exe"
    elif new_prefix; then
        run_quick "$WORK/probe.log" "$exe" res 640 480 8
        if [[ "$(reg_dword "$PROFILE_KEY" Width)" == 640 ]]; then
            [[ $1 == keep ]] || end_prefix
            pass "probe: the i686 duodesk.exe runs under 32-bit Wine"
            return 0
        fi
    fi
    end_prefix

    if ((loader_rc != 0)); then
        if [[ ! -e $WINE32_LOADER ]]; then
            note "using wine64 and the x86_64 executables: 32-bit Wine (wine32:i386) is not installed"
        else
            note "using wine64 and the x86_64 executables: the 32-bit Wine loader cannot be executed here:"
            note "  ${loader_err%%$'\n'*}"
        fi
        note "the i686 executables are built and checked on disk only."
        use_arch 64
        return 0
    fi
    # The loader works, so the failure is the program's own.
    fail "probe: the i686 duodesk.exe runs under 32-bit Wine" "exit $RC, no Width value in the profile"
    show_log "$WORK/probe.log"
    return 0
}
