# bash completion for corvanectl: sub-commands, their actions and options, device ids and files.

_corvanectl_android_ids()
{
    corvanectl list --json 2>/dev/null | sed -n 's/^ *"id": "\(.*\)",$/\1/p'
}

_corvanectl()
{
    local cur prev command action
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    command=${COMP_WORDS[1]}
    action=${COMP_WORDS[2]}

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "list android linux ios windows snapshot install-android log help --help" -- "$cur"))
        return
    fi
    case $prev in
        --iso) COMPREPLY=($(compgen -f -X '!*.[iI][sS][oO]' -- "$cur")); compopt -o plusdirs 2>/dev/null; return ;;
        --filter | --cpu | --memory) return ;;
    esac
    local words=""
    case $command in
        list) words="--json" ;;
        log) words="--follow --filter" ;;
        install-android) words="--accept-license" ;;
        help) ((COMP_CWORD == 2)) && words="list android linux ios windows snapshot install-android log" ;;
        linux) ((COMP_CWORD == 2)) && words="start stop kill" || { [[ $action == start ]] && words="--iso"; } ;;
        ios) ((COMP_CWORD == 2)) && words="boot shutdown kill" ;;
        windows)
            if ((COMP_CWORD == 2)); then
                words="check-iso"
            else
                COMPREPLY=($(compgen -f -X '!*.[iI][sS][oO]' -- "$cur")); compopt -o plusdirs 2>/dev/null
                return
            fi
            ;;
        android)
            if ((COMP_CWORD == 2)); then
                words="start stop kill run add copy delete install-apk"
            elif ((COMP_CWORD == 3)) && [[ $action != add ]]; then
                words=$(_corvanectl_android_ids)
            elif [[ $action == install-apk ]]; then
                COMPREPLY=($(compgen -f -X '!*.[aA][pP][kK]' -- "$cur")); compopt -o plusdirs 2>/dev/null
                return
            elif [[ $action == run ]]; then
                words="--rollback --"
            elif [[ $action == add ]]; then
                words="--cpu --memory"
            fi
            ;;
        snapshot)
            if ((COMP_CWORD == 2)); then
                words="create list rollback delete"
            elif ((COMP_CWORD == 3)); then
                words="linux windows $(_corvanectl_android_ids)"
            elif [[ $action == list ]]; then
                words="--json"
            fi
            ;;
    esac
    COMPREPLY=($(compgen -W "$words --help" -- "$cur"))
}

complete -F _corvanectl corvanectl
