#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang's libFuzzer with ASan and UBSan, in build/fuzz) and runs
# each one for a bounded time, starting from its seed inputs in fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh                   every target for a few seconds (what CI runs)
#   scripts/fuzz.sh --long SECONDS    every target for SECONDS
#   scripts/fuzz.sh --runs N          every target for N executions
#   scripts/fuzz.sh ... TARGET...     only these targets (fuzz_scenario, ...)
#
# The inputs a run finds are kept in build/fuzz/corpus/<target>/ for the next run; a crash is written to
# build/fuzz/crashes/<target>/ and its report to build/fuzz/logs/<target>.log. One line per target gives
# its executions, coverage (libFuzzer's cov and ft) and outcome; the last line counts the targets as
# "N passed, N failed". The exit status is non-zero when a build failed or any target crashed.
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
limit=(-max_total_time=4)
targets=()
while (($#)); do
    case "$1" in
    --long)
        limit=(-max_total_time="${2:?--long wants SECONDS}")
        shift 2
        ;;
    --runs)
        limit=(-runs="${2:?--runs wants a count}")
        shift 2
        ;;
    -*)
        echo "usage: $0 [--long SECONDS | --runs N] [TARGET...]" >&2
        exit 2
        ;;
    *)
        targets+=("$1")
        shift
        ;;
    esac
done
((${#targets[@]})) ||
    targets=(fuzz_command_line fuzz_mode_tables fuzz_profile fuzz_device_keys fuzz_scenario)

if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target "${targets[@]}"; }; then
    echo "fuzz: the build failed"
    echo "0 passed, 1 failed"
    exit 1
fi

out=build/fuzz
passed=0
failed=0
for target in "${targets[@]}"; do
    mkdir -p "$out/corpus/$target" "$out/crashes/$target" "$out/logs"
    log="$out/logs/$target.log"
    dict=()
    [[ -f fuzz/$target.dict ]] && dict=(-dict="fuzz/$target.dict")
    # One process, no forks: a crash stops the target at the first input that shows it. Leaks count as
    # crashes; an input that takes 10 s is a hang.
    "$out/fuzz/$target" "${limit[@]}" "${dict[@]}" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$out/crashes/$target/" "$out/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1
    rc=$?
    runs=$(grep -oP '^stat::number_of_executed_units: \K[0-9]+' "$log" | tail -n 1 | tr -d :)
    cov=$(grep -oP '^#[0-9]+\s+\S+\s+cov: \K[0-9]+ ft: [0-9]+' "$log" | tail -n 1 | tr -d :)
    if ((rc == 0)); then
        passed=$((passed + 1))
        echo "fuzz $target: ${runs:-?} executions, cov ${cov:-?}, no crash"
    else
        failed=$((failed + 1))
        echo "fuzz $target: ${runs:-?} executions, cov ${cov:-?}, CRASH (exit $rc): $log"
        grep -m 1 -E 'ERROR:|runtime error|check failed' "$log"
        ls "$out/crashes/$target/"
    fi
done
echo "$passed passed, $failed failed"
((failed == 0))
