#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The whole walk request through the service's socket, with the service's
# defaults (GETBULK sized to the printer's answers), against Net-SNMP's
# snmpwalk (the anchor) and snmpbulkwalk -Cr25, on the same profile table
# served by a private snmpd: a table of 100 rows (6 x 100 cells) and one of
# 10 rows, where the file work weighs most. One `zvxpc walk --quiet`
# process per request (no menu summary): client start, connection,
# decoding, walk, merge (read and write of the profile list), reply and
# log line. Figures are medians (and fastest) of RUNS interleaved runs, in
# seconds per request, and their ratios; goal: the whole request at most
# 1.0x snmpwalk at 100 rows and at 10 rows.
#
# Where the time goes, from three kinds of request:
#   refused   names too long: the request is answered without walk or merge
#             (client process, socket round trip, log line);
#   no SNMP   a walk usage error (-v 9): the walk parses its arguments and the
#             merge still reads and writes the profile list, but nothing is
#             sent to the printer;
#   full      the whole walk.
# so "merge + write" = no SNMP - refused and "SNMP walk" = full - no SNMP.
# With bench/walk/zv_walk_run built, the merge is also timed inside one
# process (walk alone against walk with the profile list, also with the
# service's default repetitions).
#
#   bench/walk/request_vs_snmpwalk.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a plain (not sanitised) build tree holding zvxpcd and zvxpc
# (default: build/release); RUNS per figure (default 30). Everything runs on
# 127.0.0.1 in a temporary directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-30}
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$client"

start_table_printer 100
port100=$port
start_table_printer 10
port10=$port

socket=$work/zvxpcd.sock
start_service "$socket"

minus() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.6f", a - b}'; }
share() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%3.0f%%", 100 * a / b}'; }

long_name=$(printf 'u%.0s' $(seq 1 300))

# The requests timed for a table of $rows rows at $address.
run_snmpwalk() { snmpwalk -v2c -c public -On "$address" "$table_oid"; }
run_snmpbulkwalk() { snmpbulkwalk -v2c -c public -On -Cr25 "$address" "$table_oid"; }
run_full() {
  "$client" walk --quiet --socket "$socket" --user "bench$rows" --model m -v 2c -c public "$address" "$table_oid"
}
run_no_snmp() { "$client" walk --quiet --socket "$socket" --user "nosnmp$rows" --model m -v 9 "$address"; }
run_refused() {
  "$client" walk --quiet --socket "$socket" --user "$long_name" --model m -v 2c -c public "$address" "$table_oid"
}

# bench_table ROWS PORT GOAL: all figures for one table.
bench_table() {
  rows=$1
  address=127.0.0.1:$2
  local goal=$3
  local cells
  cells=$(run_snmpwalk | wc -l)
  # A first walk creates each user's profile list; the timed ones find it.
  run_full >/dev/null
  run_no_snmp >/dev/null 2>&1 || true
  measure run_snmpwalk run_snmpbulkwalk run_full run_no_snmp run_refused

  local t_snmpwalk=${median[run_snmpwalk]} t_full=${median[run_full]}
  local t_refused=${median[run_refused]} t_merge t_snmp
  t_merge=$(minus "${median[run_no_snmp]}" "$t_refused")
  t_snmp=$(minus "$t_full" "${median[run_no_snmp]}")
  echo
  echo "$rows rows ($cells cells), median of $runs interleaved runs, seconds per request:"
  local r_median r_fastest
  r_median=$(ratio "$t_full" "$t_snmpwalk")
  r_fastest=$(ratio "${fastest[run_full]}" "${fastest[run_snmpwalk]}")
  echo "  snmpwalk                          $t_snmpwalk   (fastest ${fastest[run_snmpwalk]})"
  echo "  snmpbulkwalk -Cr25                ${median[run_snmpbulkwalk]}   (fastest ${fastest[run_snmpbulkwalk]})"
  echo "  zvxpc walk, whole request         $t_full   (fastest ${fastest[run_full]})"
  echo "  ratio to snmpwalk                 $r_median   (fastest $r_fastest)   goal <= ${goal}x: $(verdict "$r_median" "$goal")"
  echo "  ratio to snmpbulkwalk -Cr25       $(ratio "$t_full" "${median[run_snmpbulkwalk]}")   (fastest $(ratio \
    "${fastest[run_full]}" "${fastest[run_snmpbulkwalk]}"))"
  echo "  where the whole request's time goes:"
  echo "    client, socket, reply, log      $t_refused   $(share "$t_refused" "$t_full")"
  echo "    merge: read + write the list    $t_merge   $(share "$t_merge" "$t_full")"
  echo "    SNMP walk                       $t_snmp   $(share "$t_snmp" "$t_full")"
  if [ -x "$walker" ]; then
    local alone with_list
    alone=$("$walker" --repeat "$runs" --bulk-repetitions auto -- -v 2c -c public "$address" "$table_oid" |
      awk '{print $8}')
    with_list=$("$walker" --repeat "$runs" --bulk-repetitions auto --plist "$work/walker-$rows.plist" -- \
      -v 2c -c public "$address" "$table_oid" | awk '{print $8}')
    echo "  inside one process (zv_walk_run, median):"
    echo "    walk alone                      $alone"
    echo "    walk + merge + write            $with_list   merge $(minus "$with_list" "$alone")"
  fi
}

echo "snmpd at 127.0.0.1:$port100 (100 rows) and 127.0.0.1:$port10 (10 rows); zvxpcd at $socket"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_table 100 "$port100" 1.0
bench_table 10 "$port10" 1.0
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "profile list size: $(stat -c %s "$work/prefs/bench100-m-profile.plist") bytes (all 500 slots of 3 lists)"
