#!/usr/bin/env bash
# completion_test.sh COMPLETION_FILE BIN_DIR - the bash completion offers commands, each
# command's own options (as its --help lists them) and the values of the options that have a
# fixed set.
set -uo pipefail
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
PATH=$2:$PATH

failed=0
expect() { # expect "WANTED" WORD...
    local wanted=$1
    shift
    COMP_WORDS=(pagewarden-cli "$@")
    COMP_CWORD=$#
    COMP_LINE="pagewarden-cli $*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _pagewarden_cli
    if [ "${COMPREPLY[*]}" != "$wanted" ]; then
        echo "completing '$COMP_LINE': '${COMPREPLY[*]}', not '$wanted'" >&2
        failed=1
    fi
}
expect "watch" w
expect "search" se
expect "--dry-run" clean --dr
expect "--no-subfolders" search --no-s
expect "modified" search --time-field m
expect "" clean --keyword ev
exit $failed
