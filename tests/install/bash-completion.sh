#!/usr/bin/env bash
# Bash completion against the program's own --help: the commands it lists,
# and for each command exactly the options its --help lists; songs and
# outputs by extension.
#   bash-completion.sh COMPLETION_SCRIPT PROGRAM
set -uo pipefail
script=$1 program=$2
# shellcheck source=/dev/null
source "$script"
failed=0
complete_line() {  # complete_line WORD...: what completing the last word offers, sorted
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    _velnari
    printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() {  # expect WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] && return
    echo "FAIL $1: expected [$(echo $2)] got [$(echo $3)]"
    failed=1
}
help_options() { awk '/^  -/ { split($1, names, ","); for (i in names) print names[i] }' | sort; }

commands=$("$program" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }' | sort)
expect "commands" "$(printf '%s\n' $commands $("$program" --help | help_options) | sort)" \
    "$(complete_line velnari '')"
for command in $commands; do
    expect "$command options" "$("$program" "$command" --help | help_options)" \
        "$(complete_line velnari "$command" -)"
done

work=$(mktemp -d /tmp/velnari-completion.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir folder && touch song.mml SONG.TARSEL notes.txt out.wav
expect "songs" "$(printf '%s\n' SONG.TARSEL folder song.mml | sort)" "$(complete_line velnari play '')"
expect "outputs" "$(printf '%s\n' folder out.wav | sort)" \
    "$(complete_line velnari render song.mml -o '')"
[ $failed -eq 0 ] && echo "PASS completion follows --help"
exit $failed
