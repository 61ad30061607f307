#!/usr/bin/env bash
# The shipped demo carries none of the test build's options: each is refused
# as a bad command line (status 2 and the usage line), before any board or
# window starts.
set -u
program=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
failed=0
for args in "--grab shot.png" "--close-after-ms 100" "--noise 500" "--hold-step"; do
  # shellcheck disable=SC2086 # an option and its value
  QT_QPA_PLATFORM=offscreen timeout 30 "$program" $args >/dev/null 2>"$err"
  status=$?
  if [ "$status" -ne 2 ] || ! grep -q "^usage: quorvane-demo " "$err"; then
    echo "FAIL: quorvane-demo $args: status $status (expected 2), stderr:" >&2
    cat "$err" >&2
    failed=1
  fi
done
exit "$failed"
