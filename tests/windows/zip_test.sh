#!/usr/bin/env bash
# Checks a Windows zip: both programs, every sample configuration and every
# manual page; a README.txt with Windows line ends that names every option of
# both programs and every manual page; and manual pages that a real browser
# (headless chromium, in a private network namespace) renders with their
# titles, whose links lead to pages in the zip.
#
# Usage: zip_test.sh ZIP LINUX_BIN SOURCE_DIR
set -euo pipefail
zip=$(realpath "$1")
linux=$2
src=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$src/tests/support/checks.sh"

unzip -q "$zip" -d "$work"
top=$work/$(basename "$zip" .zip)
for file in feedcast.exe feedwatch.exe README.txt; do
  [ -s "$top/$file" ] || fail "$file is missing"
done
for sample in "$src"/examples/*.ini; do
  [ -s "$top/examples/${sample##*/}" ] || fail "examples/${sample##*/} is missing"
done

readme=$top/README.txt
[ "$(grep -c $'\r$' "$readme")" = "$(wc -l < "$readme")" ] ||
  fail "README.txt has lines without CR LF"
for program in feedcast feedwatch; do
  for option in $("$linux/$program" --help | grep -oE -- '--[a-z]+' | sort -u); do
    grep -q -- "$option" "$readme" || fail "README.txt does not name $program's $option"
  done
done

browser=$(command -v chromium || true)
[ -n "$browser" ] || fail "chromium is missing: run scripts/install-deps-windows"
for page in "$src"/man/*.[1-8]; do
  name=${page##*/}
  html=$top/manual/$name.html
  [ -s "$html" ] || { fail "manual/$name.html is missing"; continue; }
  grep -q "manual.$name.html" "$readme" || grep -q "$name.html" "$readme" ||
    fail "README.txt does not name $name.html"
  for link in $(grep -oE 'href="[^"#:]+\.html"' "$html" | sed 's/href="//; s/"$//' | sort -u); do
    [ -f "$top/manual/$link" ] || fail "$name.html links to $link, which the zip lacks"
  done
  [ -n "$browser" ] || continue
  title=$(sed -n 's/^\.TH \([^ ]*\) \([0-9]\).*/\1(\2)/p' "$page")
  dom=$("$src/scripts/in-private-netns" "$browser" --headless --no-sandbox --disable-gpu \
    --user-data-dir="$work/profile" --dump-dom "file://$html" 2> /dev/null) || true
  grep -q "<title>$title</title>" <<< "$dom" && grep -q '<h1 class="Sh" id="DESCRIPTION">' <<< "$dom" ||
    fail "chromium does not render $name.html as the page $title"
done

finish "zip: $(basename "$zip") holds what it should"
