#!/usr/bin/env bash
# The host btctl and library against the simulated driver plug-in, as a technician would try
# them on a Linux machine with a scenario:
#   - a query of COM1 fills COM1's block of btctl's own copy of Quorvex.ini (QuorvexWatch in the
#     temporary folder), and leaves the current directory without one;
#   - a connect to a printer that refuses the first attempt succeeds on the library's retry;
#   - dropping the link with NULL answers 0x4 (disconnected), which is what was asked: exit 0;
#   - monitoring accepted by the driver and BT_long's answer exit 0 too;
#   - a port without a control device answers 2 (no driver), and btctl exits 1;
#   - a scenario file that is missing leaves the library without devices, and says so.
# usage: btctl_with_simulator.sh BTCTL PLUGIN SCENARIO
set -u
btctl="$1" plugin="$2" scenario="$3"
work=$(mktemp -d) && cd "$work" || exit 1
export TMPDIR="$work"
trap 'rm -rf "$work"' EXIT
status=0
check() {  # check "what" wanted-exit-code wanted-text-in-output -- command...
  local what="$1" code="$2" text="$3"; shift 4
  local out rc
  out=$(timeout -k 5 30 env MENDALIX_DEVICES="$plugin" "$@" 2>&1); rc=$?
  if [ "$rc" = "$code" ] && grep -qF -- "$text" <<<"$out"; then
    echo "ok   $what"
  else
    echo "FAIL $what: exit $rc, output:"; sed 's/^/    /' <<<"$out"; status=1
  fi
}

check "query COM1" 0 "BT_OnQuery(COM1, NONE) = 0x00000000" -- env SARNOVEK_SCENARIO="$scenario" "$btctl" query COM1
[ -e Quorvex.ini ] && { echo "FAIL the query wrote Quorvex.ini in the current directory"; status=1; }
block=$(cat "$work"/QuorvexWatch-*/Quorvex.ini 2>/dev/null | tr -d '\r' | sed -n '/^BT_Port: COM1$/,/^BT_Port: COM2$/p')
if grep -qx $'\t BT_SelHost:  0010A4C0FFEE' <<<"$block" && grep -qx $'\t BT_QueryPrt: 0080372A0002' <<<"$block"; then
  echo "ok   the findings are in COM1's block"
else
  echo "FAIL COM1's block after the query:"; sed 's/^/    /' <<<"$block"; status=1
fi
check "connect COM1 to a printer that refuses once" 0 "= 0x00000000" -- \
  env SARNOVEK_SCENARIO="$scenario" "$btctl" connect COM1 0080372A0002
check "drop COM1's link" 0 "= 0x00000004" -- env SARNOVEK_SCENARIO="$scenario" "$btctl" connect COM1 NULL
check "monitoring on, accepted" 0 "took the monitor command" -- env SARNOVEK_SCENARIO="$scenario" "$btctl" monitor COM1 MON_ON
check "BT_long" 0 "BT_long = 0x00000003" -- env SARNOVEK_SCENARIO="$scenario" "$btctl" long
check "monitoring on COM3, which has no control device" 1 "0x002 no driver" -- \
  env SARNOVEK_SCENARIO="$scenario" "$btctl" monitor COM3 MON_ON
check "query COM3, which has no control device" 1 "0x002 no driver installed" -- \
  env SARNOVEK_SCENARIO="$scenario" "$btctl" query COM3
check "a missing scenario file" 1 "sarnovek_host: $work/none.txt" -- \
  env SARNOVEK_SCENARIO="$work/none.txt" "$btctl" query COM1
exit "$status"
