#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The walk request by GETBULK at a printer's round-trip time: snmpd serving
# a table of 100 rows and the demo printer's table (15 rows), behind a UDP
# relay of our own (zv_udp_delay_relay) that holds each datagram 1 ms each
# way, 2 ms per round trip. Timed, interleaved, per request:
#   default   `zvxpc walk` through zvxpcd as it starts by default (GETBULK
#             sized to the printer's answers): client start, connection,
#             walk, merge, reply
#   r25       the same request with -Cr25
#   getnext   the same request through a zvxpcd started with
#             --bulk-repetitions 0: the walk by GETNEXT
#   snmpbulkwalk -Cr25 (the anchor) and snmpwalk on the same table.
# Every timed request is a printer's second walk or later, which starts at
# the repetitions that came back whole in the printer's walk before.
# Goals: default at most 0.8x snmpbulkwalk -Cr25 at 100 rows and 0.7x at 15
# rows, at a 2 ms and at a 10 ms round trip; r25 at most 1.2x and 1.4x; the default at least 10x faster than
# getnext at 100 rows; with DELAY_US 5000 (a 10 ms round trip) the default
# request at 100 rows within 0.25 s.
# Then the 100-row table behind a relay that drops every GETBULK (a printer
# deaf to GETBULK): the default request against the one by GETNEXT; goal:
# the same list, at most 1.2 s later.
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
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$client" "$relay"

start_table_printer 100
start_relay "$port" --delay-us "$delay_us"
relayed100=$relayed
start_relay "$port" --delay-us "$delay_us" --drop-getbulk
deaf100=$relayed
port=$(free_udp_port)
start_printer "$root/demo/printer/profiles.txt" "$work/printer-15"
start_relay "$port" --delay-us "$delay_us"
relayed15=$relayed

start_service "$work/default.sock"
start_service "$work/getnext.sock" --bulk-repetitions 0

# --quiet: the reply line alone, as the dialog gets it (without it zvxpc
# also reads the profile list before and after to summarise the walk).
walk_through() {  # SOCKET USER [OPTION...]
  "$client" walk --socket "$1" --user "$2" --model m --quiet -v 2c -c public "${@:3}" "$address" "$table_oid"
}
run_default() { walk_through "$work/default.sock" "default$rows"; }
run_r25() { walk_through "$work/default.sock" "r25$rows" -Cr25; }
run_getnext() { walk_through "$work/getnext.sock" "getnext$rows"; }
run_snmpbulkwalk() { snmpbulkwalk -v2c -c public -On -Cr25 "$address" "$table_oid"; }
run_snmpwalk() { snmpwalk -v2c -c public -On "$address" "$table_oid"; }

# at_least RATIO GOAL: "met" when RATIO >= GOAL.
at_least() { awk -v r="$1" -v g="$2" 'BEGIN {print (r >= g ? "met" : "MISSED")}'; }
# at_most_later A B GOAL: "met" when A - B <= GOAL seconds.
at_most_later() { awk -v a="$1" -v b="$2" -v g="$3" 'BEGIN {print (a - b <= g ? "met" : "MISSED")}'; }

# same_lists NAME...: stops unless the users NAME... have byte-identical lists.
same_lists() {
  local name
  for name in "${@:2}"; do
    cmp -s "$work/prefs/$1-m-profile.plist" "$work/prefs/$name-m-profile.plist" ||
      { echo "the walks of $1 and $name left different profile lists" >&2; exit 1; }
  done
}

# first_walks NAME...: a first walk of each (which creates the user's
# profile list, found by the timed ones), each answering iRet=0.
first_walks() {
  local name
  for name in "$@"; do
    [ "$("run_$name")" = "iRet=0" ] || { echo "the first $name walk failed" >&2; exit 1; }
  done
}

row() { printf '  %-34s %10s %10s\n' "$@"; }

# bench_table ROWS PORT DEFAULT_GOAL R25_GOAL: the figures for one table.
bench_table() {
  rows=$1
  address=127.0.0.1:$2
  local default_goal=$3 r25_goal=$4 cells round_trip name speedup
  cells=$(run_snmpwalk | wc -l)
  round_trip=$( { TIMEFORMAT=%R; time snmpget -v2c -c public -r0 -t1 "$address" "$table_oid.1.1.1" >/dev/null; } 2>&1)
  first_walks default r25 getnext
  same_lists "default$rows" "r25$rows" "getnext$rows"
  measure run_default run_r25 run_snmpbulkwalk run_snmpwalk run_getnext

  echo
  echo "$rows rows ($cells cells; one snmpget through the relay: ${round_trip} s), $runs interleaved runs, seconds per request:"
  row "" median fastest
  for name in run_default run_r25 run_snmpbulkwalk run_snmpwalk run_getnext; do
    row "${name#run_}" "${median[$name]}" "${fastest[$name]}"
  done
  local r_default r_r25
  r_default=$(ratio "${median[run_default]}" "${median[run_snmpbulkwalk]}")
  r_r25=$(ratio "${median[run_r25]}" "${median[run_snmpbulkwalk]}")
  echo "  default / snmpbulkwalk             $r_default (fastest $(ratio "${fastest[run_default]}" \
    "${fastest[run_snmpbulkwalk]}"))   goal <= ${default_goal}x: $(verdict "$r_default" "$default_goal")"
  echo "  r25 / snmpbulkwalk                 $r_r25 (fastest $(ratio "${fastest[run_r25]}" \
    "${fastest[run_snmpbulkwalk]}"))   goal <= ${r25_goal}x: $(verdict "$r_r25" "$r25_goal")"
  speedup=$(ratio "${median[run_getnext]}" "${median[run_default]}")
  echo "  getnext / default                  $speedup (fastest $(ratio "${fastest[run_getnext]}" "${fastest[run_default]}"))$(
    [ "$rows" -lt 100 ] || echo "   goal >= 10x: $(at_least "$speedup" 10)")"
  echo "  default / snmpwalk                 $(ratio "${median[run_default]}" "${median[run_snmpwalk]}")"
  if [ "$rows" = 100 ] && [ "$delay_us" = 5000 ]; then
    echo "  default at a 10 ms round trip      ${median[run_default]} s   goal <= 0.25 s: $(verdict "${median[run_default]}" 0.25)"
  fi
}

# bench_deaf_printer PORT: the default request and the one by GETNEXT
# against a printer that drops every GETBULK.
bench_deaf_printer() {
  rows=deaf
  address=127.0.0.1:$1
  first_walks default getnext
  same_lists default$rows getnext$rows
  measure run_default run_getnext
  echo
  echo "100 rows behind a relay that drops every GETBULK, $runs interleaved runs, seconds per request:"
  row "" median fastest
  row default "${median[run_default]}" "${fastest[run_default]}"
  row getnext "${median[run_getnext]}" "${fastest[run_getnext]}"
  echo "  default - getnext                  $(awk -v a="${median[run_default]}" -v b="${median[run_getnext]}" \
    'BEGIN {printf "%.3f s", a - b}')   goal <= 1.2 s: $(at_most_later "${median[run_default]}" "${median[run_getnext]}" 1.2)"
  echo "  default / getnext                  $(ratio "${median[run_default]}" "${median[run_getnext]}")"
}

echo "relay delay ${delay_us} us each way; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
bench_table 100 "$relayed100" 0.8 1.2
bench_table 15 "$relayed15" 0.7 1.4
bench_deaf_printer "$deaf100"
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
