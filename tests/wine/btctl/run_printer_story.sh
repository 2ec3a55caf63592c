#!/usr/bin/env bash
# run_printer_story.sh DRIVER.sys WORKDIR PROGRAM
# Writes the scenario of the printer story, its times grown by WINE_TIME_SCALE, and runs
# PROGRAM with the simulated driver up. The program learns the times from PRINTER_NEAR_S,
# PRINTER_OUT_S and PRINTER_COVER_S.
set -u
sys="$1" work="$2" program="$3"
scale="${WINE_TIME_SCALE:-1}"
here="$(cd "$(dirname "$0")" && pwd)"
# COM1's printer prints first; its paper runs low, then out; then it is loaded and its
# cover opened.
export PRINTER_NEAR_S=$((10 * scale))
export PRINTER_OUT_S=$((PRINTER_NEAR_S + 3 * scale))
export PRINTER_COVER_S=$((PRINTER_OUT_S + 3 * scale))
export WINE_RUN_TIMEOUT=100   # scripts/wine-run grows it by the same factor
scenario="$work-scenario.txt"
mkdir -p "$(dirname "$scenario")" || exit 1
cat > "$scenario" <<END
device 0 COM1
dongle COM1 0010A4C0FFEE HD_v2.31
printer COM1 0080372A0001 accepts
info COM1 0080372A0001 firmware 1.02
info COM1 0080372A0001 model RX-80
at $PRINTER_NEAR_S paper-near-end COM1 0080372A0001
at $PRINTER_OUT_S paper-out COM1 0080372A0001
at $PRINTER_COVER_S paper-loaded COM1 0080372A0001
at $PRINTER_COVER_S cover-open COM1 0080372A0001
END
exec "$here/../simulator/run_with_simulator.sh" "$sys" "$scenario" "$work" -- "$program"
