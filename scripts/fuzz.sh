#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time from its seed corpus
# and dictionary, so CI and a long run for the record fuzz the same way.
# Usage: scripts/fuzz.sh SECONDS [TARGET...]   (default: every target)
# Exits non-zero when any target finds a crash, a leak, a timeout or UB.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_reply_receiver fuzz_command_parser fuzz_operator_entry)
fi

build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_BUILD_TESTS=OFF -DQUORVANE_BUILD_BENCH=OFF -DQUORVANE_BUILD_GUI=OFF \
  -DQUORVANE_FUZZ=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

findings=0
for target in "${targets[@]}"; do
  # The repository's seeds are copied, never written: libFuzzer adds the units
  # it finds to the first corpus folder it is given.
  work=$build/corpus/$target
  artifacts=$build/findings/$target/
  log=$build/logs/$target.log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  cp -n fuzz/corpus/"$target"/* "$work"/
  extra=()
  # Frames are at most 19 bytes and the parser is fed every input three
  # times, once byte by byte; longer inputs only slow it down.
  [ "$target" = fuzz_command_parser ] && extra=(-max_len=512)
  rc=0
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -dict=fuzz/"$target".dict -artifact_prefix="$artifacts" "${extra[@]}" "$work" \
    >"$log" 2>&1 || rc=$?
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log")
  corpus=$(find "$work" -type f | wc -l)
  if [ "$rc" -eq 0 ]; then
    result="no finding"
  else
    findings=1
    result="FINDING (exit $rc), log $log:"
  fi
  echo "$target: ${execs:-?} executions, ${rate:-?} execs/s, corpus $corpus units, $result"
  if [ "$rc" -ne 0 ]; then
    grep -E "^==[0-9]+==ERROR|invariant broken|runtime error|SUMMARY|Test unit written|ALARM|out-of-memory" "$log" |
      sed 's/^/  /' || tail -n 20 "$log" | sed 's/^/  /'
  fi
done
exit "$findings"
