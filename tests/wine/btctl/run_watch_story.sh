#!/usr/bin/env bash
# run_watch_story.sh DRIVER.sys WORKDIR PROGRAM
# Writes the scenario of the watch story, its times grown by WINE_TIME_SCALE, and runs
# PROGRAM with the simulated driver up. The program learns the times from WATCH_LEAVE_S,
# WATCH_BACK_S, WATCH_UNPLUG_S, WATCH_PLUG_S and WATCH_FOR_S.
set -u
sys="$1" work="$2" program="$3"
scale="${WINE_TIME_SCALE:-1}"
here="$(cd "$(dirname "$0")" && pwd)"
# The printer leaves once btctl has connected it, and stays away for three or four tries.
export WATCH_LEAVE_S=$((15 * scale))
export WATCH_BACK_S=$((WATCH_LEAVE_S + 12))
# Once it is linked again, COM1's dongle is pulled out and plugged back.
export WATCH_UNPLUG_S=$((WATCH_BACK_S + 10 * scale))
export WATCH_PLUG_S=$((WATCH_UNPLUG_S + 12))
export WATCH_FOR_S=$((WATCH_PLUG_S + 10 * scale))
export WINE_RUN_TIMEOUT=150   # scripts/wine-run grows it by the same factor
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
at $WATCH_LEAVE_S leave COM1 0080372A0001
at $WATCH_BACK_S return COM1 0080372A0001
at $WATCH_UNPLUG_S unplug COM1
at $WATCH_PLUG_S plug COM1
END
exec "$here/../simulator/run_with_simulator.sh" "$sys" "$scenario" "$work" -- "$program"
