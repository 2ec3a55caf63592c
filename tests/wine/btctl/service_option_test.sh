#!/usr/bin/env bash
# service_option_test.sh INSTALLER SOURCE_DIR
# The installer's option "Keep printer links up (service)", /WATCHLINKS on a silent install:
# it installs and starts the service QuorvexLinkWatch and takes away the log-on entry of
# earlier versions; a reinstall while the service and a console watch run replaces the files
# and starts the service again; the uninstall leaves no service, event source, Run value,
# service folder or program file.
set -u
installer="$1" src="$2"
: "${WINEPREFIX:?}"
. "$src/scripts/wine-env"
export WINEDEBUG=-all WINEARCH=win32
w() { timeout -k 5 "$(scaled "$1")" wine "${@:2}" 2>/dev/null | tr -d '\r'; }
install() { w 120 "$(winepath -w "$installer")" /S "$@"; timeout "$(scaled 30)" wineserver -w; }
dir="$WINEPREFIX/drive_c/Program Files/Quorvex" data="$WINEPREFIX/drive_c/ProgramData/Quorvex"
btctl='C:\Program Files\Quorvex\btctl.exe'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
value() { w 30 reg query "$run_key" /v "$1" | sed -n 's/.*REG_SZ *//p'; }
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   - $1"; else echo "FAIL - $1: '$2', not '$3'"; fail=1; fi; }
watch_pid=""
cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
  w 60 "$btctl" service uninstall >/dev/null
  timeout "$(scaled 20)" wineserver -k 2>/dev/null; timeout "$(scaled 20)" wineserver -w 2>/dev/null
  rm -rf "$dir" "$data"
}
trap 'cleanup; exit $fail' EXIT
rm -rf "$dir" "$data"

# An earlier version's log-on watch, as its installer left it.
w 30 reg add "$run_key" /v 'Quorvex link watch' /d "\"$btctl\" watch --reconnect" /f >/dev/null
install /WATCHLINKS
check "the service runs after the install" "$(w 60 "$btctl" service status | head -1)" "QuorvexLinkWatch: RUNNING"
check "the log-on watch of the earlier version is gone" "$(value 'Quorvex link watch')" ""
check "the service's folder" "$([ -f "$data/LinkWatch.log" ] && echo yes)" yes

# A reinstall while the service and a console watch hold the program and the library.
( cd "$dir" && timeout "$(scaled 200)" wine "$btctl" watch --reconnect >/dev/null 2>&1 ) &
watch_pid=$!
sleep "$(scaled 5)"
touch -d 2000-01-01 "$dir/btctl.exe" "$dir/Mendalix.dll"
install /WATCHLINKS
check "btctl.exe and Mendalix.dll were replaced" \
  "$(find "$dir/btctl.exe" "$dir/Mendalix.dll" -newermt 2001-01-01 | wc -l)" 2
check "the console watch ended" "$(timeout 5 tail --pid="$watch_pid" -f /dev/null && echo yes)" yes
watch_pid=""
check "the service runs again" "$(w 60 "$btctl" service status | head -1)" "QuorvexLinkWatch: RUNNING"

# The setup program's AutoRun entry, then the uninstall.
w 30 reg add "$run_key" /v Quorvex /d 'C:\Program Files\Quorvex\Quorvex.exe' /f >/dev/null
w 60 "C:\\Program Files\\Quorvex\\Uninstall.exe" /S
for _ in $(seq "$(scaled 60)"); do [ -f "$dir/Uninstall.exe" ] || break; sleep 0.5; done
timeout "$(scaled 30)" wineserver -w
check "no program file left" "$(cd "$dir" 2>/dev/null && find . -type f ! -name Quorvex.ini | wc -l)" 0
check "no service left" \
  "$(w 30 reg query 'HKLM\System\CurrentControlSet\Services\QuorvexLinkWatch' /v ImagePath | grep -c ImagePath)" 0
check "no event source left" \
  "$(w 30 reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\Quorvex' | grep -c Quorvex)" 0
check "no AutoRun value left" "$(value Quorvex)" ""
check "no service folder left" "$([ -e "$data" ] && echo left)" ""
