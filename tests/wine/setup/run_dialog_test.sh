#!/usr/bin/env bash
# The setup program's real window under Wine on a private X server, read from outside by
# dialog-driver.exe:
#   1. with the library beside it (and the simulated driver when it was built): the version
#      boxes, the COM list, the dongle and printer lists of the stored port, the labels and
#      switches, the About box; EXIT writes the settings file and the registry values;
#   2. without the library beside it, started from a current directory where a library of
#      the same name was planted: one box "Mendalix.dll  not found" owned by the dialog,
#      which stays, and the planted library never loaded.
# Screenshots go to OUT (quorvex-dialog.png, quorvex-about.png).
#
# usage: run_dialog_test.sh SOURCE_DIR OUT Quorvex.exe Quorvex.txt dialog-driver.exe DLL|- SYS|- SCENARIO PLANTED_DLL
set -u
src="$1" out="$2" exe="$3" help="$4" driver="$5" dll="$6" sys="$7" scenario="$8" planted="$9"
: "${WINEPREFIX:?WINEPREFIX must name the prefix of the build}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
. "$src/scripts/wine-env"
caption="TARVONEL Wireless printer Setup"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

# A private X server on a display it finds free itself (stories run side by side), ended
# whatever happens.
fifo="$(mktemp -u /tmp/dialog-xvfb.XXXXXX)"
mkfifo "$fifo" || exit 1
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
simulator_installed=0
cleanup() {
  timeout -k 5 "$(scaled 60)" wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1
  [ "$simulator_installed" = 1 ] && "$src/scripts/simulator" remove >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
display=$(timeout "$(scaled 10)" head -n 1 "$fifo")
rm -f "$fifo"
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"
# A fresh Wine server for this display: one left by an earlier step of the run would carry
# none, and the program's windows would never appear.
timeout -k 5 "$(scaled 30)" wineserver -k 2>/dev/null
timeout -k 5 "$(scaled 30)" wineserver -w 2>/dev/null
# The program and the driver run as on a Traditional-Chinese system (code page 950), where
# the dialog's ANSI window calls carry the Chinese texts of the templates.
zh() { LC_ALL=zh_TW.UTF-8 LANG=zh_TW.UTF-8 "$@"; }

mkdir -p "$out"
"$src/scripts/wine-fonts" "$WINEPREFIX"
# The X server has no window manager: Wine draws the frames itself, so that the screenshots
# show the captions.
timeout -k 5 "$(scaled 60)" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
if [ "$sys" != "-" ]; then
  "$src/scripts/simulator" install "$sys" "$scenario" && simulator_installed=1 &&
    "$src/scripts/simulator" start || fail "the simulated driver did not start"
fi

drive() { zh timeout -k 5 "$(scaled 60)" wine "$app/dialog-driver.exe" "$caption" "$@" | tr -d '\r'; }
expect() {  # expect "what" "line the driver printed" "wanted"
  if [ "$2" = "$3" ]; then echo "ok   $1: $2"; else fail "$1: got '$2', wanted '$3'"; fi
}
runs=0
start() {  # the program from its own folder (or from $cwd); what Wine says goes to OUT
  runs=$((runs + 1))
  (cd "${cwd:-$app}" && exec env LC_ALL=zh_TW.UTF-8 LANG=zh_TW.UTF-8 timeout -k 5 "$(scaled 120)" wine "$app/Quorvex.exe" "$@") >"$out/program-$runs.log" 2>&1 &
  program=$!
}
finish() {
  for _ in $(seq "$(scaled 150)"); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program" 2>/dev/null && { fail "the program did not end"; kill "$program"; }
  wait "$program" 2>/dev/null
}
shot() { import -window root "$out/$1" 2>/dev/null || fail "no screenshot $1"; }

# --- 0. The program file's own resources, read back -------------------------------------
python3 - "$exe" <<'PY' || fail "resources of the program file"
import sys
data = open(sys.argv[1], "rb").read()
for text in ["TARVONEL Wireless printer Setup", "新細明體", "關於 Quorvex", "關於 Quorvex(&A)...",
             "確定", "Quorvex Version 1.0", "040404b0", "3, 1, 5, 0", "Quorvex Application",
             "Quorvex.EXE"]:
    if text.encode("utf-16-le") not in data:
        print("missing from the program file:", text)
        sys.exit(1)
print("ok   resources: captions, font, texts and version strings are in the program file")
PY

# --- 1. With the library ---------------------------------------------------------------
app="$WINEPREFIX/drive_c/QuorvexDialog"
rm -rf "$app" && mkdir -p "$app" || exit 1
cp "$exe" "$help" "$app/" && cp "$driver" "$app/dialog-driver.exe" || exit 1
[ "$dll" != "-" ] && cp "$dll" "$app/Mendalix.dll"
# COM2 holds a dongle and two printers, the second bound; the reserve text shows a rewrite.
{
  printf 'BT_SelPort: COM2\nBT_Baudrate: 19200N81\n'
  for n in 1 2 3 4; do
    printf '\nBT_Port: COM%d\n' "$n"
    if [ "$n" = 2 ]; then
      printf '\t BT_SelHost:  00225566AABB\n\t BT_Selprt:   0080372A0002\n'
      printf '\t BT_QueryPrt: 0080372A0001\n\t BT_QueryPrt: 0080372A0002\n\t BT_QueryPrt: NONE\n'
      printf '\t BT_HostVrsn: BTH_v2.10\n'
    else
      printf '\t BT_SelHost:  NONE\n\t BT_Selprt:   NONE\n\t BT_QueryPrt: NONE\n\t BT_HostVrsn: NONE\n'
    fi
    printf '\t BT_Reserve1: OLD\n\t BT_Reserve2: NONE\n\t BT_Reserve3: NONE\n\t BT_Reserve4: NONE\n'
  done
  printf '\nBT_Connect: MANUAL\n'
} > "$app/Quorvex.ini"

start
expect "window" "$(drive wait 30000)" "wait: found"
sleep 1
expect "program version" "$(drive text 1037)" "text 1037: 3.1.5"
if [ "$dll" != "-" ]; then
  expect "library version" "$(drive text 1041)" "text 1041: 3.0.7"
fi
driver_box="$(drive text 1042)"
if [ "$simulator_installed" = 1 ]; then
  [ "$driver_box" != "text 1042: " ] && echo "ok   driver version: $driver_box" || fail "driver version box empty"
else
  expect "driver version (no driver installed)" "$driver_box" "text 1042: "
fi
expect "COM list" "$(drive combo 1014)" "combo 1014 sel=1: COM1|COM2|COM3|COM4"
expect "dongle address" "$(drive list 1012)" "list 1012 sel=-1: 00225566AABB"
expect "dongle version" "$(drive text 1043)" "text 1043: 2.10"
expect "printers" "$(drive list 1001)" "list 1001 sel=1: 0080372A0001|0080372A0002|NONE"
if [ "$simulator_installed" = 0 ]; then
  expect "COM2 label" "$(drive text 1030)" "text 1030: None"
fi
expect "PlaySound on at first start" "$(drive checked 1034)" "checked 1034: 1"
expect "AutoRun off at first start" "$(drive checked 1038)" "checked 1038: 1"
for id in 1 1003 1020 1023; do
  expect "button $id usable" "$(drive enabled $id)" "enabled $id: 1"
done
shot quorvex-dialog.png

drive syscommand 16 >/dev/null
expect "About box" "$(drive owned 10000)" "owned caption=關於 Quorvex ok=確定"
sleep 0.5
shot quorvex-about.png
drive close-owned >/dev/null || fail "the About box did not close"

drive click 1 >/dev/null
expect "EXIT ends the dialog" "$(drive gone 20000)" "gone: yes"
finish
ini="$(tr -d '\r' < "$app/Quorvex.ini")"
if grep -q OLD <<<"$ini"; then fail "EXIT did not write the settings file"; else echo "ok   settings file written"; fi
grep -q '^BT_SelPort: COM2$' <<<"$ini" || fail "settings file lost the selected port"
grep -q $'^\t BT_Selprt:   0080372A0002$' <<<"$ini" || fail "settings file lost COM2's printer"
grep -q '^BT_Connect: MANUAL$' <<<"$ini" || fail "settings file lost the connect mode"
params='HKLM\System\CurrentControlSet\Services\Sarnovek\Parameters'
reg_out="$(timeout -k 5 "$(scaled 60)" wine reg query "$params" 2>/dev/null | tr -d '\r')"
grep -q 'BTiniPath.*\\??\\C:\\QuorvexDialog\\Quorvex.ini' <<<"$reg_out" || fail "BTiniPath not published: $reg_out"
grep -Eq 'PlaySound +REG_DWORD +0x1' <<<"$reg_out" || fail "PlaySound not stored as 1: $reg_out"

# --- 2. Without the library, and one planted in the current directory -------------------
app="$WINEPREFIX/drive_c/QuorvexAlone"
plant="$WINEPREFIX/drive_c/Downloads"
rm -rf "$app" "$plant" && mkdir -p "$app" "$plant" || exit 1
cp "$exe" "$app/" && cp "$driver" "$app/dialog-driver.exe" && cp "$planted" "$plant/Mendalix.dll" || exit 1
cwd="$plant" start
expect "missing library" "$(drive box 30000)" "box caption=Quorvex: Mendalix.dll  not found"
if [ -e "$plant/planted-library-loaded" ]; then
  fail "the library planted in the current directory was loaded"
else
  echo "ok   planted library in the current directory: not loaded"
fi
expect "the dialog stays" "$(drive wait 10000)" "wait: found"
expect "its version still shows" "$(drive text 1037)" "text 1037: 3.1.5"
sleep 1
for id in 1029 1030 1031 1032; do  # the labels' first paint writes their state
  expect "state label $id" "$(drive text $id)" "text $id: None"
done
drive click 2 >/dev/null
expect "Esc ends the dialog" "$(drive gone 20000)" "gone: yes"
finish

exit "$status"
