#!/usr/bin/env bash
# The install's decisions, step by step, without a network: each row is a step, its result and the step
# that must follow.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/install-deps.sh"

passed=0 failed=0
expect() {
    local want=$1 got
    shift
    got=$("$@")
    if [[ $got == "$want" ]]; then passed=$((passed + 1)); else
        failed=$((failed + 1))
        echo "FAIL: $* -> $got, expected $want"
    fi
}

# an index that fails: retried, then passed over
expect install next_step update ok 1
expect retry-update next_step update failed 1
expect retry-update next_step update failed 2
expect install-stale-index next_step update failed 3
# an install that does not resolve: the release's own suite, then all but the optional packages
expect verify next_step install ok
expect install-release next_step install failed
expect verify next_step install-release ok
expect install-without-optional next_step install-release failed
expect verify next_step install-without-optional done
# what is left at the end: nothing, only 32-bit Wine, or something the build needs
expect none missing_kind
expect optional missing_kind wine32:i386
expect required missing_kind wine32:i386 cmake
expect required missing_kind g++-mingw-w64-i686-win32
expect done next_step verify none
expect done-without-optional next_step verify optional
expect fail next_step verify required

echo "$passed passed, $failed failed"
((failed == 0))
