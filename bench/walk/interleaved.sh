# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Interleaved timing for the walk benchmarks. Sourced; the caller sets
# $runs.

# Microseconds since the epoch, without starting a process.
now_us() { echo "${EPOCHREALTIME/./}"; }

# measure NAME...: runs the functions NAME... one after the other, RUNS
# rounds, so that a change in the machine's load touches all of them alike;
# sets median[NAME] and fastest[NAME] to the median and the least time of
# each, in seconds.
declare -A median fastest
measure() {
  local -A samples=()
  local name start end
  for _ in $(seq 1 "$runs"); do
    for name in "$@"; do
      start=$(now_us)
      "$name" >/dev/null 2>&1 || true
      end=$(now_us)
      samples[$name]+="$(( end - start )) "
    done
  done
  for name in "$@"; do
    # shellcheck disable=SC2086
    median[$name]=$(printf '%s\n' ${samples[$name]} | sort -n |
      awk '{a[NR]=$1} END {printf "%.6f", a[int((NR+1)/2)]/1e6}')
    # shellcheck disable=SC2086
    fastest[$name]=$(printf '%s\n' ${samples[$name]} | sort -n | awk 'NR == 1 {printf "%.6f", $1/1e6}')
  done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
# verdict RATIO GOAL: "met" when RATIO <= GOAL.
verdict() { awk -v r="$1" -v g="$2" 'BEGIN {print (r <= g ? "met" : "MISSED")}'; }
