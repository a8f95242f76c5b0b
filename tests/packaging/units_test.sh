#!/usr/bin/env bash
# Checks feedwatch@.service as `cmake --install` writes it: systemd accepts an
# instance (systemd-analyze verify, which reads the unit and looks for the
# program, the manual page named and the settings file, but starts nothing),
# and it runs the monitor on the instance's port with the address of its
# settings file, whose sample is installed.  (package_test.sh checks
# feedcast@.service.)  Skipped, with the reason, where
# systemd-analyze is missing.
#
# Usage: units_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
if ! command -v systemd-analyze > /dev/null; then
  echo "SKIPPED: systemd-analyze is missing (the systemd package)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$src/tests/support/checks.sh"

cmake --install "$build" --prefix "$work/local" > /dev/null
units=$work/local/lib/systemd/system
grep -qx "ExecStart=$work/local/bin/feedwatch -q --stats --http \${FEEDWATCH_HTTP} %i" \
  "$units/feedwatch@.service" || fail "feedwatch@.service starts something else"
grep -qx 'EnvironmentFile=/etc/default/feedwatch-%i' "$units/feedwatch@.service" ||
  fail "feedwatch@.service reads its address from elsewhere"
grep -q '^FEEDWATCH_HTTP=127\.0\.0\.1:' "$work/local/share/doc/"*/feedwatch-default.sample ||
  fail "the sample settings are missing"
# The settings file where the unit reads it, within a copy of the unit.
mkdir "$work/unit"
cp "$work/local/share/doc/"*/feedwatch-default.sample "$work/feedwatch-6040"
sed "s|/etc/default/|$work/|" "$units/feedwatch@.service" > "$work/unit/feedwatch@.service"
verified=$(cd "$work/unit" &&
  MANPATH=$work/local/share/man systemd-analyze verify feedwatch@6040.service 2>&1) &&
  [ -z "$verified" ] || fail "systemd-analyze verify: $verified"
finish "units: all checks passed"
