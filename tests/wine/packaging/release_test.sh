#!/usr/bin/env bash
# release_test.sh BUILD_DIR RELEASE_DIR DRIVER MAKE_RELEASE_ARGS...
# The release others can check. Made twice from the same binaries in other folders, at
# another time and in another time zone, it has the same bytes; no binary holds the source or
# build folder or a link time.
set -u
build="$1" release="$2" driver="$3"; shift 3
src="${*: -1}"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok   - $1"; else echo "FAIL - $1"; fail=1; fi; }
unsigned() { "$src/packaging/make-release" "$@" >/dev/null; }
pe_time() { od -An -tu4 -j "$(( $(od -An -tu4 -j 60 -N4 "$1") + 8 ))" -N4 "$1" | tr -d ' '; }

TZ=UTC unsigned "$work/one/release" "$@"
sleep 2
TZ=Pacific/Kiritimati unsigned "$work/two/release" "$@"
check "made twice, the same bytes" \
  "diff <(cd '$work/one/release' && sha256sum *) <(cd '$work/two/release' && sha256sum *)"
stage="$work/one/release-stage"
held=$(grep -rlaF -e "$src" -e "$build" "$stage" "$driver")
check "no file of the release and not the driver holds the source or build folder ($held)" \
  "[ -z \"\$held\" ]"
for pe in "$stage"/*.exe "$stage"/*.dll "$driver"; do
  check "$(basename "$pe") holds no link time" "[ \"\$(pe_time '$pe')\" = 0 ]"
done
exit $fail
