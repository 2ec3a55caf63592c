#!/usr/bin/env bash
# run_bench.sh BUILD_DIR [ROUNDS]: runs the simulator benchmark of a win32 build under Wine
# with the driver up (four_devices.txt) and prints its figures.
set -u
build="$(cd "${1:?usage: run_bench.sh BUILD_DIR [ROUNDS]}" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${WINEPREFIX:-$build/wineprefix}"
"$here/../../../scripts/wine-prefix" init "$WINEPREFIX" >/dev/null || exit 1
exec "$here/../../../tests/wine/simulator/run_with_simulator.sh" \
  "$build/simulator/driver/Sarnovek.sys" "$here/four_devices.txt" "$build/bench/wine/simulator/work" \
  -- "$build/bin/simulator_bench.exe" "${2:-200}"
