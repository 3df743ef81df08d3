# bash completion for ostrel.
#
# Completes the commands, their sub-commands, the rule kinds after
# `rule set`, and for `dict remove` and `rule remove|enable|disable` the words and triggers
# already stored, which it reads with `ostrel dict list` and `ostrel rule list`
# (the only commands it runs; both are read-only). Needs no other completion
# package and works in bash 3.2 and later.
#
# Limits: `dict list` and `rule list` print stored text unescaped, so a word
# that holds a line break is offered line by line, and a dictionary holding
# only the word "(no words yet)" looks empty; a trigger that itself holds
# `" → "` is offered only up to that text; a replacement whose first line ends
# in a double quote and that goes on over more lines may have its later lines
# taken for rules. A word holding one of the characters that split words for
# completion (COMP_WORDBREAKS, e.g. `:` and `=`) completes only up to that
# character.

# Prints the stored dictionary words, one per line.
_ostrel_stored_words() {
  local line
  while IFS= read -r line; do
    [[ $line == '(no words yet)' ]] && continue
    printf '%s\n' "$line"
  done < <(command ostrel dict list 2>/dev/null)
}

# Prints the stored rule triggers, one per line. A rule line reads
#   <kind> TAB "<trigger>" → "<replacement>"
# optionally followed by two spaces and "(disabled)". The trigger ends at the
# first `" → "`: triggers are short spoken phrases, while replacements are
# free text that may hold that sequence themselves.
_ostrel_stored_triggers() {
  local line rest in_replacement=0 tab=$'\t' separator='" → "'
  while IFS= read -r line; do
    # A rule line ends with the closing quote of its replacement, perhaps
    # followed by "  (disabled)"; until such an end, lines continue a
    # replacement that holds line breaks.
    if ((in_replacement)); then
      [[ $line == *\" || $line == *'"  (disabled)' ]] && in_replacement=0
      continue
    fi
    # Skips "(no rules yet)": it has no tab followed by a quote.
    [[ $line == *"$tab\""* ]] || continue
    rest=${line#*"$tab\""}
    [[ $rest == *"$separator"* ]] || continue
    printf '%s\n' "${rest%%"$separator"*}"
    [[ $line == *\" || $line == *'"  (disabled)' ]] || in_replacement=1
  done < <(command ostrel rule list 2>/dev/null)
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
# Readline puts the reply after an opening quote and closes the quote itself.
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

  case "$command $subcommand" in
    'rule set')
      ((COMP_CWORD == 3)) && _ostrel_add_words snippet transform
      ;;
    'dict remove')
      _ostrel_add_quoted_matches < <(_ostrel_stored_words)
      ;;
    'rule remove' | 'rule enable' | 'rule disable')
      ((COMP_CWORD == 3)) && _ostrel_add_quoted_matches < <(_ostrel_stored_triggers)
      ;;
  esac
  return 0
}

complete -F _ostrel ostrel
