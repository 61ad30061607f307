#!/usr/bin/env bash
# Renders the panel, synced with the virtual board, to a PNG under Xvfb
# (default docs/screenshot.png), for the README.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}

bash scripts/install-deps.sh
build=build/demo
# --grab is the demo's test build's, which is built with the tests.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=ON \
  -DQUORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target quorvane-demo-hooks
mkdir -p "$(dirname "$out")"
# 96 dpi: the dialog font's 15 points are 20 pixels, as on the desktop it was drawn for.
timeout 60 xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" \
  "$build/tests/app/qt/quorvane-demo-hooks" --grab "$out"
echo "screenshot: $out"
