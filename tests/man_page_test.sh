#!/usr/bin/env bash
# Checks the man page: mandoc's linter finds nothing, the page has the usual
# sections, names every command of the tool's own usage text and the
# project's version, and its example transcripts are what the tool prints.
# When man-db is installed, also renders the page with `man -l` and expects
# no warnings.
#
# Usage: man_page_test.sh OSTREL_BINARY MAN_PAGE PROJECT_VERSION
# Exit status: 0 passed, 1 failed, 77 skipped (mandoc is not installed).
set -u

binary=$1
page=$2
version=$3

if ! command -v mandoc >/dev/null 2>&1; then
  echo "SKIP: mandoc is not installed (Debian: apt-get install mandoc)"
  exit 77
fi

. "$(dirname "$0")/checks.sh" "man page test"

# 1. The linter, at its strictest level.
if lint=$(mandoc -Tlint -Wall "$page" 2>&1) && [[ -z $lint ]]; then
  pass "mandoc -Tlint -Wall reports nothing"
else
  fail "mandoc -Tlint -Wall reports:"
  printf '%s\n' "$lint"
fi

# The page as plain text, without the overstrikes of bold and underline
# (a character and a backspace, where the character may take several bytes).
rendered=$(mandoc -Tutf8 -Owidth=200 "$page" | perl -CSD -pe 's/.\x08//g')

# 2. Sections.
for section in NAME SYNOPSIS DESCRIPTION COMMANDS 'THE CONFIGURATION FILE' LIMITS \
               'EXIT STATUS' DIAGNOSTICS ENVIRONMENT FILES EXAMPLES; do
  if grep -qx "$section" <<<"$rendered"; then
    pass "section $section"
  else
    fail "no section $section"
  fi
done

# 3. Every command of the usage text: the words before the first operand
# ("<...>") of each line of its USAGE block.
usage=$(HOME="$work" "$binary" help) || fail "ostrel help failed"
commands=$(awk '
  /^USAGE/ { inside = 1; next }
  /^[A-Z]/ { inside = 0 }
  inside && /^  ostrel / {
    line = substr($0, 3)
    sub(/  .*/, "", line)        # the description column
    sub(/ <.*/, "", line)        # the operands
    print line
  }' <<<"$usage")
if [[ $(wc -l <<<"$commands") -lt 11 ]]; then
  fail "found only these commands in the usage text: $commands"
fi
while IFS= read -r command; do
  if grep -qF -- "$command" <<<"$rendered"; then
    pass "mentions '$command'"
  else
    fail "does not mention '$command'"
  fi
done <<<"$commands"
for word in help --help -h; do
  grep -qF -- "$word" <<<"$rendered" || fail "does not mention the help word '$word'"
done

# 4. The version in the page's footer.
if grep -q "^\.TH OSTREL 1 [^ ]* \"ostrel $version\"" "$page"; then
  pass "version $version in .TH"
else
  fail ".TH does not name version $version: $(grep '^\.TH' "$page")"
fi

# 5. The examples: each "$ ostrel ..." line is run in a fresh home shared by
# the whole section, and what it prints (both streams) must be the lines that
# follow it up to the next command or blank line.
examples=$(awk '/^EXAMPLES$/ { inside = 1; next } /^[A-Z]/ { inside = 0 } inside' <<<"$rendered")
home="$work/home"
mkdir -p "$home"
ostrel() { HOME="$home" "$binary" "$@"; }
checked=0
command_line=''
expected=''
check_example() {
  [[ -n $command_line ]] || return 0
  local actual
  actual=$(eval "$command_line" 2>&1)
  if [[ $actual == "$expected" ]]; then
    pass "example: $command_line"
  else
    fail "example: $command_line"
    printf 'expected:\n%s\nactual:\n%s\n' "$expected" "$actual"
  fi
  checked=$((checked + 1))
  command_line=''
}
while IFS= read -r line; do
  line=${line#"${line%%[! ]*}"}  # the indentation
  if [[ $line == '$ ostrel '* ]]; then
    check_example
    command_line=${line#'$ '}
    expected=''
  elif [[ -z $line ]]; then
    check_example
  elif [[ -n $command_line ]]; then
    expected+=${expected:+$'\n'}$line
  fi
done <<<"$examples"
check_example
((checked >= 5)) || fail "only $checked examples found"

# 6. Rendering by man-db, which runs groff: no warnings on standard error.
if man --help 2>&1 | grep -q -- --local-file; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
  if [[ -z $warnings ]]; then
    pass "man -l renders without warnings"
  else
    fail "man -l warns:"
    printf '%s\n' "$warnings"
  fi
else
  echo "note: man-db is not installed, so the page was not rendered with man -l"
fi

finish
