#!/usr/bin/env bash
# The query and connect workflows on the real program, library and simulated driver under
# Wine, worked from outside by workflow_driver.exe as a user would:
#   choose COM1, query, pick a printer, connect, see COM1 connected, let the scenario drop
#   the link, see it dropped, EXIT; the settings file holds the binding.
# With "away": connect again, see the scenario pull COM1's dongle out (a connect run then
#   fails, never "Connect Ok") and plug it back, connect again; stop and start the driver,
#   connect again; the program neither crashes nor hangs.
# Screenshots of the connected and the dropped state go to OUT.
#
# usage: run_workflows.sh SOURCE_DIR OUT Quorvex.exe Mendalix.dll Sarnovek.sys workflow_driver.exe SCENARIO [away]
set -u
src="$1" out="$2" exe="$3" dll="$4" sys="$5" driver="$6" scenario="$7" away="${8:-}"
: "${WINEPREFIX:?WINEPREFIX must name the prefix of the build}"
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all}"
. "$src/scripts/wine-env"

if [ -z "${IN_XVFB:-}" ]; then
  IN_XVFB=1 WITH_XVFB_FORCE=1 exec "$src/scripts/with-xvfb" "$0" "$@"
fi

status=0
fail() { echo "run_workflows: $*" >&2; status=1; }
sim() { "$src/scripts/simulator" "$@"; }
w() { local limit=$1; shift; timeout -k 5 "$(scaled "$limit")" wine "$@"; }

# A fresh Wine server for this display: one started before it (the prefix's set-up) knows
# no display, and the program's window would never appear.
timeout -k 5 "$(scaled 30)" wineserver -k 2>/dev/null
timeout -k 5 "$(scaled 30)" wineserver -w 2>/dev/null

mkdir -p "$out"
app="$WINEPREFIX/drive_c/QuorvexWorkflows"
rm -rf "$app" && mkdir -p "$app" || exit 1
cp "$exe" "$dll" "$app/" || exit 1
cp "$driver" "$app/workflow_driver.exe" || exit 1
"$src/scripts/wine-fonts" "$WINEPREFIX"

sim install "$sys" "$scenario" || exit 1
sim start || { sim remove; exit 1; }

# The program runs from its own folder: the library opens the settings file by bare name.
# As on a Traditional-Chinese system, where the dialog's frame texts are its own.
(cd "$app" && LC_ALL=zh_TW.UTF-8 LANG=zh_TW.UTF-8 timeout -k 5 "$(scaled 240)" wine Quorvex.exe </dev/null >"$out/quorvex.log" 2>&1
 echo "Quorvex.exe ended: $?" >>"$out/quorvex.log") &
program=$!

step() { echo "--- $*"; w 120 "$app/workflow_driver.exe" "$@" || { fail "step $* failed"; return 1; }; }
# The scenario's timed events (drop, unplug, plug) are fired by the story once the step
# before each is done, rather than waited for.
fire() { echo "--- fire the next event: $1"; sim next || fail "the driver did not fire $1"; }
shot() { import -window root "$out/$1" 2>/dev/null || echo "run_workflows: no screenshot $1" >&2; }

step versions
step query COM1
step connect 0080372A0001
shot workflows-connected.png
fire drop
step wait-drop 60
shot workflows-dropped.png
if [ "$away" = away ]; then
  step reconnect
  fire unplug
  step wait-state DisConected 2 60 "COM1: Disconnect Ok"                  # pulled out
  step connect-fails
  fire plug
  step wait-state None 1 60 "COM1: XK printer Answer Back Failed...."  # back, no state yet
  step reconnect
  echo "--- driver stopped"
  sim stop || fail "the driver did not stop"
  step wait-state None 2 30 "COM1: XK printer Answer Back Failed...."
  step connect-fails
  echo "--- driver started"
  sim start || fail "the driver did not start"
  step reconnect
fi
step exit

for _ in $(seq "$(scaled 150)"); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$program" 2>/dev/null; then
  fail "the program did not end after EXIT"
  kill "$program" 2>/dev/null
fi
wait "$program" 2>/dev/null

ini="$app/Quorvex.ini"
if [ -f "$ini" ]; then
  echo "--- settings file"
  cat "$ini"
  tr -d '\r' < "$ini" | grep -A2 '^BT_Port: COM1$' | grep -q $'^\t BT_Selprt:   0080372A0001$' ||
    fail "the settings file does not bind COM1 to 0080372A0001"
else
  fail "no settings file $ini"
fi

sim remove || true
exit "$status"
