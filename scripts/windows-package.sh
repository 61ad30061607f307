#!/usr/bin/env bash
# Builds the Windows packages of the panel in one command: installs what is
# missing, cross-builds quorvane.exe and quorvane-ctl.exe (Release, 64-bit),
# then the installer (.msi) and a zip of the same files, and prints their
# paths. They are written to BUILD_DIR/windows-package/.
#
#   bash scripts/windows-package.sh            # a cross build of its own in build/win64-package
#   bash scripts/windows-package.sh BUILD_DIR  # a configured Release cross build, or a new one there
#
# QUORVANE_TEST_VERSION=<a.b.c.d> builds the same sources under that version,
# for the installer's upgrade test; it is for tests only. An existing build is
# reconfigured to it (and left so): only the files that show the version are
# compiled again, and the packages of other versions in BUILD_DIR stay.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${1:-build/win64-package}
test_version=${QUORVANE_TEST_VERSION:-}
if [ -n "$test_version" ] && ! [[ $test_version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "windows-package: QUORVANE_TEST_VERSION must be four numbers (a.b.c.d), not '$test_version'" >&2
  exit 2
fi

cache="$build/CMakeCache.txt"
if [ -f "$cache" ]; then
  # Reusing a build as configured: it must be the Release cross build.
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")
  toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$cache")
  if [ "$type" != Release ] || [[ $toolchain != *mingw-w64.cmake ]]; then
    echo "windows-package: $build is not a configured Release build for Windows" \
      "(cmake/mingw-w64.cmake)" >&2
    exit 1
  fi
  configured=$(sed -n 's/^QUORVANE_TEST_VERSION:[A-Z]*=//p' "$cache")
  if [ "$configured" != "$test_version" ]; then
    cmake "$build" -DQUORVANE_TEST_VERSION="$test_version" >/dev/null
  fi
else
  # Only the two programs: no tests, so no virtual board is needed.
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_TEST_VERSION="$test_version" >/dev/null
fi
cmake --build "$build" --target windows_package -j "${JOBS:-$(nproc)}"

version=$(sed -n 's/^#define QUORVANE_VERSION_TEXT "\(.*\)"$/\1/p' \
  "$build/generated/version/quorvane_version.h" | sed 's/, /./g')
out="$build/windows-package"
msi="$out/quorvane-$version-x64.msi"
zip="$out/quorvane-$version-win64.zip"
for f in "$msi" "$zip"; do
  [ -s "$f" ] || { echo "windows-package: $f was not made" >&2; exit 1; }
done
echo "windows-package: installer $msi"
echo "windows-package: zip $zip"
