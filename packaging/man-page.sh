#!/bin/sh
# Writes the gzipped man page of the velnari program. help2man formats
# `velnari --help`; the --help of each command it lists becomes a subsection
# of COMMANDS in the same shape; velnari.h2m adds what --help does not say.
# So the manual says what the program says.
#   man-page.sh PROGRAM VERSION INCLUDE OUTPUT
set -eu
program=$1 version=$2 include=$3 output=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

commands=$("$program" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || { echo "man-page.sh: $program --help lists no commands" >&2; exit 1; }

{
    echo '[COMMANDS]'
    for command in $commands; do
        "$program" "$command" --help | awk '
            function roff(s) { gsub(/\\/, "\\e", s); gsub(/-/, "\\-", s); return s }
            NR == 1 { summary = $0; next }
            /^Usage: / { sub(/^Usage: /, ""); print ".SS \"" roff($0) "\""; print roff(summary); next }
            /^[^ ]/ || /^ *$/ { next }                    # "Options:" and blank lines
            /^   / { sub(/^ +/, ""); print roff($0); next }  # a description on its own line
            {
                line = substr($0, 3)
                text = ""
                if (match(line, /   */)) { text = substr(line, RSTART + RLENGTH); line = substr(line, 1, RSTART - 1) }
                split(line, words, " ")
                if (words[1] == "-h,--help") next
                n = split(words[1], names, ",")
                term = "\\fB" roff(names[1]) "\\fR"
                for (i = 2; i <= n; i++) term = term ", \\fB" roff(names[i]) "\\fR"
                rest = substr(line, length(words[1]) + 2)
                if (rest != "") term = term " " roff(rest)
                print ".TP"
                print term
                if (text != "") print roff(text)
            }'
    done
    cat "$include"
} >"$work/velnari.h2m"

help2man --no-info --version-string="$version" --include="$work/velnari.h2m" \
    --name="plays MML songs on a software YM2203" "$program" >"$work/velnari.1"
gzip -9n <"$work/velnari.1" >"$output"
