#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Walks the same 6-column x 100-row profile table from one private snmpd
# with our walk driver (zv_walk_run, by GETNEXT) and with Net-SNMP's
# snmpwalk, and reports the times and their ratios:
#   - the walk alone (merge without a plist to read or write), per process
#     and per walk inside one process;
#   - the walk with the merge reading and writing a profile plist;
#   - the time until a device that never answers gives up.
#
#   bench/walk/walk_vs_snmpwalk.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a plain (not sanitised) build tree holding
# bench/walk/zv_walk_run (default: build/release); RUNS per figure
# (default 30). Everything runs on 127.0.0.1 in a temporary directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-30}
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$walker"

table=$table_oid
start_table_printer 100
cells=$(snmpwalk -v2c -c public -On "127.0.0.1:$port" "$table" | wc -l)
echo "table: $cells cells from snmpd at 127.0.0.1:$port; $runs runs per figure"

walk_args=(-v 2c -c public "127.0.0.1:$port" "$table")
run_snmpwalk() { snmpwalk -v2c -c public -On "127.0.0.1:$port" "$table"; }
run_walk() { "$walker" -- "${walk_args[@]}"; }
run_merge() { "$walker" --plist "$work/u-m-profile.plist" -- "${walk_args[@]}"; }
measure run_snmpwalk run_walk run_merge
in_process_walk=$("$walker" --repeat "$runs" -- "${walk_args[@]}")
in_process_merge=$("$walker" --repeat "$runs" --plist "$work/u-m-profile.plist" -- "${walk_args[@]}")

# figure LABEL NAME: the median and fastest of run_NAME and their ratios
# to snmpwalk's.
figure() {
  printf '  %-28s %s (%s)   ratio to snmpwalk %s (fastest %s)\n' "$1" "${median[run_$2]}" "${fastest[run_$2]}" \
    "$(ratio "${median[run_$2]}" "${median[run_snmpwalk]}")" "$(ratio "${fastest[run_$2]}" "${fastest[run_snmpwalk]}")"
}
echo "per process (start, library initialisation, walk, exit), $runs interleaved runs, median (fastest) seconds:"
printf '  %-28s %s (%s)\n' snmpwalk "${median[run_snmpwalk]}" "${fastest[run_snmpwalk]}"
figure "mib_walk, walk alone" walk
figure "mib_walk, merge + plist" merge
echo "inside one process, $runs walks:"
echo "  walk alone:       $in_process_walk"
echo "  merge + plist:    $in_process_merge"

# A device that never answers.
start_silent_device
start=$(now_us)
"$walker" -- -v 2c -c public "127.0.0.1:$silent_port" "$table" >/dev/null || true
end=$(now_us)
echo "silent device: gave up after $(awk -v t=$(( end - start )) 'BEGIN {printf "%.3f", t/1e6}') s (4 tries of 0.25 s expected)"
