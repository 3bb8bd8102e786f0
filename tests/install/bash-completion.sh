#!/usr/bin/env bash
# Bash completion as a user meets it: the commands and, for each command,
# exactly the options the program's --help lists; after a flag a song, after
# an option that takes a number nothing; songs, register logs and outputs by
# extension.
#   bash-completion.sh COMPLETION_SCRIPT PROGRAM
set -uo pipefail
script=$1 program=$(realpath "$2")
# shellcheck source=/dev/null
source "$script"
failed=0
complete_line() {  # complete_line WORD...: what completing the last word offers, sorted
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$#
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
    "$(complete_line '')"
for command in $commands; do
    expect "$command options" "$("$program" "$command" --help | help_options)" \
        "$(complete_line "$command" -)"
done

work=$(mktemp -d /tmp/velnari-completion.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir folder && touch song.mml SONG.TARSEL notes.txt out.wav log.VGZ log.s98
expect "songs and logs" "$(printf '%s\n' SONG.TARSEL folder log.VGZ log.s98 song.mml | sort)" \
    "$(complete_line play '')"
expect "songs to check" "$(printf '%s\n' SONG.TARSEL folder song.mml | sort)" \
    "$(complete_line check '')"
expect "outputs" "$(printf '%s\n' folder log.VGZ log.s98 out.wav | sort)" \
    "$(complete_line render song.mml -o '')"
expect "after a flag" "$(printf '%s\n' SONG.TARSEL folder log.VGZ log.s98 song.mml | sort)" \
    "$(complete_line render --stems '')"
expect "after a number option" "" "$(complete_line render --loops '')"
[ $failed -eq 0 ] && echo "PASS completion follows --help"
exit $failed
