#!/usr/bin/env bash
# Checks the Debian package: cpack builds it, lintian finds no error (which
# covers stripping, Depends and the copyright file), and unpacked into a
# staging root it holds working programs, the manual pages (rendering without
# a warning), the examples, the dissector where Wireshark loads it and a
# systemd unit that systemd accepts.
# `cmake --install` names the program in the unit where it puts it.
#
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
for tool in cpack dpkg-deb lintian man tshark systemd-analyze; do
  command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/install-deps" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$src/tests/support/checks.sh"

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
project=$(cache CMAKE_PROJECT_NAME)
plugins=/usr/$(cache FEED_WIRESHARK_PLUGIN_DIR)
version=$(cache CMAKE_PROJECT_VERSION)
deb=$work/${project}_${version}_$(dpkg --print-architecture).deb
(cd "$build" && cpack -G DEB -B "$work") > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; exit 1; }
[ -f "$deb" ] || { echo "FAIL: cpack made no $deb: $(ls "$work")" >&2; exit 1; }

lintian --no-cfg "$deb" > "$work/lintian.log" 2>&1 || true
grep '^W: ' "$work/lintian.log" >&2 || true
! grep -q '^E: ' "$work/lintian.log" || fail "lintian: $(grep '^E: ' "$work/lintian.log")"

root=$work/root
dpkg-deb -x "$deb" "$root"
# Every manual page is shipped as man/ holds it and renders without a warning
# at several widths.
for page in "$src"/man/*.[1-8]; do
  shipped=/usr/share/man/man${page##*.}/${page##*/}.gz
  gzip -dc "$root$shipped" | cmp -s - "$page" || fail "$shipped is missing or differs from man/"
  for width in 60 80 132; do
    warnings=$(MANWIDTH=$width man --warnings -l "$page" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail "${page##*/} at $width columns: $warnings"
  done
done
diff -r "$src/examples" "$root/usr/share/doc/$project/examples" >&2 || fail "the examples differ"
cmp -s "$src/dissector/feedstats.lua" "$root$plugins/feedstats.lua" || fail "$plugins/feedstats.lua is missing or differs"
global=$(tshark -G folders 2> /dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
[ "$global" = "$plugins" ] || fail "the dissector goes to $plugins, Wireshark loads Lua plugins from '$global'"

unit=lib/systemd/system/feedcast@.service
grep -qx 'ExecStart=/usr/bin/feedcast --quiet --config /etc/feedcast/%i.ini' "$root/usr/$unit" ||
  fail "/usr/$unit is missing or starts something else"
# systemd's own check of an instance, with the staged program and manual pages.
mkdir "$work/unit"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root/usr/$unit" > "$work/unit/feedcast@.service"
verified=$(cd "$work/unit" && MANPATH=$root/usr/share/man systemd-analyze verify feedcast@skillset.service 2>&1) &&
  [ -z "$verified" ] || fail "systemd-analyze verify: $verified"
cmake --install "$build" --prefix "$work/local" > /dev/null
grep -q "^ExecStart=$work/local/bin/feedcast " "$work/local/$unit" || fail "cmake --install: $unit names another program"

# The programs run, and are this build's (in a private network namespace, as
# every run of them in the tests).
for program in feedcast feedwatch; do
  [ "$("$src/scripts/in-private-netns" "$root/usr/bin/$program" --version 2>&1)" = "$program $version" ] ||
    fail "$program does not run"
done

finish "package: all checks passed"
