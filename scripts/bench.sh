#!/usr/bin/env bash
# The benchmark: what duodesk costs as a resident program, next to the minimal tray program
# (bench/mini_tray.cpp, built in the same run with the same flags) and to its goals.
#
#   scripts/bench.sh         every part: size, idle, latency, menu cost (callgrind, preset bench),
#                            memory and idle CPU under Wine (bench/wine-figures.sh), simulator speed
#   scripts/bench.sh --ci    size and idle only: fast and deterministic (what CI runs)
#
# It builds what it needs, prints one table (scripts/bench.py), and exits non-zero when a goal that has
# been reached is missed again.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

ci=0
case "${1:-}" in
--ci) ci=1 ;;
"") ;;
*) echo "usage: $0 [--ci]" >&2; exit 2 ;;
esac

build() { cmake --preset "$1" >/dev/null && cmake --build --preset "$1" >/dev/null; }

if ((ci)); then
    # CI has built these already; the counts of the idle part do not depend on the build type.
    for preset in sim win32 win64; do
        build "$preset" || { echo "bench: the $preset build failed"; echo "0 passed, 1 failed"; exit 1; }
    done
    exec python3 scripts/bench.py --ci --sim build/sim --win32 build/win32 --win64 build/win64
fi

bash scripts/install-deps.sh --bench || exit 1
for preset in bench win32 win64; do
    build "$preset" || { echo "bench: the $preset build failed"; exit 1; }
done
figures=build/bench/wine-figures.txt
bash bench/wine-figures.sh build/win32 build/win64 "$figures" || echo "note: the Wine figures are incomplete"
exec python3 scripts/bench.py --sim build/bench --win32 build/win32 --win64 build/win64 --wine "$figures"
