#!/usr/bin/env bash
# Renders the readings history window, as an operator would see it after a few
# minutes against the virtual board with one set-point change, to a PNG
# (default docs/history-screenshot.png). The real demo program is driven by
# keys on a private Xvfb display with openbox: open the port, poll, type a new
# current set-point halfway, press F2, show "All", take the window's picture.
#   history-screenshot.sh [DURATION_SECONDS (default 180)] [OUT.png]
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || {
    echo "history-screenshot: needs $tool (apt-get install xvfb openbox xdotool imagemagick)" >&2
    exit 1
  }
done

# The build, then this script again on a private display with openbox.
if [ "${1:-}" != --on-display ]; then
  duration=${1:-180}
  out=$(realpath -m "${2:-docs/history-screenshot.png}")
  build=${QUORVANE_DEMO_BUILD:-build/demo}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j 2 --target quorvane-demo
  exec bash scripts/with_display.sh bash "$self" --on-display "$PWD/$build/app/qt/quorvane-demo" \
    "$duration" "$out"
fi
demo=$2 duration=$3 out=$4

demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Closes itself well after the picture, should this script stop halfway.
"$demo" --open --quit-after $((duration + 120)) >/dev/null 2>&1 &
demo_pid=$!
panel=$(timeout 30 xdotool search --sync --onlyvisible --pid "$demo_pid" | head -n1)
[ -n "$panel" ] || { echo "history-screenshot: the panel never showed" >&2; exit 1; }

# Keys go to the focused window; make sure it is the one meant.
press() {
  local window=$1
  shift
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  xdotool key --clearmodifiers --delay 150 "$@"
}

echo "polling for $duration s, the current set-point changes at $((duration / 2)) s"
sleep $((duration / 2))
# Focus starts on the open/close button; SET comes next, then the current's
# entry field (the port list, disabled while the port is open, is skipped).
# Enter there sends the set-point.
press "$panel" Tab Tab ctrl+a
xdotool type --delay 100 1500
press "$panel" Return
sleep $((duration - duration / 2))

press "$panel" F2
history=$(timeout 10 xdotool search --sync --onlyvisible --name '^Readings history$' | head -n1)
[ -n "$history" ] || { echo "history-screenshot: F2 opened no history window" >&2; exit 1; }
sleep 1
# A few minutes would fill a third of the default ten-minute span. Focus opens
# on the first span button; the arrows move along the spans to "All".
press "$history" Right Right Right space
sleep 2  # a redraw or two after the span changed
mkdir -p "$(dirname "$out")"
import -window "$history" "$out"
echo "screenshot: $out"
