#!/usr/bin/env bash
# idle_watch.sh BUILD_HOST BUILD_WIN32 [SECONDS]
# What a watch costs while nothing changes: btctl watch --reconnect with COM1's printer bound
# and connected, on the host (against the simulated driver's plug-in) and as the real
# btctl.exe under Wine (against the simulated driver). From /proc, between 5 s in and 3 s
# before its end, it reads voluntary context switches and the process's CPU time, and prints
# them a minute and an hour. On the host it counts the watch's own thread (the simulated
# driver's threads share that process), where each switch is a return from a wait: a wake-up.
# Under Wine it counts all of btctl.exe's threads, and every call that goes to the Wine
# server (each registry read, each file open) blocks once too, so there the switches count
# those calls as well.
set -u
host="$(cd "$1" && pwd)" win32="$(cd "$2" && pwd)" secs="${3:-40}"
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
. "$src/scripts/wine-env"
work=$(mktemp -d)
sim="$src/scripts/simulator"
export WINEPREFIX="${WINEPREFIX:-$win32/wineprefix}" WINEARCH=win32 WINEDEBUG=-all
trap '"$sim" remove >/dev/null 2>&1; "$sim" halt >/dev/null 2>&1; rm -rf "$work"' EXIT
hz=$(getconf CLK_TCK)

sample() {   # PID TASKS: "switches cpu_ticks", TASKS a glob of its threads
  local sw ticks
  sw=$(eval cat /proc/"$1"/task/"$2"/status 2>/dev/null | awk '/^voluntary_ctxt_switches:/ { n += $2 } END { print n }')
  ticks=$(awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null)
  echo "${sw:-0} ${ticks:-0}"
}
measure() {  # PATTERN WHAT TASKS: the newest process whose command line matches, sampled twice
  local pid="" a b span tasks
  for _ in $(seq 300); do pid=$(pgrep -n -f "$1") && break; sleep 0.1; done
  [ -n "$pid" ] || { echo "no process"; return; }
  tasks="${3:-$pid}"
  sleep 5; a=$(sample "$pid" "$tasks"); span=$((secs - 8)); sleep "$span"; b=$(sample "$pid" "$tasks")
  local what="$2"
  set -- $a $b
  awk -v s1="$1" -v t1="$2" -v s2="$3" -v t2="$4" -v span="$span" -v hz="$hz" -v what="$what" 'BEGIN {
    printf "%.0f %s a minute, %.2f s of CPU an hour\n", (s2 - s1) * 60 / span, what, (t2 - t1) / hz * 3600 / span }'
}

cat > "$work/scenario.txt" <<END
device 0 COM1
dongle COM1 0010A4C0FFEE HD_v2.31
printer COM1 0080372A0001 accepts
END
block() {
  printf '\r\nBT_Port: COM%s\r\n\t BT_SelHost:  %s\r\n\t BT_Selprt:   %s\r\n\t BT_QueryPrt: %s\r\n' "$1" "$2" "$3" "$3"
  [ "$3" != NONE ] && printf '\t BT_QueryPrt: NONE\r\n'
  printf '\t BT_HostVrsn: %s\r\n' "$4"
  for r in 1 2 3 4; do printf '\t BT_Reserve%s: NONE\r\n' $r; done
}
{ printf 'BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n'
  block 1 0010A4C0FFEE 0080372A0001 HD_v2.31; block 2 NONE NONE NONE
  block 3 NONE NONE NONE; block 4 NONE NONE NONE; printf '\r\nBT_Connect: AUTO\r\n'; } > "$work/Quorvex.ini"

(cd "$work" && MENDALIX_DEVICES="$host/bin/libsarnovek_host.so" SARNOVEK_SCENARIO="$work/scenario.txt" \
   exec "$host/bin/btctl" watch --reconnect --for "$secs" --ini Quorvex.ini >/dev/null 2>&1) &
echo "idle watch, host: $(measure "bin/btctl watch --reconnect --for $secs" "wake-ups of the watch's thread")"
wait

"$src/scripts/wine-prefix" init "$WINEPREFIX" >/dev/null || exit 1
"$sim" halt >/dev/null 2>&1
"$sim" install "$win32/simulator/driver/Sarnovek.sys" "$work/scenario.txt" >/dev/null && "$sim" start >/dev/null || exit 1
(cd "$work" && timeout -k 5 "$(scaled $((secs + 60)))" wine "$win32/bin/btctl.exe" watch --reconnect \
   --for "$secs" --ini "$(winepath -w "$work/Quorvex.ini")" >/dev/null 2>&1) &
echo "idle watch, btctl.exe under Wine: $(measure "btctl.exe watch --reconnect --for $secs" "context switches" '*')"
wait
