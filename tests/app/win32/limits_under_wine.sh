#!/usr/bin/env bash
# The real quorvane.exe under Wine with a lab limits file where the system
# keeps it (C:\ProgramData\Quorvane\limits.toml of this test's own prefix),
# against the Linux virtual board: the operator program finds the slider
# ending at the lab's 2000 mA, types 2500 with Enter and sees 2000 come back,
# and finds the seed read-out red (the board's 25 degrees lie outside the
# file's 10 to 20). The board's log must show no set-point above the limit.
# Needs a display (scripts/with_display.sh) and WINEPREFIX.
#
#   limits_under_wine.sh QUORVANE_EXE OPERATOR_EXE BOARD_SIM
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
: "${DISPLAY:?run under a display (scripts/with_display.sh)}"
panel_exe=$1 operator_exe=$2 board=$3
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run.sh"
limit=2000
seed_readout=1007  # IDC_SEED_TEMP

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
timeout 300 "$wine_run" "$operator_exe" >/dev/null 2>&1 || true
[ -d "$WINEPREFIX/drive_c" ] || fail "no Wine prefix"
step "the lab's limits file"
lab="$WINEPREFIX/drive_c/ProgramData/Quorvane"
mkdir -p "$lab"
printf '[default]\ncurrent_max_mA = %s\nseed_C = [10.0, 20.0]\n' "$limit" >"$lab/limits.toml"
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
step "operator: the slider ends at $limit mA; 2500 typed comes back as $limit"
operator limited 2500 "$limit"
step "operator: the seed read-out is red"
operator red "$seed_readout"
step "operator: close the window"
operator close
panel_pid=""

step "board log: no set-point above the lab's limit"
grep -E "<- .*CMD_SET_CURRENT" "$work/board.log" | head -n 4
grep -qE "<- .*CMD_SET_CURRENT .*setpoint=$limit\b" "$work/board.log" ||
  fail "the board never received the clamped set-point $limit"
above=$(grep -oE "<- .*CMD_SET_CURRENT .*setpoint=[0-9]+" "$work/board.log" |
  sed -E 's/.*setpoint=//' | awk -v top="$limit" '$1 > top' | wc -l)
[ "$above" -eq 0 ] || fail "the board received $above set-points above $limit"
echo "PASSED"
