#!/usr/bin/env bash
# run_with_simulator.sh DRIVER.sys SCENARIO WORKDIR -- PROGRAM ARGS...
#
# Installs the simulated driver with SCENARIO into the prefix (WINEPREFIX), starts it, runs
# the Windows PROGRAM in a fresh WORKDIR under Wine with a time limit, and always removes
# the driver and stops the prefix's server afterwards, so that nothing is left running.
# Exit status: the program's, or 1 when the driver could not be set up or anything crashed.
set -u
sys="$1" scenario="$2" work="$3"
shift 3
[ "${1:-}" = "--" ] && shift
here="$(cd "$(dirname "$0")" && pwd)"
sim="$here/../../../scripts/simulator"
run="$here/../../../scripts/wine-run"

# A crash anywhere in the prefix (the driver's host included, up to its unload) fails the
# run. The prefix's server is new, so what it logs is this run's alone.
cleanup() {
  local code=$? crashed
  "$sim" remove >/dev/null 2>&1
  crashed=$("$sim" crashes)
  "$sim" halt >/dev/null 2>&1
  [ -n "$crashed" ] && { echo "run_with_simulator: crashed in the prefix:"; echo "$crashed"; exit 1; }
  exit $code
}
"$sim" halt >/dev/null 2>&1
trap cleanup EXIT

rm -rf "$work" && mkdir -p "$work" || exit 1
"$sim" install "$sys" "$scenario" || exit 1
"$sim" start || exit 1
cd "$work" || exit 1
WINE_RUN_TIMEOUT="${WINE_RUN_TIMEOUT:-100}" "$run" "$@"
