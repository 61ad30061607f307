#!/usr/bin/env bash
# quorvane-ctl.exe under Wine against the virtual board on a COM port: list,
# status, set, monitor and the error paths, each with its exit status and the
# output that matters.
#   ctl_wine_test.sh WINE-RUN QUORVANE-CTL-EXE WITH-BOARD BOARD COM-NUMBER
# It makes the Wine prefix first (with_board.sh only knows how to when its
# program is a Windows program), then runs itself again under with_board.sh.
set -uo pipefail
winerun=$1
exe=$2
if [ "${QUORVANE_TEST_COM:-}" = "" ]; then
  "$winerun" cmd.exe /c exit 0 >/dev/null 2>&1 || true
  exec bash "$3" "$4" "$5" -- bash "$0" "$winerun" "$exe"
fi
com=COM$QUORVANE_TEST_COM
failures=0

# run EXPECTED-STATUS PATTERN ARGS...: the program's status must be the one
# expected and its output (both streams) must match PATTERN.
run() {
  local expected=$1 pattern=$2
  shift 2
  local output status
  output=$("$winerun" "$exe" "$@" 2>&1 | tr -d '\r')
  status=${PIPESTATUS[0]}
  if [ "$status" -ne "$expected" ] || ! grep -Eq -- "$pattern" <<<"$output"; then
    echo "FAIL: quorvane-ctl $*: status $status (expected $expected), output:" >&2
    echo "$output" >&2
    failures=$((failures + 1))
  else
    echo "ok: quorvane-ctl $*"
  fi
}

run 0 "^ *${QUORVANE_TEST_COM}  $com" list
run 0 "\"name\": \"$com\"" list --json
run 0 "maximum +3000 mA" -p "$com" status
run 0 '"setpoint_mA": [0-9]+' -p "$com" status --json
run 0 "current 1500 mA: confirmed by the board" -p "$com" set current 1500
run 0 "frequency 12.34 kHz: confirmed" -p "$com" set frequency 12.345
run 0 "soft-active ON: confirmed" -p "$com" set soft-active on
run 0 "setpoint 1500 mA .*soft-active ON" -p "$com" monitor --count 2 --interval 200ms
run 4 "COM254 is not present" -p COM254 status
run 4 "no such port: 'ttyUSB0'" -p ttyUSB0 status
run 3 "bad value '1e3'" -p "$com" set current 1e3
run 3 "duration takes 0 to 255" -p "$com" set duration 300

# A monitor whose reader goes away ends quietly with status 0.
errors=$(mktemp)
{
  "$winerun" "$exe" -p "$com" monitor --interval 200ms 2>"$errors"
  echo "status $?" >>"$errors"
} | head -1 >/dev/null
if [ "$(tr -d '\r' <"$errors")" != "status 0" ]; then
  echo "FAIL: monitor | head -1 did not end quietly with 0:" >&2
  cat "$errors" >&2
  failures=$((failures + 1))
else
  echo "ok: quorvane-ctl monitor | head -1"
fi
rm -f "$errors"

# A second program on the port while a monitor holds it.
"$winerun" "$exe" -p "$com" monitor --count 25 --interval 200ms >/dev/null 2>&1 &
holder=$!
sleep 3
run 6 "$com is in use by another program" -p "$com" status
wait "$holder"

# The board's log shows each setting twice, as the panel sends it.
sets=$(grep -c "<- .*CMD_SET_CURRENT" "${QUORVANE_BOARD_LOG:?}")
if [ "$sets" -ne 2 ]; then
  echo "FAIL: the board received $sets CMD_SET_CURRENT frames, expected 2" >&2
  failures=$((failures + 1))
fi
# A refused setting never reaches the board.
sets=$(grep -c "<- .*CMD_SET_DURATION" "$QUORVANE_BOARD_LOG")
if [ "$sets" -ne 0 ]; then
  echo "FAIL: the board received $sets CMD_SET_DURATION frames for a refused value" >&2
  failures=$((failures + 1))
fi
exit $((failures > 0))
