#!/usr/bin/env bash
# run_printer_story.sh DRIVER.sys WORKDIR PROGRAM
# Writes the scenario of the printer story and runs PROGRAM with the simulated driver up. The
# story fires the printer's timed events itself (simtest::FireNextEvent) once it is ready for
# each; their times only give their order, and lie far beyond the story's end.
set -u
sys="$1" work="$2" program="$3"
here="$(cd "$(dirname "$0")" && pwd)"
export WINE_RUN_TIMEOUT=100   # scripts/wine-run grows it by WINE_TIME_SCALE
scenario="$work-scenario.txt"
mkdir -p "$(dirname "$scenario")" || exit 1
# COM1's printer prints first; its paper runs low, then out; then it is loaded and its
# cover opened.
cat > "$scenario" <<END
device 0 COM1
dongle COM1 0010A4C0FFEE HD_v2.31
printer COM1 0080372A0001 accepts
info COM1 0080372A0001 firmware 1.02
info COM1 0080372A0001 model RX-80
at 3600 paper-near-end COM1 0080372A0001
at 3601 paper-out COM1 0080372A0001
at 3602 paper-loaded COM1 0080372A0001
at 3602 cover-open COM1 0080372A0001
END
exec "$here/../simulator/run_with_simulator.sh" "$sys" "$scenario" "$work" -- "$program"
