#!/usr/bin/env bash
# Builds the panel's timing harness in release mode and prints its figures,
# under Xvfb so the window system is a real one: start-up to window shown,
# CPU and memory while synced and polling, RPL_STATUS wire-to-display latency.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${QUORVANE_BENCH_BUILD:-build/bench}
# Every option the harness needs is stated: a folder configured before by
# another script (without benchmarks or without the window) keeps its cache.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_SANITIZE= \
  -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_GUI=ON >/dev/null
ninja -C "$build" -j2 panel_bench quorvane >/dev/null
bench="$build/bench/app/panel_bench"
run() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }

echo "== start to window shown (15 runs, ms)"
run bash -c "for i in \$(seq 15); do $bench startup --started-ns \$(date +%s%N); done" |
  awk '{print $2}' | sort -n | awk '{v[NR]=$1} END {printf "median %s  max %s\n", v[int((NR+1)/2)], v[NR]}'

echo "== synced and polling for 30 s, replies paced at 9600 baud"
run "$bench" run --seconds 30 --pace

# The panel pauses 200 ms after each status query, and a reply that arrives
# during the pause waits for its end; a reply 250 ms after the query measures
# the panel's own path from the wire to the display.
echo "== wire-to-display latency, replies 250 ms after each query (60 s)"
run "$bench" run --seconds 60 --reply-delay-ms 250

echo "== wire-to-display latency, immediate replies (10 s)"
run "$bench" run --seconds 10 --reply-delay-ms 0
