#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Where the time of one walk request goes, step by step (see
# request_breakdown.cc), against a private snmpd serving a profile table of
# ROWS rows on 127.0.0.1, with the walk's default arguments.
#
#   bench/walk/request_breakdown.sh [BUILD_DIR] [RUNS] [ROWS]
#
# BUILD_DIR: a plain build tree with the benchmarks (default build/release);
# RUNS (default 30); ROWS (default 100).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-30}
rows=${3:-100}
service=$build/Helper/XPCService/Source/front/zvxpcd
breakdown=$build/bench/walk/zv_request_breakdown
for program in "$service" "$breakdown"; do
  [ -x "$program" ] || { echo "no $program: build with -DZV_BUILD_BENCHMARKS=ON first" >&2; exit 1; }
done
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"

mkdir -p "$work/snmp" "$work/snmp-state" "$work/prefs"
printf 'mibs :\nmibdirs :\n' > "$work/snmp/snmp.conf"
export SNMPCONFPATH=$work/snmp SNMP_PERSISTENT_DIR=$work/snmp-state
table_of_rows "$rows" "$work/table.txt"
port=$(free_udp_port)
start_printer "$work/table.txt" "$work/printer"
socket=$work/zvxpcd.sock
"$service" --socket "$socket" --preferences-dir "$work/prefs" --log-file "$work/walk.log" 2>"$work/zvxpcd.stderr" &
pids+=($!)
for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.05; done
"$breakdown" "$runs" "$socket" -- -v 2c -c public "127.0.0.1:$port" "$table_oid"
