#!/usr/bin/env bash
# A program that dies of a bad pointer is seen as a crash: it ends with a failure status and
# the prefix's crash log names it. Under an emulator the exception code differs; neither
# check depends on it.
set -u
program="$1"
: "${WINEPREFIX:?}"
here="$(cd "$(dirname "$0")" && pwd)"
log="$WINEPREFIX/drive_c/crashes.log"
rm -f "$log"
WINE_RUN_TIMEOUT=60 "$here/../../../scripts/wine-run" "$program" --crash >/dev/null 2>&1
code=$?
echo "exit status of the crashing program: $code"
status=0
[ "$code" != 0 ] || { echo "FAIL: a crash ended with status 0"; status=1; }
if grep -q 'crash_log.exe' "$log" 2>/dev/null; then
  echo "ok   the crash log names it: $(tr -d '\r' <"$log")"
else
  echo "FAIL: the crash log does not name it (log: $(cat "$log" 2>/dev/null))"; status=1
fi
rm -f "$log"
exit $status
