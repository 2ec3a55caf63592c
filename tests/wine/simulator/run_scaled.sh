#!/usr/bin/env bash
# run_scaled.sh DRIVER.sys SCENARIO WORKDIR -- PROGRAM ARGS...
# run_with_simulator.sh with SCENARIO's timed events ("at <seconds> ...") moved by
# WINE_TIME_SCALE, so that a story paced by them keeps its order where Wine runs emulated.
set -u
sys="$1" scenario="$2" work="$3"
shift 3
here="$(cd "$(dirname "$0")" && pwd)"
scaled="$work-scenario.txt"
mkdir -p "$(dirname "$scaled")" || exit 1
awk -v k="${WINE_TIME_SCALE:-1}" '$1 == "at" { $2 = $2 * k } { print }' "$scenario" > "$scaled" || exit 1
exec "$here/run_with_simulator.sh" "$sys" "$scaled" "$work" "$@"
