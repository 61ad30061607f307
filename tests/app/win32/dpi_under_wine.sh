#!/usr/bin/env bash
# The real quorvane.exe at 100 % and 200 % display scaling under Wine: one
# fresh prefix per DPI (the session's DPI is read when a program starts), the
# operator program measures the window's client area from outside and checks
# every control lies inside it. At 192 DPI the client area must be twice
# that at 96, within 5 %: a program that does not declare itself DPI-aware is
# drawn at 96 and stretched, and would measure the same. (Not to the pixel:
# dialog units follow the font's mean letter width rounded to whole pixels,
# which at this font is 11 at 96 DPI and 21, not 22, at 192.)
# Needs a display (scripts/with_display.sh) and WINEPREFIX, of which the
# prefixes are named ($WINEPREFIX-96, $WINEPREFIX-192).
#
#   dpi_under_wine.sh QUORVANE_EXE OPERATOR_EXE
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX}"
: "${DISPLAY:?run under a display (scripts/with_display.sh)}"
panel_exe=$1 operator_exe=$2
here=$(cd "$(dirname "$0")" && pwd)
wine_run="$here/../../../scripts/wine-run.sh"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
base=$WINEPREFIX

work=$(mktemp -d)
panel_pid=""
cleanup() {
  [ -n "$panel_pid" ] && kill "$panel_pid" 2>/dev/null || true
  for dpi in 96 192; do WINEPREFIX="$base-$dpi" "$wineserver" -k 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  cat "$work"/*.log 2>/dev/null || true
  exit 1
}
winepath_of() { echo "Z:${1//\//\\}"; }

measure() {  # DPI: writes "WIDTH HEIGHT" of the client area to $work/size-DPI
  local dpi=$1
  export WINEPREFIX="$base-$dpi"
  rm -rf "$WINEPREFIX"
  timeout 300 "$wine_run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null 2>&1 || fail "LogPixels did not go into the prefix"
  timeout 120 "$wine_run" regedit /S "$(winepath_of "$here/wine_fonts.reg")" ||
    fail "the font settings did not go into the prefix"
  # A new server, so nothing started before the setting keeps the old DPI.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  "$wine_run" "$panel_exe" >"$work/panel-$dpi.log" 2>&1 &
  panel_pid=$!
  timeout 90 "$wine_run" "$operator_exe" layout >"$work/layout-$dpi.log" 2>&1 ||
    fail "operator layout at $dpi DPI"
  timeout 90 "$wine_run" "$operator_exe" close >>"$work/layout-$dpi.log" 2>&1 ||
    fail "operator close at $dpi DPI"
  wait "$panel_pid" 2>/dev/null || true
  panel_pid=""
  "$wineserver" -k 2>/dev/null || true
  awk '/operator: client/ {print $3, $5}' "$work/layout-$dpi.log" >"$work/size-$dpi"
}

measure 96
measure 192
read -r w96 h96 <"$work/size-96" || true
read -r w192 h192 <"$work/size-192" || true
[ -n "${w96:-}" ] && [ -n "${w192:-}" ] || fail "no client size measured"
echo "client at 96 DPI: ${w96}x${h96}; at 192 DPI: ${w192}x${h192}"
within() { local d=$(($1 - 2 * $2)); [ $((${d#-} * 20)) -le $((2 * $2)) ]; }
within "$w192" "$w96" || fail "width at 192 DPI is not twice that at 96"
within "$h192" "$h96" || fail "height at 192 DPI is not twice that at 96"
echo "PASSED"
