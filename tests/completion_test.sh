#!/usr/bin/env bash
# Drives the bash completion function the way bash does (COMP_WORDS,
# COMP_CWORD and the three arguments, then COMPREPLY), with the built ostrel
# first on PATH and a temporary home whose config holds words and triggers
# that need quoting. Every reply is read back by the shell, in the quoting
# context of the word being completed, and must give the stored text. Also
# checks that completing runs only the read-only list commands. When zsh or
# fish is installed, checks their completion files too.
#
# Usage: completion_test.sh OSTREL_BINARY COMPLETIONS_DIR
# Exit status: 0 passed, 1 failed.
set -u

binary=$1
completions=$2

. "$(dirname "$0")/checks.sh" "completion test"

# `ostrel` on PATH logs its arguments, then runs the built binary.
mkdir -p "$work/bin"
export OSTREL_TEST_BINARY=$binary OSTREL_TEST_LOG=$work/calls.log
cat >"$work/bin/ostrel" <<'EOF'
#!/bin/sh
printf '%s\n' "$*" >>"$OSTREL_TEST_LOG"
exec "$OSTREL_TEST_BINARY" "$@"
EOF
chmod +x "$work/bin/ostrel"
export PATH="$work/bin:$PATH"

# A config written by hand: words with a space, quotes and shell characters;
# a trigger holding double quotes; a disabled rule; and a replacement over
# two lines whose second line looks like a rule of its own.
export HOME="$work/home"
config="$HOME/Library/Application Support/Ostrel/agent-config.json"
mkdir -p "$(dirname "$config")"
cat >"$config" <<'EOF'
{
  "dictionary" : [
    "New York",
    "it's",
    "Quokka",
    "a\"b$c`d\\e f",
    "(no words yet)x"
  ],
  "rules" : [
    { "enabled" : true, "kind" : "snippet", "replacement" : "me@example.com", "trigger" : "my email" },
    { "enabled" : true, "kind" : "snippet", "replacement" : "hello", "trigger" : "say \"hi\"" },
    { "enabled" : false, "kind" : "snippet", "replacement" : "be right back", "trigger" : "brb" },
    { "enabled" : true, "kind" : "transform", "replacement" : "for your info\nsnippet\t\"fake\" → \"x\"", "trigger" : "fyi" }
  ],
  "version" : 1
}
EOF
cp "$config" "$work/config-before.json"

# shellcheck source=completions/ostrel.bash
source "$completions/ostrel.bash"

if [[ $(complete -p ostrel 2>/dev/null) == 'complete -F _ostrel ostrel' ]]; then
  pass "the script registers _ostrel for ostrel"
else
  fail "the script does not register _ostrel: $(complete -p ostrel 2>&1)"
fi

