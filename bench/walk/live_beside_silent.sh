#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A live printer's walk alone (the anchor) and while SILENT walks of silent
# printers (-t 3 -r 1: 6 s each) run in the same zvxpcd, interleaved, RUNS
# times each. Each walk has a process of its own and a silent one holds no
# place a live one needs, so the live walk should take its own time beside
# them instead of waiting up to 6 s behind them.
# Figures: median and fastest seconds per live walk request (one
# `zvxpc walk` process each), their difference, and the load average.
#
#   bench/walk/live_beside_silent.sh [BUILD_DIR] [RUNS] [SILENT]
#
# BUILD_DIR: a plain build tree holding zvxpcd and zvxpc (default
# build/release); RUNS (default 5; each beside-run lasts the silent 6 s);
# SILENT (default 8).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-5}
silent_walks=${3:-8}
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$client"

port=$(free_udp_port)
start_printer "$root/demo/printer/profiles.txt" "$work/printer"
live=127.0.0.1:$port
start_silent_device

socket=$work/zvxpcd.sock
start_service "$socket"

walk() {  # USER ADDRESS TIMEOUT RETRIES
  "$client" walk --socket "$socket" --user "$1" --model PX-100 -- -v 2c -c public -r "$4" -t "$3" "$2" "$table_oid" \
    >/dev/null 2>&1 || true
}
seconds() { python3 -c 'import time; print(f"{time.monotonic():.6f}")'; }
time_live() {
  local start end
  start=$(seconds)
  walk alice "$live" 1 0
  end=$(seconds)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}'
}

walk alice "$live" 1 0  # the first walk also starts the process of the next one
alone=() beside=()
for _ in $(seq 1 "$runs"); do
  alone+=("$(time_live)")
  silent=()
  for n in $(seq 1 "$silent_walks"); do
    walk "bob$n" "127.0.0.1:$silent_port" 3 1 &
    silent+=($!)
  done
  sleep 0.5
  beside+=("$(time_live)")
  wait "${silent[@]}"
done
summary() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "median %.4f s   fastest %.4f s", v[int((NR + 1) / 2)], v[1]}'; }
echo "live walk, $runs interleaved runs each:"
echo "  alone                    $(summary "${alone[@]}")"
echo "  beside $silent_walks silent walks   $(summary "${beside[@]}")   (each silent walk takes 6 s)"
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
awk -v a="$(median "${alone[@]}")" -v b="$(median "${beside[@]}")" \
  'BEGIN {printf "  beside less alone (medians): %+.4f s\n", b - a}'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
