#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Walks the same 6-column x 100-row profile table from one private snmpd
# with our walk driver (zv_walk_run) and with Net-SNMP's snmpwalk, and
# reports the times and their ratios:
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
walker=$build/bench/walk/zv_walk_run
[ -x "$walker" ] || { echo "no $walker: build the zv_walk_run target first" >&2; exit 1; }

# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"

table=1.3.6.1.4.1.32473.1.1.1.1.6.13.1.1
port=$(free_udp_port)
{
  echo "agentaddress udp:127.0.0.1:$port"
  echo "rocommunity public 127.0.0.1"
  echo "dontLogTCPWrappersConnects yes"
  for row in $(seq 1 100); do
    echo "override .$table.1.1.$row integer $row"
    echo "override .$table.2.1.$row integer 4"
    echo "override .$table.3.1.$row octet_str \"Profile $row\""
    echo "override .$table.4.1.$row octet_str \"PROF$row.ICC\""
    echo "override .$table.5.1.$row integer $(( row % 3 + 1 ))"
    echo "override .$table.7.1.$row integer 1"
  done
} > "$work/snmpd.conf"
SNMP_PERSISTENT_DIR=$work/snmpd-state MIBS= snmpd -f -C -c "$work/snmpd.conf" -Lf "$work/snmpd.log" \
  -I -smux -p "$work/snmpd.pid" &
pids+=($!)

# The clients' private configuration: no MIBs, nothing persisted.
mkdir -p "$work/client" "$work/client-state"
printf 'mibs :\nmibdirs :\n' > "$work/client/snmp.conf"
export SNMPCONFPATH=$work/client SNMP_PERSISTENT_DIR=$work/client-state

for _ in $(seq 1 100); do
  snmpget -v2c -c public -r0 -t1 "127.0.0.1:$port" "$table.1.1.1" >/dev/null 2>&1 && break
  sleep 0.05
done
cells=$(snmpwalk -v2c -c public -On "127.0.0.1:$port" "$table" | wc -l)
echo "table: $cells cells from snmpd at 127.0.0.1:$port; $runs runs per figure"

now_ns() { date +%s%N; }

# median_of_runs CMD...: median wall time in seconds of RUNS runs of CMD.
median_of_runs() {
  local times=() start end
  for _ in $(seq 1 "$runs"); do
    start=$(now_ns)
    "$@" >/dev/null 2>&1 || true
    end=$(now_ns)
    times+=($(( end - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.6f", a[int((NR+1)/2)]/1e9}'
}

walk_args=(-v 2c -c public "127.0.0.1:$port" "$table")
t_snmpwalk=$(median_of_runs snmpwalk -v2c -c public -On "127.0.0.1:$port" "$table")
t_walk=$(median_of_runs "$walker" -- "${walk_args[@]}")
t_merge=$(median_of_runs "$walker" --plist "$work/u-m-profile.plist" -- "${walk_args[@]}")
in_process_walk=$("$walker" --repeat "$runs" -- "${walk_args[@]}")
in_process_merge=$("$walker" --repeat "$runs" --plist "$work/u-m-profile.plist" -- "${walk_args[@]}")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
echo "per process (start, library initialisation, walk, exit), median seconds:"
echo "  snmpwalk                     $t_snmpwalk"
echo "  mib_walk, walk alone         $t_walk   ratio to snmpwalk $(ratio "$t_walk" "$t_snmpwalk")"
echo "  mib_walk, merge + plist      $t_merge   ratio to snmpwalk $(ratio "$t_merge" "$t_snmpwalk")"
echo "inside one process, $runs walks:"
echo "  walk alone:       $in_process_walk"
echo "  merge + plist:    $in_process_merge"

# A device that never answers: a UDP socket that nobody reads.
silent_port=$(free_udp_port)
python3 -c "import socket, time; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('127.0.0.1', $silent_port)); time.sleep(3600)" &
pids+=($!)
sleep 0.2
start=$(now_ns)
"$walker" -- -v 2c -c public "127.0.0.1:$silent_port" "$table" >/dev/null || true
end=$(now_ns)
echo "silent device: gave up after $(awk -v t=$(( end - start )) 'BEGIN {printf "%.3f", t/1e9}') s (4 tries of 0.25 s expected)"
