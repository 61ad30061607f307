#!/usr/bin/env bash
# The Windows packages as an operator meets them, under Wine in a prefix of
# its own (made here, removed at the end): the installer puts both programs,
# the texts and the Start-menu entry in place and one entry, with the icon,
# in the list of installed programs; the zip holds the same files; the
# installed quorvane-ctl.exe names its version and the installed panel runs
# the board (tests/app/win32/panel_under_wine.sh); a newer package replaces
# the installed one, leaving one entry and one copy; removal takes it all away.
# Needs a display (scripts/with_display.sh).
#
#   windows_install_test.sh MSI ZIP NEWER_MSI OPERATOR_EXE BOARD_SIM
set -euo pipefail
: "${DISPLAY:?run under a display (scripts/with_display.sh)}"
[ $# -eq 5 ] || { echo "usage: $0 MSI ZIP NEWER_MSI OPERATOR_EXE BOARD_SIM" >&2; exit 2; }
msi=$(realpath "$1") zip=$(realpath "$2") newer_msi=$(realpath "$3")
operator_exe=$4 board=$5
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../.."
wine_run="$root/scripts/wine-run.sh"
version_of() { basename "$1" | sed -n 's/^quorvane-\([0-9.]*\)-x64\.msi$/\1/p'; }
version=$(version_of "$msi") newer=$(version_of "$newer_msi")
[ -n "$version" ] && [ -n "$newer" ] || { echo "MSI names must be quorvane-<version>-x64.msi" >&2; exit 2; }

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No menu entries on this machine's desktop for what the installer adds.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' INT TERM

installed="$WINEPREFIX/drive_c/Program Files/Quorvane"
lab="$WINEPREFIX/drive_c/ProgramData/Quorvane"
step() { echo "== $*"; }
fail() { echo "FAILED: $*"; exit 1; }
wine() { timeout 300 "$wine_run" "$@"; }
msiexec() { wine msiexec "$@" /qn || fail "msiexec $* exited $?"; }
winpath() { echo "Z:${1//\//\\}"; }
uninstall_list() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r'
}
count() { grep -c "$@" || true; }
# The version record's numbers (VS_FIXEDFILEINFO.dwFileVersion) of a .exe.
file_version() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("no version record in " + sys.argv[1])
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
EOF
}

# What one installed version must look like.
expect_installed() {
  local want=$1 list links icon
  for f in quorvane.exe quorvane-ctl.exe README.txt LICENSE.txt; do
    [ -s "$installed/$f" ] || fail "no $f in Program Files\\Quorvane"
  done
  for f in quorvane.exe quorvane-ctl.exe; do
    [ "$(file_version "$installed/$f")" = "$want" ] ||
      fail "$f's version record is $(file_version "$installed/$f"), not $want"
  done
  [ "$(find "$WINEPREFIX/drive_c" -iname quorvane.exe | wc -l)" -eq 1 ] ||
    fail "more than one quorvane.exe in the prefix"
  links=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -iname 'Quorvane.lnk')
  [ -n "$links" ] && [ "$(wc -l <<<"$links")" -eq 1 ] || fail "not one Start-menu entry: $links"
  grep -qaF 'C:\Program Files\Quorvane\quorvane.exe' "$links" ||
    fail "the Start-menu entry does not start the installed quorvane.exe"
  # Its rights are set by the system's icacls, which Wine does not keep: only
  # the folder can be seen here.
  [ -d "$lab" ] || fail "no ProgramData\\Quorvane for the lab's limits"

  list=$(uninstall_list)
  [ "$(count -E 'DisplayName +REG_SZ +Quorvane$' <<<"$list")" -eq 1 ] ||
    fail "not one Quorvane in the list of installed programs"
  grep -qE "DisplayVersion +REG_SZ +$want$" <<<"$list" ||
    fail "the list of installed programs does not show version $want"
  # The list's icon is the product icon Windows Installer keeps for it.
  icon=$(wine reg query 'HKLM\Software\Classes\Installer\Products' /s | tr -d '\r' |
    sed -n 's/^ *ProductIcon *REG_SZ *C:\\/drive_c\\/p' | tr '\\' /)
  [ -n "$icon" ] && cmp -s "$WINEPREFIX/$icon" "$root/resources/quorvane.ico" ||
    fail "the installed program's icon is not resources/quorvane.ico"

  wine "C:\\Program Files\\Quorvane\\quorvane-ctl.exe" --version >"$work/version.txt" 2>&1 ||
    fail "quorvane-ctl.exe --version exited $?"
  grep -qx "quorvane-ctl $want" <(tr -d '\r' <"$work/version.txt") ||
    fail "quorvane-ctl.exe --version printed: $(cat "$work/version.txt")"
}

step "prefix $WINEPREFIX"
wine wineboot >/dev/null 2>&1 || fail "no Wine prefix"

step "install $(basename "$msi")"
msiexec /i "$(winpath "$msi")"
expect_installed "$version"

step "the zip holds the installed files"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
folder="$work/zip/quorvane-$version-win64"
[ "$(find "$work/zip" -type f | wc -l)" -eq 4 ] || fail "the zip holds other files: $(unzip -Z1 "$zip")"
for f in quorvane.exe quorvane-ctl.exe README.txt LICENSE.txt; do
  cmp -s "$folder/$f" "$installed/$f" || fail "the zip's $f is not the installed one"
done

step "the installed panel against the virtual board"
bash "$root/tests/app/win32/panel_under_wine.sh" "$installed/quorvane.exe" "$operator_exe" "$board" ||
  fail "the installed panel did not run the board"

# The lab's file is the lab's: an upgrade or an uninstall never takes it.
printf '[default]\ncurrent_max_mA = 2000\n' >"$lab/limits.toml"

step "upgrade to $(basename "$newer_msi")"
msiexec /i "$(winpath "$newer_msi")"
expect_installed "$newer"

step "uninstall"
msiexec /x "$(winpath "$newer_msi")"
[ -z "$(ls -A "$installed" 2>/dev/null)" ] || fail "Program Files\\Quorvane still holds $(ls "$installed")"
[ -z "$(find "$WINEPREFIX/drive_c" -iname 'Quorvane.lnk')" ] || fail "the Start-menu entry is still there"
[ "$(uninstall_list | count Quorvane)" -eq 0 ] || fail "Quorvane is still in the list of installed programs"
grep -qx 'current_max_mA = 2000' "$lab/limits.toml" || fail "the uninstall took the lab's limits file"
echo "PASSED"
