# bash completion for pagewarden-cli                                   -*- shell-script -*-

_pagewarden_cli() {
    local cur prev words cword
    _init_completion || return

    local commands="search clean watch history restore prune"
    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi

    case $prev in
        --keyword | --rule | --masks | --min-size | --max-size | --after | --before | -j | \
            --threads | --older-than)
            return
            ;;
        --time-field)
            COMPREPLY=($(compgen -W "created modified accessed" -- "$cur"))
            return
            ;;
        --backend)
            COMPREPLY=($(compgen -W "inotify fanotify auto" -- "$cur"))
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        # The options are those the command itself lists.
        local opts
        opts=$("${words[0]}" "${words[1]}" --help 2>/dev/null |
            grep -oE -- '(^|[ ,])--?[A-Za-z][-A-Za-z]*' | tr -d ' ,')
        COMPREPLY=($(compgen -W "$opts" -- "$cur"))
        return
    fi

    case ${words[1]} in
        clean)
            if [[ " ${words[*]} " == *" --files "* ]]; then
                _filedir
            else
                _filedir -d
            fi
            ;;
        search | watch | restore) _filedir -d ;;
    esac
} &&
    complete -F _pagewarden_cli pagewarden-cli

# ex: filetype=sh
