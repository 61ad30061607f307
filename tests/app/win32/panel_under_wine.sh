#!/usr/bin/env bash
# The real quorvane.exe under Wine against the Linux virtual board: the board
# makes COM31 of the Wine prefix, the operator program (another Windows
# process) opens it in the panel, waits for the board's values, types a
# current set-point with Enter, switches soft-active on and watches the
# current rise, and closes the window while it polls. The board's log must
# then show the setting frames with the typed value and the new state.
# Needs a display (scripts/with_display.sh) and WINEPREFIX. QUORVANE_DPI, when
# set, is the prefix's display scaling in DPI (96 is 100 %).
#
#   panel_under_wine.sh QUORVANE_EXE OPERATOR_EXE BOARD_SIM [SCREENSHOT.png [history]]
# With "history" the picture is of the readings history window, after half a
# minute of readings either side of the set-point change.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
: "${DISPLAY:?run under a display (scripts/with_display.sh)}"
panel_exe=$1 operator_exe=$2 board=$3 screenshot=${4:-} picture=${5:-panel}
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run.sh"
value=1500
caption="Quorvane-V20221210-2.5W"

work=$(mktemp -d)
board_pid=""
panel_pid=""
cleanup() {
  [ -n "$panel_pid" ] && kill "$panel_pid" 2>/dev/null || true
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

step() { echo "== $*"; }
# Wine's drive Z: is the Unix root.
winepath_of() { echo "Z:${1//\//\\}"; }
fail() {
  echo "FAILED: $*"
  echo "--- board log (last 40 lines)"
  tail -n 40 "$work/board.log" 2>/dev/null || true
  echo "--- panel output"
  cat "$work/panel.log" 2>/dev/null || true
  exit 1
}
operator() { timeout 90 "$wine_run" "$operator_exe" "$@" || fail "operator $*"; }

step "prefix $WINEPREFIX"
# The prefix (and its dosdevices folder) must exist before the board links into it.
timeout 300 "$wine_run" "$operator_exe" >/dev/null 2>&1 || true
[ -d "$WINEPREFIX/dosdevices" ] || fail "no Wine prefix"
# The dialog font and the fonts behind its 《 》, as a Windows desktop has them.
timeout 120 "$wine_run" regedit /S "$(winepath_of "$here/wine_fonts.reg")" ||
  fail "the font settings did not go into the prefix"
if [ -n "${QUORVANE_DPI:-}" ]; then
  timeout 120 "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$QUORVANE_DPI" /f >/dev/null 2>&1 || fail "LogPixels did not go into the prefix"
fi
# A new server, so nothing started before keeps the old DPI, and the list of
# COM ports is taken after the board has made COM31: a server still running
# from an install before would show the panel no ports.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true

step "virtual board on COM31"
rm -f "$WINEPREFIX/dosdevices/com31"
"$board" --link "$WINEPREFIX/dosdevices/com31" >"$work/board.log" 2>&1 &
board_pid=$!
for _ in $(seq 50); do
  [ -L "$WINEPREFIX/dosdevices/com31" ] && break
  sleep 0.1
done
[ -L "$WINEPREFIX/dosdevices/com31" ] || fail "the board made no COM31"

step "quorvane.exe"
"$wine_run" "$panel_exe" >"$work/panel.log" 2>&1 &
panel_pid=$!

step "operator: open COM31 and wait for the board's values"
operator sync COM31
[ "$picture" = history ] && sleep 20  # readings before the change
step "operator: type $value into the current field, Enter"
operator set "$value"
[ "$picture" = history ] && sleep 10
step "operator: switch soft-active on, the current ramps up"
operator activate
if [ "$picture" = history ]; then
  sleep 15
  step "operator: F2, the last minute"
  operator history "1 min"
  caption="Readings history"
fi

if [ -n "$screenshot" ]; then
  step "screenshot $screenshot"
  sleep 2  # a few polls, so the readings have moved
  id=$(xwininfo -name "$caption" | awk '/Window id:/ {print $4}')
  [ -n "$id" ] || fail "no X window named $caption"
  mkdir -p "$(dirname "$screenshot")"
  import -window "$id" -frame "$screenshot" || import -window root -crop "$(xwininfo -id "$id" | \
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} /Width/ {w=$2} /Height/ {h=$2} END {print w"x"h"+"x"+"y}')" "$screenshot"
fi

step "operator: close the window while it polls"
operator close
for _ in $(seq 50); do
  kill -0 "$panel_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$panel_pid" 2>/dev/null && fail "the Wine launcher of quorvane.exe is still running"
panel_pid=""

step "board log: the setting frame"
# "<-" lines are frames that reached the board.
grep -E "<- .*CMD_SET_CURRENT .*setpoint=$value\b" "$work/board.log" | head -n 2
[ "$(grep -cE "<- .*CMD_SET_CURRENT .*setpoint=$value\b" "$work/board.log")" -ge 1 ] ||
  fail "the board never received CMD_SET_CURRENT with set-point $value"
grep -qE "<- .*CMD_SET_SOFT_ACTIVE .*state=1\b" "$work/board.log" ||
  fail "the board never received CMD_SET_SOFT_ACTIVE with state 1"
grep -qE "<- .*CMD_READ_STATUS" "$work/board.log" || fail "the panel never polled the board"
echo "PASSED"
