#!/usr/bin/env bash
# Checks that each manual page renders without a warning at several widths.
# (That feedcast.ini(5) describes every key is a unit test's job.)
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
[ -z "$failed" ] && echo "manpages: all checks passed"
