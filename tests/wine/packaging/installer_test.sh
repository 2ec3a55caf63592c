#!/usr/bin/env bash
# installer_test.sh INSTALLER SOURCE_DIR [CAFILE]
# A technician's install and removal, silent, under Wine: the installer puts the programs into
# Program Files with a Start-menu entry and the SDK, and publishes the settings file, so that
# btctl status reads it before the setup program ever ran; the setup program starts from
# there; an upgrade while it runs and the service is starting replaces every program file
# and ends it; the silent uninstall, with it running again, removes everything but the
# settings file the user made.
# A signed installer (CAFILE: its signer's authority) installs signed programs and uninstaller.
set -u
installer="$1" src="$2" ca="${3:--}"
. "$(dirname "$0")/installer_story.sh" win32

dir="$WINEPREFIX/drive_c/Program Files/Quorvex"
rm -rf "$dir"
# As in a fresh prefix: nothing has published the settings file yet.
params='HKLM\System\CurrentControlSet\Services\Sarnovek\Parameters'
w 30 reg delete "$params" /f >/dev/null 2>&1

w 120 "$(winepath -w "$installer")" /S
timeout "$(scaled 30)" wineserver -w
for f in Quorvex.exe Mendalix.dll Quorvex.txt btctl.exe Uninstall.exe Quorvex.ini sdk/Mendalix.h \
         sdk/libMendalix.dll.a sdk/Mendalix.lib sdk/Mendalix.def sdk/developer.md \
         sdk/samples/c/print_receipt.c sdk/samples/csharp/Mendalix.cs; do
  check "installed $f" "[ -f \"$dir/$f\" ]"
done
check "no x64 subfolder on 32-bit Windows" "[ ! -e \"$dir/x64\" ]"
for f in Quorvex.exe Mendalix.dll btctl.exe Uninstall.exe; do
  [ "$ca" = - ] || check "installed $f signed" "osslsigncode verify -CAfile '$ca' -in '$dir/$f' >/dev/null 2>&1"
done
lnk=$(find "$WINEPREFIX/drive_c" -iname 'Quorvex.lnk' 2>/dev/null | head -1)
check "Start-menu entry" "[ -n \"$lnk\" ]"
check "uninstall entry in the registry" \
  "w 30 reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvex' >/dev/null 2>&1"

out=$(cd "$WINEPREFIX/drive_c" && w 60 'C:\Program Files\Quorvex\btctl.exe' status 2>&1); rc=$?
check "btctl status reads the settings file the installer published (exit $rc)" \
  "[ $rc = 0 ] && grep -qF 'Settings file: C:\\Program Files\\Quorvex\\Quorvex.ini' <<<\"\$out\""
[ "$rc" = 0 ] || printf '%s\n' "$out"

