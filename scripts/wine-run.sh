#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix $WINEPREFIX, making the
# prefix on first use (one maker at a time: ctest runs programs side by side).
# Debian's wine64 package keeps its launcher off PATH.
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the Wine prefix to use}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # No Mono or Gecko: nothing here needs them, and their installers would ask.
    # The caller's own overrides stay (no desktop menu entries, say).
    WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" \
      "$wine" wineboot -i >/dev/null 2>&1
    "${wine%64}server" -w 2>/dev/null || wineserver -w 2>/dev/null || true
  fi
) 9>"$WINEPREFIX.lock"

exec "$wine" "$@"
