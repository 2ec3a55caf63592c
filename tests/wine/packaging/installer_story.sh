# Sourced by the installer stories with the prefix's Windows kind (win32 or win64) after
# installer= and src= are set: Wine's settings, and check/w with bounded waits.
: "${WINEPREFIX:?}"
. "$src/scripts/wine-env"
export WINEDEBUG=-all WINEARCH="$1"
fail=0
check() { if eval "$2"; then echo "ok   - $1"; else echo "FAIL - $1"; fail=1; fi; }
w() { timeout -k 5 "$(scaled "$1")" wine "${@:2}"; }
