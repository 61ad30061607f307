#!/usr/bin/env bash
# Runs a command on a private virtual X display (96 dpi) with a window manager
# (openbox, when installed): the window tests under Wine and the screenshot
# scripts. With WINEPREFIX set it must name a prefix of the caller's own: its
# wine server holds the desktop on this display, so it is stopped at the end,
# with the display. QUORVANE_SCREEN sets the screen's size (WIDTHxHEIGHT),
# for windows drawn at 200 % that would not fit the default.
set -euo pipefail
wineserver=""
if [ -n "${WINEPREFIX:-}" ]; then
  export WINEPREFIX
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
fi

xvfb_pid=""
wm_pid=""
cleanup() {
  [ -n "$wineserver" ] && "$wineserver" -k 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

# -displayfd picks a free display number and writes it once the server listens.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${QUORVANE_SCREEN:-1280x1024}x24" -dpi 96 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
[ -s "$display_file" ] || { echo "with_display: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"

if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm_pid=$!
fi

"$@"
