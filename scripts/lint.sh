#!/usr/bin/env bash
# The lint stage of scripts/test-all.sh, each file one test:
#   clang-format in check mode (the repo's .clang-format) over the product, winsim and the tests;
#   clang-tidy with the checks .clang-tidy names over the product code (framework, sysint, adapter, app,
#   tray), compiled as the simulator build compiles it (its compile_commands.json).
# Each tool closes with "N passed, N failed" and lists what failed; a finding of either fails the run.
#
#   scripts/lint.sh [BUILD_DIR]    BUILD_DIR defaults to build/sim, which must be configured
#
# clang-tidy checks LINT_JOBS files at a time (2 by default).
set -uo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1
BUILD=${1:-build/sim}
JOBS=${LINT_JOBS:-2}
export CLANG_FORMAT=${CLANG_FORMAT:-clang-format-14}
export CLANG_TIDY=${CLANG_TIDY:-clang-tidy-14}
LOGS=$(mktemp -d -t duodesk-lint.XXXXXX)
trap 'rm -rf "$LOGS"' EXIT
export LOGS BUILD

status=0

# Prints "ok FILE" or "fail FILE" for each file; the findings go to $LOGS/<file with / as _>.
format_one() {
    local log="$LOGS/format_${1//\//_}"
    if "$CLANG_FORMAT" --dry-run --Werror "$1" >"$log" 2>&1; then echo "ok $1"; else echo "fail $1"; fi
}
# The product's own headers are checked where they are included; the system's and winsim's are not.
tidy_one() {
    local log="$LOGS/tidy_${1//\//_}"
    if "$CLANG_TIDY" -p "$BUILD" --quiet --warnings-as-errors='*' \
        --header-filter='/(framework|sysint|adapter|app|tray)/[^/]*\.h$' "$1" >"$log" 2>&1; then
        echo "ok $1"
    else
        echo "fail $1"
    fi
}
export -f format_one tidy_one

# Adds up a tool's "ok"/"fail" lines, prints the failures with their findings and the closing line.
report() {
    local tool=$1 results=$2 passed failed
    passed=$(grep -c '^ok ' "$results")
    failed=$(grep -c '^fail ' "$results")
    if ((failed)); then
        echo "$tool: these files fail:"
        sed -n 's/^fail //p' "$results" | sort | while read -r file; do
            echo "  $file"
        done
        [[ $tool == clang-format ]] && echo "clang-format: '$CLANG_FORMAT -i FILE' formats one as .clang-format says"
        if [[ $tool == clang-tidy ]]; then
            # Each finding once, at its source: a product header is compiled from its copy in the
            # build's layers/ folder and is seen by every file that includes it.
            echo "clang-tidy: the findings:"
            cat "$LOGS"/tidy_* | grep -E '(warning|error): ' |
                sed -E "s#^$PWD/##; s#^$BUILD/layers/[^/]+/##; s#^$PWD/$BUILD/layers/[^/]+/##; s#,-warnings-as-errors\]#]#" |
                sort -u | sed 's/^/  /'
        fi
        status=1
    fi
    echo "$passed passed, $failed failed"
}

echo "--- clang-format ($CLANG_FORMAT --dry-run --Werror)"
if ! command -v "$CLANG_FORMAT" >/dev/null; then
    echo "$CLANG_FORMAT is not installed (scripts/install-deps.sh)"
    echo "0 passed, 1 failed"
    status=1
else
    find framework sysint adapter app tray variants res winsim tests -name '*.cpp' -o -name '*.h' | sort |
        xargs -P "$JOBS" -I{} bash -c 'format_one "$1"' _ {} >"$LOGS/format.results"
    report clang-format "$LOGS/format.results"
fi

echo "--- clang-tidy ($CLANG_TIDY, $BUILD/compile_commands.json)"
if ! command -v "$CLANG_TIDY" >/dev/null || [[ ! -f $BUILD/compile_commands.json ]]; then
    echo "needs $CLANG_TIDY (scripts/install-deps.sh) and $BUILD/compile_commands.json (cmake --preset sim)"
    echo "0 passed, 1 failed"
    status=1
else
    find framework sysint adapter app tray -name '*.cpp' | sort |
        xargs -P "$JOBS" -I{} bash -c 'tidy_one "$1"' _ {} >"$LOGS/tidy.results"
    report clang-tidy "$LOGS/tidy.results"
fi

exit "$status"
