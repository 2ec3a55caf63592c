#!/usr/bin/env bash
# service_story_test.sh DRIVER.sys WORKDIR BIN_DIR
# btctl service under Wine with the simulated driver: installed and started, the service
# connects COM1's bound printer; the printer is carried away and comes back, and the
# service's own control (btctl service retry) has it tried at once rather than at the end of
# its back-off. The metrics file (checked by promtool), the Event Log calls (traced by Wine,
# WINEDEBUG=+eventlog, into the services' log), the stop time, a stop during a slow connect and
# the uninstall are checked.
# The service, its event source, the driver and the prefix's server are always removed.
set -u
sys="$1" work="$2" bin="$3"
: "${WINEPREFIX:?}"
here="$(cd "$(dirname "$0")" && pwd)"
src="$here/../../.."
. "$src/scripts/wine-env"
export WINEARCH=win32 WINEDEBUG=-all,+eventlog
sim="$src/scripts/simulator"
w() { timeout -k 5 "$(scaled 60)" wine "$@" 2>/dev/null | tr -d '\r'; }
btctl="$(winepath -w "$bin/btctl.exe" 2>/dev/null)"
data="$WINEPREFIX/drive_c/ProgramData/Quorvex"
fail=0
check() { if [ "$2" = "$3" ]; then echo "ok   - $1"; else echo "FAIL - $1: '$2', not '$3'"; fail=1; fi; }
cleanup() {
  w "$btctl" service uninstall >/dev/null
  "$sim" remove >/dev/null 2>&1
  "$sim" halt >/dev/null 2>&1
  rm -rf "$data"
}
"$sim" halt >/dev/null 2>&1
rm -rf "$data"
trap 'cleanup; exit $fail' EXIT

# The printer leaves once the service has connected it, and comes back long before the
# service's back-off would try again: the story fires both events itself (scripts/simulator
# next); their times only give the order.
leave=3600 back=3601
rm -rf "$work" && mkdir -p "$work" || exit 1
cat > "$work/scenario.txt" <<END
device 0 COM1
dongle COM1 0010A4C0FFEE HD_v2.31
printer COM1 0080372A0001 accepts
at $leave leave COM1 0080372A0001
at $back return COM1 0080372A0001
END
block() {
  printf '\r\nBT_Port: COM%s\r\n\t BT_SelHost:  %s\r\n\t BT_Selprt:   %s\r\n\t BT_QueryPrt: %s\r\n' "$1" "$2" "$3" "$3"
  [ "$3" != NONE ] && printf '\t BT_QueryPrt: NONE\r\n'
  printf '\t BT_HostVrsn: %s\r\n' "$4"
  for r in 1 2 3 4; do printf '\t BT_Reserve%s: NONE\r\n' $r; done
}
{ printf 'BT_SelPort: COM1\r\nBT_Baudrate: 19200N81\r\n'
  block 1 0010A4C0FFEE 0080372A0001 HD_v2.31; block 2 NONE NONE NONE
  block 3 NONE NONE NONE; block 4 NONE NONE NONE; printf '\r\nBT_Connect: AUTO\r\n'; } > "$work/Quorvex.ini"
"$sim" install "$sys" "$work/scenario.txt" || exit 1
: > "$WINEPREFIX/drive_c/services.log"
"$sim" start || exit 1
w reg add 'HKLM\System\CurrentControlSet\Services\Sarnovek\Parameters' /v BTiniPath /t REG_SZ \
  /d "\\??\\$(winepath -w "$work/Quorvex.ini")" /f >/dev/null

# A program folder every user may write (Wine shows a Unix folder's mode as its access list):
# the service is not installed from there.
mkdir -p "$work/open" && cp "$bin/btctl.exe" "$bin/Mendalix.dll" "$work/open/" && chmod 777 "$work/open"
out=$(timeout -k 5 "$(scaled 60)" wine "$(winepath -w "$work/open/btctl.exe")" service install 2>&1); rc=$?
check "install refused from a folder users can write" "$rc $(grep -c 'refused: .* can be changed by S-1-1-0' <<<"$out")" "2 1"
rm -rf "$work/open"

# Someone made the service's folder first and put a DLL and a second name of another file
# there: the service takes the folder over and removes both, leaving that file as it was.
mkdir -p "$data" && echo planted > "$data/version.dll"
echo keep > "$work/system.txt" && ln -f "$work/system.txt" "$data/Quorvex.ini"
w "$btctl" service install | sed 's/^/  /'
check "what others put in the service's folder is gone, and not followed" \
  "$(ls "$data" | tr '\n' ' '; cat "$work/system.txt")" "keep"
echo keep > "$work/system.txt" && ln -f "$work/system.txt" "$work/planted.log"
check "a log file with a second name (a planted hard link) is refused" \
  "$(timeout -k 5 "$(scaled 60)" wine "$btctl" watch --for 1 --log "$(winepath -w "$work/planted.log")" >/dev/null 2>&1
     echo $?; cat "$work/system.txt")" "2
keep"
check "the image path is quoted" \
  "$(w reg query 'HKLM\System\CurrentControlSet\Services\QuorvexLinkWatch' /v ImagePath | grep -c "REG_SZ *\"$(printf '%s' "$btctl" | sed 's/\\/\\\\/g')\" service run")" 1
check "started" "$(w "$btctl" service start)" "QuorvexLinkWatch started"
check "running" "$(w "$btctl" service status | head -1)" "QuorvexLinkWatch: RUNNING"

