#!/usr/bin/env bash
# Wall time of `quorvane-ctl status` against the board program sending its
# replies at line speed (--pace), beside the time the exchange's bytes need on
# a 9600 baud wire and beside a short pyserial script doing the same exchange.
#   bench/ctl/run_ctl_bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-30}
build=${QUORVANE_BENCH_BUILD:-build/linux}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target quorvane-ctl quorvane-board-sim >/dev/null

dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-ctl-bench.XXXXXX")
"$build/sim/quorvane-board-sim" --pace --link "$dir/ttyUSB0" >"$dir/board.log" &
board=$!
trap 'kill $board 2>/dev/null; wait $board 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do [ -L "$dir/ttyUSB0" ] && break; sleep 0.05; done

# CMD_READ_ALL 5 + RPL_ALL 19 + CMD_READ_STATUS 5 + RPL_STATUS 15 bytes, 10 bits each.
wire_ms=$(awk 'BEGIN { printf "%.1f", (5 + 19 + 5 + 15) * 10 / 9600 * 1000 }')

# time_runs NAME COMMAND...: the median and worst wall time of RUNS runs, in ms.
time_runs() {
  local name=$1
  shift
  "$@" >/dev/null  # once to warm the caches
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
  done | sort -n | awk -v name="$name" '{ v[NR] = $1 }
    END { printf "%-24s median %6.1f ms   best %6.1f ms   worst %6.1f ms\n", name,
          v[int((NR + 1) / 2)] / 1000, v[1] / 1000, v[NR] / 1000 }'
}

echo "== status exchange at 9600 baud, $runs runs each"
echo "wire time (44 bytes)     $wire_ms ms; goal for quorvane-ctl: below $(awk -v w="$wire_ms" 'BEGIN { printf "%.1f", w + 20 }') ms"
time_runs "quorvane-ctl status" "$build/ctl/quorvane-ctl" --dev "$dir" -p ttyUSB0 status
# The system Python: pyserial is the Debian package python3-serial.
time_runs "pyserial script" "${PYTHON:-/usr/bin/python3}" bench/ctl/status_exchange.py "$dir/ttyUSB0"
