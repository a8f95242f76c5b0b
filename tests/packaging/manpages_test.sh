#!/usr/bin/env bash
# Checks the manual pages: each renders without a warning at several widths,
# and feedcast.ini(5) names every key that feedcast reads.
#
# Usage: manpages_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "$1")
command -v man > /dev/null || { echo "man is missing: run scripts/install-deps" >&2; exit 1; }
failed=
for page in "$src"/man/*.[1-8]; do
  for width in 60 80 132; do
    out=$(MANWIDTH=$width man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$out" ] || { echo "FAIL: ${page##*/} at $width columns: $out" >&2; failed=1; }
  done
done
keys=$(sed -nE 's/.*read_(string|int)\((kSection|kind\.section), "([A-Za-z]+)".*/\3/p' \
         "$src"/src/feedcast/*.cpp
       sed -nE 's/^ *keyed\("([A-Za-z_]+)".*|^ *\{"([A-Za-z_]+)".*true\},?$/\1\2/p' \
         "$src/src/packet/record_layouts.cpp")
[ "$(sort -u <<< "$keys" | wc -l)" -ge 70 ] || { echo "FAIL: could not read the keys" >&2; failed=1; }
for key in $keys; do
  grep -qw -- "$key" "$src/man/feedcast.ini.5" || { echo "FAIL: feedcast.ini.5 lacks $key" >&2; failed=1; }
done
[ -z "$failed" ] && echo "manpages: all checks passed"
