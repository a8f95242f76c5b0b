#!/usr/bin/env bash
# Checks the manual pages: each renders without a warning at the usual
# terminal widths, and feedcast.ini(5) names every key that feedcast reads.
#
# Usage: manpages_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "$1")
command -v man > /dev/null || { echo "man is missing: run scripts/install-deps" >&2; exit 1; }

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for page in "$src"/man/*.[1-8]; do
  out=$(man --warnings -l "$page" 2>&1 > /dev/null)
  [ -z "$out" ] || fail "$(basename "$page"): $out"
  for width in 60 80 132; do
    out=$(MANWIDTH=$width man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$out" ] || fail "$(basename "$page") at $width columns: $out"
  done
done

# Every key: the MCast keys and the kind sections' keys and key stems.
ini_page=$src/man/feedcast.ini.5
keys=$( {
  sed -nE 's/.*read_(string|int)\(kSection, "([A-Za-z]+)".*/\2/p' "$src/src/feedcast/sender_config.cpp"
  sed -nE 's/.*read_int\(kind\.section, "([A-Za-z]+)".*/\1/p' "$src/src/feedcast/transmit_loop.cpp"
  sed -nE 's/^ *keyed\("([A-Za-z_]+)".*/\1/p; s/^ *\{"([A-Za-z_]+)".*true\},?$/\1/p' \
    "$src/src/packet/record_layouts.cpp"
} | sort -u)
[ "$(wc -l <<< "$keys")" -ge 70 ] || fail "could not read the keys from the sources"
for key in $keys; do
  grep -qw -- "$key" "$ini_page" || fail "feedcast.ini.5 does not name the key $key"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "manpages: all checks passed"
