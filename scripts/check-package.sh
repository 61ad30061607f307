#!/usr/bin/env bash
# Tries a built Debian package without touching the host's own packages: apt
# checks that its dependencies resolve (a simulation, nothing installed), and
# dpkg installs, runs and removes it in a scratch root of its own, so a
# quorvane the user already has installed stays as it was.
# Usage: scripts/check-package.sh PATH/TO/quorvane_VERSION_ARCH.deb [PATH/TO/python3-quorvane_....deb]
set -euo pipefail
deb=$(realpath "${1:?usage: scripts/check-package.sh DEB [PYTHON_DEB]}")
pydeb=${2:+$(realpath "$2")}

# Exits non-zero when a dependency cannot be had from Debian's archive.
for d in "$deb" ${pydeb:+"$pydeb"}; do
  apt-get install --simulate -qq "$d" >/dev/null 2>&1 || {
    echo "check-package: the dependencies of $(basename "$d") do not resolve:" >&2
    apt-get install --simulate "$d" >&2 || true
    exit 1
  }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root holds no libraries, so dpkg is told the dependencies are
# there: the simulation above checked them, and the programs below run on the
# host's own.
dpkg=(dpkg --root="$root" --log="$root/dpkg.log" --force-not-root --force-depends)
# Its complaints about those dependencies are shown only if it fails.
"${dpkg[@]}" --install "$deb" >"$root/install.out" 2>&1 || {
  cat "$root/install.out" >&2
  exit 1
}

# The shipped programs and nothing else: test builds such as the demo with
# its hooks (quorvane-demo-hooks) stay out of the package.
programs=$(cd "$root/usr/bin" && echo *)
if [ "$programs" != "quorvane quorvane-board-sim quorvane-ctl quorvane-demo" ]; then
  echo "check-package: unexpected programs in /usr/bin: $programs" >&2
  exit 1
fi
"$root/usr/bin/quorvane" --version
"$root/usr/bin/quorvane-demo" --version
"$root/usr/bin/quorvane-board-sim" --help >/dev/null
"$root/usr/bin/quorvane-ctl" --version
"$root/usr/bin/quorvane-ctl" list
# The lab's limits: the format's page, an example to start from, and the
# limits in effect (none on a host without /etc/quorvane/limits.toml).
for f in share/man/man5/quorvane-limits.5.gz share/doc/quorvane/examples/limits.toml; do
  [ -f "$root/usr/$f" ] || {
    echo "check-package: /usr/$f is missing" >&2
    exit 1
  }
done
"$root/usr/bin/quorvane-ctl" limits --limits "$root/usr/share/doc/quorvane/examples/limits.toml" |
  grep -q 'current_max_mA' || {
  echo "check-package: quorvane-ctl limits does not list the example's limits" >&2
  exit 1
}
# The bridge's service: one instance per port, run by systemd.
unit="$root/lib/systemd/system/quorvane-bridge@.service"
[ -f "$unit" ] || {
  echo "check-package: quorvane-bridge@.service is missing" >&2
  exit 1
}
grep -q '^ExecStart=/usr/bin/quorvane-ctl .* bridge ' "$unit" || {
  echo "check-package: quorvane-bridge@.service does not start quorvane-ctl bridge" >&2
  exit 1
}
# Its sandbox, as systemd rates it (0 safest, 10 exposed): an instance of the
# unit as installed, rated offline, for no systemd need run here.
instance="$root/quorvane-bridge@ttyUSB0.service"
cp "$unit" "$instance"
rating=$(systemd-analyze security --offline=yes --no-pager "$instance" 2>&1 |
  sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
rm -f "$instance"
echo "check-package: the bridge's service is rated ${rating:-?} (exposure, 0-10)"
awk -v r="${rating:-99}" 'BEGIN { exit !(r <= 2.0) }' || {
  echo "check-package: quorvane-bridge@.service is rated ${rating:-(no rating)}, above 2.0" >&2
  systemd-analyze security --offline=yes --no-pager "$unit" >&2 || true
  exit 1
}

if [ -n "$pydeb" ]; then
  "${dpkg[@]}" --install "$pydeb" >"$root/install-python.out" 2>&1 || {
    cat "$root/install-python.out" >&2
    exit 1
  }
  # Debian's python3 with the scratch root's dist-packages, and nothing of the build's.
  (cd / && PYTHONPATH="$root/usr/lib/python3/dist-packages" PYTHONNOUSERSITE=1 /usr/bin/python3 -c \
    'import quorvane, sys; assert quorvane.__file__.startswith(sys.argv[1]), quorvane.__file__; print("check-package: import quorvane", quorvane.__version__)' \
    "$root/usr/lib/python3/dist-packages") || {
    echo "check-package: python3 cannot import quorvane from the scratch root" >&2
    exit 1
  }
  "${dpkg[@]}" --purge python3-quorvane >/dev/null
fi
"${dpkg[@]}" --purge quorvane >/dev/null
left=$(find "$root" -path "$root/var" -prune -o -type f ! -name '*.out' ! -name dpkg.log -print |
  head -n 5)
if [ -n "$left" ]; then
  echo "check-package: files left after removing the package:" >&2
  echo "$left" >&2
  exit 1
fi
