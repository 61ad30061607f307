#!/usr/bin/env bash
# Figures of the Windows readings history window, under Wine on a private
# display: quorvane.exe's size and the DLLs it imports (Windows' own only),
# one redraw of a full 25-hour ring in "All", and the panel's CPU polling the
# paced Linux virtual board with the history window closed, then open, in one
# run.
#   run_windows_history_bench.sh [SECONDS_PER_PHASE (default 60)] [BOARD_SIM]
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/../.."
seconds=${1:-60}
board=${2:-${QUORVANE_BOARD_SIM:-}}
win=${QUORVANE_WIN_BUILD:-build/win64}

if [ "${3:-}" != --on-display ]; then
  if [ -z "$board" ]; then
    cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
      -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_GUI=OFF >/dev/null
    cmake --build build/linux -j 2 --target quorvane-board-sim >/dev/null
    board=$PWD/build/linux/sim/quorvane-board-sim
  fi
  cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BOARD_SIM="$board" >/dev/null
  cmake --build "$win" -j 2 --target quorvane history_figures >/dev/null
  exe="$win/app/win32/quorvane.exe"
  echo "== quorvane.exe: $(stat -c %s "$exe") bytes; imports:"
  x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | sed 's/^\s*/   /'
  exec bash scripts/with_display.sh bash "$self" "$seconds" "$board" --on-display
fi

export WINEPREFIX="$PWD/$win/wine-bench" WINEDEBUG=-all
figures="$win/bench/app/win32/history_figures.exe"
source bench/app/wine_board.sh

echo "== one redraw of a full ring in the \"All\" span"
timeout 600 bash scripts/wine-run.sh "$figures" redraw --repeats 20

echo "== polling the paced board on COM31, the history window closed, then open ($seconds s each)"
start_board_on_com31 "$board"
timeout $((seconds * 2 + 120)) bash scripts/wine-run.sh "$figures" window --seconds "$seconds" --port COM31
