#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Soak run (not a test): WALKS walk requests through one zvxpcd against a
# simulated printer (snmpd serving demo/printer/profiles.txt), and the
# service's resident memory and open descriptors before, at each tenth and
# after. Every tenth walk also sets a new MIBS value (-m) and adds a MIB
# folder (-M +DIR), the process-wide options that must not pile up; every
# fiftieth is refused (names that leave the folder) and every hundredth is
# a usage error. A service that leaks shows a rising column.
#
#   bench/soak/walk_soak.sh [BUILD_DIR] [WALKS]
#
# BUILD_DIR holds zvxpcd and zvxpc (default: build/release); WALKS defaults
# to 2000. Everything runs on 127.0.0.1 in a temporary folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
walks=${2:-2000}
# shellcheck source=../walk/workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$client"

port=$(free_udp_port)
start_printer "$root/demo/printer/profiles.txt" "$work/printer"
mkdir -p "$work/mibs"
start_service "$work/zvxpcd.sock"
service_pid=${pids[-1]}

usage() {
  local rss fds
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$service_pid/status")
  fds=$(find "/proc/$service_pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
  printf '%8s %10s %6s\n' "$1" "$rss" "$fds"
}

walk() {
  "$client" walk --socket "$work/zvxpcd.sock" --user soak --model "$1" -- "${@:2}" >/dev/null 2>&1 || true
}

printf '%8s %10s %6s\n' walks "RSS (KiB)" fds
# A first walk loads the library's configuration and the list.
walk PX-100 -v 2c -c public "127.0.0.1:$port" "$table_oid"
usage 1
started=$SECONDS
for i in $(seq 2 "$walks"); do
  if ((i % 100 == 0)); then
    walk PX-100 -v 9 -c public "127.0.0.1:$port" "$table_oid"
  elif ((i % 50 == 0)); then
    walk "../PX-100" -v 2c -c public "127.0.0.1:$port" "$table_oid"
  elif ((i % 10 == 0)); then
    walk PX-100 -v 2c -c public -m "SOAK-MIB-$i" -M "+$work/mibs" "127.0.0.1:$port" "$table_oid"
  else
    walk PX-100 -v 2c -c public "127.0.0.1:$port" "$table_oid"
  fi
  ((i % (walks / 10) == 0)) && usage "$i"
done
echo "$walks walks in $((SECONDS - started)) s; $(grep -c 'iRet=0' "$work/zvxpcd.sock.log") answered iRet=0"
