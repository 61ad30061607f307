#!/usr/bin/env bash
# How promptly the window thread answers while the panel is synced and polls
# the paced virtual board: the Qt window under Xvfb (a 5 ms timer's lateness,
# an event posted every 5 ms, and the gaps the board saw between frames),
# then the Windows window under Wine (WM_NULL round trips from another thread).
#   run_respond_bench.sh [SECONDS (default 30)] [BOARD_SIM]
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/../.."
seconds=${1:-30}
board=${2:-${QUORVANE_BOARD_SIM:-}}
build=${QUORVANE_BENCH_BUILD:-build/bench}
win=${QUORVANE_WIN_BUILD:-build/win64}

if [ "${3:-}" != --on-display ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_SANITIZE= \
    -DQUORVANE_BUILD_BENCH=ON -DQUORVANE_BUILD_GUI=ON >/dev/null
  ninja -C "$build" -j2 panel_bench quorvane-board-sim >/dev/null
  [ -n "$board" ] || board=$PWD/$build/sim/quorvane-board-sim
  echo "== Qt window, synced and polling for $seconds s"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bench/app/panel_bench" respond --seconds "$seconds"
  cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BOARD_SIM="$board" >/dev/null
  cmake --build "$win" -j 2 --target respond_figures >/dev/null
  exec bash scripts/with_display.sh bash "$self" "$seconds" "$board" --on-display
fi

export WINEPREFIX="$PWD/$win/wine-bench" WINEDEBUG=-all
figures="$win/bench/app/win32/respond_figures.exe"
source bench/app/wine_board.sh

echo "== Windows window under Wine, synced and polling the paced board on COM31 for $seconds s"
start_board_on_com31 "$board"
timeout $((seconds + 120)) bash scripts/wine-run.sh "$figures" --seconds "$seconds" --port COM31
