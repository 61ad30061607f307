#!/usr/bin/env bash
# The first command of the README: installs what is missing, builds the panel
# and opens it with a virtual board attached as an extra port.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
demo: there is no display to open the panel on ($DISPLAY and $WAYLAND_DISPLAY
are both unset). Run it on a desktop session, or on a virtual display with:

    xvfb-run -a bash scripts/demo.sh

MSG
  exit 1
fi

build=build/demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
  -DQUORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target quorvane-demo
echo "demo: opening the panel with the virtual board selected; press OpenPort to connect"
exec "$build/app/qt/quorvane-demo" "$@"
