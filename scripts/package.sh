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

# The Python module, a package of its own: what the build installs as its
# "python" component, into Debian's dist-packages, with its library
# dependencies computed as cpack computes the panel's.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
stage="$out/python3-quorvane"
cmake --install "$build" --component python --prefix "$stage/usr" --strip >/dev/null
doc="$stage/usr/share/doc/python3-quorvane"
mkdir -p "$doc" "$stage/DEBIAN"
cp packaging/copyright "$doc/"
gzip -9n -c packaging/changelog >"$doc/changelog.gz"
find "$stage" -type d -exec chmod 0755 {} +
find "$stage/usr" -type f -exec chmod 0644 {} +
module=$(cd "$stage" && ls usr/lib/python3/dist-packages/quorvane/*.so)
# dpkg-shlibdeps wants to run in a source tree: a control file of two lines.
mkdir -p "$out/debian"
printf 'Source: quorvane\n\nPackage: python3-quorvane\nArchitecture: any\n' >"$out/debian/control"
shlibs=$(cd "$out" && dpkg-shlibdeps -O -e"python3-quorvane/$module" | sed -n 's/^shlibs:Depends=//p')
rm -rf "$out/debian"
[ -n "$shlibs" ] || {
  echo "package: no library dependencies found for $module" >&2
  exit 1
}
python=$(/usr/bin/python3 -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1]}")')
next=$(/usr/bin/python3 -c 'import sys; print(f"{sys.version_info[0]}.{sys.version_info[1] + 1}")')
cat >"$stage/DEBIAN/control" <<CONTROL
Package: python3-quorvane
Version: $version
Architecture: $(dpkg --print-architecture)
Maintainer: Quorvane developers <dev@quorvane.invalid>
Installed-Size: $(du -sk "$stage/usr" | cut -f1)
Depends: python3 (>= $python), python3 (<< $next), $shlibs
Section: python
Priority: optional
Homepage: https://quorvane.invalid/
Description: Python module for the Quorvane pulsed laser driver board
 import quorvane: open the board on a serial port, read its status, send
 settings and iterate over its readings from Python scripts and notebooks,
 on the same core as the panel and quorvane-ctl (wire format, conversions,
 pacing, confirmation and the lab's limits).
CONTROL
pydeb="$out/python3-quorvane_${version}_$(dpkg --print-architecture).deb"
dpkg-deb --root-owner-group --build "$stage" "$pydeb" >/dev/null
echo "package: $pydeb"

# Errors fail the command; warnings and notes are printed for a person to read.
lintian --info --fail-on error "$deb" "$pydeb"