# On a private display with a fresh Wine server (one started before it knows no display):
# the setup program starts from the installed place; an upgrade while it runs and the
# service is starting replaces every program file and leaves no old program running; the
# uninstall while it runs again leaves only the settings file the user made.
printf 'BT_SelPort: COM2\r\n' > "$dir/Quorvex.ini"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
w 30 reg add "$run_key" /v Quorvex /d 'C:\Program Files\Quorvex\Quorvex.exe' /f >/dev/null 2>&1
programs="Quorvex.exe Mendalix.dll Quorvex.txt btctl.exe"
export installer dir programs
WITH_XVFB_FORCE=1 "$src/scripts/with-xvfb" bash -c '
  fail=0
  check() { if eval "$2"; then echo "ok   - $1"; else echo "FAIL - $1"; fail=1; fi; }
  w() { timeout -k 5 "$(scaled "$1")" wine "${@:2}"; }
  btctl="C:\\Program Files\\Quorvex\\btctl.exe"
  # The setup programs of this prefix still running.
  setups() {
    for p in $(pgrep -f "^[A-Z]:.*Quorvex\.exe"); do
      tr "\0" "\n" < /proc/$p/environ 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
    done
  }
  shows() {
    wine "C:\\Program Files\\Quorvex\\Quorvex.exe" >/dev/null 2>&1 &
    for i in $(seq "$(scaled 60)"); do
      xwininfo -root -tree 2>/dev/null | grep -q "TARVONEL Wireless printer Setup" && { echo yes; return; }
      sleep 0.5
    done
  }
  timeout "$(scaled 20)" wineserver -k 2>/dev/null; timeout "$(scaled 20)" wineserver -w 2>/dev/null
  check "program window appears from Program Files" "[ \"$(shows)\" = yes ]"

  cd "$dir" && touch -d 2000-01-01 $programs && cd /
  w 60 "$btctl" service install >/dev/null 2>&1
  w 60 "$btctl" service start >/dev/null 2>&1 &
  w 180 "$(winepath -w "$installer")" /S; rc=$?
  timeout "$(scaled 30)" wineserver -w
  check "an upgrade while the setup program runs and the service starts ends without a restart (exit $rc)" "[ $rc = 0 ]"
  old=$(cd "$dir" && find $programs ! -newermt 2001-01-01 | tr "\n" " ")
  check "every program file replaced (old: $old)" "[ -z \"$old\" ]"
  check "no setup program left running ($(setups | wc -l))" "[ -z \"$(setups)\" ]"

  # An application from elsewhere holds the library, which no release ends: a silent upgrade
  # replaces it at the next restart (here wineboot -r) and says so with 3010.
  mkdir -p "$WINEPREFIX/drive_c/app" && cp "$dir/btctl.exe" "$WINEPREFIX/drive_c/app/"
  wine "C:\\app\\btctl.exe" --dll "C:\\Program Files\\Quorvex\\Mendalix.dll" watch --reconnect \
    --for "$(scaled 60)" >/dev/null 2>&1 &
  holder=$!
  sleep "$(scaled 3)"
  w 180 "$(winepath -w "$installer")" /S; rc=$?
  kill $holder; timeout "$(scaled 20)" wineserver -k; timeout "$(scaled 20)" wineserver -w
  # 3010 reaches a Unix shell as its low 8 bits, 194.
  check "a library in use: exit $rc, 3010" "[ $rc = 194 ] && [ -f \"$dir/Mendalix.dll.new\" ]"
  touch -d 2000-01-01 "$dir/Mendalix.dll"
  w 60 wineboot -r
  check "replaced at the restart" \
    "[ ! -e \"$dir/Mendalix.dll.new\" ] && [ -n \"$(find "$dir/Mendalix.dll" -newermt 2001-01-01)\" ]"

  w 60 "$btctl" query COM1 >/dev/null 2>&1   # its calls make QuorvexWatch in the temporary folder
  check "program window appears again" "[ \"$(shows)\" = yes ]"
  w 60 "C:\\Program Files\\Quorvex\\Uninstall.exe" /S
  for _ in $(seq "$(scaled 60)"); do [ -f "$dir/Uninstall.exe" ] || break; sleep 0.5; done
  timeout "$(scaled 30)" wineserver -w
  left=$(cd "$dir" 2>/dev/null && find . -type f | sort | tr "\n" " ")
  check "uninstall with the setup program running leaves only the user'"'"'s settings file (left: $left)" \
    "[ \"$left\" = \"./Quorvex.ini \" ]"
  check "no setup program left running" "[ -z \"$(setups)\" ]"
  check "no QuorvexWatch copy left" "[ -z \"$(find "$WINEPREFIX/drive_c" -name QuorvexWatch)\" ]"
  timeout "$(scaled 10)" wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX/drive_c/app"
  exit $fail' || fail=1
lnk=$(find "$WINEPREFIX/drive_c" -iname 'Quorvex.lnk' 2>/dev/null | head -1)
check "Start-menu entry removed" "[ -z \"$lnk\" ]"
check "the setup program's AutoRun entry removed" "! w 30 reg query '$run_key' /v Quorvex >/dev/null 2>&1"
check "uninstall entry removed" \
  "! w 30 reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvex' >/dev/null 2>&1"
rm -rf "$dir"
exit $fail
