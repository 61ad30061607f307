#!/usr/bin/env bash
# The Python module's figures in one run against the board program at line
# speed (--pace): Board() and status() beside the wire's floor, beside
# `quorvane-ctl status` as a process (bench/ctl/run_ctl_bench.sh's timing),
# and the import time.
#   bench/python/run_python_bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-30}
build=${QUORVANE_BENCH_BUILD:-build/linux}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target quorvane-ctl quorvane-board-sim quorvane_python >/dev/null

dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-python-bench.XXXXXX")
"$build/sim/quorvane-board-sim" --pace --link "$dir/ttyUSB0" >"$dir/board.log" &
board=$!
trap 'kill $board 2>/dev/null; wait $board 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do [ -L "$dir/ttyUSB0" ] && break; sleep 0.05; done

echo "== at 9600 baud, $runs runs each"
PYTHONPATH="$build/python" PYTHONNOUSERSITE=1 /usr/bin/python3 bench/python/status_roundtrip.py "$dir" "$runs"
"$build/ctl/quorvane-ctl" --dev "$dir" -p ttyUSB0 status >/dev/null  # warm the caches
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$build/ctl/quorvane-ctl" --dev "$dir" -p ttyUSB0 status >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
done | sort -n | awk '{ v[NR] = $1 }
  END { printf "%-34s median %6.1f ms   best %6.1f ms   worst %6.1f ms\n", "quorvane-ctl status (a process)",
        v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000 }'
# The interpreter alone, to read the import time against.
start=$(date +%s%N)
/usr/bin/python3 -c pass
end=$(date +%s%N)
echo "python3 -c pass (start and exit)   $(((end - start) / 1000000)) ms"
