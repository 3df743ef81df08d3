# fish completion for ostrel.
#
# Completes the commands, their sub-commands, the rule kinds after
# `rule set`, and for `dict remove` and `rule remove|enable|disable` the words and triggers
# already stored, read with `ostrel dict list` and `ostrel rule list` (the only
# commands it runs; both are read-only). fish quotes the stored words itself.
# The limits of reading those lists are the same as in the bash completion:
# a word or replacement that holds line breaks may be misread, and a trigger
# that holds `" → "` is offered only up to that text.

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

function __ostrel_stored_words
    command ostrel dict list 2>/dev/null | string match -v -- '(no words yet)'
end

# A rule line reads: <kind> TAB "<trigger>" → "<replacement>", optionally
# followed by two spaces and "(disabled)". The trigger ends at the first
# `" → "`: triggers are short spoken phrases, while replacements are free text
# that may hold that sequence themselves.
function __ostrel_stored_triggers
    set -l in_replacement 0
    for line in (command ostrel rule list 2>/dev/null)
        # Lines after one that does not end a rule continue a replacement that
        # holds line breaks.
        if test $in_replacement = 1
            string match -q -r -- '"(  \(disabled\))?$' $line; and set in_replacement 0
            continue
        end
        # "(no rules yet)" has no tab and quote, so it is no rule line.
        string replace -r -f -- '^.*?\t"(.*?)" → ".*$' '$1' $line; or continue
        string match -q -r -- '"(  \(disabled\))?$' $line; or set in_replacement 1
    end
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

complete -c ostrel -n '__ostrel_after_prefix dict remove' -a '(__ostrel_stored_words)' -d 'Stored word'
complete -c ostrel -n '__ostrel_after rule remove' -a '(__ostrel_stored_triggers)' -d 'Stored trigger'
complete -c ostrel -n '__ostrel_after rule enable' -a '(__ostrel_stored_triggers)' -d 'Stored trigger'
complete -c ostrel -n '__ostrel_after rule disable' -a '(__ostrel_stored_triggers)' -d 'Stored trigger'
