#!/usr/bin/env bash
# Builds the Debian package of the panel in one command: installs what is
# missing, builds in Release, runs cpack, prints the package's path and runs
# lintian on it (its errors fail the command; warnings are shown).
#
#   bash scripts/package.sh            # a Release build of its own in build/package
#   bash scripts/package.sh BUILD_DIR  # an existing, configured Release build
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

if [ $# -ge 1 ]; then
  build=$1
  # Reusing a build as configured: the package must not carry sanitizers or
  # debug code.
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
  sanitize=$(sed -n 's/^QUORVANE_SANITIZE:[A-Z]*=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
  if [ "$type" != Release ] || [ -n "$sanitize" ]; then
    echo "package: $build is not a configured Release build without sanitizers" >&2
    exit 1
  fi
else
  build=build/package
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BUILD_TESTS=OFF \
    -DQUORVANE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$(nproc)"

out="$build/deb"
rm -rf "$out"
# cpack installs into a staging tree of its own and strips the programs there.
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$(ls "$out"/quorvane_*.deb)
echo "package: $deb"

# Errors fail the command; warnings and notes are printed for a person to read.
lintian --info --fail-on error "$deb"
