#!/usr/bin/env bash
# The host program and the shared module as binaries: exports, exit codes,
# output files and request sizes.
#   host-program.sh HOST MODULE DATA_DIR
set -uo pipefail
host=$1 module=$2 data=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

check() {  # check "what" command...: passes when the command succeeds
    local what=$1; shift
    if "$@"; then echo "PASS $what"; passed=$((passed + 1))
    else echo "FAIL $what"; failed=$((failed + 1)); fi
}

exits_with() {  # exits_with CODE args...: the host exits with CODE
    local want=$1; shift
    "$host" "$@" >"$work/out.txt" 2>"$work/err.txt"
    local got=$?
    [ "$got" -eq "$want" ] || { echo "  exit $got, expected $want: $*"; cat "$work/out.txt" "$work/err.txt"; return 1; }
}

only_entry_exported() {
    local symbols
    symbols=$(nm -D --defined-only "$module" | awk '{print $3}' | sort | tr '\n' ' ')
    [ "$symbols" = "kmp_GetTestModule " ] || { echo "  exports: $symbols"; return 1; }
}

not_silent() { [ -s "$1" ] && ! cmp -s "$1" <(head -c "$(stat -c %s "$1")" /dev/zero); }

wav_header_is_right() {  # FILE RATE FRAMES
    local size; size=$(stat -c %s "$1")
    [ "$size" -eq $((44 + $3 * 4)) ] || { echo "  size $size"; return 1; }
    [ "$(head -c 4 "$1")" = RIFF ] && [ "$(dd if="$1" bs=1 skip=8 count=4 2>/dev/null)" = WAVE ] &&
        [ "$(dd if="$1" bs=1 skip=36 count=4 2>/dev/null)" = data ] &&
        [ "$(od -An -tu4 -j24 -N4 "$1" | tr -d ' ')" -eq "$2" ] &&
        [ "$(od -An -tu4 -j40 -N4 "$1" | tr -d ' ')" -eq $(($3 * 4)) ]
}

song=$data/duet.mml
check "the module exports only kmp_GetTestModule" only_entry_exported
check "--help exits 0" exits_with 0 --help
check "a usage error exits 1" exits_with 1 "$module" "$song" --chunk 2
check "a missing module exits 2" exits_with 2 "$work/none.so"
check "a file that is no library exits 2" exits_with 2 "$song"
check "the record alone checks out" exits_with 0 "$module"
check "the record lists .mml and .tarsel" grep -q '^extensions: .mml .tarsel$' "$work/out.txt"
check "null arguments and odd sizes are handled" exits_with 0 "$module" "$song" --probe --quiet
check "a missing song fails the open" exits_with 4 "$module" "$work/none.mml"
check "an empty song fails the open" exits_with 4 "$module" "$data/empty.mml"
check "a faulty song fails the open" exits_with 4 "$module" "$data/faulty.mml"
check "the fault is shown with file and line" grep -q 'faulty.mml(3) : parse error at "! f4"' "$work/err.txt"
check "a rate the player refuses fails the open" exits_with 4 "$module" "$song" --rate 1
check "the host's rate is kept" exits_with 0 "$module" "$song" --rate 48000
check "the open reports rate 48000" grep -q '^open: rate 48000, channels 2, bits 16' "$work/out.txt"
check "an unwritable output exits 5" exits_with 5 "$module" "$song" --seconds 1 --out "$work/no/such/dir.raw"

check "a WAV file is written" exits_with 0 "$module" "$song" --rate 22050 --seconds 1 --out "$work/a.wav"
check "the WAV header describes the data" wav_header_is_right "$work/a.wav" 22050 22050

for chunk in 4096 4098 4 176400; do
    check "renders in $chunk-byte requests" exits_with 0 "$module" "$song" --seconds 1 --chunk $chunk --out "$work/c$chunk.raw"
done
check "the output is not silent" not_silent "$work/c4096.raw"
for chunk in 4098 4 176400; do
    check "$chunk-byte requests give the same bytes as 4096" cmp -s "$work/c4096.raw" "$work/c$chunk.raw"
done

check "a seek part-way is accepted" exits_with 0 "$module" "$song" --seconds 2 --seek-at 1000 --seek-to 90000 --out "$work/seek.raw"
check "SetPosition returned 0" grep -q 'SetPosition(90000) returned 0' "$work/out.txt"
check "the output before the seek is untouched" cmp -s -n 176400 "$work/c4096.raw" "$work/seek.raw"

# With ExactSeek=1 in the settings file beside a copy of the module, a seek
# lands where a fresh open stands at that position.
mkdir "$work/exact"
cp "$module" "$work/exact/"
printf '[velnari]\nExactSeek=1\n' >"$work/exact/$(basename "${module%.*}").ini"
exact=$work/exact/$(basename "$module")
check "with ExactSeek=1 a seek part-way is accepted" exits_with 0 "$exact" "$song" --seconds 3 --seek-at 1000 --seek-to 20000 --out "$work/exact.raw"
check "the open reports the piece seekable" grep -q 'seekable 1' "$work/out.txt"
check "SetPosition returned the position reached" grep -q 'SetPosition(20000) returned 20000' "$work/out.txt"
check "a fresh render for comparison" exits_with 0 "$module" "$song" --seconds 22 --out "$work/fresh.raw"
check "the output before the exact seek is untouched" cmp -s -n 176400 "$work/exact.raw" "$work/fresh.raw"
check "after the exact seek the bytes are a fresh open's at 20 s" cmp -s -n 352800 "$work/exact.raw" "$work/fresh.raw" 176400 3528000

echo "host: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
