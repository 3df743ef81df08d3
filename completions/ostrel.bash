# bash completion for ostrel.
#
# Completes the commands, their sub-commands, the rule kinds after
# `rule set`, and for `dict remove` and `rule remove|enable|disable` the words and triggers
# already stored, which it reads from `ostrel show` (the only command it runs;
# it is read-only). Needs no other completion package and works in bash 3.2
# and later.
#
# Every stored candidate is exactly a stored word or trigger, quoted so that
# the shell reads it back whole. A word or trigger holding a control character
# (a line break, a tab) is not offered, and nothing stored is offered after one
# of the characters that split words for completion (COMP_WORDBREAKS, e.g. `:`
# and `=`), since the reply would replace only the text after it.

# Prints the stored dictionary words (with "words") or rule triggers (with
# "triggers"), one per line. `ostrel show` writes the tool's own layout: each
# dictionary word alone on a line indented by four spaces, each trigger on a
# line `"trigger" : "..."` indented by six, and every control character escaped,
# so one line is one whole value. Values holding an escape other than \" and
# \\ hold a control character and are skipped.
_ostrel_stored() {
  local line value text char i pattern='^    "(.*)",?$'
  [[ $1 == triggers ]] && pattern='^      "trigger" : "(.*)",?$'
  while IFS= read -r line; do
    [[ $line =~ $pattern ]] || continue
    value=${BASH_REMATCH[1]}
    if [[ $value == *\\* ]]; then
      text=''
      for ((i = 0; i < ${#value}; i++)); do
        char=${value:i:1}
        if [[ $char == "\\" ]]; then
          i=$((i + 1))
          char=${value:i:1}
          [[ $char == [\\\"] ]] || continue 2
        fi
        text+=$char
      done
      value=$text
    fi
    printf '%s\n' "$value"
  done < <(command ostrel show 2>/dev/null)
}

# Takes the word being completed as typed and sets the caller's
# _ostrel_prefix to the text it stands for and _ostrel_quote to the quote it
# opens (' or ", or nothing).
_ostrel_unquote_current() {
  local typed=$1 char next i=0 text=''
  _ostrel_quote=''
  case $typed in
    \'*)
      _ostrel_quote="'"
      _ostrel_prefix=${typed#\'}
      return
      ;;
    \"*)
      _ostrel_quote='"'
      typed=${typed#\"}
      ;;
  esac
  # Unquoted, or inside double quotes: a backslash takes the next character
  # literally (inside double quotes only before \ " $ and `).
  while ((i < ${#typed})); do
    char=${typed:i:1}
    if [[ $char == "\\" ]] && ((i + 1 < ${#typed})); then
      next=${typed:i+1:1}
      if [[ -z $_ostrel_quote || $next == [\\\"\$\`] ]]; then
        char=$next
        i=$((i + 1))
      fi
    fi
    text+=$char
    i=$((i + 1))
  done
  _ostrel_prefix=$text
}

# Adds to COMPREPLY each of the words given that starts with `cur`.
_ostrel_add_words() {
  local word
  for word in "$@"; do
    [[ $word == "$cur"* ]] && COMPREPLY+=("$word")
  done
}

# Adds to COMPREPLY each line of standard input that starts with the text of
# the current word, quoted so that the shell reads it back as that line.
# Readline puts the reply after an opening quote; the reply closes that quote
# itself, as readline does not when the reply already ends in it.
# Quotes character by character rather than with ${var//...}, whose handling
# of quotes and backslashes in the replacement differs between bash versions.
_ostrel_add_quoted_matches() {
  local candidate quoted char i _ostrel_prefix _ostrel_quote
  _ostrel_unquote_current "$cur"
  while IFS= read -r candidate; do
    [[ -n $candidate && $candidate == "$_ostrel_prefix"* ]] || continue
    if [[ -z $_ostrel_quote ]]; then
      printf -v quoted '%q' "$candidate"
    else
      quoted=''
      for ((i = 0; i < ${#candidate}; i++)); do
        char=${candidate:i:1}
        if [[ $_ostrel_quote == "'" && $char == "'" ]]; then
          quoted+="'\\''"  # close, an escaped quote, reopen
        elif [[ $_ostrel_quote == '"' && ($char == '"' || $char == '$' || $char == '`' ||
                $char == "\\") ]]; then
          quoted+="\\$char"
        else
          quoted+=$char
        fi
      done
      quoted+=$_ostrel_quote
    fi
    COMPREPLY+=("$quoted")
  done
}

_ostrel() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local command=${COMP_WORDS[1]-} subcommand=${COMP_WORDS[2]-}
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    if [[ $cur == -* ]]; then
      _ostrel_add_words --help -h --version
    else
      _ostrel_add_words show path help dict rule style check edit
    fi
    return 0
  fi

  if ((COMP_CWORD == 2)); then
    case $command in
      dict) _ostrel_add_words add remove list ;;
      rule) _ostrel_add_words set remove list enable disable ;;
      style) _ostrel_add_words set clear show ;;
    esac
    return 0
  fi

  # The current word follows a word-break character rather than a space.
  local before=${COMP_LINE:0:COMP_POINT}
  before=${before%"$cur"}
  [[ -z $before || $before == *[[:space:]] ]] || subcommand=''

  case "$command $subcommand" in
    'rule set')
      ((COMP_CWORD == 3)) && _ostrel_add_words snippet transform
      ;;
    'dict remove')
      _ostrel_add_quoted_matches < <(_ostrel_stored words)
      ;;
    'rule remove' | 'rule enable' | 'rule disable')
      ((COMP_CWORD == 3)) && _ostrel_add_quoted_matches < <(_ostrel_stored triggers)
      ;;
  esac
  return 0
}

complete -F _ostrel ostrel
