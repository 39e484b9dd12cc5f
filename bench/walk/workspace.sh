# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# The walk benchmarks' scratch space. Sourced: makes $work, a temporary
# folder, and $pids, for the processes the benchmark starts; on exit it
# stops each of them (and the simulated printer, $printer_pid, when there
# is one) and removes the folder. Also brings free_udp_port.

# shellcheck source=../../scripts/lib/printer.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/printer.sh"

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
