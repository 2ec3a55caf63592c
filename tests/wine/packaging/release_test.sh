#!/usr/bin/env bash
# release_test.sh CAFILE|- BUILD_DIR RELEASE_DIR DRIVER MAKE_RELEASE_ARGS...
# Made twice in other folders, at another time and time zone, the release has the same bytes,
# no binary holds the build's folders or a link time, SHA256SUMS holds every file. Signed (CAFILE:
# the signer's authority), every PE verifies, a changed copy does not, and unsigned is as built.
set -u
ca="$1" build="$2" release="$3" driver="$4"; shift 4
src="${*: -1}" work=$(mktemp -d) fail=0
trap 'rm -rf "$work"' EXIT
check() { if eval "$2"; then echo "ok   - $1"; else echo "FAIL - $1"; fail=1; fi; }
unsigned() { env -u QUORVEX_SIGN_PFX -u QUORVEX_SIGN_PASSWORD_FILE "$src/packaging/make-release" "$@" >/dev/null; }
pe_time() { od -An -tu4 -j "$(( $(od -An -tu4 -j 60 -N4 "$1") + 8 ))" -N4 "$1" | tr -d ' '; }
verify() { osslsigncode verify -CAfile "$ca" -in "$1" >/dev/null 2>&1; }

TZ=UTC unsigned "$work/one/release" "$@"
sleep 2
TZ=Pacific/Kiritimati unsigned "$work/two/release" "$@"
check "made twice, the same bytes" \
  "diff <(cd '$work/one/release' && sha256sum *) <(cd '$work/two/release' && sha256sum *)"
stage="$work/one/release-stage"
held=$(grep -rlaF -e "$src" -e "$build" -e "${build//[^A-Za-z0-9]/_}" "$stage" "$driver")
check "no file of the release and not the driver holds the source or build folder ($held)" '[ -z "$held" ]'
timed=$(for pe in $(find "$stage" -iname '*.exe' -o -iname '*.dll') "$driver"; do [ "$(pe_time "$pe")" = 0 ] || echo "$pe"; done)
check "no binary holds a link time ($timed)" '[ -z "$timed" ]'
listed=$(cut -c67- "$release/SHA256SUMS")
files=$(cd "$release" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort)
check "SHA256SUMS lists every file of the release and matches them" \
  '[ "$listed" = "$files" ] && (cd "$release" && sha256sum --quiet -c SHA256SUMS)'

if [ "$ca" != - ]; then
  unzip -q "$release"/*.zip -d "$work/zip"
  pes=$(cd "$work/zip" && find . -iname '*.exe' -o -iname '*.dll' | sort)
  bad=$(for f in $pes; do verify "$work/zip/$f" || echo "$f"; done
        for f in "$release"/*.exe; do verify "$f" || echo "$f"; done)
  check "every PE of the zip and the installer verified against the test authority ($bad)" \
    '[ -n "$pes" ] && [ -z "$bad" ]'
  bare=$(for f in $pes; do rm -f "$work/bare"; osslsigncode remove-signature -in "$work/zip/$f" \
           -out "$work/bare" >/dev/null && cmp -s "$work/bare" "$stage/$f" || echo "$f"; done)
  check "each PE without its signature: the unsigned bytes ($bare)" '[ -z "$bare" ]'
  changed="$work/changed.exe"; cp "$work/zip/Quorvex.exe" "$changed"
  python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[len(b) // 2] ^= 1
open(sys.argv[1], "wb").write(b)' "$changed"
  check "a copy of Quorvex.exe with one byte changed fails to verify" '! verify "$changed"'
fi
exit $fail
