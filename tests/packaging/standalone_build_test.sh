#!/usr/bin/env bash
# Checks that the README's build command makes both programs where neither
# GoogleTest nor Google Benchmark can be found (both hidden from CMake), with
# one configure line for each part left out, and that asking for the tests
# explicitly then fails at configure time; and that the README's packages are
# those that `scripts/install-deps programs` installs to build them.
#
# Usage: standalone_build_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$src/tests/support/checks.sh"
hidden=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)

# The install script's list for the programs, without what only runs them in
# a private network namespace (iproute2, util-linux).
readme=$(sed -n 's/^\$sudo apt-get install -y \(g++ .*\)/\1/p' "$src/README.md" | tr ' ' '\n' | sort)
listed=$(sed -n '/^packages=(/,/)/p' "$src/scripts/install-deps" | sed 's/packages=(//; s/)//' |
  tr -s ' ' '\n' | grep -vx -e '' -e iproute2 -e util-linux | sort)
[ "$readme" = "$listed" ] || fail "README's packages: $readme; scripts/install-deps: $listed"

cmake -S "$src" -B "$work/build" "${hidden[@]}" > "$work/configure.log" 2>&1 ||
  { cat "$work/configure.log" >&2; exit 1; }
for part in "Tests left out: GoogleTest (libgtest-dev) not found (-DFEED_BUILD_TESTS=ON makes this an error)" \
  "Benchmarks left out: Google Benchmark (libbenchmark-dev) not found (-DFEED_BUILD_BENCH=ON makes this an error)"; do
  grep -qxF -- "-- $part" "$work/configure.log" || fail "no configure line '$part'"
done
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2} cmake --build "$work/build" \
  > "$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$work/build/CMakeCache.txt")
for program in feedcast feedwatch; do
  [ "$("$work/build/$program" --version)" = "$program $version" ] || fail "$program was not built"
done
[ ! -e "$work/build/tests" ] || fail "the tests were configured"

if cmake -S "$src" -B "$work/asked" "${hidden[@]}" -DFEED_BUILD_TESTS=ON > "$work/asked.log" 2>&1; then
  fail "-DFEED_BUILD_TESTS=ON without GoogleTest configured"
fi
grep -q "FEED_BUILD_TESTS is ON, but GoogleTest (libgtest-dev) was not found" "$work/asked.log" ||
  fail "no message for the missing GoogleTest: $(tail -n 5 "$work/asked.log")"

finish "standalone build: both programs built without the test libraries"
