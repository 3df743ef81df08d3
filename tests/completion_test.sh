#!/usr/bin/env bash
# Drives the bash completion as bash does (COMP_WORDS, COMP_CWORD, then
# COMPREPLY), with a logging `ostrel` first on PATH and a temporary home
# whose config holds words and triggers that need quoting. Each reply is read
# back in the quoting context of the word being completed and must give the
# stored text, and completing may run only the read-only `ostrel show`.
#
# Usage: completion_test.sh OSTREL_BINARY COMPLETIONS_DIR
set -u
binary=$1 completions=$2
. "$(dirname "$0")/checks.sh"

export OSTREL_TEST_BINARY=$binary OSTREL_TEST_LOG=$work/calls.log PATH=$work/bin:$PATH HOME=$work/home
mkdir -p "$work/bin" "$HOME/Library/Application Support/Ostrel"
# shellcheck disable=SC2016 # expanded by the logging script
printf '#!/bin/sh\necho "$*" >>"$OSTREL_TEST_LOG"\nexec "$OSTREL_TEST_BINARY" "$@"\n' >"$work/bin/ostrel"
chmod +x "$work/bin/ostrel"
# Words that need quoting, one that no candidate can stand for, a disabled
# rule, a trigger holding the arrow of `rule list`, and a replacement whose
# second line looks like a rule.
cat >"$HOME/Library/Application Support/Ostrel/agent-config.json" <<'JSON'
{ "version" : 1, "dictionary" : [ "New York", "it's", "a\"b\\$c`d e", "two\nlines" ],
  "rules" : [
    { "enabled" : true, "kind" : "snippet", "replacement" : "hello", "trigger" : "say \"hi\"" },
    { "enabled" : false, "kind" : "snippet", "replacement" : "be right back", "trigger" : "brb" },
    { "enabled" : true, "kind" : "snippet", "replacement" : "x", "trigger" : "a\" → \"b" },
    { "enabled" : true, "kind" : "transform", "replacement" : "for your info\nsnippet\t\"fake\" → \"x\"", "trigger" : "fyi" } ] }
JSON

# shellcheck source=completions/ostrel.bash
source "$completions/ostrel.bash"
[[ $(complete -p ostrel) == 'complete -F _ostrel ostrel' ]] || fail "_ostrel is not registered for ostrel"

# expect EXPECTED_LINES WORD...: completes the words (the last is the one being
# completed; the line is $LINE, else the words joined by spaces) and reads each
# reply back as the shell would, after the quote that word opened, and
# compares.
expect() {
  local expected=$1 words="${*:2}" actual='' reply quote=''
  shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=() COMP_LINE=${LINE-$*}
  COMP_POINT=${#COMP_LINE}
  local cur=${COMP_WORDS[COMP_CWORD]}
  _ostrel ostrel "$cur" "${COMP_WORDS[COMP_CWORD - 1]}"
  [[ $cur == [\'\"]* ]] && quote=${cur:0:1}
  for reply in "${COMPREPLY[@]}"; do
    reply=$(exec 2>/dev/null; set +u; eval "set -- $quote$reply" && (($# == 1)) && printf %s "$1") ||
      reply="<$reply: not one word>"
    actual+=${actual:+$'\n'}$reply
  done
  [[ $actual == "$expected" ]] || fail "completing '$words' gave:"$'\n'"$actual"$'\n'"instead of:"$'\n'"$expected"
}

# shellcheck disable=SC2016 # the $ and ` are stored text
special='a"b\$c`d e'
words=$'New York\nit\'s\n'$special
expect $'show\npath\nhelp\ndict\nrule\nstyle\ncheck\nedit' ostrel ''
expect $'--help\n-h\n--version' ostrel -
expect $'add\nremove\nlist' ostrel dict ''
expect $'set\nremove\nlist\nenable\ndisable' ostrel rule ''
expect $'set\nclear\nshow' ostrel style ''
expect 'remove' ostrel rule re
expect $'snippet\ntransform' ostrel rule set ''
expect '' ostrel rule set snippet ''
expect "$words" ostrel dict remove ''
expect "$words" ostrel dict remove it ''
expect 'New York' ostrel dict remove 'New\ Y'
expect "it's" ostrel dict remove "'it"
expect "$special" ostrel dict remove a
expect "$special" ostrel dict remove '"a'
expect "$special" ostrel dict remove "'a"
expect $'say "hi"\nbrb\na" → "b\nfyi' ostrel rule remove ''
expect 'say "hi"' ostrel rule remove '"sa'
expect 'a" → "b' ostrel rule remove 'a'
LINE='ostrel dict remove a:N' expect '' ostrel dict remove a : N
expect $'say "hi"\nbrb\na" → "b\nfyi' ostrel rule disable ''
expect '' ostrel rule remove brb ''
HOME=$work/empty expect '' ostrel dict remove ''

unexpected=$(grep -vx -e 'show' "$work/calls.log")
[[ -s $work/calls.log && -z $unexpected ]] || fail "completing ran: ${unexpected:-nothing}"
# zsh and fish, where installed, offer the same stored candidates.
stored=$words$'\nsay "hi"\nbrb\na" → "b\nfyi' C=$completions
# shellcheck disable=SC2016 # expanded by zsh and fish
! hash zsh 2>/dev/null || [[ $(C=$C zsh -f -c '_call_program() { shift; "$@"; }; _wanted() { print -rl -- $stored; }
  source $C/_ostrel; _ostrel_stored words; _ostrel_stored triggers') == "$stored" ]] || fail "zsh offers others"
# shellcheck disable=SC2016
! hash fish 2>/dev/null || [[ $(C=$C fish -c 'source $C/ostrel.fish; __ostrel_stored words; __ostrel_stored triggers') == "$stored" ]] || fail "fish offers others"
exit $status
