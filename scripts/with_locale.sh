#!/usr/bin/env bash
# Runs a command in a locale the machine need not have installed:
#   with_locale.sh DIR LOCALE COMMAND [arguments...]     (LOCALE e.g. fr_FR.UTF-8)
# The locale is compiled once into DIR from the C library's sources (Debian's
# `locales` package) and found there through LOCPATH, so nothing outside DIR
# changes. Wine takes its user locale, and with it the language of the
# system's texts and the ANSI code page, from LANG and LC_ALL.
# Exits 77 (a skip for ctest) when the locale's sources are not installed.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 DIR LOCALE COMMAND [arguments...]" >&2; exit 2; }
dir=$1
locale=$2
shift 2
name=${locale%%.*}
charset=${locale#*.}
[ "$charset" != "$locale" ] || charset=UTF-8

if [ ! -f "$dir/$locale/LC_CTYPE" ]; then
  if ! command -v localedef >/dev/null 2>&1 || [ ! -f "/usr/share/i18n/locales/$name" ]; then
    echo "$0: skipped: localedef or the sources of $name are missing (Debian: locales)" >&2
    exit 77
  fi
  mkdir -p "$dir"
  # ctest runs locale tests side by side: one maker at a time.
  (
    flock 9
    if [ ! -f "$dir/$locale/LC_CTYPE" ]; then
      # localedef exits 1 for warnings while still writing the locale.
      localedef -i "$name" -f "$charset" "$dir/$locale" >/dev/null 2>&1 || true
    fi
  ) 9>"$dir/.lock"
  [ -f "$dir/$locale/LC_CTYPE" ] || { echo "$0: localedef could not make $locale" >&2; exit 1; }
fi

unset LANGUAGE
export LOCPATH=$dir LANG=$locale LC_ALL=$locale
exec "$@"
