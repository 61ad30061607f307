#!/usr/bin/env bash
# Runs a Windows test program under Wine against the virtual board on COMn:
#   with_board.sh BOARD N [board options...] -- WINE-RUN PROGRAM [arguments...]
# The board (a Linux program) appears as COMn through a link in the Wine
# prefix's dosdevices; the program learns the number and the board's frame log
# from QUORVANE_TEST_COM and QUORVANE_BOARD_LOG, its options from
# QUORVANE_BOARD_OPTIONS. The board is stopped however the run ends.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 BOARD N [board options...] -- WINE-RUN PROGRAM [args...]" >&2; exit 2; }
board=$1
com=$2
shift 2
board_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  board_args+=("$1")
  shift
done
[ "${1:-}" = "--" ] || { echo "$0: missing -- before the program" >&2; exit 2; }
shift
: "${WINEPREFIX:?set WINEPREFIX to the Wine prefix to use}"
winerun=$1

# The prefix must exist before the link goes into it; the first run makes it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$winerun" cmd.exe /c exit 0 >/dev/null 2>&1 || true
fi
mkdir -p "$WINEPREFIX/dosdevices"
link="$WINEPREFIX/dosdevices/com$com"
log=$(mktemp "${TMPDIR:-/tmp}/quorvane-board.XXXXXX")

board_pid=
stop_board() {
  if [ -n "$board_pid" ]; then
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap stop_board EXIT
trap 'exit 130' INT TERM

# Should this script be killed outright, the board still ends by itself.
timeout 900 "$board" --link "$link" ${board_args[@]+"${board_args[@]}"} >"$log" 2>&1 &
board_pid=$!
for _ in $(seq 100); do
  [ -L "$link" ] && break
  kill -0 "$board_pid" 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.05
done
[ -L "$link" ] || { echo "$0: the board made no link at $link" >&2; cat "$log" >&2; exit 1; }

status=0
QUORVANE_TEST_COM=$com QUORVANE_BOARD_LOG=$log QUORVANE_BOARD_OPTIONS="${board_args[*]-}" \
  "$@" || status=$?
if [ "$status" -ne 0 ]; then
  echo "--- board log (last 40 lines)" >&2
  tail -n 40 "$log" >&2
fi
exit "$status"
