#!/usr/bin/env bash
# The long stress and soak run of the whole panel, for people rather than CI:
# unplug 200 cycles, 2000 operator actions on a misbehaving board, 200 closes
# of the demo program and a 20-minute soak, then one figures table. Takes
# about an hour on two cores. SEED=<n> repeats a run; exit status 1 when any
# scenario found a violation.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${QUORVANE_STRESS_BUILD:-build/stress-release}
seed=${SEED:-$(date +%s)}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
ninja -C "$build" -j2 panel_stress quorvane-demo >/dev/null || exit 1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
stress="$build/bench/stress/panel_stress"
table=$(mktemp)
trap 'rm -f "$table"' EXIT
status=0
run() {
  echo "== panel_stress $*" >&2
  "$stress" "$@" --seed "$seed" >>"$table" || status=1
}
run unplug --count "${UNPLUG_CYCLES:-200}"
run commands --count "${ACTIONS:-2000}"
run exit --count "${EXIT_RUNS:-200}" --program "$build/app/quorvane-demo"
run soak --count "${SOAK_MINUTES:-20}"
echo "== figures (seed $seed)"
cat "$table"
exit $status
