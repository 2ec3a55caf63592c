#!/usr/bin/env bash
# A driver whose scenario has a bad line does not start: the start fails within its time
# limit and names the line and the reason; nothing stays installed.
set -u
sys="$1" scenario="$2"
sim="$(cd "$(dirname "$0")" && pwd)/../../../scripts/simulator"
. "$(dirname "$sim")/wine-env"
trap '"$sim" remove >/dev/null 2>&1; "$sim" halt >/dev/null 2>&1' EXIT
"$sim" install "$sys" "$scenario" || { echo "FAIL: install"; exit 1; }
start=$(date +%s)
if out=$("$sim" start 2>&1); then
  echo "FAIL: the driver started with a bad scenario"; exit 1
fi
echo "start said: $out"
case "$out" in
  *"scenario line 3:"*) ;;
  *) echo "FAIL: the reason does not name line 3"; exit 1 ;;
esac
[ $(( $(date +%s) - start )) -lt "$(scaled 30)" ] || { echo "FAIL: the failed start took too long"; exit 1; }
[ "$("$sim" state)" = STOPPED ] || { echo "FAIL: not stopped"; exit 1; }
echo "PASS"
