# bash completion for ostrel. Needs no other completion package and works in
# bash 3.2 and later.
#
# `ostrel __complete` says what to offer (the commands, the rule kinds, the
# stored words and triggers, file names); this script unquotes the word being
# completed for it and quotes each reply so that the shell reads back exactly
# that text. Nothing is offered after one of the characters that split words
# for completion (COMP_WORDBREAKS, e.g. `:` and `=`), since the reply would
# replace only the text after it.

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

# Adds each line of standard input to COMPREPLY, quoted so that the shell
# reads it back as that line. Readline puts the reply after an opening quote;
# the reply closes that quote itself, as readline does not when the reply
# already ends in it. Quotes character by character rather than with
# ${var//...}, whose handling of quotes and backslashes in the replacement
# differs between bash versions.
_ostrel_add_quoted() {
  local candidate quoted char i
  while IFS= read -r candidate; do
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
  local cur=${COMP_WORDS[COMP_CWORD]} directive file _ostrel_prefix _ostrel_quote
  local before=${COMP_LINE:0:COMP_POINT}
  COMPREPLY=()
  before=${before%"$cur"}
  [[ -z $before || $before == *[[:space:]] ]] || return 0
  _ostrel_unquote_current "$cur"
  {
    IFS= read -r directive
    case $directive in
      words) _ostrel_add_quoted ;;
      files)
        compopt -o filenames 2>/dev/null  # readline quotes them (bash 4 and later)
        while IFS= read -r file; do COMPREPLY+=("$file"); done < <(compgen -f -- "$_ostrel_prefix")
        ;;
    esac
  } < <(command ostrel __complete "${COMP_WORDS[@]:1:COMP_CWORD-1}" "$_ostrel_prefix" 2>/dev/null)
  return 0
}

complete -F _ostrel ostrel
