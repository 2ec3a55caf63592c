#!/usr/bin/env bash
# installer_test.sh INSTALLER SOURCE_DIR [CAFILE]
# A technician's install and removal, silent, under Wine: the installer puts the programs into
# Program Files with a Start-menu entry and the SDK, and publishes the settings file, so that
# btctl status reads it before the setup program ever ran; the setup program starts from
# there, and the silent uninstall removes everything but the settings file the user made.
# A signed installer (CAFILE: its signer's authority) installs signed programs and uninstaller.
set -u
installer="$1" src="$2" ca="${3:--}"
: "${WINEPREFIX:?}"
. "$src/scripts/wine-env"
export WINEDEBUG=-all WINEARCH=win32
fail=0
check() { if eval "$2"; then echo "ok   - $1"; else echo "FAIL - $1"; fail=1; fi; }
w() { timeout -k 5 "$(scaled "$1")" wine "${@:2}"; }

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

# The setup program starts from the installed place and shows its main window.
# A fresh Wine server for the private display: one started before it knows no display.
started=$(WITH_XVFB_FORCE=1 "$src/scripts/with-xvfb" bash -c '
  timeout "$(scaled 20)" wineserver -k 2>/dev/null; timeout "$(scaled 20)" wineserver -w 2>/dev/null
  wine "C:\\Program Files\\Quorvex\\Quorvex.exe" >/dev/null 2>&1 &
  for i in $(seq "$(scaled 60)"); do
    if xwininfo -root -tree 2>/dev/null | grep -q "TARVONEL Wireless printer Setup"; then echo yes; break; fi
    sleep 0.5
  done
  timeout "$(scaled 20)" wine taskkill /IM Quorvex.exe >/dev/null 2>&1
  sleep 2; timeout "$(scaled 10)" wineserver -k 2>/dev/null; true')
check "program window appears from Program Files" "[ \"$started\" = yes ]"

# A settings file the user made stays after the uninstall.
printf 'BT_SelPort: COM2\r\n' > "$dir/Quorvex.ini"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
w 30 reg add "$run_key" /v Quorvex /d 'C:\Program Files\Quorvex\Quorvex.exe' /f >/dev/null 2>&1
w 60 "C:\\Program Files\\Quorvex\\Uninstall.exe" /S
for _ in $(seq "$(scaled 60)"); do [ -f "$dir/Uninstall.exe" ] || break; sleep 0.5; done
timeout "$(scaled 30)" wineserver -w
left=$(cd "$dir" 2>/dev/null && find . -type f | sort | tr '\n' ' ')
check "uninstall leaves only the user's settings file (left: $left)" "[ \"$left\" = './Quorvex.ini ' ]"
lnk=$(find "$WINEPREFIX/drive_c" -iname 'Quorvex.lnk' 2>/dev/null | head -1)
check "Start-menu entry removed" "[ -z \"$lnk\" ]"
check "the setup program's AutoRun entry removed" "! w 30 reg query '$run_key' /v Quorvex >/dev/null 2>&1"
check "uninstall entry removed" \
  "! w 30 reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvex' >/dev/null 2>&1"
rm -rf "$dir"
exit $fail
