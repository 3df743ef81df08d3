#!/usr/bin/env bash
# The man page: mandoc's linter finds nothing, and the page names every
# command of the tool's usage text and the project's version. The README's
# list of commands shows each usage line's command and operands.
#
# Usage: man_page_test.sh OSTREL_BINARY MAN_PAGE PROJECT_VERSION README
# Exit status: 0 passed, 1 failed, 77 skipped (mandoc is not installed).
set -u
binary=$1 page=$2 version=$3 readme=$4
hash mandoc 2>/dev/null || { echo "SKIP: mandoc is not installed"; exit 77; }
. "$(dirname "$0")/checks.sh"

{ lint=$(mandoc -Tlint -Wall "$page" 2>&1) && [[ -z $lint ]]; } || fail "mandoc -Tlint -Wall: $lint"

# The page as plain text, without the overstrikes of bold and underline.
rendered=$(mandoc -Tutf8 -Owidth=200 "$page" | perl -CSD -pe 's/.\x08//g')
# The commands of the USAGE block: the words before their operands.
commands=$(HOME=$work "$binary" help | awk '/^[A-Z]/ { usage = /^USAGE/ } usage' |
  grep -oP '^  ostrel \K[a-z]+( [a-z]+)?')
(($(wc -l <<<"$commands") >= 11)) || fail "found only these commands in the usage text: $commands"
while read -r command; do
  grep -qF "ostrel $command" <<<"$rendered" || fail "the page does not show 'ostrel $command'"
done <<<"$commands"

# Each command with its operands, as the usage text writes them.
while read -r line; do
  grep -qF -- "$line" "$readme" || fail "the README does not show '$line'"
done < <(HOME=$work "$binary" help | awk '/^[A-Z]/ { usage = /^USAGE/ } usage' |
  grep -oP '^  \Kostrel \S+( [a-z]+)?( <[^ ]*>(\.\.\.)?)*')

grep -q "^\.TH OSTREL 1 [^ ]* \"ostrel $version\"" "$page" || fail ".TH does not name version $version"
exit $status
