# fish completion for ostrel.
#
# Completes the commands, their sub-commands, the rule kinds after
# `rule set`, and for `dict remove` and `rule remove|enable|disable` the words and triggers
# already stored, read from `ostrel show` (the only command it runs; it is
# read-only). fish quotes the stored words itself. As in the bash completion,
# every stored candidate is exactly a stored word or trigger, and one holding
# a control character (a line break, a tab) is not offered.

# True when the words before the one being completed, after "ostrel", are
# exactly the arguments.
function __ostrel_after
    set -l tokens (commandline -opc)
    set -e tokens[1]
    test "$tokens" = "$argv"
end

# True when the words before the one being completed, after "ostrel", begin
# with the arguments.
function __ostrel_after_prefix
    set -l tokens (commandline -opc)
    set -e tokens[1]
    set -l wanted (count $argv)
    test (count $tokens) -ge $wanted
    and test "$tokens[1..$wanted]" = "$argv"
end

# The stored dictionary words (with "words") or rule triggers (with
# "triggers"). `ostrel show` writes the tool's own layout: each dictionary word
# alone on a line indented by four spaces, each trigger on a line
# `"trigger" : "..."` indented by six, and every control character escaped, so
# one line is one whole value. Values holding an escape other than \" and \\
# hold a control character and are skipped.
function __ostrel_stored
    set -l pattern '^    "(.*)",?$'
    test "$argv[1]" = triggers; and set pattern '^      "trigger" : "(.*)",?$'
    command ostrel show 2>/dev/null | string replace -r -f -- $pattern '$1' |
        string match -r -v -- '^(?:[^\\\\]|\\\\[\\\\"])*\\\\[^\\\\"]' |
        string replace -r -a -- '\\\\(.)' '$1'
end

complete -c ostrel -f

complete -c ostrel -n __ostrel_after -a show -d 'Print the current config as JSON'
complete -c ostrel -n __ostrel_after -a path -d "Print the config file's location"
complete -c ostrel -n __ostrel_after -a help -d 'Print the usage text'
complete -c ostrel -n __ostrel_after -l help -s h -d 'Print the usage text'
complete -c ostrel -n __ostrel_after -a dict -d 'Teach the recognizer words it mangles'
complete -c ostrel -n __ostrel_after -a rule -d 'Set, remove or list text rules'
complete -c ostrel -n __ostrel_after -a style -d 'Set, clear or show the style guidance'
complete -c ostrel -n __ostrel_after -a check -d 'Report what the next edit would repair'
complete -c ostrel -n __ostrel_after -a edit -d 'Edit the file in $EDITOR'
complete -c ostrel -n __ostrel_after -l version -d 'Print the version'

complete -c ostrel -n '__ostrel_after dict' -a add -d 'Add words'
complete -c ostrel -n '__ostrel_after dict' -a remove -d 'Remove words'
complete -c ostrel -n '__ostrel_after dict' -a list -d 'List the words'

complete -c ostrel -n '__ostrel_after rule' -a set -d 'Set a rule'
complete -c ostrel -n '__ostrel_after rule' -a remove -d 'Remove a rule'
complete -c ostrel -n '__ostrel_after rule' -a list -d 'List the rules'
complete -c ostrel -n '__ostrel_after rule' -a enable -d 'Switch a rule on'
complete -c ostrel -n '__ostrel_after rule' -a disable -d 'Switch a rule off'

complete -c ostrel -n '__ostrel_after style' -a set -d 'Set the style guidance'
complete -c ostrel -n '__ostrel_after style' -a clear -d 'Remove the style guidance'
complete -c ostrel -n '__ostrel_after style' -a show -d 'Print the style guidance'

complete -c ostrel -n '__ostrel_after rule set' -a snippet -d 'Say a phrase, get text'
complete -c ostrel -n '__ostrel_after rule set' -a transform -d 'Rewrite how something is said'

complete -c ostrel -n '__ostrel_after_prefix dict remove' -a '(__ostrel_stored words)' -d 'Stored word'
complete -c ostrel -n '__ostrel_after rule remove' -a '(__ostrel_stored triggers)' -d 'Stored trigger'
complete -c ostrel -n '__ostrel_after rule enable' -a '(__ostrel_stored triggers)' -d 'Stored trigger'
complete -c ostrel -n '__ostrel_after rule disable' -a '(__ostrel_stored triggers)' -d 'Stored trigger'
