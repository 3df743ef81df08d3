# fish completion for ostrel. `ostrel __complete` says what to offer (the
# commands, the rule kinds, the stored words and triggers, file names); fish
# quotes the replies itself.

function __ostrel_complete
    set -l words (commandline -opc)
    set -l current (commandline -ct | string unescape)
    set -l lines (command ostrel __complete $words[2..] "$current" 2>/dev/null)
    switch "$lines[1]"
        case words
            printf '%s\n' $lines[2..]
        case files
            __fish_complete_path "$current"
    end
end

complete -c ostrel -f -a '(__ostrel_complete)'
