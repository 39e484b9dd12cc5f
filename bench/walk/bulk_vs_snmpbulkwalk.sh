#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The walk request by GETBULK at a printer's round-trip time: snmpd serving
# the demo printer's table (15 rows) and a table of 100 rows, behind a UDP
# relay of our own (zv_udp_delay_relay) that holds each datagram 1 ms each
# way, 2 ms per round trip. Timed, interleaved, per request:
#   bulk      `zvxpc walk ... -Cr25` through zvxpcd (client start,
#             connection, walk, merge, reply)
#   getnext   the same request without -C r: the walk by GETNEXT
#   snmpbulkwalk -Cr25 and snmpwalk on the same table through the relay.
# Goals: bulk at most 1.2x snmpbulkwalk at 100 rows and 1.4x at 15 rows;
# bulk at least 10x faster than getnext at 100 rows.
#
#   bench/walk/bulk_vs_snmpbulkwalk.sh [BUILD_DIR] [RUNS] [DELAY_US]
#
# BUILD_DIR is a plain (not sanitised) build tree holding zvxpcd, zvxpc and
# bench/walk/zv_udp_delay_relay (default: build/release); RUNS rounds
# (default 15); DELAY_US the relay's delay each way (default 1000).
# Everything runs on 127.0.0.1 in a temporary directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-15}
delay_us=${3:-1000}
service=$build/Helper/XPCService/Source/front/zvxpcd
client=$build/tools/zvxpc
relay=$build/bench/walk/zv_udp_delay_relay
for program in "$service" "$client" "$relay"; do
  [ -x "$program" ] || { echo "no $program: build zvxpcd, zvxpc and zv_udp_delay_relay first" >&2; exit 1; }
done
# shellcheck source=interleaved.sh
source "$root/bench/walk/interleaved.sh"

# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"

# A table file of ROWS rows in the demo printer's format.
table_of() {
  local row
  for row in $(seq 1 "$1"); do
    echo "$row|$((100 + row))|$((row % 2 + 4))|$((row % 3 + 1))|1|PROF$row.ICC|Profile $row"
  done
}

# serve TABLE NAME: snmpd serving TABLE and a relay in front of it; sets
# $relayed to the relay's port.
serve() {
  port=$(free_udp_port)
  start_printer "$1" "$work/$2"
  pids+=("$printer_pid")
  : > "$work/$2.relay"
  "$relay" --target "127.0.0.1:$port" --delay-us "$delay_us" > "$work/$2.relay" &
  pids+=($!)
  relayed=
  for _ in $(seq 1 100); do
    relayed=$(head -n 1 "$work/$2.relay")
    [ -z "$relayed" ] || return 0
    sleep 0.05
  done
  echo "the relay did not start" >&2
  exit 1
}

mkdir -p "$work/snmp" "$work/snmp-state" "$work/prefs"
printf 'mibs :\nmibdirs :\n' > "$work/snmp/snmp.conf"
export SNMPCONFPATH=$work/snmp SNMP_PERSISTENT_DIR=$work/snmp-state

table_of 100 > "$work/table-100.txt"
serve "$work/table-100.txt" printer-100
relayed100=$relayed
serve "$root/demo/printer/profiles.txt" printer-15
relayed15=$relayed

socket=$work/zvxpcd.sock
"$service" --socket "$socket" --preferences-dir "$work/prefs" --log-file "$work/walk.log" 2>"$work/zvxpcd.stderr" &
pids+=($!)
for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.05; done

# --quiet: the reply line alone, as the dialog gets it (without it zvxpc
# also reads the profile list before and after to summarise the walk).
run_bulk() {
  "$client" walk --socket "$socket" --user "bulk$rows" --model m --quiet -v 2c -c public -Cr25 "$address" "$table_oid"
}
run_getnext() {
  "$client" walk --socket "$socket" --user "getnext$rows" --model m --quiet -v 2c -c public "$address" "$table_oid"
}
run_snmpbulkwalk() { snmpbulkwalk -v2c -c public -On -Cr25 "$address" "$table_oid"; }
run_snmpwalk() { snmpwalk -v2c -c public -On "$address" "$table_oid"; }

# at_least RATIO GOAL: "met" when RATIO >= GOAL.
at_least() { awk -v r="$1" -v g="$2" 'BEGIN {print (r >= g ? "met" : "MISSED")}'; }

# bench_table ROWS PORT GOAL: the figures for one table.
bench_table() {
  rows=$1
  address=127.0.0.1:$2
  local goal=$3 cells round_trip name
  cells=$(run_snmpwalk | wc -l)
  round_trip=$( { TIMEFORMAT=%R; time snmpget -v2c -c public -r0 -t1 "$address" "$table_oid.1.1.1" >/dev/null; } 2>&1)
  # A first walk creates each user's profile list; the timed ones find it.
  [ "$(run_bulk)" = "iRet=0" ] || { echo "the walk by GETBULK failed" >&2; exit 1; }
  [ "$(run_getnext)" = "iRet=0" ] || { echo "the walk by GETNEXT failed" >&2; exit 1; }
  cmp -s "$work/prefs/bulk$rows-m-profile.plist" "$work/prefs/getnext$rows-m-profile.plist" ||
    { echo "the two walks left different profile lists" >&2; exit 1; }
  measure run_bulk run_snmpbulkwalk run_snmpwalk run_getnext

  echo
  echo "$rows rows ($cells cells; one snmpget through the relay: ${round_trip} s), $runs interleaved runs, seconds per request:"
  printf '  %-34s %10s %10s\n' "" median fastest
  for name in run_bulk run_snmpbulkwalk run_snmpwalk run_getnext; do
    printf '  %-34s %10s %10s\n' "${name#run_}" "${median[$name]}" "${fastest[$name]}"
  done
  local r_bulk r_fast speedup
  r_bulk=$(ratio "${median[run_bulk]}" "${median[run_snmpbulkwalk]}")
  r_fast=$(ratio "${fastest[run_bulk]}" "${fastest[run_snmpbulkwalk]}")
  speedup=$(ratio "${median[run_getnext]}" "${median[run_bulk]}")
  echo "  bulk / snmpbulkwalk                $r_bulk (fastest $r_fast)   goal <= ${goal}x: $(verdict "$r_bulk" "$goal")"
  echo "  getnext / bulk                     $speedup (fastest $(ratio "${fastest[run_getnext]}" "${fastest[run_bulk]}"))$(
    [ "$rows" -lt 100 ] || echo "   goal >= 10x: $(at_least "$speedup" 10)")"
  echo "  bulk / snmpwalk                    $(ratio "${median[run_bulk]}" "${median[run_snmpwalk]}")"
}

echo "relay delay ${delay_us} us each way; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_table 100 "$relayed100" 1.2
bench_table 15 "$relayed15" 1.4
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
