#!/usr/bin/env bash
# Runs the real Windows executables under Wine, on a virtual X server, and checks what a user and an
# installer can observe from outside:
#
#   resources   the executables carry the dialogs, strings, menu, icon (16, 20, 24 and 32 pixels, 16
#               colours), version record (product name,
#               version, file description) and manifest (common controls 6, asInvoker, system DPI
#               awareness, Vista to 8.1 supported and no Windows 10 entry), are GUI-subsystem and need no MinGW runtime DLL
#               (read with binutils, no Wine needed)
#   preset      "duodesk.exe res 1280 1024 16" writes the four profile values and ends at once
#   close       a resident duodesk.exe ends on "duodesk.exe Close"; a duodeskb.exe beside it keeps
#               running until its own "duodeskb.exe Close"
#   tray icon   without its adapter duodesk.exe shows no icon, and after a "TaskbarCreated" broadcast
#               its icon is in the notification area of Wine's taskbar, with its tooltip, and a right
#               click on it opens duodesk's menu
#   tray menu   the icon's callback message opens the real popup menu, whose items are the not-ready
#               menu of the saved state; a screenshot of it is taken
#   tray off    "USB-VGA(Off)" chosen with the keyboard in that menu saves DispState 4; then
#               "duodesk.exe Close" ends the resident program
#   dialog      the countdown confirmation opens in front, centred on Wine's one display, and Escape
#               answers it with Cancel. duodesk.exe opens it only after a resolution change of its
#               adapter, which Wine has not got: dialog-probe.exe (tests/wine/dialog_probe.cpp) opens the
#               product's own CDlgWarning with the product's code and resources instead
#   uninstall   with two sections of duodesk's profile and one of duodeskb's in the registry,
#               "duodesk.exe Uninstall" makes the resident duodesk.exe delete HKCU\Software\Kiva Dongle,
#               subkeys first (each traced), and end; reg query finds no "Kiva Dongle" key afterwards
#   end session "wineboot --end-session --shutdown", which Wine's ExitWindowsEx runs, gets TRUE from the
#               resident duodesk.exe for WM_QUERYENDSESSION; on WM_ENDSESSION it traces "EndSession"
#               and is gone
#   installer   with Wine as Windows XP: a /RES that is not a resolution ends setup with exit code 2
#               and installs nothing; duodesk-setup.exe /S /RES=1280x1024x16 and duodeskb-setup.exe /S
#               /RES=1024x768x32 leave their files, Start-menu entry (the program), Run value,
#               Add/Remove entry (with the version) and the four preset profile values, and the
#               programs running; setup run again closes the running duodesk.exe and starts the new
#               one; the silent uninstall of the running duodesk makes it delete its registry tree
#               itself and leaves duodeskb running; that of duodeskb, closed first, deletes the tree
#               itself. Each uninstall leaves no process, no files, no Run value, no Add/Remove entry,
#               no task and no "Kiva Dongle" key
#   installer-task  with Wine as Windows 10, setup ends with exit code 3 and installs nothing; as
#               Windows 7, with the Task Scheduler service started, each setup registers its logon
#               task (system32\tasks\NAME, with the program in its description), writes the task
#               definition (logon trigger, the group Users with an interactive token, the highest
#               rights, no time limit, not stopped on battery, the program) beside the program,
#               deletes the Run value an earlier version left, leaves no preset task behind and points
#               its Start-menu entry at schtasks /Run; each uninstall removes the task and the rest.
#               Wine keeps only the description and settings of a task and runs none, not even with
#               schtasks /Run: the definition is checked as setup writes it, and the programs'
#               behaviour once started is the "installer" check's
#               The setup programs are 32-bit, so both checks need the i686 build to run
#
# The tray checks drive the programs with tests/wine/tray_probe.cpp (tray-probe.exe, built beside them);
# the uninstall and end-of-session checks wait with it for duodesk's window.
#
#   usage: tests/wine/run-wine-tests.sh [--win32 DIR] [--win64 DIR] [--screenshot FILE] [--only LIST]
#          (defaults: build/win32 and build/win64 of the repository; --screenshot keeps a copy of the
#          tray menu's screenshot, which is otherwise deleted with the rest of the run's files;
#          --only runs just the checks named in the comma-separated LIST: resources, preset, close,
#          tray-icon, tray-menu, tray-off, dialog, uninstall, end-session, installer, installer-task)
#
# Every Wine check gets a fresh WINEPREFIX of its own, which is deleted afterwards together with its
# wineserver. Every call into Wine runs under `timeout`, and the whole run under one more, so a hung
# program can never stall CI. The last line is "N passed, N failed"; the exit status is non-zero when
# anything failed.
#
# 32-bit programs: the shipped build is i686. Wine runs it with its 32-bit loader, which is itself a
# 32-bit Linux program; a kernel built without IA-32 emulation cannot execute it ("Exec format error").
# The script tries the i686 executables first and, when the 32-bit loader cannot start at all, runs
# the same checks with the x86_64 executables under wine64 and says so.
set -uo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WIN32_DIR=$REPO_ROOT/build/win32
WIN64_DIR=$REPO_ROOT/build/win64
SCREENSHOT_COPY=
ONLY=
while (($#)); do
    case "$1" in
    --win32) WIN32_DIR=$2; shift 2 ;;
    --win64) WIN64_DIR=$2; shift 2 ;;
    --screenshot) SCREENSHOT_COPY=$(realpath -m -- "$2"); shift 2 ;;
    --only) ONLY=$2; shift 2 ;;
    *) echo "usage: $0 [--win32 DIR] [--win64 DIR] [--screenshot FILE] [--only LIST]" >&2; exit 2 ;;
    esac
done

# Upper bounds beyond those of wine-lib.sh, in seconds.
T_SETTLE=5         # how long a resident program gets to create its window before it is asked to close
T_SCHEDULE=60      # how long the Task Scheduler service gets to start
T_ALL=900          # the whole script

# shellcheck source=tests/wine/wine-lib.sh
source "$REPO_ROOT/tests/wine/wine-lib.sh"
in_virtual_x "$T_ALL" "${BASH_SOURCE[0]}" --win32 "$WIN32_DIR" --win64 "$WIN64_DIR" \
    ${SCREENSHOT_COPY:+--screenshot "$SCREENSHOT_COPY"} ${ONLY:+--only "$ONLY"}
begin_run

