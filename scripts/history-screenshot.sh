#!/usr/bin/env bash
# Renders the readings history window, as an operator would see it after a few
# minutes against the virtual board with one set-point change, to a PNG
# (default docs/history-screenshot.png). The real demo program is driven by
# keys on a private Xvfb display with openbox: open the port, poll, type a new
# current set-point halfway, press F2, show "All", take the window's picture.
#   history-screenshot.sh [DURATION_SECONDS (default 180)] [OUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
duration=${1:-180}
out=$(realpath -m "${2:-docs/history-screenshot.png}")
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null || {
    echo "history-screenshot: needs $tool (apt-get install xvfb openbox xdotool imagemagick)" >&2
    exit 1
  }
done

build=${QUORVANE_DEMO_BUILD:-build/demo}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target quorvane-demo
demo="$PWD/$build/app/quorvane-demo"

xvfb_pid="" wm_pid="" demo_pid=""
cleanup() {
  for pid in "$demo_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# -displayfd picks a free display number and writes it once the server listens.
# 96 dpi: the panel's fonts at the size they were drawn for.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
[ -s "$display_file" ] || { echo "history-screenshot: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"
openbox >/dev/null 2>&1 &
wm_pid=$!
sleep 1

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
