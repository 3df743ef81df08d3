#!/usr/bin/env bash
# Drives the bash, zsh and fish completions through the same cases, with a
# logging `ostrel` first on PATH and a temporary home whose config holds words
# and triggers that need quoting or cannot be typed back. bash runs as for a
# tab press (COMP_WORDS, COMP_CWORD, then COMPREPLY) and each reply is read
# back in the quoting context of the word being completed; zsh runs its
# function with stand-ins for compsys's compadd and _files; fish runs
# `complete -C`. Each shell must offer exactly the expected texts, and
# completing may run only `ostrel __complete`.
#
# Usage: completion_test.sh OSTREL_BINARY COMPLETIONS_DIR
set -u
binary=$1 completions=$(cd "$2" && pwd)
. "$(dirname "$0")/checks.sh"

export OSTREL_TEST_BINARY=$binary OSTREL_TEST_LOG=$work/calls.log PATH=$work/bin:$PATH HOME=$work/home
export C=$completions LC_ALL=C.UTF-8
mkdir -p "$work/bin" "$work/files/nested" "$HOME/Library/Application Support/Ostrel"
touch "$work/files/notes.txt"
# OSTREL_TEST_REPLY stands for the answer of a command that takes a file.
# shellcheck disable=SC2016 # expanded by the logging script
printf '#!/bin/sh\necho "$*" >>"$OSTREL_TEST_LOG"\n[ -z "$OSTREL_TEST_REPLY" ] || exec echo "$OSTREL_TEST_REPLY"
exec "$OSTREL_TEST_BINARY" "$@"\n' >"$work/bin/ostrel"
chmod +x "$work/bin/ostrel"
# Words that need quoting; words that no candidate can stand for (a line
# break, DEL, a C1 control, empty, the help words); a disabled rule, a trigger
# holding the arrow of `rule list`, and a replacement whose second line looks
# like a rule.
cat >"$HOME/Library/Application Support/Ostrel/agent-config.json" <<'JSON'
{ "version" : 1, "dictionary" : [ "New York", "it's", "a\"b\\$c`d e", "two\nlines", "d\u007f", "c\u0085",
    "", "-h", "--help", "-ish" ],
  "rules" : [
    { "enabled" : true, "kind" : "snippet", "replacement" : "hello", "trigger" : "say \"hi\"" },
    { "enabled" : false, "kind" : "snippet", "replacement" : "be right back", "trigger" : "brb" },
    { "enabled" : true, "kind" : "snippet", "replacement" : "x", "trigger" : "a\" → \"b" },
    { "enabled" : true, "kind" : "transform", "replacement" : "for your info\nsnippet\t\"fake\" → \"x\"", "trigger" : "fyi" } ] }
JSON

# shellcheck source=completions/ostrel.bash
source "$completions/ostrel.bash"
[[ $(complete -p ostrel) == 'complete -F _ostrel ostrel' ]] || fail "_ostrel is not registered for ostrel"
read -r -d '' zsh_driver <<'ZSH'
words=(${(z)1}) && [[ $1 == *' ' ]] && words+=('')
CURRENT=${#words} PREFIX=${words[-1]#[\"\']}  # zsh takes an opening quote off
_wanted() { shift 3; "$@" }
compadd() { print -rl -- "${(@P)2}" }
_files() { print -rl -- $PREFIX*(N) }
source $C/_ostrel
ZSH

# expect EXPECTED_LINES WORD...: completes the words (the last is the one being
# completed; the line is $LINE, else the words joined by spaces) in each shell
# and compares what it offers, sorted.
expect() {
  local expected words="${*:2}" actual='' reply quote='' shell
  expected=$(sort <<<"$1")
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
  check bash "$(sort <<<"$actual")"
  ! hash zsh 2>/dev/null || check zsh "$(zsh -f -c "$zsh_driver" zsh "$COMP_LINE" | sort)"
  # shellcheck disable=SC2016 # expanded by fish
  ! hash fish 2>/dev/null ||
    check fish "$(fish -c 'source $C/ostrel.fish; complete -C$argv[1]' "$COMP_LINE" | sort)"
}
check() {
  [[ $2 == "$expected" ]] || fail "$1 completing '$words' gave:"$'\n'"$2"$'\n'"instead of:"$'\n'"$expected"
}

# shellcheck disable=SC2016 # the $ and ` are stored text
special='a"b\$c`d e'
words=$'New York\nit\'s\n'$special$'\n-ish'
expect $'help\nshow\npath\ncheck\nedit\nhistory\nundo\nrestore\nversion\ndict\nrule\nstyle\nmerge' ostrel ''
expect $'--help\n-h\n--version' ostrel -
expect $'add\nremove\nlist\nimport' ostrel dict ''
expect $'set\nremove\nlist\nenable\ndisable\nimport\nexport' ostrel rule ''
expect $'set\nclear\nshow' ostrel style ''
expect 'remove' ostrel rule re
expect $'snippet\ntransform' ostrel rule set ''
expect '' ostrel rule set snippet ''
# Not the empty word, nor those holding a control character.
expect "$words" ostrel dict remove ''
expect '' ostrel dict remove d
expect '' ostrel dict remove c
# Not the stored help words, which would print the usage.
expect '-ish' ostrel dict remove -
expect 'New York' ostrel dict remove 'New\ Y'
expect "it's" ostrel dict remove "'it"
expect "$special" ostrel dict remove a
expect "$special" ostrel dict remove '"a'
expect "$special" ostrel dict remove "'a"
expect $'say "hi"\nbrb\na" → "b\nfyi' ostrel rule remove ''
expect 'say "hi"' ostrel rule remove '"sa'
LINE='ostrel dict remove a:N' expect '' ostrel dict remove a : N
expect $'say "hi"\nbrb\na" → "b\nfyi' ostrel rule disable ''
expect '' ostrel rule remove brb ''
HOME=$work/empty expect '' ostrel dict remove ''
(cd "$work/files" && OSTREL_TEST_REPLY=files expect 'notes.txt' ostrel import no; exit $status) || status=1

unexpected=$(grep -v '^__complete' "$work/calls.log")
[[ -s $work/calls.log && -z $unexpected ]] || fail "completing ran: ${unexpected:-nothing}"
exit $status
