#!/usr/bin/env bash
# halt_cycles_test.sh DRIVER.sys SCENARIO [CYCLES]
# The driver started and halted again and again: its unload must return only once no thread
# of it is left in its code, or the host crashes in the freed image before it ends.
set -u
sys="$1" scenario="$2" cycles="${3:-10}"
here="$(cd "$(dirname "$0")" && pwd)"
sim="$here/../../../scripts/simulator"
trap '"$sim" remove >/dev/null 2>&1; "$sim" halt >/dev/null 2>&1' EXIT
"$sim" halt >/dev/null 2>&1
"$sim" install "$sys" "$scenario" || { echo "FAIL: install"; exit 1; }
for ((i = 1; i <= cycles; i++)); do
  "$sim" start || { echo "FAIL: start $i"; exit 1; }
  "$sim" halt
  if ! crashed=$("$sim" crashes); then echo "FAIL: cycle $i crashed:"; echo "$crashed"; exit 1; fi
done
echo "PASS: $cycles start/halt cycles, nothing crashed"