# Completes the words given (the last one is the word being completed) and
# prints each reply as the shell reads it back: after the quote the word
# opened, which readline closes, or as it stands.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  local cur=${COMP_WORDS[COMP_CWORD]} reply quote=''
  _ostrel ostrel "$cur" "${COMP_WORDS[COMP_CWORD - 1]}"
  [[ $cur == [\'\"]* ]] && quote=${cur:0:1}
  for reply in "${COMPREPLY[@]}"; do
    set --
    if ! eval "set -- $quote$reply$quote" 2>/dev/null; then
      printf '<%s does not parse>\n' "$reply"
    elif (($# != 1)); then
      printf '<%s is %d words>\n' "$reply" "$#"
    else
      printf '%s\n' "$1"
    fi
  done
}

# expect DESCRIPTION EXPECTED_LINES WORD...
expect() {
  local description=$1 expected=$2 actual
  shift 2
  actual=$(complete_words "$@")
  if [[ $actual == "$expected" ]]; then
    pass "$description"
  else
    fail "$description: completing '$*'"
    printf 'expected:\n%s\nactual:\n%s\n' "$expected" "$actual"
  fi
}

# shellcheck disable=SC2016 # the $ and ` are stored text
special='a"b$c`d\e f'
words=$'New York\nit\'s\nQuokka\na"b$c`d\\e f\n(no words yet)x'
triggers=$'my email\nsay "hi"\nbrb\nfyi'

expect 'commands' $'show\npath\nhelp\ndict\nrule\nstyle' ostrel ''
expect 'commands by prefix' $'show\nstyle' ostrel s
expect 'help words' $'--help\n-h' ostrel -
expect 'dict sub-commands' $'add\nremove\nlist' ostrel dict ''
expect 'rule sub-commands' $'set\nremove\nlist' ostrel rule ''
expect 'style sub-commands' $'set\nclear\nshow' ostrel style ''
expect 'sub-commands by prefix' 'remove' ostrel rule re
expect 'no sub-commands for show' '' ostrel show ''
expect 'nothing after an unknown command' '' ostrel Dict ''
expect 'rule kinds' $'snippet\ntransform' ostrel rule set ''
expect 'rule kinds by prefix' 'transform' ostrel rule set t
expect 'nothing for a trigger to set' '' ostrel rule set snippet ''
expect 'nothing for words to add' '' ostrel dict add ''
expect 'stored words' "$words" ostrel dict remove ''
expect 'stored words after other words' "$words" ostrel dict remove Quokka ''
expect 'stored words by prefix' 'New York' ostrel dict remove N
expect 'a prefix with an escaped space' 'New York' ostrel dict remove 'New\ Y'
expect 'a prefix in double quotes' 'New York' ostrel dict remove '"New Y'
expect 'a prefix in single quotes' "it's" ostrel dict remove "'it"
expect 'an escaped quote in the prefix' "it's" ostrel dict remove "it\\'"
expect 'shell characters, unquoted' "$special" ostrel dict remove a
expect 'shell characters, in double quotes' "$special" ostrel dict remove '"a'
expect 'shell characters, in single quotes' "$special" ostrel dict remove "'a"
expect 'no match' '' ostrel dict remove Z
expect 'stored triggers, disabled included' "$triggers" ostrel rule remove ''
expect 'a trigger holding quotes' 'say "hi"' ostrel rule remove '"say'
expect 'only one trigger to remove' '' ostrel rule remove brb ''

# Only the two read-only list commands ran, and the config is untouched.
unexpected=$(grep -vx -e 'dict list' -e 'rule list' "$work/calls.log")
if [[ -s $work/calls.log && -z $unexpected ]]; then
  pass "ran only 'dict list' and 'rule list'"
else
  fail "ran other commands: ${unexpected:-none at all}"
fi
if cmp -s "$config" "$work/config-before.json" &&
  [[ $(ls -A "$(dirname "$config")") == agent-config.json ]]; then
  pass "the config folder is untouched"
else
  fail "the config folder changed: $(ls -A "$(dirname "$config")")"
fi

# Without a config: nothing to offer, and nothing created.
HOME="$work/empty-home"
mkdir -p "$HOME"
expect 'no stored words without a config' '' ostrel dict remove ''
expect 'no stored triggers without a config' '' ostrel rule remove ''
if [[ -z $(ls -A "$HOME") ]]; then
  pass "no config created"
else
  fail "completing created files: $(ls -A "$HOME")"
fi
HOME="$work/home"

# zsh and fish, when installed.
if command -v zsh >/dev/null 2>&1; then
  if zsh -n "$completions/_ostrel"; then pass "zsh parses _ostrel"; else fail "zsh cannot parse _ostrel"; fi
else
  echo "note: zsh is not installed, so _ostrel was not checked"
fi
if command -v fish >/dev/null 2>&1; then
  fish_complete() {
    fish --no-config -c "source \"\$argv[1]\"; complete -C \"\$argv[2]\"" \
      "$completions/ostrel.fish" "$1" | cut -f1
  }
  actual=$(fish_complete 'ostrel dict remove ' | sort)
  if [[ $actual == "$(sort <<<"$words")" ]]; then
    pass "fish offers the stored words"
  else
    fail "fish offers for stored words:"$'\n'"$actual"
  fi
  actual=$(fish_complete 'ostrel rule remove ' | sort)
  if [[ $actual == "$(sort <<<"$triggers")" ]]; then
    pass "fish offers the stored triggers"
  else
    fail "fish offers for stored triggers:"$'\n'"$actual"
  fi
  actual=$(fish_complete 'ostrel rule set ' | tr '\n' ' ')
  if [[ $actual == 'snippet transform ' ]]; then
    pass "fish offers the rule kinds"
  else
    fail "fish offers for rule kinds: $actual"
  fi
else
  echo "note: fish is not installed, so ostrel.fish was not checked"
fi

finish
