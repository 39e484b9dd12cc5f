#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The requests of a printer's first and second walk through zvxpcd as it
# starts by default (GETBULK sized to the printer's answers), for a table
# of 100 rows (snmpd) and the demo printer's 15 rows, counted by the relay
# in front of each printer; and the bound a second walk keeps to: at most
# ceil(variables / repetitions remembered) + 1 requests, the repetitions
# being the most that came back whole in the first walk.
#
#   bench/walk/request_counts.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$client" "$relay"

start_service "$work/default.sock"

# count_walks NAME TABLE_PORT: the requests of two walks of one printer.
count_walks() {
  local name=$1 counted=$work/count-$1 first second cells
  : > "$counted"
  start_relay "$2" --count "$counted"
  address=127.0.0.1:$relayed
  cells=$(snmpwalk -v2c -c public -On "$address" "$table_oid" | wc -l)
  : > "$counted"
  for walk in first second; do
    [ "$("$client" walk --socket "$work/default.sock" --user "$name" --model m --quiet -v 2c -c public \
      "$address" "$table_oid")" = "iRet=0" ] || { echo "the $walk walk of $name failed" >&2; exit 1; }
    if [ "$walk" = first ]; then first=$(wc -l < "$counted"); : > "$counted"; fi
  done
  second=$(wc -l < "$counted")
  printf '  %-10s %4s variables   first walk %3s requests   second walk %3s requests\n' \
    "$name" "$cells" "$first" "$second"
}

start_table_printer 100
count_walks 100-rows "$port"
port=$(free_udp_port)
start_printer "$root/demo/printer/profiles.txt" "$work/printer-15"
pids+=("$printer_pid")
printer_pid=
count_walks 15-rows "$port"
