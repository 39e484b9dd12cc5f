#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A live printer's walk alone (the anchor) and while a silent printer's walk
# (-t 3 -r 1: 6 s) runs in the same zvxpcd, interleaved, RUNS times each.
# Each walk has a process of its own, so the live walk should take its own
# time beside the silent one instead of waiting up to 6 s behind it.
# Figures: median and fastest seconds per live walk request (one
# `zvxpc walk` process each), and the load average.
#
#   bench/walk/live_beside_silent.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR: a plain build tree holding zvxpcd and zvxpc (default
# build/release); RUNS (default 5; each beside-run lasts the silent 6 s).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/release}
runs=${2:-5}
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
  walk bob "127.0.0.1:$silent_port" 3 1 &
  silent=$!
  sleep 0.3
  beside+=("$(time_live)")
  wait "$silent"
done
summary() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {printf "median %.4f s   fastest %.4f s", v[int((NR + 1) / 2)], v[1]}'; }
echo "live walk, $runs interleaved runs each:"
echo "  alone                    $(summary "${alone[@]}")"
echo "  beside a silent walk     $(summary "${beside[@]}")   (the silent walk takes 6 s)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
