#!/bin/sh
# Reads every file of the corpus (ini-corpus/NAME.ini, queried by
# NAME.queries) with the Linux reader and with the Windows reader under Wine,
# and reports every answer in which they differ: strings, integers, the
# integers record fields take, and the integers of the system's own profile
# function, which the shared integer rule must match.
#
#   WINE         the loader for the .exe files (e.g. /usr/lib/wine/wine64)
#   WIN_PROBE    profile_probe.exe from a Windows build
#   LINUX_PROBE  profile_probe built for Linux
set -u
: "${WINE:?}" "${WIN_PROBE:?}" "${LINUX_PROBE:?}"
corpus=$(cd "$(dirname "$0")/ini-corpus" && pwd)
work=$(mktemp -d)
passed=0
failed=0
for ini in "$corpus"/*.ini; do
  name=$(basename "$ini" .ini)
  "$LINUX_PROBE" "$ini" "$corpus/$name.queries" > "$work/$name.linux"
  # Wine shows the host's root as drive Z:.
  $WINE "$WIN_PROBE" "Z:$ini" "Z:$corpus/$name.queries" | tr -d '\r' > "$work/$name.windows"
  if cmp -s "$work/$name.linux" "$work/$name.windows"; then
    passed=$((passed + 1))
    echo "ok   $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name (< Linux, > Windows)"
    diff "$work/$name.linux" "$work/$name.windows" | grep '^[<>]'
  fi
done
rm -rf "$work"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
