#!/usr/bin/env bash
# logon_option_test.sh INSTALLER SOURCE_DIR
# The installer's offer (off unless chosen) to start "btctl watch --reconnect" at log-on:
# chosen with /WATCHLINKS on a silent install, the Run value starts the installed btctl; a
# later install that leaves it unchosen takes it away, and so does the uninstall.
set -u
installer="$1" src="$2"
: "${WINEPREFIX:?}"
. "$src/scripts/wine-env"
export WINEDEBUG=-all WINEARCH=win32
w() { timeout -k 5 "$(scaled "$1")" wine "${@:2}"; }
install() { w 120 "$(winepath -w "$installer")" /S "$@"; timeout "$(scaled 30)" wineserver -w; }
value() { w 30 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v 'Quorvex link watch' \
            2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   - $1"; else echo "FAIL - $1: '$2', not '$3'"; fail=1; fi; }

install /WATCHLINKS
check "chosen with /WATCHLINKS" "$(value)" '"C:\Program Files\Quorvex\btctl.exe" watch --reconnect'
install
check "taken away by an install that leaves it unchosen" "$(value)" ""
install /WATCHLINKS
w 60 "C:\\Program Files\\Quorvex\\Uninstall.exe" /S
for _ in $(seq "$(scaled 60)"); do [ -f "$WINEPREFIX/drive_c/Program Files/Quorvex/Uninstall.exe" ] || break; sleep 0.5; done
check "gone after the uninstall" "$(value)" ""
exit $fail
