# shellcheck shell=bash disable=SC2034 # status is read by the sourcing test
# Shared by the shell tests: a scratch folder removed on exit, and `fail`,
# which reports a failed check and keeps testing. End with `exit $status`.
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }
