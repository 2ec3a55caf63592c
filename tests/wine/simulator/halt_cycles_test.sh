#!/usr/bin/env bash
# halt_cycles_test.sh DRIVER.sys SCENARIO CLIENT.exe [CYCLES]
# The driver started and halted again and again while a client (halt_client.exe) keeps reads
# waiting and slow requests coming on its devices. Every call the client made must return
# once the driver stops, nothing may crash (the unload must return only once no thread of it
# is left in its code), and no published state may show a link the halted driver no longer
# has. The client ends by itself when the driver is gone, so it is waited for between the
# halt's two steps (stop the driver, then the prefix's server).
set -u
sys="$1" scenario="$2" client="$3" cycles="${4:-20}"
here="$(cd "$(dirname "$0")" && pwd)"
sim="$here/../../../scripts/simulator"
run="$here/../../../scripts/wine-run"
. "$here/../../../scripts/wine-env"
log="$(mktemp)"
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; "$sim" remove >/dev/null 2>&1; "$sim" halt >/dev/null 2>&1; rm -f "$log"' EXIT
fail() { echo "FAIL: cycle $i: $*"; sed 's/^/  client: /' "$log"; exit 1; }
# Waits (bounded, seconds) until the client's log holds $1.
wait_log() {
  local end=$((SECONDS + $(scaled "$2")))
  until grep -q "$1" "$log"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.1
  done
}
"$sim" halt >/dev/null 2>&1
"$sim" install "$sys" "$scenario" || { echo "FAIL: install"; exit 1; }
calls=0
for ((i = 1; i <= cycles; i++)); do
  "$sim" start || fail "start"
  : >"$log"
  WINE_RUN_TIMEOUT=100 "$run" "$client" >"$log" 2>&1 &
  pid=$!
  wait_log '^ready' 30 || fail "the client did not get going"
  "$sim" stop || fail "stop"
  wait_log '^returned\|^FAIL' 70 || fail "the client did not end"
  wait "$pid"; code=$?; pid=
  [ "$code" = 0 ] || fail "the client ended with $code"
  n=$(sed -n 's/^returned \([0-9]*\) of.*/\1/p' "$log" | tr -d '\r')
  [ "${n:-0}" -gt 0 ] || fail "the client made no calls"
  calls=$((calls + n))
  "$sim" halt
  if ! crashed=$("$sim" crashes); then fail "crashed: $crashed"; fi
  # The server has saved the registry: the link COM2 had is no longer published.
  grep -a 'ConnectState"=dword:' "$WINEPREFIX/system.reg" | grep -qv 'dword:000000ff' &&
    fail "a state other than 255 after the halt: $(grep -a 'ConnectState"=' "$WINEPREFIX/system.reg")"
done
echo "PASS: $cycles start/halt cycles with a client: $calls calls, every one returned; nothing crashed"
