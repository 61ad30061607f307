#!/usr/bin/env bash
# The panel read as a screen reader reads it (atspi_panel.py check) on a
# private X display and a private session bus, whose accessibility bus starts
# on demand and ends with it. Bounded in time; everything it starts ends with
# it. usage: accessibility_test.sh PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
for tool in Xvfb dbus-run-session /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "accessibility_test: $tool is missing; bash scripts/install-deps.sh installs it" >&2
    exit 1
  fi
done
# Debian's python3, which has pyatspi; not whichever python3 comes first on PATH.
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "accessibility_test: pyatspi is missing; bash scripts/install-deps.sh installs it" >&2
  exit 1
fi
# timeout signals its whole process group: display, buses and panel.
exec timeout -k 10 200 bash "$root/scripts/with_display.sh" \
  dbus-run-session -- /usr/bin/python3 "$here/atspi_panel.py" check "$1"
