#!/usr/bin/env bash
# Installs the Debian 12 packages the panel needs to build, test, run and
# package (dpkg-dev and file for cpack's library dependencies, lintian; wixl
# and zip for the Windows packages, unzip to check them).
# Quiet and quick when everything is present; apt-get update only when not.
set -euo pipefail

packages=(
  g++ clang make cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libudev-dev libxcb1-dev
  libclang-rt-14-dev locales
  fonts-crosextra-caladea fonts-wqy-microhei fonts-dejavu-core
  xvfb xauth openbox x11-utils dbus dbus-daemon at-spi2-core python3-pyatspi
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine wixl zip unzip
  dpkg-dev file lintian
  libcli11-dev nlohmann-json3-dev libtomlplusplus-dev python3-serial
  pybind11-dev python3-dev python3-pytest
  libmosquitto-dev mosquitto mosquitto-clients systemd
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
