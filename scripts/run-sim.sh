#!/usr/bin/env bash
# Builds the simulator and runs duodesk in it.
#
#   scripts/run-sim.sh                 the built-in scenario
#   scripts/run-sim.sh ARGS...         ARGS go to build/sim/duodesk-sim unchanged (see docs/scenarios.md)
#
# Installs what the simulator build needs when it is missing (as root), then configures and builds
# only what it runs, so the first run on a fresh machine stays short.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/install-deps.sh --sim
cmake --preset sim >/dev/null
cmake --build --preset sim --target duodesk-sim
exec build/sim/duodesk-sim "$@"
