#!/usr/bin/env bash
# The time each stage of `make check` takes.
#
#   scripts/stage-time.sh STAGE COMMAND...   runs COMMAND and, when the
#       environment names a file in VELNARI_STAGE_TIMES, adds a line to it:
#       the stage, its wall-clock seconds, the CPU seconds (user and system)
#       of everything COMMAND ran, and its exit status. COMMAND's status is
#       the script's.
#   scripts/stage-time.sh --report FILE      prints the table of FILE: one row
#       per stage (lines of the same stage added up, in the order they first
#       came), then their sum; minutes:seconds of wall clock and of CPU.
#       The stage named "check", if any, is the whole run: its own last line.
set -u

if [ "${1:-}" = --report ]; then
    [ -s "${2:-}" ] || exit 0
    awk '
        $1 == "check" { whole = $2; whole_cpu = $3 + $4; next }
        { if (!($1 in wall)) order[n++] = $1
          wall[$1] += $2; user[$1] += $3; sys[$1] += $4; if ($5 != 0) bad[$1] = 1 }
        function clock(s) { s = int(s + 0.5); return sprintf("%d:%02d", int(s / 60), s % 60) }
        END {
            printf "\n%-14s %8s %8s %8s %8s\n", "stage", "wall", "cpu", "user", "system"
            for (i = 0; i < n; i++) {
                s = order[i]
                printf "%-14s %8s %8s %8s %8s%s\n", s, clock(wall[s]), clock(user[s] + sys[s]),
                       clock(user[s]), clock(sys[s]),
                       bad[s] ? "  FAILED" : ""
                tw += wall[s]; tu += user[s]; ts += sys[s]
            }
            printf "%-14s %8s %8s %8s %8s\n", "all stages", clock(tw), clock(tu + ts), clock(tu), clock(ts)
            if (whole != "")
                printf "%-14s %8s %8s   (stages overlapping)\n", "make check", clock(whole), clock(whole_cpu)
        }' "$2"
    exit 0
fi

stage=$1
shift
start=$(date +%s.%N)
"$@"
status=$?
end=$(date +%s.%N)
if [ -n "${VELNARI_STAGE_TIMES:-}" ]; then
    # `times`, second line: the user and system time of this shell's
    # children, COMMAND and everything it waited for.
    # (A builtin in a pipe or $(...) runs in a fork that has no children.)
    record=$(mktemp)
    times >"$record"
    read -r user sys < <(tail -n 1 "$record" | awk '
        function secs(t) { split(t, a, "m"); sub("s", "", a[2]); return a[1] * 60 + a[2] }
        { print secs($1), secs($2) }')
    rm -f "$record"
    echo "$stage $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') $user $sys $status" \
        >>"$VELNARI_STAGE_TIMES"
fi
exit $status
