#!/usr/bin/env bash
# Builds everything and runs every test, the way CI does (.ci/run calls exactly this):
#
#   1. installs what is missing (scripts/install-deps.sh; needs root the first time)
#   2. the simulator build (preset sim) and its unit and scenario tests under ctest, and the lint:
#      clang-format in check mode and clang-tidy on the product code (scripts/lint.sh)
#   3. the README's story pictures drawn again and compared (scripts/story-pictures.sh --check)
#   4. the sampled fault sweep over tests/corpus and a few soak days (scripts/fault-sweep.sh, soak.py),
#      and the fuzz targets (preset fuzz), each run for a few seconds (scripts/fuzz.sh)
#   5. the Windows executables, 32-bit (preset win32, shipped) and 64-bit (preset win64)
#   6. those executables run under Wine (tests/wine/run-wine-tests.sh)
#   7. the benchmark's size and idle parts (scripts/bench.sh --ci)
#   8. the simulator checked against Wine: the scenarios of tests/conformance run on both and compared
#      (tests/wine/conformance.sh, docs/winsim-conformance.md)
#   9. the device channel under Wine with the test bus driver, and its stories compared with the
#      simulator (tests/wine/device-channel.sh, about a minute)
#
# A failing stage does not stop the later ones, so one run shows every problem; a stage whose build
# failed skips its own tests. The last line adds up the tests of stages 2, 3, 4, 6, 7, 8 and 9 as
# "N passed, N failed" (each picture, each sweep run, each soak day, each fuzz target that ran without a
# crash, each goal of the benchmark, each conformance scenario, each device-channel check and each file
# the lint checks is one; a build that failed counts as one failure); the exit status is non-zero when
# anything failed.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
LOGS=$(mktemp -d -t duodesk-test-all.XXXXXX)
trap 'rm -rf "$LOGS"' EXIT

PASSED=0
FAILED=0
STAGES_FAILED=()
START=$SECONDS

stage() { echo; echo "=== $* ($((SECONDS - START))s)"; }
stage_failed() {
    FAILED=$((FAILED + 1))
    STAGES_FAILED+=("$1")
    echo "*** $1 failed"
}

# Reads the closing line of a test run and adds its counts to the totals.
#   ctest:      "100% tests passed, 0 tests failed out of 42"
#   wine tests and fuzz targets: "31 passed, 0 failed"
add_counts() {
    local log=$1 what=$2 rc=$3 line
    line=$(grep -E '(tests passed, [0-9]+ tests failed out of [0-9]+|^[0-9]+ passed, [0-9]+ failed$)' "$log" | tail -n 1)
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        PASSED=$((PASSED + BASH_REMATCH[2] - BASH_REMATCH[1]))
        FAILED=$((FAILED + BASH_REMATCH[1]))
    elif [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        PASSED=$((PASSED + BASH_REMATCH[1]))
        FAILED=$((FAILED + BASH_REMATCH[2]))
    else
        # No closing line at all: the runner itself broke (or found no test).
        FAILED=$((FAILED + 1))
    fi
    ((rc == 0)) || STAGES_FAILED+=("$what")
}

# The lint closes each tool with its own "N passed, N failed"; every one of them counts.
add_lint_counts() {
    local log=$1 rc=$2 line seen=0
    while read -r line; do
        [[ $line =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]] || continue
        PASSED=$((PASSED + BASH_REMATCH[1]))
        FAILED=$((FAILED + BASH_REMATCH[2]))
        seen=$((seen + 1))
    done <"$log"
    ((seen == 2)) || FAILED=$((FAILED + 1))
    ((rc == 0)) || STAGES_FAILED+=("lint")
}

stage "dependencies"
if ! bash scripts/install-deps.sh; then
    stage_failed "installing dependencies"
    echo "$PASSED passed, $FAILED failed"
    exit 1
fi

stage "simulator: configure and build (preset sim)"
sim_ok=0
if cmake --preset sim && cmake --build --preset sim; then
    sim_ok=1
    stage "simulator: tests"
    ctest --preset sim --output-on-failure -j 2 2>&1 | tee "$LOGS/ctest.log"
    add_counts "$LOGS/ctest.log" "simulator tests" "${PIPESTATUS[0]}"
    stage "lint: clang-format and clang-tidy (scripts/lint.sh)"
    bash scripts/lint.sh build/sim 2>&1 | tee "$LOGS/lint.log"
    add_lint_counts "$LOGS/lint.log" "${PIPESTATUS[0]}"
    stage "simulator: the README's story pictures, drawn again and compared"
    bash scripts/story-pictures.sh --check 2>&1 | tee "$LOGS/story.log"
    add_counts "$LOGS/story.log" "story pictures" "${PIPESTATUS[0]}"
    stage "simulator: fault sweep (seeded sample) and soak days"
    bash scripts/fault-sweep.sh 2>&1 | tee "$LOGS/sweep.log"
    add_counts "$LOGS/sweep.log" "fault sweep" "${PIPESTATUS[0]}"
    python3 scripts/soak.py 1 2 3 2>&1 | tee "$LOGS/soak.log"
    add_counts "$LOGS/soak.log" "soak" "${PIPESTATUS[0]}"
else
    stage_failed "simulator build"
fi

stage "fuzz targets: build (preset fuzz) and a short run of each"
bash scripts/fuzz.sh 2>&1 | tee "$LOGS/fuzz.log"
add_counts "$LOGS/fuzz.log" "fuzz targets" "${PIPESTATUS[0]}"

windows_ok=1
for preset in win32 win64; do
    stage "Windows: configure and build (preset $preset)"
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset"; }; then
        stage_failed "$preset build"
        windows_ok=0
    fi
done

stage "Windows executables under Wine"
if ((windows_ok)); then
    bash tests/wine/run-wine-tests.sh 2>&1 | tee "$LOGS/wine.log"
    add_counts "$LOGS/wine.log" "Wine tests" "${PIPESTATUS[0]}"
else
    echo "skipped: a Windows build failed"
fi

stage "benchmark: size and idle (scripts/bench.sh --ci)"
if ((windows_ok)); then
    bash scripts/bench.sh --ci 2>&1 | tee "$LOGS/bench.log"
    add_counts "$LOGS/bench.log" "benchmark" "${PIPESTATUS[0]}"
else
    echo "skipped: a Windows build failed"
fi

stage "simulator checked against Wine"
if ((windows_ok && sim_ok)); then
    bash tests/wine/conformance.sh 2>&1 | tee "$LOGS/conformance.log"
    add_counts "$LOGS/conformance.log" "conformance" "${PIPESTATUS[0]}"
else
    echo "skipped: a build failed"
fi

stage "device channel under Wine"
if ((windows_ok && sim_ok)); then
    bash tests/wine/device-channel.sh 2>&1 | tee "$LOGS/device.log"
    add_counts "$LOGS/device.log" "device channel" "${PIPESTATUS[0]}"
else
    echo "skipped: a build failed"
fi

echo
echo "=== done in $((SECONDS - START))s"
if ((${#STAGES_FAILED[@]})); then
    echo "failed: ${STAGES_FAILED[*]}"
fi
echo "$PASSED passed, $FAILED failed"
((FAILED == 0 && ${#STAGES_FAILED[@]} == 0))