# The version the build gives the executables: project(duodesk VERSION x.y.z) in CMakeLists.txt.
VERSION=$(sed -n 's/^project(duodesk VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$REPO_ROOT/CMakeLists.txt")

# ---- resources and image, straight from the files --------------------------------------------------------
# What the manifest must say, each as "what|text of the manifest".
MANIFEST_WANTS=(
    'common controls 6|name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
    'no elevation|<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
    'system DPI awareness|<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
    'Vista|<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>'
    'Windows 7|<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>'
    'Windows 8|<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>'
    'Windows 8.1|<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>'
)
WIN10_OS_ID='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'

# verdict_list NAME HEADING: passes NAME when the array "missing" is empty; else fails it with HEADING
# and what is missing.
verdict_list() {
    if ((${#missing[@]} == 0)); then
        pass "$1"
    else
        fail "$1" "$2" "${missing[@]/#/  }"
    fi
}

check_image() {
    local arch=$1 dir=$2 triplet=$3 name exe rc_text imports
    for name in duodesk duodeskb; do
        exe=$dir/$name.exe
        if [[ ! -f $exe ]]; then
            fail "$arch $name.exe exists" "not found: $exe"
            continue
        fi
        imports=$("$triplet-objdump" -p "$exe" 2>&1)
        if grep -Eq '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$imports"; then
            pass "$arch $name.exe is a GUI-subsystem program"
        else
            fail "$arch $name.exe is a GUI-subsystem program" "$(grep -E '^Subsystem' <<<"$imports")"
        fi
        # A dynamically linked MinGW program would need these DLLs next to it on the user's machine.
        if grep -Eiq 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' <<<"$imports"; then
            fail "$arch $name.exe needs no MinGW runtime DLL" \
                "$(grep -Ei 'DLL Name: (libstdc|libgcc|libwinpthread)' <<<"$imports")"
        else
            pass "$arch $name.exe needs no MinGW runtime DLL"
        fi

        # windres decompiles the resource section back to resource statements, one per line.
        rc_text=$("$triplet-windres" -i "$exe" -O rc 2>&1 | sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//')
        local missing=() line
        while IFS= read -r line; do
            [[ -z $line ]] && continue
            grep -Fxq -- "$line" <<<"$rc_text" || missing+=("$line")
        done <<EOF
102 DIALOGEX 0, 0, 219, 95
STYLE 0x80c00040
EXSTYLE 0x40000
CAPTION "Dispo"
130 DIALOGEX 0, 0, 215, 123
STYLE 0x80c800c0
CAPTION "VGA Adapter Utility"
FONT 8, "MS Shell Dlg"
CONTROL "Your desktop has been reconfigured", 1002, "STATIC", 0x50000000, 29, 26, 126, 8
CONTROL "Do you want to keep the setting?", 1003, "STATIC", 0x50000000, 29, 46, 117, 8
CONTROL "Reverting in", 1004, "STATIC", 0x50000000, 29, 66, 43, 8
CONTROL "15", 1000, "STATIC", 0x50000000, 93, 66, 9, 8
CONTROL "Seconds", 1005, "STATIC", 0x50000000, 128, 67, 39, 8
CONTROL "Ok", 1, "BUTTON", 0x50010001, 23, 89, 50, 14
CONTROL "Cancel", 2, "BUTTON", 0x50010000, 130, 89, 50, 14
133, "USB-VGA(Primary)"
134, "USB-VGA(Extended)"
135, "USB-VGA(Off)"
136, "USB-VGA(Mirror)"
137, "Resolution"
138, "High Resolution"
139, "Rotation"
140, "0 degrees"
141, "270 degrees"
142, "90 degrees"
143, "180 degrees"
144, "Your desktop has been reconfigured"
145, "Do you want to keep the setting?"
146, "Reverting in"
147, "Seconds"
148, "Ok"
149, "Cancel"
150, "VGA Adapter Utility"
129 MENU
128 14 /* RT_GROUP_ICON */
1 24 /* RT_MANIFEST */
FILEVERSION ${VERSION//./, }, 0
PRODUCTVERSION ${VERSION//./, }, 0
VALUE "ProductName", "$name"
VALUE "ProductVersion", "$VERSION"
VALUE "FileVersion", "$VERSION"
VALUE "FileDescription", "USB 2.0 VGA display adapter tray utility"
VALUE "InternalName", "$name"
VALUE "OriginalFilename", "$name.exe"
VALUE "Translation", 0x409, 1200
EOF
        verdict_list "$arch $name.exe carries dialogs 102 and 130, strings 133-150, menu, icon, version $VERSION, manifest" \
            "not found in the decompiled resources:"

        # The icon group: the notification area's small-icon sizes at 100, 125 and 150 percent and the
        # window's 32 pixels, each a 4-bit image. windres prints each entry as "\WWW\HHH\CCC\000",
        # planes, bits, ... with the sizes in octal.
        local icons='' w h
        while read -r w h; do
            icons+="$((8#$w))x$((8#$h)) "
        done < <(awk '/^128 14 \/\* RT_GROUP_ICON \*\/$/ { on = 1; next } on && /^END$/ { exit } on' <<<"$rc_text" |
            sed -n 's/^"\\\([0-7]*\)\\\([0-7]*\)\\020\\000", 1, 4,.*/\1 \2/p')
        if [[ $icons == "16x16 20x20 24x24 32x32 " ]]; then
            pass "$arch $name.exe icon 128 has 16-colour images of 16, 20, 24 and 32 pixels"
        else
            fail "$arch $name.exe icon 128 has 16-colour images of 16, 20, 24 and 32 pixels" "got: $icons"
        fi

        # The menu template: its items in order, with the rotation popup between Mirror and Off.
        local menu
        menu=$(awk '/^129 MENU$/ { on = 1; next } on && /^(MENUITEM|POPUP)/ { print } on && /^\/\*/ { exit }' \
            <<<"$rc_text" | tr '\n' '|')
        local want='MENUITEM "Primary", 32771|MENUITEM "Extended", 32772|MENUITEM "Mirror", 32773|POPUP "Rotation"|MENUITEM "Normal", 32776|MENUITEM "Left", 32779|MENUITEM "Right", 32777|MENUITEM "Flip", 32778|MENUITEM "Off", 32774|MENUITEM "Brand", 32782|'
        if [[ $menu == "$want" ]]; then
            pass "$arch $name.exe menu 129 has its ten items in order"
        else
            fail "$arch $name.exe menu 129 has its ten items in order" "got:  $menu" "want: $want"
        fi

        # windres prints the manifest as quoted string pieces cut at arbitrary points; glue them back.
        local manifest
        manifest=$(awk '/^1 24 \/\* RT_MANIFEST \*\/$/ { on = 1; next }
                        on && /^END$/ { exit }
                        on && /^"/ { sub(/^"/, ""); sub(/"$/, ""); printf "%s", $0 }' <<<"$rc_text" |
            sed -e 's/""/"/g' -e 's/\\n/ /g')
        missing=()
        local entry
        for entry in "${MANIFEST_WANTS[@]}"; do
            grep -Fq -- "${entry#*|}" <<<"$manifest" || missing+=("${entry%%|*}: ${entry#*|}")
        done
        # With a Windows 10 entry GetVersionEx would answer 10.0 there, outside the program's 6.x rules.
        ! grep -Fq -- "$WIN10_OS_ID" <<<"$manifest" || missing+=("no Windows 10 entry: $WIN10_OS_ID is there")
        verdict_list "$arch $name.exe manifest: common controls 6, asInvoker, system DPI aware, Vista to 8.1" \
            "not in the manifest:"
    done
}

# ---- preset: "res" writes the profile and ends ---------------------------------------------------------
check_preset() {
    local exe=$EXE_DIR/duodesk.exe log=$WORK/preset.log
    echo "# preset: duodesk.exe res 1280 1024 16 ($ARCH-bit)"
    if ! new_prefix; then
        fail "preset: Wine prefix created" "wineboot -i failed"
        show_log "$WORK/wineboot.log"
        end_prefix
        return
    fi
    run_quick "$log" "$exe" res 1280 1024 16
    if ((RC == 124 || RC == 137)); then
        fail "preset: duodesk.exe res ... ends by itself" "still running after ${T_QUICK}s; killed"
        show_log "$log"
    elif ((ELAPSED > 20)); then
        fail "preset: duodesk.exe res ... ends promptly" "took ${ELAPSED}s (exit $RC)"
    else
        pass "preset: duodesk.exe res ... ends promptly (${ELAPSED}s, exit $RC)"
    fi

    local name want got
    for pair in FirstRun=0 Height=1024 Width=1280 BitDepth=16; do
        name=${pair%%=*}
        want=${pair#*=}
        if got=$(reg_dword "$PROFILE_KEY" "$name"); then
            if [[ $got == "$want" ]]; then
                pass "preset: $name = $want (REG_DWORD)"
            else
                fail "preset: $name = $want (REG_DWORD)" "found $got"
            fi
        else
            fail "preset: $name = $want (REG_DWORD)" "no REG_DWORD value $name under $PROFILE_KEY"
            timeout "$T_QUICK" "$LOADER" reg query "$PROFILE_KEY" 2>&1 | tr -d '\r' | sed 's/^/         | /'
        fi
    done
    end_prefix
}

# ---- close: a second start with "Close" ends the right running instance ------------------------------
check_close() {
    local a=$EXE_DIR/duodesk.exe b=$EXE_DIR/duodeskb.exe pid_a pid_b
    echo "# close: duodesk.exe Close beside a running duodeskb.exe ($ARCH-bit)"
    if ! new_prefix; then
        fail "close: Wine prefix created" "wineboot -i failed"
        show_log "$WORK/wineboot.log"
        end_prefix
        return
    fi
    start_resident "$WORK/resident-a.log" "$a"
    pid_a=$BG_PID
    start_resident "$WORK/resident-b.log" "$b"
    pid_b=$BG_PID
    # The verb reaches a running instance only through its window title, so both must have got as far
    # as creating their windows; there is nothing outside the programs to wait on, hence a fixed pause.
    sleep "$T_SETTLE"

    local ok_a=1 ok_b=1
    if alive "$pid_a"; then pass "close: duodesk.exe stays resident"; else
        ok_a=0
        fail "close: duodesk.exe stays resident" "ended within ${T_SETTLE}s"
        show_log "$WORK/resident-a.log"
    fi
    if alive "$pid_b"; then pass "close: duodeskb.exe stays resident beside it"; else
        ok_b=0
        fail "close: duodeskb.exe stays resident beside it" "ended within ${T_SETTLE}s"
        show_log "$WORK/resident-b.log"
    fi

    if ((ok_a)); then
        run_quick "$WORK/close-a.log" "$a" Close
        if ((RC == 124 || RC == 137)); then
            fail "close: the second start duodesk.exe Close ends by itself" "killed after ${T_QUICK}s"
        else
            pass "close: the second start duodesk.exe Close ends by itself (${ELAPSED}s)"
        fi
        if wait_gone "$pid_a" "$T_CLOSE"; then
            pass "close: the resident duodesk.exe ends after Close"
        else
            fail "close: the resident duodesk.exe ends after Close" "still running ${T_CLOSE}s later"
            show_log "$WORK/resident-a.log"
        fi
    fi

    if ((ok_b)); then
        # A moment more, in case the wrong instance was told to close and is on its way out.
        sleep 2
        if alive "$pid_b"; then
            pass "close: duodeskb.exe is not ended by duodesk's Close"
        else
            fail "close: duodeskb.exe is not ended by duodesk's Close"
            show_log "$WORK/resident-b.log"
            # With no instance left, "duodeskb.exe Close" would start a new resident one; there is
            # nothing more to check.
            end_prefix
            return
        fi
        run_quick "$WORK/close-b.log" "$b" Close
        if wait_gone "$pid_b" "$T_CLOSE"; then
            pass "close: duodeskb.exe ends on its own duodeskb.exe Close"
        else
            fail "close: duodeskb.exe ends on its own duodeskb.exe Close" "still running ${T_CLOSE}s later"
            show_log "$WORK/resident-b.log"
        fi
    fi
    end_prefix
}

# ---- tray: the icon in Wine's taskbar, its menu and a choice in it -------------------------------------
# The part of the screen in the screenshot: the taskbar's right end, where the menu opens.
SHOT_AREA=360x160+664+608

# verdict STATUS NAME [DETAIL...]: passes NAME when STATUS is 0; else fails it with the details and
# the end of the resident program's log. Returns STATUS.
verdict() {
    local status=$1 name=$2
    shift 2
    if ((status == 0)); then
        pass "$name"
    else
        fail "$name" "$@"
        show_log "$RESIDENT_LOG"
    fi
    return "$status"
}

# start_tray NAME DISPSTATE: a fresh prefix with a saved "DispState", and a resident duodesk.exe (pid
# in RESIDENT_PID) on a virtual desktop with a taskbar. Its debug output and Wine's trace of the menus
# it builds go to RESIDENT_LOG. Returns non-zero, after saying what failed, when it cannot get that far.
start_tray() {
    local name=${1/-/ } state=$2
    RESIDENT_LOG=$WORK/$1.log
    if ! new_prefix; then
        fail "$name: Wine prefix created" "wineboot -i failed"
        show_log "$WORK/wineboot.log"
        return 1
    fi
    # On its root desktop Wine's explorer hands tray icons to the host's notification area (Xvfb has
    # none) or keeps them in a small window of its own. A virtual desktop has a taskbar, with the
    # notification area at its right end as on Windows. Every program started from now on joins the
    # desktop named as the default; a new name, because wineboot may have left its own explorer running
    # for the "Default" desktop. The desktop fills the screen: Xvfb starts the pointer in the middle of
    # the screen, and while it was outside a smaller desktop's window, the cursor that tray-probe.exe
    # moved onto the icon showed no tooltip.
    if ! reg_set 'HKCU\Software\Wine\Explorer' Desktop REG_SZ tray ||
        ! reg_set 'HKCU\Software\Wine\Explorer\Desktops' tray REG_SZ "$SCREEN_SIZE" ||
        ! reg_set "$PROFILE_KEY" DispState REG_DWORD "$state"; then
        fail "$name: a virtual desktop and DispState $state set with reg add"
        return 1
    fi
    # The taskbar comes first, as the shell does on Windows. The first program on the desktop starts its
    # explorer, which keeps that program's output and WINEDEBUG: not duodesk's.
    probe taskbar taskbar "$T_SHOW"
    ((RC == 0)) || { fail "$name: Wine's virtual desktop has a taskbar" "$PROBE_OUT"; return 1; }
    WINEDEBUG=-all,+debugstr,+menu start_resident "$RESIDENT_LOG" "$EXE_DIR/duodesk.exe"
    RESIDENT_PID=$BG_PID
    probe window wait-window "$MAIN_TITLE" "$T_SHOW"
    ((RC == 0)) || verdict "$RC" "$name: duodesk.exe makes its window \"$MAIN_TITLE\"" "$PROBE_OUT"
}

# open_tray_menu NAME: the icon's callback (wParam 128, lParam WM_RBUTTONDOWN), posted as the shell
# posts it; true when duodesk's popup menu is open.
open_tray_menu() {
    probe notify notify "$MAIN_TITLE" "$TRAY_ICON_ID"
    ((RC == 0)) && probe menu wait-menu "$MAIN_TITLE" "$T_SHOW"
    verdict "$RC" "$1: the callback \"NotifyIcon\" $TRAY_ICON_ID WM_RBUTTONDOWN opens duodesk's popup menu" \
        "$PROBE_OUT"
}

check_tray_icon() {
    echo "# tray icon: shown on \"TaskbarCreated\", in the notification area of Wine's taskbar ($ARCH-bit)"
    start_tray tray-icon 2 || { end_prefix; return; }
    # The adapter is looked for once, on the start-up timer; only an adapter that is found shows the
    # icon. The probe lets the program finish what it is doing before it asks the taskbar.
    if wait_traced "$RESIDENT_LOG" 'STARTUP_TIMER\n'; then
        probe absent icon "$MAIN_TITLE" "$TRAY_ICON_ID"
    else
        RC=0 PROBE_OUT="no STARTUP_TIMER trace within ${T_SHOW}s"
    fi
    ((RC == 1))
    verdict $? "tray icon: no icon after the start-up look for the adapter" "$PROBE_OUT"

    probe broadcast taskbar-created
    ((RC == 0)) && probe present icon "$MAIN_TITLE" "$TRAY_ICON_ID"
    verdict "$RC" "tray icon: after \"TaskbarCreated\" the icon $TRAY_ICON_ID of \"$MAIN_TITLE\" is in the notification area" \
        "$PROBE_OUT" || { end_prefix; return; }

    # The only icon of a fresh prefix is in the first place of the notification area.
    local tip='USB 2.0 VGA DEVICE-1'
    probe hover hover "$T_SHOW"
    ((RC == 0)) && [[ $PROBE_OUT == *": $tip" ]]
    verdict $? "tray icon: the mouse on it shows its tooltip \"$tip\"" "$PROBE_OUT"
    # A right click there reaches duodesk through the icon's own callback message.
    probe click right-click
    ((RC == 0)) && probe menu wait-menu "$MAIN_TITLE" "$T_SHOW"
    ((RC == 0)) && traced "$RESIDENT_LOG" 'Right Mouse click\n'
    verdict $? "tray icon: a right click on it opens duodesk's menu" "$PROBE_OUT"
    end_prefix
}

# The items of the first popup menu the program opened, as Wine's user32 measured them for display
# (its +menu trace), one a line: "ID TEXT[ greyed][ checked]". Wine 8 traces each item as
#   trace:menu:calc_menu_item_size dc=... owner=... (0,17) item { ID=0x8004, State=grey, Text=L"USB-VGA(Extended)"  }
# with no State for an enabled, unchecked item.
menu_items() {
    local line id text marks
    awk '/:calc_menu_item_size / { on = 1; print; next } on { exit }' "$1" | while IFS= read -r line; do
        [[ $line =~ item\ \{\ ID=(0x[0-9a-fA-F]+) ]] || continue
        id=$((BASH_REMATCH[1]))
        [[ $line =~ Text=L\"([^\"]*)\" ]] && text=${BASH_REMATCH[1]} || text=
        marks=
        if [[ $line =~ State=([^,]*), ]]; then
            [[ ${BASH_REMATCH[1]} == *grey* ]] && marks+=" greyed"
            [[ ${BASH_REMATCH[1]} == *check* ]] && marks+=" checked"
        fi
        echo "$id $text$marks"
    done
}

check_tray_menu() {
    echo "# tray menu: the not-ready menu of saved state 1, read from Wine's own menu trace ($ARCH-bit)"
    start_tray tray-menu 1 || { end_prefix; return; }
    # The icon in the taskbar and the cursor at it, so that the menu opens where a click on it opens it;
    # just off the icon, where its tooltip does not show up in the picture.
    probe broadcast taskbar-created
    probe cursor above-icon
    open_tray_menu "tray menu" || { end_prefix; return; }

    # The menu has been drawn by the time it is shown; X gets the picture a moment later.
    local shot=$WORK/tray-menu.png
    sleep 1
    command -v import >/dev/null &&
        import -window root -crop "$SHOT_AREA" +repage "$shot" >"$WORK/import.log" 2>&1 && [[ -s $shot ]]
    verdict $? "tray menu: a screenshot of the open menu is taken" \
        "ImageMagick's import is missing or failed: $(head -n 1 "$WORK/import.log" 2>/dev/null)" &&
        [[ -n $SCREENSHOT_COPY ]] && mkdir -p "$(dirname "$SCREENSHOT_COPY")" &&
        cp "$shot" "$SCREENSHOT_COPY" && note "screenshot copied to $SCREENSHOT_COPY"

    # Saved state 1 without an adapter: every state item greyed and Primary checked, but Off enabled.
    local got want=('32771 USB-VGA(Primary) greyed checked' '32772 USB-VGA(Extended) greyed' '32774 USB-VGA(Off)'
        '32773 USB-VGA(Mirror) greyed')
    mapfile -t got < <(menu_items "$RESIDENT_LOG")
    ((${#got[@]})) || got=('(no item in the +menu trace)')
    [[ "${got[*]}" == "${want[*]}" ]]
    verdict $? "tray menu: Primary (checked), Extended, Off, Mirror, all greyed but Off" \
        "got:" "${got[@]/#/  }" "want:" "${want[@]/#/  }"
    traced "$RESIDENT_LOG" 'Right Mouse click\n' 'No device exist\n' 'Mouse handle dispstate 1\n'
    verdict $? "tray menu: traced \"Right Mouse click\", \"No device exist\", \"Mouse handle dispstate 1\""
    end_prefix
}

check_tray_off() {
    echo "# tray off: \"USB-VGA(Off)\" chosen with the keyboard, saved state 0, then Close ($ARCH-bit)"
    start_tray tray-off 0 || { end_prefix; return; }
    open_tray_menu "tray off" || { end_prefix; return; }
    # Off is the third item. Wine's menus move the highlight over greyed items too; were they skipped,
    # every Down would land on Off, the only enabled item, all the same.
    probe keys keys down down down return
    ((RC == 0)) && wait_traced "$RESIDENT_LOG" 'Write display state off\n'
    verdict $? "tray off: Down, Down, Down, Return in the menu choose \"USB-VGA(Off)\"" "$PROBE_OUT" ||
        { end_prefix; return; }
    # Wine's menu loop names the item it carried out.
    grep -Eq ':exec_focused_item .* ID 0*8006 ' "$RESIDENT_LOG"
    verdict $? "tray off: the menu itself carried out item 32774" "no exec_focused_item of ID 8006 in the +menu trace"
    traced "$RESIDENT_LOG" 'OnOff\n' 'Write display state off\n'
    verdict $? "tray off: traced \"OnOff\", then \"Write display state off\""
    local got
    got=$(reg_dword "$PROFILE_KEY" DispState)
    [[ $got == 4 ]]
    verdict $? "tray off: DispState = 4 (REG_DWORD)" "found ${got:-no REG_DWORD value}"

    run_quick "$WORK/tray-close.log" "$EXE_DIR/duodesk.exe" Close
    wait_gone "$RESIDENT_PID" "$T_CLOSE"
    verdict $? "tray off: the resident duodesk.exe ends on duodesk.exe Close" "still running ${T_CLOSE}s later"
    end_prefix
}

# ---- uninstall and the end of the session: a resident duodesk.exe goes for good -----------------------
# start_settled NAME: a resident duodesk.exe (pid in RESIDENT_PID, debug output in RESIDENT_LOG) in the
# current prefix, once it has made its window (whose handle goes to MAIN_HWND) and its start-up timer
# has run, so that nothing of its start-up is left to happen after what the check does to it.
start_settled() {
    local name=${1/-/ }
    RESIDENT_LOG=$WORK/$1.log
    WINEDEBUG=-all,+debugstr start_resident "$RESIDENT_LOG" "$EXE_DIR/duodesk.exe"
    RESIDENT_PID=$BG_PID
    probe window wait-window "$MAIN_TITLE" "$T_SHOW"
    MAIN_HWND=${PROBE_OUT##* }
    ((RC == 0)) && [[ $MAIN_HWND =~ ^[0-9a-fA-F]+$ ]] && wait_traced "$RESIDENT_LOG" 'STARTUP_TIMER\n'
    verdict $? "$name: duodesk.exe makes its window \"$MAIN_TITLE\" and runs its start-up timer" "$PROBE_OUT"
}

# The subkey names of the program's "hKey %x SubKey : %s\n" traces, in order, one a line.
subkey_traces() {
    sed -n 's/.*OutputDebugStringA "hKey [0-9a-fA-F]* SubKey : \(.*\)\\n"$/\1/p' "$1"
}

# ---- dialog: the countdown confirmation in front, centred on the display ---------------------------------
check_dialog() {
    local log=$WORK/dialog.log pid
    echo "# dialog: the countdown confirmation, on Wine's one display ($ARCH-bit)"
    fresh_prefix dialog || return
    # A virtual desktop, as for the tray checks: Wine keeps the foreground window there itself, with no
    # X window manager to ask.
    if ! reg_set 'HKCU\Software\Wine\Explorer' Desktop REG_SZ dialog ||
        ! reg_set 'HKCU\Software\Wine\Explorer\Desktops' dialog REG_SZ "$SCREEN_SIZE"; then
        fail "dialog: a virtual desktop set with reg add"
        end_prefix
        return
    fi
    start_resident "$log" "$EXE_DIR/dialog-probe.exe"
    pid=$BG_PID
    probe dialog dialog "$DIALOG_TITLE" "$T_SHOW"
    if ((RC == 0)); then
        pass "dialog: \"$DIALOG_TITLE\" opens in front, centred on the display ($PROBE_OUT)"
    else
        fail "dialog: \"$DIALOG_TITLE\" opens in front, centred on the display" "$PROBE_OUT"
        show_log "$log"
    fi
    # Escape is Cancel; the countdown would end it with Cancel too, 15 seconds after it opened.
    probe keys keys escape
    if wait_gone "$pid" "$T_CLOSE"; then
        wait "$pid"
        local answer=$?
        if ((answer == 2)); then
            pass "dialog: Escape answers it with Cancel"
        else
            fail "dialog: Escape answers it with Cancel" "dialog-probe.exe ended with $answer"
        fi
    else
        fail "dialog: Escape answers it with Cancel" "still open ${T_CLOSE}s later"
    fi
    end_prefix
}

check_uninstall() {
    echo "# uninstall: duodesk.exe Uninstall removes the whole profile tree, for duodeskb too ($ARCH-bit)"
    fresh_prefix "uninstall" || return
    # Two sections of duodesk and one of duodeskb: a tree two levels deep below "Kiva Dongle". The values
    # are the defaults, which change nothing at the start.
    local tree='HKCU\Software\Kiva Dongle'
    if ! reg_set "$tree\\duodesk\\VGA DONGLE" DispState REG_DWORD 2 ||
        ! reg_set "$tree\\duodesk\\USBVGACONFIG" SysX REG_DWORD 0 ||
        ! reg_set "$tree\\duodeskb\\VGA DONGLE" DispState REG_DWORD 2; then
        fail "uninstall: two sections of duodesk and one of duodeskb set with reg add"
        end_prefix
        return
    fi
    start_settled uninstall || { end_prefix; return; }

    run_quick "$WORK/uninstall-verb.log" "$EXE_DIR/duodesk.exe" Uninstall
    ((RC != 124 && RC != 137))
    verdict $? "uninstall: the second start duodesk.exe Uninstall ends by itself (${ELAPSED}s)" \
        "killed after ${T_QUICK}s"
    wait_gone "$RESIDENT_PID" "$T_CLOSE"
    verdict $? "uninstall: the resident duodesk.exe ends" "still running ${T_CLOSE}s later"
    traced "$RESIDENT_LOG" 'OnTurnOff\n' 'remove registry \n' 'OnRemove Reg\n'
    verdict $? "uninstall: traced \"OnTurnOff\", \"remove registry \", \"OnRemove Reg\""
    # Depth first, each key's subkeys in the order Wine's registry keeps them: by name.
    local got want='duodesk|USBVGACONFIG|VGA DONGLE|duodeskb|VGA DONGLE'
    got=$(subkey_traces "$RESIDENT_LOG" | paste -sd '|')
    [[ $got == "$want" ]]
    verdict $? "uninstall: traced \"hKey %x SubKey : %s\" for each subkey, depth first" \
        "got:  $got" "want: $want"
    # Looked at once the program has ended, so that nothing it does on its way out goes unseen.
    no_profile_tree
    verdict $? "uninstall: reg query HKCU\\Software lists no \"Kiva Dongle\" key" "$REG_OUT"
    end_prefix
}

# reg_list KEY: what `reg query KEY` prints, in REG_OUT, without carriage returns and blank lines;
# fails when reg does (also when there is no such key).
reg_list() {
    local out status
    out=$(timeout --kill-after=5 "$T_QUICK" "$LOADER" reg query "$1" 2>&1)
    status=$?
    REG_OUT=$(tr -d '\r' <<<"$out" | grep -v '^$')
    REG_OUT=${REG_OUT//$'\n'/ | }
    return "$status"
}

# no_profile_tree: true when HKCU\Software, which reg lists, has no "Kiva Dongle" key.
no_profile_tree() {
    reg_list 'HKCU\Software' &&
        [[ $REG_OUT == *'HKEY_CURRENT_USER\Software\Wine'* && $REG_OUT != *'Kiva Dongle'* ]]
}

# answer LOG MESSAGE HWND: what the window HWND answered to MESSAGE, from wineboot's +wineboot trace
#   trace:wineboot:end_session_message_callback received response WM_QUERYENDSESSION hwnd 00020044 lresult 1
# The handles are compared as numbers: Wine and tray-probe.exe print them in different letter cases.
answer() {
    local line
    while IFS= read -r line; do
        [[ $line =~ received\ response\ $2\ hwnd\ ([0-9a-fA-F]+)\ lresult\ (-?[0-9]+)$ ]] || continue
        if ((16#${BASH_REMATCH[1]} == 16#$3)); then
            echo "${BASH_REMATCH[2]}"
            return 0
        fi
    done <"$1"
    return 1
}

check_end_session() {
    echo "# end session: wineboot --end-session --shutdown, as Wine's ExitWindowsEx runs it ($ARCH-bit)"
    fresh_prefix "end session" || return
    start_settled end-session || { end_prefix; return; }
    # The command line Wine's ExitWindowsEx starts for a logoff or a shutdown that is not forced. wineboot
    # goes through the processes with top-level windows on its desktop, the desktop's explorer left out,
    # and sends each one's windows WM_QUERYENDSESSION, then WM_ENDSESSION with their answer; it exits
    # with status 1 when a window refused. A process still running once it has answered WM_ENDSESSION is
    # ended by wineboot, as Windows ends it: that the program is gone afterwards proves little by itself,
    # its traces show what it did.
    local log=$WORK/end-session-wineboot.log got
    WINEDEBUG=-all,+wineboot run_quick "$log" wineboot --end-session --shutdown
    ((RC == 0))
    verdict $? "end session: wineboot --end-session --shutdown finishes, no window refusing (${ELAPSED}s)" \
        "exit $RC" || show_log "$log"
    got=$(answer "$log" WM_QUERYENDSESSION "$MAIN_HWND")
    [[ $got == 1 ]]
    verdict $? "end session: \"$MAIN_TITLE\" answers WM_QUERYENDSESSION with TRUE" "answer: ${got:-none}"
    answer "$log" WM_ENDSESSION "$MAIN_HWND" >/dev/null
    verdict $? "end session: \"$MAIN_TITLE\" answers WM_ENDSESSION" "no answer in wineboot's trace"
    traced "$RESIDENT_LOG" 'Enable Composition\n' 'EndSession\n'
    verdict $? "end session: traced \"Enable Composition\", then \"EndSession\""
    wait_gone "$RESIDENT_PID" "$T_CLOSE"
    verdict $? "end session: the resident duodesk.exe ends" "still running ${T_CLOSE}s later"
    end_prefix
}

# ---- installer: the setup programs, silent, install and uninstall ---------------------------------------
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
ARP_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The setup programs, as "name|instance name|/RES": each installs its program with that preset.
INSTALLS=(
    'duodesk|KIVA 7300|1280x1024x16'
    'duodeskb|KIVA 7304|1024x768x32'
)
# Texts that /RES refuses: too few or too many numbers, a depth no display has, a zero, a letter, a
# leading zero (which NSIS's own arithmetic would read as octal), a sign, nothing.
BAD_RES=(1280x1024 1280x1024x16x1 1280x1024x15 0x768x16 1280xabcx16 1280x01024x16 1280x+1024x16 '')

# wine_procs TEXT: the pids of the current prefix's processes whose command line has TEXT in it, case
# ignored. Wine puts a Windows process's own command line in /proc ("C:\Program Files\duodesk\
# duodesk.exe"). Other Wine runs on the machine may have a duodesk.exe of their own, so only the
# processes with this prefix in their environment count.
wine_procs() {
    local p cmd
    for p in /proc/[0-9]*; do
        grep -qzx "WINEPREFIX=$PREFIX" "$p/environ" 2>/dev/null || continue
        cmd=$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)
        [[ ${cmd,,} == *"${1,,}"* ]] && echo "${p#/proc/}"
    done
}

# installed_leftovers NAME: prints, one a line, what an installation of NAME still has in the prefix.
installed_leftovers() {
    local name=$1 dir=$PREFIX/drive_c/Program\ Files/$1 links procs
    procs=$(wine_procs "Program Files\\$name\\" | paste -sd ' ')
    [[ -n $procs ]] && echo "a process: $procs"
    [[ -e $dir ]] && echo "files: $(ls -A "$dir" | paste -sd ' ')"
    links=$(compgen -G "$PREFIX/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$name.lnk")
    [[ -n $links ]] && echo "the Start-menu entry"
    # A Run key that reg cannot list counts as one with the value: the check must not pass on a failure.
    reg_list "$RUN_KEY" && [[ " | $REG_OUT" != *" |     $name    REG_"* ]] || echo "the Run value"
    reg_list "$ARP_KEY\\$name" && echo "the Add/Remove entry"
    [[ -e $PREFIX/drive_c/windows/system32/tasks/$name ]] && echo "the task $name"
}

# uninstall NAME HOW: runs the silent uninstall that Add/Remove Programs runs, its QuietUninstallString,
# waits until it is over and checks that it left nothing of NAME's, nor the "Kiva Dongle" key; HOW
# says how the program was left before.
# The uninstaller starts a copy of itself from the temporary folder (with _?=C:\Program Files\NAME\ on
# its command line, so that its own file can be deleted) and ends at once. The copy removes the
# install folder last; the uninstall is over when the folder is gone and no process of the prefix
# names the folder any more, neither that copy nor the program. The folder is waited for first,
# because a process that Wine has just created shows its Windows command line only a moment later.
uninstall() {
    local quiet start=$SECONDS
    quiet=$(reg_value "$ARP_KEY\\$1" QuietUninstallString REG_SZ)
    if [[ ! $quiet =~ ^\"([^\"]+\\uninstall\.exe)\"\ /S$ ]]; then
        fail "installer: the Add/Remove entry of $1 has a QuietUninstallString \"...\\uninstall.exe\" /S" \
            "found: ${quiet:-none}"
        return 1
    fi
    run_quick "$WORK/uninstall-$1.log" "${BASH_REMATCH[1]}" /S
    local deadline=$((SECONDS + T_CLOSE))
    while [[ -e $PREFIX/drive_c/Program\ Files/$1 ]] && ((SECONDS < deadline)); do sleep 0.2; done
    wait_no_procs "Program Files\\$1\\"
    local missing=()
    mapfile -t missing < <(installed_leftovers "$1")
    no_profile_tree || missing+=("the Kiva Dongle key")
    verdict_list "installer: the silent uninstall of $1, $2, is over in $((SECONDS - start))s and leaves nothing" \
        "left:"
}

# wait_no_procs TEXT: waits (at most T_CLOSE seconds) until no process of the prefix has TEXT in its
# command line.
wait_no_procs() {
    local deadline=$((SECONDS + T_CLOSE))
    while [[ -n $(wine_procs "$1") ]]; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# set_windows VERSION: the Windows version the prefix reports (winecfg's names: winxp, win7, win10).
set_windows() {
    timeout --kill-after=5 "$T_QUICK" "$LOADER" winecfg /v "$1" >"$WORK/winecfg.log" 2>&1 && return 0
    fail "installer: winecfg /v $1"
    show_log "$WORK/winecfg.log"
    return 1
}

# start_schedule: starts the Task Scheduler service, which Wine does not start by itself; until it
# runs, schtasks answers 0x80041315. Right after wineboot the service database is still locked for a
# few seconds, so the start is tried again within T_SCHEDULE seconds.
start_schedule() {
    local deadline=$((SECONDS + T_SCHEDULE))
    until timeout --kill-after=5 "$T_QUICK" "$LOADER" net start schedule >"$WORK/schedule.log" 2>&1; do
        if ((SECONDS >= deadline)); then
            fail "installer: net start schedule starts the Task Scheduler within ${T_SCHEDULE}s"
            show_log "$WORK/schedule.log"
            return 1
        fi
        sleep 2
    done
}

# start_menu_link NAME: the Start-menu entry of NAME, when there is one.
start_menu_link() {
    compgen -G "$PREFIX/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$1.lnk" | head -n 1
}

# link_to NAME TARGET [ARGUMENTS]: true when the Start-menu entry of NAME starts TARGET with ARGUMENTS
# (none when left out). A shell link keeps its target's path in ANSI and its arguments, folder and
# icon in UTF-16; the MinGW cross tools' strings reads both.
link_to() {
    local link target args
    link=$(start_menu_link "$1") && [[ -n $link ]] || return 1
    target=$(i686-w64-mingw32-strings -a "$link")
    args=$(i686-w64-mingw32-strings -el "$link")
    grep -Fq -- "$2" <<<"$target" || return 1
    if [[ -n ${3:-} ]]; then grep -Fxq -- "$3" <<<"$args"; else ! grep -q '^/' <<<"$args"; fi
}

check_installer() {
    echo "# installer: the setup programs, silent, install and uninstall, Windows XP ($ARCH-bit)"
    fresh_prefix installer || return
    set_windows winxp || { end_prefix; return; }
    local entry name title res bad got missing=() setup_log exe values value
    for bad in "${BAD_RES[@]}"; do
        run_quick "$WORK/setup-bad.log" "$WIN32_DIR/duodesk-setup.exe" /S "/RES=$bad"
        ((RC == 2)) || missing+=("/RES=$bad: exit $RC")
    done
    [[ -e $PREFIX/drive_c/Program\ Files/duodesk ]] && missing+=("Program Files\\duodesk exists")
    verdict_list "installer: ${#BAD_RES[@]} texts that are no resolution end setup with exit code 2, nothing installed" \
        "got:"

    for entry in "${INSTALLS[@]}"; do
        IFS='|' read -r name title res <<<"$entry"
        setup_log=$WORK/setup-$name.log
        # The program started by setup inherits its output, traces and all.
        WINEDEBUG=-all,+debugstr run_quick "$setup_log" "$WIN32_DIR/$name-setup.exe" /S "/RES=$res"
        verdict "$RC" "installer: $name-setup.exe /S /RES=$res finishes with exit code 0 (${ELAPSED}s)" ||
            { show_log "$setup_log"; continue; }

        missing=()
        [[ -f $PREFIX/drive_c/Program\ Files/$name/$name.exe ]] || missing+=("Program Files\\$name\\$name.exe")
        [[ -f $PREFIX/drive_c/Program\ Files/$name/uninstall.exe ]] || missing+=("Program Files\\$name\\uninstall.exe")
        exe="C:\\Program Files\\$name\\$name.exe"
        link_to "$name" "$exe" || missing+=("Start Menu\\Programs\\$name.lnk to $exe")
        got=$(reg_value "$RUN_KEY" "$name" REG_SZ)
        [[ $got == "\"$exe\"" ]] || missing+=("Run value $name = \"$exe\" (found ${got:-none})")
        got=$(reg_value "$ARP_KEY\\$name" DisplayVersion REG_SZ)
        [[ $got == "$VERSION" ]] || missing+=("Add/Remove entry $name, DisplayVersion $VERSION (found ${got:-none})")
        IFS=x read -ra values <<<"$res"
        for value in FirstRun=0 Width="${values[0]}" Height="${values[1]}" BitDepth="${values[2]}"; do
            got=$(reg_dword "HKCU\\Software\\Kiva Dongle\\$name\\VGA DONGLE" "${value%=*}")
            [[ $got == "${value#*=}" ]] || missing+=("$value (found ${got:-none})")
        done
        verdict_list "installer: $name: files, Start-menu entry, Run value, Add/Remove entry $VERSION, preset $res" \
            "missing:"

        probe "window-$name" wait-window "$title" "$T_SHOW"
        ((RC == 0)) && [[ -n $(wine_procs "Program Files\\$name\\$name.exe") ]] &&
            wait_traced "$setup_log" 'STARTUP_TIMER\n'
        RESIDENT_LOG=$setup_log verdict $? "installer: $name.exe runs, with its window \"$title\", started by setup" \
            "$PROBE_OUT"
    done

    # Setup run again over the running duodesk: it closes that copy, replaces it and starts the new one.
    local old_pid new_pid
    old_pid=$(wine_procs 'Program Files\duodesk\duodesk.exe')
    setup_log=$WORK/setup-duodesk-again.log
    WINEDEBUG=-all,+debugstr run_quick "$setup_log" "$WIN32_DIR/duodesk-setup.exe" /S
    probe window-again wait-window 'KIVA 7300' "$T_SHOW"
    new_pid=$(wine_procs 'Program Files\duodesk\duodesk.exe')
    ((RC == 0)) && [[ -n $old_pid && -n $new_pid && $new_pid != "$old_pid" ]] &&
        traced "$WORK/setup-duodesk.log" 'OnTurnOff\n' && wait_traced "$setup_log" 'STARTUP_TIMER\n'
    RESIDENT_LOG=$setup_log verdict $? \
        "installer: duodesk-setup.exe /S again closes the running duodesk.exe (pid $old_pid) and starts the new one (pid ${new_pid:-none})" \
        "$PROBE_OUT"

    # duodesk is running: its uninstaller has it delete its registry tree itself, duodeskb's profile
    # with it; duodeskb goes on running.
    uninstall duodesk "running" || { end_prefix; return; }
    traced "$setup_log" 'OnTurnOff\n' 'OnRemove Reg\n'
    RESIDENT_LOG=$setup_log verdict $? \
        "installer: duodesk.exe, asked by its uninstaller, traced \"OnTurnOff\" and \"OnRemove Reg\""
    probe window-duodeskb wait-window 'KIVA 7304' 1
    verdict "$RC" "installer: duodeskb.exe still runs after duodesk's uninstall" "$PROBE_OUT"

    # duodeskb, closed first: its uninstaller deletes the tree itself.
    run_quick "$WORK/close-duodeskb.log" 'C:\Program Files\duodeskb\duodeskb.exe' Close
    wait_no_procs 'Program Files\duodeskb\'
    if ! reg_set 'HKCU\Software\Kiva Dongle\duodeskb\VGA DONGLE' DispState REG_DWORD 2; then
        fail "installer: duodeskb's profile set again with reg add"
        end_prefix
        return
    fi
    uninstall duodeskb "closed"
    end_prefix
}

# What the task definition that setup writes beside the program must say, each as "what|line".
TASK_WANTS=(
    'a logon trigger|<LogonTrigger>'
    'the trigger on|<Enabled>true</Enabled>'
    'the group Users|<GroupId>S-1-5-32-545</GroupId>'
    'an interactive token|<LogonType>InteractiveToken</LogonType>'
    'the highest rights|<RunLevel>HighestAvailable</RunLevel>'
    'no time limit|<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
    'started on battery|<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
    'not stopped on battery|<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    'the program|<Command>C:\Program Files\@NAME@\@NAME@.exe</Command>'
)

check_installer_task() {
    echo "# installer-task: the setup programs on Windows 10 and, with the logon task, on Windows 7 ($ARCH-bit)"
    fresh_prefix installer-task || return
    local entry name title res got missing=() tasks=$PREFIX/drive_c/windows/system32/tasks want exe

    set_windows win10 || { end_prefix; return; }
    run_quick "$WORK/setup-win10.log" "$WIN32_DIR/duodesk-setup.exe" /S /RES=1280x1024x16
    ((RC == 3)) || missing+=("exit code $RC")
    mapfile -t -O "${#missing[@]}" missing < <(installed_leftovers duodesk)
    verdict_list "installer-task: on Windows 10, duodesk-setup.exe /S ends with exit code 3 and installs nothing" \
        "got:"

    if ! set_windows win7 || ! start_schedule; then
        end_prefix
        return
    fi
    for entry in "${INSTALLS[@]}"; do
        IFS='|' read -r name title res <<<"$entry"
        exe="C:\\Program Files\\$name\\$name.exe"
        # The Run value of an earlier version, which setup replaces with the task.
        reg_set "$RUN_KEY" "$name" REG_SZ "\"$exe\"" || fail "installer-task: the Run value of $name set with reg add"
        run_quick "$WORK/setup-$name.log" "$WIN32_DIR/$name-setup.exe" /S "/RES=$res"
        verdict "$RC" "installer-task: $name-setup.exe /S /RES=$res finishes with exit code 0 (${ELAPSED}s)" ||
            { show_log "$WORK/setup-$name.log"; continue; }

        missing=()
        [[ -f $PREFIX/drive_c/Program\ Files/$name/$name.exe ]] || missing+=("Program Files\\$name\\$name.exe")
        grep -Fq "<Description>Starts $name with the highest rights of the user: $exe</Description>" \
            "$tasks/$name" 2>/dev/null || missing+=("the task $name, described with $exe")
        [[ -e "$tasks/$name preset" ]] && missing+=("the removal of the task \"$name preset\"")
        got=$(reg_value "$RUN_KEY" "$name" REG_SZ) && missing+=("no Run value (found $got)")
        got=$(reg_value "$ARP_KEY\\$name" DisplayVersion REG_SZ)
        [[ $got == "$VERSION" ]] || missing+=("Add/Remove entry $name, DisplayVersion $VERSION (found ${got:-none})")
        link_to "$name" 'C:\windows\system32\schtasks.exe' "/Run /TN \"$name\"" ||
            missing+=("Start Menu\\Programs\\$name.lnk to schtasks.exe /Run /TN \"$name\"")
        got=$(iconv -f UTF-16 -t UTF-8 "$PREFIX/drive_c/Program Files/$name/logon-task.xml" 2>&1 |
            sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//')
        for want in "${TASK_WANTS[@]//@NAME@/$name}"; do
            grep -Fxq -- "${want#*|}" <<<"$got" || missing+=("logon-task.xml: ${want%%|*}: ${want#*|}")
        done
        verdict_list "installer-task: $name: its logon task, its definition, no Run value, Start-menu entry to schtasks /Run" \
            "missing:"
    done
    uninstall duodesk "on Windows 7"
    uninstall duodeskb "on Windows 7"
    end_prefix
}

# wanted NAME: true when NAME is among the checks to run (all of them without --only).
wanted() { [[ -z $ONLY || ",$ONLY," == *",$1,"* ]]; }

if wanted resources; then
    echo "# resources and image"
    check_image i686 "$WIN32_DIR" i686-w64-mingw32
    check_image x86_64 "$WIN64_DIR" x86_64-w64-mingw32
fi

probe_i686 end
if [[ ! -f $EXE_DIR/duodesk.exe || ! -f $EXE_DIR/duodeskb.exe ]]; then
    fail "the $ARCH-bit executables to run exist" "not found in $EXE_DIR"
else
    wanted preset && check_preset
    wanted close && check_close
    if [[ -f $EXE_DIR/tray-probe.exe ]]; then
        wanted tray-icon && check_tray_icon
        wanted tray-menu && check_tray_menu
        wanted tray-off && check_tray_off
        if wanted dialog; then
            if [[ -f $EXE_DIR/dialog-probe.exe ]]; then
                check_dialog
            else
                fail "the $ARCH-bit dialog-probe.exe for the dialog check exists" "not found in $EXE_DIR"
            fi
        fi
        wanted uninstall && check_uninstall
        wanted end-session && check_end_session
        if wanted installer || wanted installer-task; then
            if [[ $ARCH != 32 ]]; then
                note "the setup programs are 32-bit and cannot run here: the installer checks are left out"
            elif [[ ! -f $WIN32_DIR/duodesk-setup.exe || ! -f $WIN32_DIR/duodeskb-setup.exe ]]; then
                fail "the setup programs exist" "not found in $WIN32_DIR"
            else
                wanted installer && check_installer
                wanted installer-task && check_installer_task
            fi
        fi
    else
        fail "the $ARCH-bit tray-probe.exe for the tray, uninstall, end-of-session and installer checks exists" \
            "not found in $EXE_DIR"
    fi
fi

echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
