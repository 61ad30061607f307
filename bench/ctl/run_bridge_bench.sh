#!/usr/bin/env bash
# The MQTT bridge against a mosquitto of its own on 127.0.0.1: latency from a
# board's status reply to a subscriber's receipt (p50/p99) with one bridge,
# then many bridges on many boards for a while, every reading accounted for,
# with CPU and resident memory per bridge.
#   bench/ctl/run_bridge_bench.sh [READINGS [BOARDS [SECONDS]]]
set -euo pipefail
cd "$(dirname "$0")/../.."
readings=${1:-2000}
boards=${2:-10}
seconds=${3:-600}
build=${QUORVANE_BENCH_BUILD:-build/bench-bridge}
# An existing Release build (QUORVANE_BENCH_BUILD=build/release) is used as configured.
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_GUI=OFF >/dev/null
fi
nice cmake --build "$build" -j2 --target quorvane-ctl bench_bridge >/dev/null

dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-bridge-bench.XXXXXX")
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$dir/mosquitto.conf" <<CONF
listener $port 127.0.0.1
allow_anonymous true
persistence false
user $(id -un)
log_dest file $dir/mosquitto.log
CONF
/usr/sbin/mosquitto -c "$dir/mosquitto.conf" >/dev/null 2>&1 &
broker=$!
trap 'kill $broker 2>/dev/null; wait $broker 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done

echo "== one bridge, poll every 50 ms, $readings readings"
"$build/bench/ctl/bench_bridge" "$build/ctl/quorvane-ctl" "$port" 1 50 readings "$readings"
echo "== one bridge at the panel's pace (500 ms), 60 s: CPU and memory"
"$build/bench/ctl/bench_bridge" "$build/ctl/quorvane-ctl" "$port" 1 500 seconds 60
echo "== $boards bridges on $boards boards at 500 ms, $seconds s"
"$build/bench/ctl/bench_bridge" "$build/ctl/quorvane-ctl" "$port" "$boards" 500 seconds "$seconds"
echo "broker CPU: $(ps -o times= -p $broker) s over the whole run"
