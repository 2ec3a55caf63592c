#!/usr/bin/env bash
# run_with_simulator.sh DRIVER.sys SCENARIO WORKDIR -- PROGRAM ARGS...
#
# Installs the simulated driver with SCENARIO into the prefix (WINEPREFIX), starts it, runs
# the Windows PROGRAM in a fresh WORKDIR under Wine with a time limit, and always removes
# the driver and stops the prefix's server afterwards, so that nothing is left running.
# Exit status: the program's, or 1 when the driver could not be set up.
set -u
sys="$1" scenario="$2" work="$3"
shift 3
[ "${1:-}" = "--" ] && shift
here="$(cd "$(dirname "$0")" && pwd)"
sim="$here/../../../scripts/simulator"
run="$here/../../../scripts/wine-run"

cleanup() { "$sim" remove >/dev/null 2>&1; "$sim" halt >/dev/null 2>&1; }
trap cleanup EXIT

rm -rf "$work" && mkdir -p "$work" || exit 1
"$sim" install "$sys" "$scenario" || exit 1
"$sim" start || exit 1
cd "$work" || exit 1
WINE_RUN_TIMEOUT="${WINE_RUN_TIMEOUT:-100}" "$run" "$@"
