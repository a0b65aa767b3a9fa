#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Run as root. Safe to run again and again: when everything is there it checks and prints nothing.
#
#   scripts/install-deps.sh          everything: simulator, fuzz targets, cross compilers, NSIS, Wine and its tools
#   scripts/install-deps.sh --sim    only what the simulator build, its tests and the fuzz targets need
#   scripts/install-deps.sh --bench  everything, and valgrind for the benchmark's menu cost
#
# A mirror in the middle of a sync serves indexes that disagree with each other: `apt-get update` fails
# on one of them ("Mirror sync in progress?"), or the amd64 libraries come from the security suite while
# their i386 twins, which multiarch needs at the same version, are not there yet ("held broken
# packages"). So a failing update is retried and then passed over, an install that does not resolve is
# tried again preferring the release's own suite, where every architecture has one version, and 32-bit
# Wine, which only the i686 checks need, may be left out: the Wine checks then run the 64-bit build.
set -uo pipefail

# Packages that may be missing at the end without failing the run.
OPTIONAL_PACKAGES=(wine32:i386)
UPDATE_TRIES=3

# next_step STEP RESULT [ATTEMPT]: the decision after a step, from the step and its result alone, so it
# can be tested without a network. Steps and results:
#   update ok|failed ATTEMPT     -> install | retry-update | install-stale-index
#   install ok|failed            -> verify | install-release
#   install-release ok|failed    -> verify | install-without-optional
#   install-without-optional ... -> verify
#   verify none|optional|required -> done | done-without-optional | fail
next_step() {
    case "$1:$2" in
    update:ok) echo install ;;
    update:failed) (("$3" < UPDATE_TRIES)) && echo retry-update || echo install-stale-index ;;
    install:ok | install-release:ok) echo verify ;;
    install:failed) echo install-release ;;
    install-release:failed) echo install-without-optional ;;
    install-without-optional:*) echo verify ;;
    verify:none) echo done ;;
    verify:optional) echo done-without-optional ;;
    verify:required) echo fail ;;
    *) echo fail ;;
    esac
}

# is_optional PACKAGE
is_optional() {
    local o
    for o in "${OPTIONAL_PACKAGES[@]}"; do [[ $1 == "$o" ]] && return 0; done
    return 1
}

# missing_kind PACKAGE...: what the packages still missing amount to: none, optional or required.
missing_kind() {
    local p kind=none
    for p in "$@"; do
        if is_optional "$p"; then kind=optional; else
            echo required
            return
        fi
    done
    echo "$kind"
}

# dpkg-query answers from the local database: no network, no root needed. A package counts as present
# only when it is fully installed ("install ok installed"), not merely known or half-configured.
installed() {
    [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

# Sourced by its test for the functions above; run, it installs.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

want_windows=1
want_bench=0
case "${1:-}" in
--sim) want_windows=0 ;;
--bench) want_bench=1 ;;
"") ;;
*)
    echo "usage: $0 [--sim | --bench]" >&2
    exit 2
    ;;
esac

# python3: the fault sweep and the soak; clang-14 with its runtime libraries (libFuzzer and the
# sanitizers) builds the fuzz targets; clang-format-14 and clang-tidy-14 are the lint (scripts/lint.sh).
packages=(cmake g++ ninja-build libgtest-dev python3 clang-14 libclang-rt-14-dev clang-format-14 clang-tidy-14)
if ((want_windows)); then
    packages+=(
        g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
        binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
        wine wine64 wine32:i386 xvfb xauth
        imagemagick # the Wine checks' screenshot of the tray menu (import)
        nsis        # makensis: the setup programs of the win32 build
        # the README's story pictures rendered to PNG (scripts/story-pictures.sh), in the font they name
        librsvg2-bin fonts-dejavu-core
    )
fi
((want_bench)) && packages+=(valgrind)

still_missing() {
    local p
    for p in "${packages[@]}"; do installed "$p" || echo "$p"; done
}

mapfile -t missing < <(still_missing)
((${#missing[@]} == 0)) && exit 0

if ((EUID != 0)); then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root to install them" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive

# wine32 is an i386 package; Debian installs it beside the amd64 ones once multiarch knows i386.
for p in "${missing[@]}"; do
    if [[ "$p" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386 &&
        [[ "$(dpkg --print-architecture)" != i386 ]]; then
        dpkg --add-architecture i386
        break
    fi
done

codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")

# apt_install [APT-OPTIONS...] -- PACKAGES...
# --no-install-recommends keeps Wine from pulling in a desktop's worth of fonts and helpers.
apt_install() {
    local opts=()
    while [[ $1 != -- ]]; do opts+=("$1") && shift; done
    shift
    apt-get install -y -qq --no-install-recommends "${opts[@]}" "$@" >"$APT_LOG" 2>&1
}
APT_LOG=$(mktemp -t install-deps.XXXXXX)
trap 'rm -f "$APT_LOG"' EXIT

step=update attempt=1
while :; do
    case $step in
    update | retry-update)
        if apt-get update -qq >"$APT_LOG" 2>&1; then result=ok; else result=failed; fi
        step=$(next_step update "$result" "$attempt")
        [[ $step == retry-update ]] && attempt=$((attempt + 1)) && sleep 5
        ;;
    install-stale-index)
        echo "install-deps: apt-get update failed $UPDATE_TRIES times, going on with the index as it is:" \
            "$(grep -m1 -E '^(E|W):' "$APT_LOG")"
        step=install
        ;;
    install)
        apt_install -- "${missing[@]}" && result=ok || result=failed
        step=$(next_step install "$result")
        ;;
    install-release)
        if [[ -z $codename ]]; then
            step=$(next_step install-release failed)
            continue
        fi
        echo "install-deps: the install did not resolve; trying again preferring $codename's own suite"
        apt_install -t "$codename" -- "${missing[@]}" && result=ok || result=failed
        step=$(next_step install-release "$result")
        ;;
    install-without-optional)
        rest=()
        for p in "${missing[@]}"; do is_optional "$p" || rest+=("$p"); done
        echo "install-deps: still unresolved; installing all but ${OPTIONAL_PACKAGES[*]}"
        apt_install ${codename:+-t "$codename"} -- "${rest[@]}" || true
        step=$(next_step install-without-optional done)
        ;;
    verify)
        mapfile -t left < <(still_missing)
        step=$(next_step verify "$(missing_kind "${left[@]}")")
        ;;
    done)
        echo "install-deps: done"
        exit 0
        ;;
    done-without-optional)
        echo "install-deps: done, without ${left[*]}: the Wine checks will run the 64-bit build with wine64"
        exit 0
        ;;
    *)
        echo "install-deps: could not install: ${left[*]}" >&2
        grep -m3 -E '^(E|W):' "$APT_LOG" >&2
        exit 1
        ;;
    esac
done
