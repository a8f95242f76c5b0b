#!/usr/bin/env bash
# Checks the installation and the Debian package: `cmake --install` into a
# temporary prefix, then `cpack -G DEB`, lintian (no errors), the package
# unpacked into a staging root and its contents, fields and programs checked,
# and the dissector placed where Debian's Wireshark loads Lua plugins.
#
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")

for tool in cpack dpkg-deb lintian tshark man; do
  command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/install-deps" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
project=$(cache CMAKE_PROJECT_NAME)
version=$(cache CMAKE_PROJECT_VERSION)
plugin_dir=$(cache FEED_WIRESHARK_PLUGIN_DIR)
examples=$(cd "$src/examples" && ls)

# The files below a prefix, as the install rules lay them out.
expected_files() {  # libdir-relative plugin dir
  {
    echo bin/feedcast
    echo bin/feedwatch
    echo share/man/man1/feedcast.1.gz
    echo share/man/man1/feedwatch.1.gz
    echo share/man/man5/feedcast.ini.5.gz
    echo "share/doc/$project/README.md"
    echo "share/doc/$project/changelog.gz"
    echo "share/doc/$project/copyright"
    for f in $examples; do echo "share/doc/$project/examples/$f"; done
    echo "$1/feedstats.lua"
  } | sort
}

# Checks the files of an installed tree against the source.
check_tree() {  # name root plugin-dir
  local name=$1 root=$2
  diff <(expected_files "$3") <(cd "$root" && find . -type f | sed 's|^\./||' | sort) > "$work/diff" ||
    { fail "$name: files differ (< expected, > installed):"; cat "$work/diff" >&2; }
  for f in $examples; do
    cmp -s "$src/examples/$f" "$root/share/doc/$project/examples/$f" || fail "$name: examples/$f differs"
  done
  cmp -s "$src/dissector/feedstats.lua" "$root/$3/feedstats.lua" || fail "$name: the dissector differs"
  for page in man1/feedcast.1 man1/feedwatch.1 man5/feedcast.ini.5; do
    [ -f "$root/share/man/$page.gz" ] || continue
    cmp -s <(gzip -dc "$root/share/man/$page.gz") "$src/man/$(basename "$page")" ||
      fail "$name: $page differs from man/"
    out=$(man --warnings -l "$root/share/man/$page.gz" 2>&1 > /dev/null)
    [ -z "$out" ] || fail "$name: $page renders with warnings: $out"
  done
  for program in feedcast feedwatch; do
    [ -x "$root/bin/$program" ] || fail "$name: bin/$program is not executable"
  done
  # A port outside the table stops feedwatch before any socket is opened.
  mkdir -p "$work/run"
  printf '[MCast]\nPort=1\n' > "$work/run/feedwatch.ini"
  status=0
  (cd "$work/run" && "$root/bin/feedwatch" > out) || status=$?
  [ "$status" = 255 ] && grep -q 'Value \[1\] not allowed' "$work/run/out" ||
    fail "$name: bin/feedwatch with port 1 exited $status: $(cat "$work/run/out")"
  status=0
  (cd "$work/run" && printf '[MCast]\nMessageType=9\n' > feedcast.ini && "$root/bin/feedcast" 2> err) ||
    status=$?
  [ "$status" = 1 ] && grep -q '^Error: Incorrect Msg Type and Stat Scheme selected$' "$work/run/err" ||
    fail "$name: bin/feedcast with MessageType 9 exited $status: $(cat "$work/run/err")"
}

# 1. cmake --install into a temporary prefix.
cmake --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
  { fail "cmake --install:"; cat "$work/install.log" >&2; }
check_tree "cmake --install" "$work/prefix" "$plugin_dir"

# 2. The Debian package.
(cd "$build" && cpack -G DEB -B "$work/cpack") > "$work/cpack.log" 2>&1 ||
  { fail "cpack:"; cat "$work/cpack.log" >&2; }
arch=$(dpkg --print-architecture)
deb=$work/cpack/${project}_${version}_$arch.deb
if [ ! -f "$deb" ]; then
  fail "no package ${project}_${version}_$arch.deb"
  ls "$work/cpack" >&2 || true
else
  lintian --no-cfg "$deb" > "$work/lintian.log" 2>&1 || true
  grep -q '^W: ' "$work/lintian.log" && grep '^W: ' "$work/lintian.log" >&2
  if grep -q '^E: ' "$work/lintian.log"; then
    fail "lintian reports errors:"
    grep '^E: ' "$work/lintian.log" >&2
  fi

  [ "$(dpkg-deb -f "$deb" Package)" = "$project" ] || fail "Package is not $project"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
  [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture is not $arch"
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libstdc++6 zlib1g; do
    [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
  done

  dpkg-deb -x "$deb" "$work/root"
  check_tree "package" "$work/root/usr" "$plugin_dir"
  for program in feedcast feedwatch; do
    readelf -S "$work/root/usr/bin/$program" | grep -q '\.symtab' && fail "bin/$program is not stripped"
  done

  # Debian's Wireshark loads Lua plugins from this folder.
  global=$(tshark -G folders 2> /dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')
  [ "$global" = "/usr/$plugin_dir" ] ||
    fail "the dissector goes to /usr/$plugin_dir, Wireshark loads Lua plugins from '$global'"
  # And the packaged file loads as a plugin (here from the personal folder).
  mkdir -p "$work/home/.local/lib/wireshark/plugins"
  cp "$work/root/usr/$plugin_dir/feedstats.lua" "$work/home/.local/lib/wireshark/plugins/"
  HOME=$work/home tshark -G plugins 2> /dev/null | grep -q '^feedstats\.lua' ||
    fail "tshark does not load the packaged dissector as a plugin"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package: all checks passed"
