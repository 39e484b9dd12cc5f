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
breakdown=$build/bench/walk/zv_request_breakdown
# shellcheck source=workspace.sh
source "$root/bench/walk/workspace.sh"
need_programs "$service" "$breakdown"

start_table_printer "$rows"
socket=$work/zvxpcd.sock
start_service "$socket"
"$breakdown" "$runs" "$socket" -- -v 2c -c public "127.0.0.1:$port" "$table_oid"
