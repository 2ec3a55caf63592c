#!/usr/bin/env bash
# run_bench.sh BUILD_DIR [ROUNDS]: the timed runs (simulator_bench, four_devices.txt).
# run_bench.sh BUILD_DIR reliability [THREADS CALLS CYCLES]: the reliability counts
# (reliability_bench, reliability.txt).
# run_bench.sh BUILD_DIR print: btctl print-test to the confirmed print (print_bench,
# four_devices.txt).
# Each runs under Wine with the driver up and prints its figures.
set -u
build="$(cd "${1:?usage: run_bench.sh BUILD_DIR [ROUNDS | reliability [THREADS CALLS CYCLES]]}" && pwd)"
shift
here="$(cd "$(dirname "$0")" && pwd)"
if [ "${1:-}" = print ]; then
  program=print_bench scenario=four_devices.txt limit=200
  set --
elif [ "${1:-}" = reliability ]; then
  shift
  program=reliability_bench scenario=reliability.txt limit=400
  set -- "${1:-8}" "${2:-12}" "${3:-20}"
else
  program=simulator_bench scenario=four_devices.txt limit=100
  set -- "${1:-200}"
fi
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
"$here/../../../scripts/wine-prefix" init "$WINEPREFIX" >/dev/null || exit 1
WINE_RUN_TIMEOUT="$limit" exec "$here/../../../tests/wine/simulator/run_with_simulator.sh" \
  "$build/simulator/driver/Sarnovek.sys" "$here/$scenario" "$build/bench/wine/simulator/work-$program" \
  -- "$build/bin/$program.exe" "$@"
