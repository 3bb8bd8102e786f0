#!/bin/sh
# Writes the Debian package's change log (gzipped) from CHANGELOG.md: one
# entry per "## VERSION - YYYY-MM-DD" heading, its "- " items as "* " items.
#   changelog.sh CHANGELOG.md MAINTAINER OUTPUT
set -eu
source=$1 maintainer=$2 output=$3

text=$(awk -v maintainer="$maintainer" '
    function close_entry() {
        if (version == "") return
        cmd = "date -R -u -d " date
        cmd | getline stamp
        close(cmd)
        printf "\n -- %s  %s\n\n", maintainer, stamp
    }
    /^## / {
        close_entry()
        version = $2; date = $4
        if (version !~ /^[0-9][0-9.]*$/ || date !~ /^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$/) {
            print "changelog.sh: heading not \"## VERSION - YYYY-MM-DD\": " $0 > "/dev/stderr"
            failed = 1
            exit 1
        }
        printf "velnari (%s) unstable; urgency=medium\n\n", version
        next
    }
    version == "" || /^[ \t]*$/ { next }
    /^- / { print "  * " substr($0, 3); next }
    /^  / { print "    " substr($0, 3); next }
    { print "  " $0 }
    END { if (!failed) close_entry() }
' "$source")
printf '%s\n' "$text" | gzip -9n >"$output"