log="$data/LinkWatch.log" prom="$data/quorvex_links.prom"
# Waits (bounded, scaled seconds) until the service's log holds a line matching $1 after
# the drop ($2 = after) or at all.
wait_log() {
  local end=$((SECONDS + $(scaled "$3")))
  until if [ "$2" = after ]; then sed -n '/Disconnect Ok/,$p' "$log"; else cat "$log"; fi 2>/dev/null | grep -aq "$1"; do
    [ "$SECONDS" -lt "$end" ] || { echo "FAIL - no '$1' in the service's log"; fail=1; return 1; }
    sleep 0.3
  done
}
# Once the service has seen the link up, the printer leaves; once the back-off has grown to
# 16 s, it is back, and the service's control has it tried at once.
wait_log "COM1: Connect Ok (Conected" all 60
"$sim" next >/dev/null || { echo "FAIL - the driver did not fire the leave"; fail=1; }
wait_log "next try in 16 s" after 60
"$sim" next >/dev/null || { echo "FAIL - the driver did not fire the return"; fail=1; }
asked=$(date +%s%3N)
w "$btctl" service retry >/dev/null
for _ in $(seq "$(scaled 20)"); do sed -n '/Disconnect Ok/,$p' "$log" 2>/dev/null | grep -q "= 0x0: COM1: Connect Ok" && break; sleep 0.5; done
sed 's/^/  | /' "$log"
reconnect=$(sed -n '/Disconnect Ok/,$p' "$log" | grep -a "= 0x0: COM1: Connect Ok" | head -1 | cut -c1-23)
took=$(( $(date -d "$reconnect" +%s%3N 2>/dev/null || echo 0) - asked ))
check "the retry tried at once (within $(scaled 3) s; took $took ms)" "$([ "$took" -ge -1000 ] && [ "$took" -le $(( $(scaled 3) * 1000 )) ] && echo yes)" yes
# Until the watch has seen the link's state come up again, and has looked once more after
# that (the metrics file is replaced after each look).
wait_log "COM1: Connect Ok (Conected" after 20 && before=$(stat -c %.9Y "$prom" 2>/dev/null) &&
  for _ in $(seq "$(scaled 40)"); do [ "$(stat -c %.9Y "$prom" 2>/dev/null)" != "$before" ] && break; sleep 0.25; done

# The metrics show the drop and the reconnect, and promtool takes them; status's too.
sed 's/^/  # /' "$prom"
check "promtool takes the service's metrics" "$(promtool check metrics < "$prom" >/dev/null 2>&1 && echo yes)" yes
check "link up again" "$(grep -c '^quorvex_link_up{port="COM1",printer="0080372A0001"} 1$' "$prom")" 1
check "up, down, the failed tries' word, up: four changes" \
  "$(sed -n 's/^quorvex_link_changes_total{port="COM1"} //p' "$prom")" 4
check "promtool takes status --prometheus" \
  "$(w "$btctl" status --prometheus | promtool check metrics >/dev/null 2>&1 && echo yes)" yes

# One Event Log call per change: the first connect and the reconnect, the drop between.
events="$WINEPREFIX/drive_c/services.log"
check "one warning, the drop" "$(grep -ac 'warn:eventlog:ReportEventW L"COM1"' "$events")" 1
check "two link-up entries" "$(grep -ac 'trace:eventlog:ReportEventW L"COM1"' "$events")" 2

stopped=$(w "$btctl" service stop)
echo "  $stopped"
check "stopped within 2 s" "$(echo "$stopped" | awk '/stopped in/ { print ($4 <= 2000) ? "yes" : $4 }')" yes
check "stopped" "$(w "$btctl" service status | head -1)" "QuorvexLinkWatch: STOPPED"
check "the start and the stop were logged" "$(grep -ac 'trace:eventlog:ReportEventW L"C:\\\\ProgramData\\\\Quorvex\\\\LinkWatch.log"' "$events")" 2

# A stop while a connect is under way that takes longer than a stop may (the driver answers
# each of the library's two attempts after 8 s): the service keeps the service manager told,
# STOP_PENDING with a checkpoint that grows, and is STOPPED within 2 s of the connect's end.
printf 'device 0 COM1\ndongle COM1 0010A4C0FFEE HD_v2.31\nbusy connect 8000\n' > "$work/slow.txt"
"$sim" replace "$work/slow.txt" >/dev/null || exit 1
: > "$log"
w "$btctl" service start >/dev/null
sleep "$(scaled 3)"
stopped=$(w "$btctl" service stop)
echo "  $stopped"
sed 's/^/  | /' "$log"
check "stopped while the connect went on, the service manager told all along" \
  "$(echo "$stopped" | awk '/stopped in/ { print ($NF + 0 >= 5) ? "yes" : $0 }')" yes
ms() { date -d "$(grep -a "$1" "$log" | tail -1 | cut -c1-23)" +%s%3N 2>/dev/null || echo 0; }
after=$(( $(ms 'watch stopped') - $(ms 'COM1: try 1:') ))
check "STOPPED within 2 s of the connect's end ($after ms)" "$([ "$after" -ge 0 ] && [ "$after" -le 2000 ] && echo yes)" yes

# Without a folder of its own (here a file holds its name) the service does not start, and
# says why; it falls back to no folder that users could make.
rm -rf "$data" && echo planted > "$data"
check "no start without its own folder" "$(w "$btctl" service start >/dev/null; w "$btctl" service status | head -1)" \
  "QuorvexLinkWatch: STOPPED"
check "the Event Log says why" "$(grep -ac 'err:eventlog:ReportEventW L"the service does not start: its folder' "$events")" 1
rm -f "$data"

check "uninstalled" "$(w "$btctl" service uninstall)" "QuorvexLinkWatch uninstalled"
check "no service left" "$(w "$btctl" service status | head -1)" "QuorvexLinkWatch: NOT INSTALLED"
check "no event source left" "$(w reg query 'HKLM\System\CurrentControlSet\Services\EventLog\Application\Quorvex' | grep -c Quorvex)" 0
