#!/usr/bin/env bash
# bash scripts/test.sh [quick]
#
# quick: one Debug build, then the unit, pty and gui tiers (ctest labels) in
# a few minutes; for the edit-build-test loop. It installs what is missing
# first, like the full run.
#
# With no argument, the full run CI makes: installs what is missing, builds
# every layer and runs every test: once with
# AddressSanitizer+UBSan (everything), once with ThreadSanitizer (the threaded
# layers), short stress runs of the whole panel among the ASan tests (ctest label
# stress), the Debian package (built,
# installed into a scratch root, its programs run, removed), a short bounded run of every fuzz
# target, and the Windows build with its suites under Wine, then its
# installer and zip (installed, run, upgraded and removed in a scratch Wine prefix).
set -euo pipefail
cd "$(dirname "$0")/.."

tier=${1:-full}
case "$tier" in
  quick | full) ;;
  *)
    echo "usage: bash scripts/test.sh [quick]" >&2
    exit 2
    ;;
esac

bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp

if [ "$tier" = quick ]; then
  echo "== Quick: Debug build, unit, pty and gui tests"
  # No debug information: the tier is for seeing failures, and the build is
  # most of its time.
  cmake -S . -B build/quick -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 \
    -DQUORVANE_BUILD_BENCH=OFF >/dev/null
  cmake --build build/quick -j "$jobs"
  ctest --test-dir build/quick --output-on-failure -j "$jobs" --timeout 300 -L 'unit|pty|gui'
  echo "== quick tier passed"
  exit 0
fi

echo "== ASan+UBSan build: all layers"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=address \
  -DQUORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/asan -j "$jobs"
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 300

echo "== TSan build: threaded layers (no Qt)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=thread \
  -DQUORVANE_BUILD_GUI=OFF -DQUORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs"
ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 300

echo "== Release build: benchmarks and the demo compile"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release -j "$jobs"

echo "== Python: import quorvane against the virtual board (pytest)"
# The module's test build (build/release/python-test) under Debian's python3;
# nothing is written into the source tree.
QUORVANE_BOARD_SIM="$PWD/build/release/sim/quorvane-board-sim" \
  QUORVANE_CTL="$PWD/build/release/ctl/quorvane-ctl" \
  PYTHONPATH="$PWD/build/release/python-test" PYTHONNOUSERSITE=1 PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/python

echo "== Debian packages: built from the Release build, tried in a scratch root"
bash scripts/package.sh build/release
bash scripts/check-package.sh "$(ls build/release/deb/quorvane_*.deb)" \
  "$(ls build/release/deb/python3-quorvane_*.deb)"

echo "== Fuzz: every target, bounded run from its seeds"
# 15 s each keeps the section under a minute of fuzzing for the three targets.
bash scripts/fuzz.sh 15

echo "== Windows build (MinGW-w64, static) and its suites under Wine"
# The Windows link and panel tests talk to the Linux board program built above.
# The upgrade test below leaves this build at a newer version; a new run
# starts from the shipped one.
cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BOARD_SIM="$PWD/build/release/sim/quorvane-board-sim" \
  -DQUORVANE_TEST_VERSION= >/dev/null
cmake --build build/win64 -j "$jobs"
ctest --test-dir build/win64 --output-on-failure -j "$jobs" --timeout 300

echo "== Windows packages: installed, run, upgraded and removed in a Wine prefix of their own"
made=$(bash scripts/windows-package.sh build/win64)
echo "$made"
msi=$(sed -n 's/^windows-package: installer //p' <<<"$made")
zip=$(sed -n 's/^windows-package: zip //p' <<<"$made")
# The upgrade needs a newer package of the same program: the same sources
# under the version one above in its last field. Built in the same folder,
# only the files that show the version are compiled again; the packages'
# names carry their version, so the first ones stay beside the newer.
version=$(basename "$msi" -x64.msi)
version=${version#quorvane-}
newer="${version%.*}.$((${version##*.} + 1))"
made=$(QUORVANE_TEST_VERSION="$newer" bash scripts/windows-package.sh build/win64)
echo "$made"
newer_msi=$(sed -n 's/^windows-package: installer //p' <<<"$made")
bash scripts/with_display.sh timeout 900 bash tests/packaging/windows_install_test.sh \
  "$msi" "$zip" "$newer_msi" build/win64/tests/app/win32/panel_operator.exe \
  "$PWD/build/release/sim/quorvane-board-sim"

echo "== all tests passed"
