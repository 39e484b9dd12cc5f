# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# The walk benchmarks' common ground, sourced by each of them after it set
# $root (the repository) and $build (a plain, not sanitised, build tree):
#   - $service, $client, $walker and $relay, the programs of $build;
#   - $work, a temporary folder, with the clients' and the service's
#     private Net-SNMP configuration (no MIBs, nothing persisted) exported
#     and a folder of profile lists, $work/prefs;
#   - $pids, for the processes a benchmark starts: on exit each of them (and
#     the simulated printer, $printer_pid, when there is one) is stopped and
#     the folder removed;
#   - the printer library (free_udp_port, table_of_rows, start_printer,
#     $table_oid) and
#     the interleaved timing (measure, ratio, verdict).
# shellcheck disable=SC2034,SC2154 # $root and $build come from the benchmark, which uses what is set here

# shellcheck source=../../scripts/lib/printer.sh
source "$root/scripts/lib/printer.sh"
# shellcheck source=interleaved.sh
source "$root/bench/walk/interleaved.sh"

service=$build/Helper/XPCService/Source/front/zvxpcd
client=$build/tools/zvxpc
walker=$build/bench/walk/zv_walk_run
relay=$build/bench/walk/zv_udp_delay_relay

work=$(mktemp -d)
pids=()
stop_bench_processes() {
  local pid
  for pid in "${pids[@]}" ${printer_pid:-}; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_bench_processes EXIT

mkdir -p "$work/snmp" "$work/snmp-state" "$work/prefs"
printf 'mibs :\nmibdirs :\n' > "$work/snmp/snmp.conf"
export SNMPCONFPATH=$work/snmp SNMP_PERSISTENT_DIR=$work/snmp-state

# need_programs PROGRAM...: stops the benchmark unless each is built.
need_programs() {
  local program
  for program in "$@"; do
    [ -x "$program" ] || { echo "no $program: build it first (a plain build with -DZV_BUILD_BENCHMARKS=ON)" >&2; exit 1; }
  done
}

# start_table_printer ROWS: snmpd serving a table of ROWS rows at
# 127.0.0.1:$port; sets $port.
start_table_printer() {
  port=$(free_udp_port)
  table_of_rows "$1" "$work/table-$1.txt"
  start_printer "$work/table-$1.txt" "$work/printer-$1"
  pids+=("$printer_pid")
  printer_pid=
}

# start_relay PORT [OPTION...]: zv_udp_delay_relay in front of
# 127.0.0.1:PORT; sets $relayed to the relay's port.
start_relay() {
  local target=$1 out
  shift
  out=$(mktemp "$work/relay.XXXXXX")
  "$relay" --target "127.0.0.1:$target" "$@" > "$out" &
  pids+=($!)
  relayed=
  for _ in $(seq 1 100); do
    relayed=$(head -n 1 "$out")
    [ -z "$relayed" ] || return 0
    sleep 0.05
  done
  echo "the relay did not start" >&2
  exit 1
}

# start_silent_device: a UDP socket on 127.0.0.1 that nobody reads; sets
# $silent_port.
start_silent_device() {
  silent_port=$(free_udp_port)
  python3 -c 'import socket,sys,time; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", int(sys.argv[1]))); time.sleep(3600)' \
    "$silent_port" &
  pids+=($!)
  sleep 0.2
}

# start_service SOCKET [OPTION...]: zvxpcd on SOCKET with the profile
# lists in $work/prefs and its log in SOCKET.log; returns once it listens.
start_service() {
  local socket=$1
  shift
  "$service" --socket "$socket" --preferences-dir "$work/prefs" --log-file "$socket.log" "$@" \
    2> "$socket.stderr" &
  pids+=($!)
  for _ in $(seq 1 100); do [ -S "$socket" ] && return 0; sleep 0.05; done
  echo "zvxpcd did not start:" >&2
  cat "$socket.stderr" >&2
  exit 1
}
