#!/usr/bin/env bash
# man_options_test.sh PROGRAM MANPAGE - every option that the program's --help lists, and that
# each of its commands' --help lists, appears in the manual page, and so does every command.
set -euo pipefail
program=$1
manpage=$2

# The page's text with troff's escaped hyphens and font changes undone.
text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\f(..//g' "$manpage")
mentions() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)" <<<"$text"; }

# Options are the first column of the lines that start with blanks and a dash.
options() { "$program" "$@" --help | grep -E '^\s+-' | sed -E 's/^\s+//; s/  .*//' |
    grep -oE -- '--?[A-Za-z][-A-Za-z0-9]*'; }

commands=$("$program" --help | sed -n '/^Commands:/,/^$/p' | grep -oE '^  [a-z][-a-z]*' || true)
failed=0
for command in "" $commands; do
    if [ -n "$command" ] && ! mentions "$command"; then
        echo "$manpage: no command $command" >&2
        failed=1
    fi
    for option in $(options $command); do
        if ! mentions "$option"; then
            echo "$manpage: ${command:-the program}'s option $option is missing" >&2
            failed=1
        fi
    done
done
exit $failed
