# Shared by the shell tests: a scratch folder removed on exit, and counted
# checks. Source it after the test's own arguments are read:
#   . "$(dirname "$0")/checks.sh" NAME   # the test's name, for messages
# Then call pass/fail per check and `finish` at the end.

checks_name=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

pass() { echo "ok: $*"; }

# Exits 1 when any check failed, else 0.
finish() {
  if ((failures > 0)); then
    echo "$checks_name: $failures check(s) failed"
    exit 1
  fi
  echo "$checks_name: all checks passed"
  exit 0
}
