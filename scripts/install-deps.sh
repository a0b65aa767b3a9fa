#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
# Run as root. Safe to run again and again: when everything is there it checks and prints nothing.
#
#   scripts/install-deps.sh          everything: simulator, fuzz targets, cross compilers, NSIS, Wine and its tools
#   scripts/install-deps.sh --sim    only what the simulator build, its tests and the fuzz targets need
#   scripts/install-deps.sh --bench  everything, and valgrind for the benchmark's menu cost
set -euo pipefail

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
# sanitizers) builds the fuzz targets.
packages=(cmake g++ ninja-build libgtest-dev python3 clang-14 libclang-rt-14-dev)
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

# dpkg-query answers from the local database: no network, no root needed. A package counts as present
# only when it is fully installed ("install ok installed"), not merely known or half-configured.
installed() {
    [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

if ((EUID != 0)); then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root to install them" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive

# wine32 is an i386 package; Debian installs it beside the amd64 ones once multiarch knows i386.
need_i386=0
for p in "${missing[@]}"; do
    [[ "$p" == *:i386 ]] && need_i386=1
done
if ((need_i386)) && ! dpkg --print-foreign-architectures | grep -qx i386 &&
    [[ "$(dpkg --print-architecture)" != i386 ]]; then
    dpkg --add-architecture i386
fi

apt-get update -qq
# --no-install-recommends keeps Wine from pulling in a desktop's worth of fonts and helpers.
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

still=()
for p in "${missing[@]}"; do
    installed "$p" || still+=("$p")
done
if ((${#still[@]})); then
    echo "install-deps: could not install: ${still[*]}" >&2
    exit 1
fi
echo "install-deps: done"
