# Shell test helpers, sourced by the test scripts: checks that count their
# failures and go on, and the end that reports them.

failures=0

# Records a failed check, with what is wrong.
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Ends the script: status 1 when a check failed, else the line $1.
finish() {
  [ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
  echo "$1"
}
