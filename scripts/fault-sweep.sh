#!/usr/bin/env bash
# The fault sweep over the scenario corpus (scripts/fault_sweep.py says what it checks):
#
#   scripts/fault-sweep.sh                 the seeded sample CI runs
#   scripts/fault-sweep.sh --full          every (function, occurrence) pair of every scenario
#   scripts/fault-sweep.sh --only bringup-mirror.scn:RegSetValueExA:3   one case, with its output
#
# It needs the simulator build (cmake --build --preset sim --target duodesk-sim).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
exec python3 scripts/fault_sweep.py "$@"
