#!/usr/bin/env bash
# A program started with no display: exit status 1 and one line that says
# what is wrong and what to do, no abort, no advice to reinstall.
set -u
program=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for display in "" ":97"; do
  if [ -z "$display" ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program" 2>"$err" >/dev/null
  else
    env -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb "$program" 2>"$err" >/dev/null
  fi
  status=$?
  lines=$(grep -c . "$err")
  if [ "$status" -ne 1 ] || [ "$lines" -ne 1 ] || ! grep -q "graphical session" "$err" ||
    ! grep -q "xvfb-run" "$err"; then
    echo "FAIL with DISPLAY='$display': status $status, $lines line(s) on stderr:" >&2
    cat "$err" >&2
    exit 1
  fi
done
echo "ok: $(cat "$err")"
