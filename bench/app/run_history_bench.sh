#!/usr/bin/env bash
# Builds the readings history's timing harness in release mode and prints its
# figures, under Xvfb so the window system is a real one: the memory of a full
# ring, one redraw of a full ring, and what the open history window adds to a
# polling panel's CPU and memory.
#   run_history_bench.sh [SECONDS_PER_PHASE (default 60)] [ROUNDS (default 2)]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
rounds=${2:-2}
build=${QUORVANE_BENCH_BUILD:-build/bench}
# Every option the harness needs is stated: a folder configured before by
# another script (without benchmarks or without the window) keeps its cache.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_SANITIZE= \
  -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_GUI=ON >/dev/null
ninja -C "$build" -j2 history_bench >/dev/null
bench="$build/bench/app/history_bench"
run() { xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" "$@"; }

echo "== memory of a full readings ring"
"$bench" ring

echo "== one redraw of a full ring in the \"All\" span"
run "$bench" redraw --repeats 20

echo "== the same with 7200 runs (the port reopened every 12 s): beyond 64 they are drawn joined"
run "$bench" redraw --repeats 20 --runs 7200

# Closed, then open, $rounds times, each phase $seconds s, replies paced at
# 9600 baud as in the panel's own CPU figure.
echo "== polling with the history window closed, then open"
run "$bench" window --seconds "$seconds" --rounds "$rounds" --pace
