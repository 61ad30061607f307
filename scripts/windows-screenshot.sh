#!/usr/bin/env bash
# Renders the Windows panel (quorvane.exe under Wine, openbox on Xvfb), synced
# with the Linux virtual board, to a PNG (default docs/windows-screenshot.png).
# The same run as the end-to-end test: open COM31, type a set-point, switch
# soft-active on; the picture is taken before the window is closed.
# With --history: the readings history window instead (F2, the last minute),
# after half a minute of readings either side of the set-point change
# (default docs/windows-history-screenshot.png).
#
#   windows-screenshot.sh [--dpi N] [--history] [OUT.png]
# --dpi N draws it at display scaling N DPI (96 is 100 %, 192 is 200 %; default
# picture docs/windows-screenshot-<N>dpi.png), in a prefix of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
dpi=""
picture=panel
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi)
      dpi=${2:?--dpi needs a number}
      [[ $dpi =~ ^[0-9]+$ ]] && [ "$dpi" -ge 96 ] && [ "$dpi" -le 480 ] ||
        { echo "windows-screenshot: --dpi takes 96 to 480, not '$dpi'" >&2; exit 2; }
      shift 2
      ;;
    --history)
      picture=history
      shift
      ;;
    *) break ;;
  esac
done
name=windows-screenshot
[ "$picture" = history ] && name=windows-history-screenshot
out=$(realpath -m "${1:-docs/$name${dpi:+-${dpi}dpi}.png}")
command -v import >/dev/null || { echo "windows-screenshot: needs ImageMagick's import (apt-get install imagemagick)" >&2; exit 1; }

linux=build/linux
win=build/win64
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_GUI=OFF >/dev/null
cmake --build "$linux" -j 2 --target quorvane-board-sim
cmake -S . -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BOARD_SIM="$PWD/$linux/sim/quorvane-board-sim" >/dev/null
cmake --build "$win" -j 2 --target quorvane panel_operator

export WINEPREFIX="$PWD/$win/wine-panel${dpi:+-$dpi}" WINEDEBUG=-all
if [ -n "$dpi" ]; then
  # A screen the scaled window fits on.
  export QUORVANE_DPI=$dpi QUORVANE_SCREEN=$((1280 * dpi / 96))x$((1024 * dpi / 96))
fi
timeout 600 bash scripts/with_display.sh bash tests/app/win32/panel_under_wine.sh \
  "$win/app/win32/quorvane.exe" "$win/tests/app/win32/panel_operator.exe" \
  "$PWD/$linux/sim/quorvane-board-sim" "$out" "$picture"
echo "screenshot: $out"
