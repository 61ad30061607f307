#!/usr/bin/env bash
# The long stress and soak run of the whole panel, for people rather than CI:
# unplug 200 cycles, 2000 operator actions on a misbehaving board, 200 closes
# of the demo program and a 20-minute soak, then one figures table. Takes
# about an hour on two cores; PARALLEL=1 runs the four scenarios side by side
# (each is mostly waiting on the board's pace), in about half an hour.
# SEED=<n> repeats a run; exit status 1 when any scenario found a violation.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${QUORVANE_STRESS_BUILD:-build/stress-release}
seed=${SEED:-$(date +%s)}
# The harness and the demo's test build live with the tests; only those two
# programs are built.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=ON \
  -DQUORVANE_BUILD_BENCH=OFF >/dev/null
ninja -C "$build" -j2 panel_stress quorvane-demo-hooks >/dev/null || exit 1
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
stress="$build/tests/stress/panel_stress"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() {
  local name=$1
  shift
  echo "== panel_stress $name $*" >&2
  "$stress" "$name" "$@" --seed "$seed" >"$work/$name" || echo failed >"$work/$name.failed"
}
scenarios=(
  "unplug --count ${UNPLUG_CYCLES:-200}"
  "commands --count ${ACTIONS:-2000}"
  "exit --count ${EXIT_RUNS:-200} --program $build/tests/app/qt/quorvane-demo-hooks"
  "soak --count ${SOAK_MINUTES:-20}"
)
for scenario in "${scenarios[@]}"; do
  # shellcheck disable=SC2086 # each entry is a word list on purpose
  if [ "${PARALLEL:-0}" = 1 ]; then run $scenario & else run $scenario; fi
done
wait
echo "== figures (seed $seed)"
for name in unplug commands exit soak; do cat "$work/$name" 2>/dev/null; done
if compgen -G "$work/*.failed" >/dev/null; then exit 1; fi
exit 0
