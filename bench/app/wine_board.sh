# Sourced by the Windows figure scripts: the paced Linux virtual board on
# COM31 of the Wine prefix $WINEPREFIX, stopped when the script exits.
#   start_board_on_com31 BOARD_SIM
board_pid=""
stop_board() {
  [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop_board EXIT

start_board_on_com31() {
  # The prefix must exist before the board links into its dosdevices: a
  # prefix made afterwards would not see the link.
  timeout 300 bash scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
  [ -d "$WINEPREFIX/dosdevices" ] || { echo "no Wine prefix at $WINEPREFIX" >&2; exit 1; }
  rm -f "$WINEPREFIX/dosdevices/com31"
  "$1" --pace --link "$WINEPREFIX/dosdevices/com31" >/dev/null 2>&1 &
  board_pid=$!
  for _ in $(seq 50); do
    [ -L "$WINEPREFIX/dosdevices/com31" ] && return 0
    sleep 0.1
  done
  echo "the board made no COM31" >&2
  exit 1
}
