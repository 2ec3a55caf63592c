#!/usr/bin/env bash
# run_watch_story.sh DRIVER.sys WORKDIR PROGRAM
# Writes the scenario of the watch story and runs PROGRAM with the simulated driver up. The
# story fires the events itself (simtest::FireNextEvent) once the watch has shown what comes
# before each; their times only give their order, and lie far beyond the story's end.
set -u
sys="$1" work="$2" program="$3"
here="$(cd "$(dirname "$0")" && pwd)"
export WINE_RUN_TIMEOUT=150   # scripts/wine-run grows it by WINE_TIME_SCALE
scenario="$work-scenario.txt"
mkdir -p "$(dirname "$scenario")" || exit 1
cat > "$scenario" <<END
# COM1's printer is carried out of range and comes back, then its dongle is pulled out and
# plugged back; COM2's printer is never bound.
device 0 COM1
device 1 COM2
dongle COM1 0010A4C0FFEE HD_v2.31
dongle COM2 0010A4C0BEEF HD_v2.31
printer COM1 0080372A0001 accepts
printer COM2 0080372A0003 accepts
at 3600 leave COM1 0080372A0001
at 3601 return COM1 0080372A0001
at 3602 unplug COM1
at 3603 plug COM1
END
exec "$here/../simulator/run_with_simulator.sh" "$sys" "$scenario" "$work" -- "$program"
