#!/usr/bin/env bash
# Builds the Windows plug-in and test host with MinGW-w64 (32-bit: the product,
# 64-bit: for 64-bit hosts) and checks the real binaries:
#   - on every run: exported names, imported DLLs, machine type, the record
#     layout the host reads, SSE2 maths in the 32-bit build, and that Boost
#     reaches the cross compilers through its own folder only;
#   - under Wine: the DLL loaded by the host program, its answers to bad
#     input, the settings file beside it, and that every song renders to the
#     same bytes as on Linux. The 64-bit build runs wherever Wine does; the
#     32-bit one wherever wine32 can run 32-bit programs, natively or through
#     the emulator that scripts/enable-32bit.sh registers, and is reported as
#     skipped, with the reason, otherwise.
# Installs nothing (scripts/install-deps.sh does). Build folders default to
# build/mingw32, build/mingw64 and build/release (the Linux reference);
# VELNARI_MINGW32_BUILD, VELNARI_MINGW64_BUILD and VELNARI_LINUX_BUILD
# override them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

declare -A build_dir=(
    [32]=${VELNARI_MINGW32_BUILD:-build/mingw32}
    [64]=${VELNARI_MINGW64_BUILD:-build/mingw64}
)
declare -A triple=([32]=i686-w64-mingw32 [64]=x86_64-w64-mingw32)
declare -A pe_format=([32]=pei-i386 [64]=pei-x86-64)
linux_dir=${VELNARI_LINUX_BUILD:-build/release}
seconds=3  # length of each compared render

passed=0 failed=0 skipped=0
pass() { echo "PASS $*"; passed=$((passed + 1)); }
fail() { echo "FAIL $*"; failed=$((failed + 1)); }
skip() { echo "SKIP $*"; skipped=$((skipped + 1)); }
check() {  # check "what" command...
    local what=$1; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

work=$(mktemp -d)
wine_prefix=$work/wineprefix
cleanup() {
    if [ -n "${wineserver:-}" ] && [ -d "$wine_prefix" ]; then
        WINEPREFIX=$wine_prefix "$wineserver" -k >/dev/null 2>&1
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- building ---------------------------------------------------------------

build_windows() {  # BITS
    local dir=${build_dir[$1]} log=$work/build$1.log
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake --preset "mingw$1" -B "$dir" >"$log" 2>&1 || { tail -20 "$log"; return 1; }
    fi
    cmake --build "$dir" -j2 >>"$log" 2>&1 || { grep -E 'error|Error' "$log" | head -20; return 1; }
}

no_warnings() {  # LOG: only what this run compiled is in it
    grep -q 'warning:' "$1" || return 0
    grep 'warning:' "$1" | head -10
    return 1
}

build_linux() {
    local log=$work/build-linux.log
    if [ ! -f "$linux_dir/CMakeCache.txt" ]; then
        cmake --preset release -B "$linux_dir" >"$log" 2>&1 || { tail -20 "$log"; return 1; }
    fi
    cmake --build "$linux_dir" --target velnari_module velnari-host misbehaving-host -j2 >>"$log" 2>&1 ||
        { tail -20 "$log"; return 1; }
}

# --- looking at the binaries ------------------------------------------------

exported_names() {  # BITS FILE
    "${triple[$1]}-objdump" -p "$2" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {on = 0} on {print $NF}' |
        sort | tr '\n' ' '
}

exports_are_plain() {  # BITS DLL
    local names; names=$(exported_names "$1" "$2")
    [ "$names" = "_ZN8CvelnariaSERKS_ kmp_GetTestModule " ] || { echo "  exports: $names"; return 1; }
}

imported_dlls() {  # BITS FILE
    "${triple[$1]}-objdump" -p "$2" | awk '/DLL Name:/ {print $3}' | sort -f | tr '\n' ' '
}

imports_only_system_dlls() {  # BITS FILE
    local dll bad=0
    for dll in $(imported_dlls "$1" "$2"); do
        case ${dll,,} in
            kernel32.dll | user32.dll | msvcrt.dll | shlwapi.dll) ;;
            *) echo "  imports $dll"; bad=1 ;;
        esac
    done
    return $bad
}

is_machine() {  # BITS FILE
    grep -q "file format ${pe_format[$1]}" <<<"$("${triple[$1]}-objdump" -f "$2")"
}

# 32-bit stdcall functions carry their argument bytes in the symbol name.
entry_points_are_stdcall() {  # DLL
    local symbols missing=0 name
    symbols=$(i686-w64-mingw32-nm "$1")
    for name in _kmp_GetTestModule@0 __ZN6plugin4OpenEPKcP9SoundInfo@8 __ZN6plugin5CloseEPv@4 \
        __ZN6plugin6RenderEPvPhj@12 __ZN6plugin11SetPositionEPvj@8 _DllMain@12; do
        grep -q " T $name\$" <<<"$symbols" || { echo "  no $name"; missing=1; }
    done
    return $missing
}

# Reading the 32-bit DLL's initialised data, to check the record it hands out
# without running it. Addresses are virtual addresses in the DLL's image.
dll_bytes() {  # DLL VA COUNT: the bytes as one hex string
    i686-w64-mingw32-objdump -s --start-address=$(($2)) --stop-address=$(($2 + $3)) "$1" |
        awk '/^ [0-9a-f]+ / { s = substr($0, length($1) + 3, 35); gsub(/ /, "", s); printf "%s", s }'
}

dll_word() {  # DLL VA: a little-endian 32-bit word, in decimal
    local h; h=$(dll_bytes "$1" "$2" 4)
    echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2}))
}

dll_string() {  # DLL VA: the NUL-terminated text there (at most 255 bytes)
    local h; h=$(dll_bytes "$1" "$2" 256)
    local i text=
    for ((i = 0; i < ${#h}; i += 2)); do
        [ "${h:i:2}" = 00 ] && break
        text+="\\x${h:i:2}"
    done
    printf "$text"
}

dll_symbol() {  # DLL NAME: the address of a global function, in decimal
    local a; a=$(i686-w64-mingw32-nm "$1" | awk -v n="$2" '$2 == "T" && $3 == n { print $1 }')
    [ -n "$a" ] && echo $((16#$a))
}

# The address kmp_GetTestModule returns: its code is `mov $record, %eax; ret`,
# possibly behind a jump to the function that holds it.
dll_record_address() {  # DLL
    local at code
    at=$(dll_symbol "$1" _kmp_GetTestModule@0) || return 1
    for _ in 1 2; do
        code=$(i686-w64-mingw32-objdump -d --start-address=$at --stop-address=$((at + 8)) "$1" |
            grep -m1 -E '^ *[0-9a-f]+:')
        if [[ $code =~ jmp\ +([0-9a-f]+) ]]; then
            at=$((16#${BASH_REMATCH[1]}))
        elif [[ $code =~ mov\ +\$0x([0-9a-f]+),%eax ]]; then
            echo $((16#${BASH_REMATCH[1]}))
            return 0
        fi
    done
    echo "  unexpected code in kmp_GetTestModule: $code" >&2
    return 1
}

record_in_dll_is_right() {  # DLL
    local dll=$1 rec w i bad=0
    rec=$(dll_record_address "$dll") || return 1
    local -a f
    for i in {0..12}; do f[i]=$(dll_word "$dll" $((rec + 4 * i))); done
    expect() { [ "$2" = "$3" ] || { echo "  $1: $2, expected $3"; bad=1; }; }
    expect version "${f[0]}" 100
    expect "plug-in version" "${f[1]}" 1
    local copyright description
    copyright=$(dll_string "$dll" "${f[2]}") description=$(dll_string "$dll" "${f[3]}")
    [ -n "$copyright" ] && [ -n "$description" ] || { echo "  empty texts"; bad=1; }
    expect "first extension" "$(dll_string "$dll" "$(dll_word "$dll" "${f[4]}")")" .mml
    expect "second extension" "$(dll_string "$dll" "$(dll_word "$dll" $((f[4] + 4)))")" .tarsel
    expect "end of the extension list" "$(dll_word "$dll" $((f[4] + 8)))" 0
    expect reentrant "${f[5]}" 1
    expect "initialise hook" "${f[6]}" 0
    expect "de-initialise hook" "${f[7]}" 0
    expect Open "${f[8]}" "$(dll_symbol "$dll" __ZN6plugin4OpenEPKcP9SoundInfo@8)"
    expect OpenFromBuffer "${f[9]}" 0
    expect Close "${f[10]}" "$(dll_symbol "$dll" __ZN6plugin5CloseEPv@4)"
    expect Render "${f[11]}" "$(dll_symbol "$dll" __ZN6plugin6RenderEPvPhj@12)"
    expect SetPosition "${f[12]}" "$(dll_symbol "$dll" __ZN6plugin11SetPositionEPvj@8)"
    [ "$bad" -eq 0 ] && echo "  \"$copyright\" / \"$description\""
    return $bad
}

# The record and the output format as the host's compiler lays them out.
record_layout_holds() {  # BITS
    local asserts
    if [ "$1" = 32 ]; then
        asserts='static_assert(sizeof(ModuleRecord) == 52);
                 static_assert(offsetof(ModuleRecord, extensions) == 16);
                 static_assert(offsetof(ModuleRecord, reentrant) == 20);
                 static_assert(offsetof(ModuleRecord, open) == 32);
                 static_assert(offsetof(ModuleRecord, setPosition) == 48);'
    else
        asserts='static_assert(sizeof(ModuleRecord) == 96);
                 static_assert(offsetof(ModuleRecord, reentrant) == 32);
                 static_assert(offsetof(ModuleRecord, setPosition) == 88);'
    fi
    printf '#include <cstddef>\n#include "plugin/ModuleRecord.h"\n%s\nstatic_assert(sizeof(SoundInfo) == 32);\n' \
        "$asserts" | "${triple[$1]}-g++-posix" -std=c++20 -fsyntax-only -I src -x c++ -
}

all_compiles_use_sse_maths() {  # DIR
    local total sse
    total=$(grep -c '"command"' "$1/compile_commands.json")
    sse=$(grep '"command"' "$1/compile_commands.json" | grep -c -- '-msse2 -mfpmath=sse')
    [ "$total" -gt 0 ] && [ "$total" -eq "$sse" ] || { echo "  $sse of $total"; return 1; }
}

boost_comes_from_its_own_folder() {  # DIR
    local folder=$1/boost-include
    [ "$(ls -A "$folder")" = boost ] || { echo "  $folder holds: $(ls -A "$folder")"; return 1; }
    local pattern='(-I|-isystem )/usr/include( |\\"|")'
    grep -qE -- "$pattern" "$1/compile_commands.json" || return 0
    grep -E -- "$pattern" "$1/compile_commands.json" | head -3
    return 1
}

# --- running under Wine -----------------------------------------------------

wine64=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
# wine32's own loader: the `wine` command falls back to wine64 without it.
wine32=$( [ -x /usr/lib/wine/wine ] && echo /usr/lib/wine/wine || true)
wineserver=$(command -v wineserver || { [ -x /usr/lib/wine/wineserver64 ] && echo /usr/lib/wine/wineserver64; } || true)

run_windows() {  # BITS DIR args...: the host under Wine, headless, from DIR
    local bits=$1 dir=$2; shift 2
    local loader=$wine64
    [ "$bits" = 32 ] && loader=$wine32
    (cd "$dir" && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 120 "$loader" ./velnari-host.exe "$@")
}

# Replays the stored fuzz inputs of TARGET through the Windows build's
# fuzz_replay, from the source tree.
replay_windows() {  # BITS TARGET
    local bits=$1 target=$2 loader=$wine64 folder paths=() log=$work/replay$1-$2.log
    [ "$bits" = 32 ] && loader=$wine32
    for folder in corpus regressions; do
        [ -d "tests/fuzz/$folder/$target" ] && paths+=("tests/fuzz/$folder/$target")
    done
    if ! env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 600 "$loader" \
        "${build_dir[$bits]}/tests/fuzz_replay.exe" "$target" "${paths[@]}" >"$log" 2>&1; then
        tail -5 "$log"
        return 1
    fi
    grep -q "inputs ran clean" "$log"
}

# The chip's random register streams (tests/fm/RegisterStreams.h) through
# this build's fm_streams: the same bytes as recorded on Linux.
chip_streams_match() {  # BITS
    local loader=$wine64
    [ "$1" = 32 ] && loader=$wine32
    env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 600 "$loader" \
        "${build_dir[$1]}/tests/fm_streams.exe" >"$work/streams$1.log" 2>&1 ||
        { tail -5 "$work/streams$1.log"; return 1; }
}

# Succeeds, printing why, when this machine cannot run the 32-bit host.
why_32bit_cannot_run() {
    if [ -z "$wine32" ]; then
        echo "wine32 is not installed (scripts/install-deps.sh installs wine32:i386)"
        return 0
    fi
    mkdir -p "$work/probe32" && cp "${build_dir[32]}/velnari-host.exe" "$work/probe32/" &&
        run_windows 32 "$work/probe32" --help >"$work/probe32/out.txt" 2>&1 &&
        grep -q '^usage:' "$work/probe32/out.txt" && return 1
    if grep -q '^wine-' <<<"$(timeout 60 "$wine32" --version 2>/dev/null)"; then
        echo "wine32 runs, but the 32-bit host does not: $(head -c 200 "$work/probe32/out.txt")"
    elif [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo "32-bit programs do not run even through the registered emulator" \
            "($(sed -n 's/^interpreter //p' /proc/sys/fs/binfmt_misc/qemu-i386))"
    elif [ "$(id -u)" -ne 0 ]; then
        echo "this machine cannot run 32-bit programs, and registering an emulator for them" \
            "needs root (run scripts/install-deps.sh as root)"
    elif ! grep -qw binfmt_misc /proc/filesystems 2>/dev/null; then
        echo "this machine cannot run 32-bit programs, and its kernel has no binfmt_misc" \
            "to register an emulator with"
    else
        echo "this machine cannot run 32-bit programs, and no emulator is registered" \
            "(scripts/enable-32bit.sh registers one)"
    fi
    return 0
}

# One case of misbehaving-host (tests/host/MisbehavingHost.cpp) against the
# DLL, from DIR, which holds duet.mml and takes its scratch files.
misbehaving_host() {  # BITS DIR CASE
    local loader=$wine64 log=$scratch/misbehaving.log
    [ "$1" = 32 ] && loader=$wine32
    (cd "$2" && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$loader" ./misbehaving-host.exe \
        velnari.dll . . "$3") >"$log" 2>&1
    local status=$?
    grep -q '^PASS ' "$log" && [ "$status" -eq 0 ] && { grep '^  ' "$log"; return 0; }
    tail -5 "$log"
    return 1
}

run_linux() {  # DIR args...
    local dir=$1; shift
    (cd "$dir" && timeout 120 ./velnari-host "$@")
}

# Opens SONG with Wine's relay trace on and keeps the calls that reach the
# debugger output and the message box, with their arguments as Wine prints
# them: MessageBoxA(owner,text,caption,style).
trace_open() {  # BITS DIR SONG
    local loader=$wine64
    [ "$1" = 32 ] && loader=$wine32
    (cd "$2" && env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all,+relay \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 120 "$loader" ./velnari-host.exe velnari.dll "$3" \
        2>&1 >/dev/null) | grep -a -E 'Call (KERNEL32\.OutputDebugStringA|user32\.MessageBoxA)\(' \
        >"$scratch/trace.txt"
}

debug_output_names() {  # FILE: the file name went to the debugger output, as given
    grep -qF "OutputDebugStringA(" "$scratch/trace.txt" && grep -qF " \"$1\")" "$scratch/trace.txt" ||
        { cat "$scratch/trace.txt"; return 1; }
}

one_message_box() {  # TEXT: one box, no owner, the Shift-JIS caption, an OK button only
    local boxes
    boxes=$(grep -c 'MessageBoxA' "$scratch/trace.txt")
    [ "$boxes" -eq 1 ] && grep -qE "MessageBoxA\(0+,[0-9a-f]+ \"$1\",[0-9a-f]+ \"\\\\x83G\\\\x83\\\\x89\\\\x81\\[\",0+\)" \
        "$scratch/trace.txt" || { echo "  $boxes boxes:"; cat "$scratch/trace.txt"; return 1; }
}

no_message_box() { ! grep -q 'MessageBoxA' "$scratch/trace.txt"; }

# Bytes as Wine's trace prints a string: printable ASCII as it is, '\' and '"'
# escaped, a line feed as \n, any other byte as \xNN.
wine_trace_text() {  # TEXT
    local LC_ALL=C
    local text=$1 out= i c
    for ((i = 0; i < ${#text}; i++)); do
        c=${text:i:1}
        case $c in
            '\') out+='\\' ;;
            '"') out+='\"' ;;
            $'\n') out+='\n' ;;
            [' '-'~']) out+=$c ;;
            *) printf -v c '\\x%02x' "'$c"; out+=$c ;;
        esac
    done
    printf '%s' "$out"
}

ere_quoted() { sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$1"; }

# Under a Japanese locale Wine's ANSI code page is 932 (Shift-JIS): the host
# hands the DLL its file names in Shift-JIS, and the DLL must open them and
# name them so in its messages.
japanese() { LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8 "$@"; }

has_japanese_locale() {
    grep -qx 'ja_JP.utf8' <<<"$(locale -a 2>/dev/null)" ||
        { echo "  no ja_JP.UTF-8 locale (scripts/install-deps.sh generates it)"; return 1; }
}

japanese_song_plays() {  # BITS: the same bytes as the Linux twin's render of the song
    rm -f "$linux_ref/linux.raw" "$work/win$1/win.raw"
    run_linux "$linux_ref" ./velnari.so "音楽/曲.mml" --quiet --out linux.raw --seconds 1 \
        >/dev/null 2>&1 || { echo "  the Linux render failed"; return 1; }
    japanese run_windows "$1" "$work/win$1" velnari.dll '音楽\曲.mml' --quiet --out win.raw \
        --seconds 1 >/dev/null 2>&1 || { echo "  the Windows render failed"; return 1; }
    [ -s "$linux_ref/linux.raw" ] && cmp "$linux_ref/linux.raw" "$work/win$1/win.raw"
}

exits_with() {  # CODE runner args...
    local want=$1; shift
    "$@" >"$scratch/out.txt" 2>"$scratch/err.txt"
    local got=$?
    [ "$got" -eq "$want" ] || { echo "  exit $got, expected $want"; head -5 "$scratch/out.txt" "$scratch/err.txt"; return 1; }
}

# Renders the same request on Linux and Windows and compares the bytes.
same_bytes() {  # BITS SONG args...
    local bits=$1 song=$2; shift 2
    rm -f "$linux_ref/linux.raw" "$work/win$bits/win.raw"
    run_linux "$linux_ref" ./velnari.so "$song" --quiet --out linux.raw "$@" >/dev/null 2>&1 ||
        { echo "  the Linux render failed"; return 1; }
    run_windows "$bits" "$work/win$bits" velnari.dll "$song" --quiet --out win.raw "$@" \
        >/dev/null 2>&1 || { echo "  the Windows render failed"; return 1; }
    [ -s "$linux_ref/linux.raw" ] || { echo "  nothing rendered"; return 1; }
    cmp "$linux_ref/linux.raw" "$work/win$bits/win.raw"
}

# With ExactSeek=1 beside the DLL: SetPosition(20000) one second in returns
# 20000, and the bytes from there are those of a fresh open at 20 s.
exact_seek_lands() {  # BITS
    local dir=$work/win$1
    rm -f "$dir/seek.raw" "$dir/fresh.raw"
    run_windows "$1" "$dir" velnari.dll duet.mml --out seek.raw --seconds 3 --seek-at 1000 \
        --seek-to 20000 >"$scratch/out.txt" 2>&1 || { echo "  the seeking render failed"; return 1; }
    grep -q 'SetPosition(20000) returned 20000' "$scratch/out.txt" || { cat "$scratch/out.txt"; return 1; }
    run_windows "$1" "$dir" velnari.dll duet.mml --quiet --out fresh.raw --seconds 22 \
        >/dev/null 2>&1 || { echo "  the fresh render failed"; return 1; }
    cmp -n 176400 "$dir/seek.raw" "$dir/fresh.raw" &&
        cmp -n 352800 "$dir/seek.raw" "$dir/fresh.raw" 176400 3528000
}

differs_from_default() {  # BITS: the last Windows render differs from one without settings
    [ -s "$work/win$1/win.raw" ] || return 1
    cp "$work/win$1/win.raw" "$scratch/with-settings.raw"
    mv "$work/win$1/velnari.ini" "$scratch/velnari.ini.held"
    run_windows "$1" "$work/win$1" velnari.dll duet.mml --quiet --out win.raw --seconds 1 \
        >/dev/null 2>&1
    mv "$scratch/velnari.ini.held" "$work/win$1/velnari.ini"
    [ -s "$work/win$1/win.raw" ] && ! cmp -s "$scratch/with-settings.raw" "$work/win$1/win.raw"
}

settings_cases=(
    "both volumes|[velnari]\nFMVolume=-20\nPSGVolume=8\n"
    "Windows line ends|[velnari]\r\nFMVolume=-20\r\nPSGVolume=8\r\n"
    "blanks around keys and values|[velnari]\n  FMVolume =  -20  \nPSGVolume\t=8\n"
    "quoted value|[velnari]\nFMVolume=\"-20\"\n"
    "names in another case|[VELNARI]\nfmvolume=-20\n"
    "duplicate keys|[velnari]\nFMVolume=-20\nFMVolume=6\n"
    "no section|FMVolume=-20\nPSGVolume=8\n"
    "FM not a number|[velnari]\nFMVolume=abc\nPSGVolume=-6\n"
    "SSG not a number|[velnari]\nFMVolume=4\nPSGVolume=abc\n"
    "a fraction|[velnari]\nFMVolume=4.5\nPSGVolume=8\n"
    "a blank inside the number|[velnari]\nFMVolume=- 20\nPSGVolume=8\n"
    "beyond 32 bits|[velnari]\nFMVolume=4294967296\nPSGVolume=8\n"
    "a 301-character value|[velnari]\nFMVolume=$(printf '0%.0s' {1..300})4\nPSGVolume=8\n"
    "an empty file|"
)

# The checks of one build under Wine. The 32-bit and the 64-bit build are
# checked at once, each with its own folders: the DLL's ($work/winBITS), a
# copy of the Linux reference ($linux_ref) and scratch files ($scratch).
run_checks_under_wine() {  # BITS
    local bits=$1 dir=$work/win$1 song name
    scratch=$work/scratch$bits linux_ref=$work/linux$bits
    mkdir -p "$dir" "$scratch" "$linux_ref"
    cp -r "$work"/linux/* "$linux_ref/"
    cp "${build_dir[$bits]}/velnari.dll" "${build_dir[$bits]}/velnari-host.exe" \
        "${build_dir[$bits]}/misbehaving-host.exe" "$dir/"
    cp -r "$work"/songs/* "$dir/"

    check "win$bits: the host loads the DLL and its record checks out" \
        exits_with 0 run_windows "$bits" "$dir" velnari.dll
    check "win$bits: null arguments and odd render sizes are handled" \
        exits_with 0 run_windows "$bits" "$dir" velnari.dll duet.mml --probe --quiet
    check "win$bits: a missing song fails the open" \
        exits_with 4 run_windows "$bits" "$dir" velnari.dll none.mml
    check "win$bits: an empty song fails the open" \
        exits_with 4 run_windows "$bits" "$dir" velnari.dll empty.mml
    check "win$bits: a faulty song fails the open without waiting on the message box" \
        exits_with 4 run_windows "$bits" "$dir" velnari.dll faulty.mml
    check "win$bits: a rate the player refuses fails the open" \
        exits_with 4 run_windows "$bits" "$dir" velnari.dll duet.mml --rate 1
    trace_open "$bits" "$dir" faulty.mml
    check "win$bits: Open sends the file name to the debugger output" debug_output_names faulty.mml
    check "win$bits: the compile fault is shown in one message box, with file, line and caption" \
        one_message_box 'faulty.mml\(3\) : parse error at \\"! f4\\"\\n'
    trace_open "$bits" "$dir" none.mml
    check "win$bits: a missing song shows no message box" no_message_box

    # 表 ends in the byte of '\' in Shift-JIS.
    local shift_jis
    check "win$bits: under a Japanese locale 音楽\\曲.mml renders the same bytes as on Linux" \
        japanese_song_plays "$bits"
    japanese trace_open "$bits" "$dir" '音楽\表.mml'
    shift_jis=$(printf '%s' '音楽\表.mml' | iconv -f UTF-8 -t CP932)
    check "win$bits: under a Japanese locale the compile fault's message box names 音楽\\表.mml" \
        one_message_box "$(ere_quoted "$(wine_trace_text "$shift_jis(3) : parse error at \"! f4\"
")")"

    for song in "$work"/songs/*.mml "$work"/songs/*.tarsel; do
        [ -f "$song" ] || continue
        name=$(basename "$song")
        case $name in empty.mml | faulty.mml) continue ;; esac
        check "win$bits: $name renders the same bytes as on Linux" \
            same_bytes "$bits" "$name" --seconds "$seconds"
    done
    check "win$bits: 48000 Hz in 4098-byte requests, the same bytes as on Linux" \
        same_bytes "$bits" duet.mml --seconds 2 --rate 48000 --chunk 4098
    check "win$bits: a seek part-way gives the same bytes as on Linux" \
        same_bytes "$bits" duet.mml --seconds 2 --seek-at 700 --seek-to 90000

    local entry what text
    for entry in "${settings_cases[@]}"; do
        what=${entry%%|*} text=${entry#*|}
        printf "$text" >"$dir/velnari.ini"
        printf "$text" >"$linux_ref/velnari.ini"
        check "win$bits: settings file beside the DLL ($what): the same bytes as on Linux" \
            same_bytes "$bits" duet.mml --seconds 1
        if [ "$what" = "both volumes" ]; then
            check "win$bits: the settings file beside the DLL changes the output" \
                differs_from_default "$bits"
        fi
    done
    printf '[velnari]\nExactSeek=1\n' >"$dir/velnari.ini"
    printf '[velnari]\nExactSeek=1\n' >"$linux_ref/velnari.ini"
    check "win$bits: ExactSeek=1: a seek lands on a fresh open's bytes at that position" \
        exact_seek_lands "$bits"
    check "win$bits: ExactSeek=1: a seek part-way gives the same bytes as on Linux" \
        same_bytes "$bits" duet.mml --seconds 2 --seek-at 700 --seek-to 90000
    rm -f "$dir/velnari.ini" "$linux_ref/velnari.ini"
    mkdir "$dir/velnari.ini" "$linux_ref/velnari.ini"
    check "win$bits: a settings file that cannot be read: the same bytes as on Linux" \
        same_bytes "$bits" duet.mml --seconds 1
    rmdir "$dir/velnari.ini" "$linux_ref/velnari.ini"

    local case
    for case in $("$linux_dir/misbehaving-host" --list); do
        check "win$bits: a misbehaving host: $case" misbehaving_host "$bits" "$dir" "$case"
    done

    check "win$bits: the chip's random register streams render the recorded bytes" \
        chip_streams_match "$bits"

    local target
    for target in compile render chip settings; do
        check "win$bits: the stored fuzz inputs of $target hold every check" \
            replay_windows "$bits" "$target"
    done
}

# --- the run ----------------------------------------------------------------

for bits in 32 64; do
    if build_windows "$bits"; then
        pass "mingw$bits: builds"
        check "mingw$bits: no compiler warnings in this build" no_warnings "$work/build$bits.log"
    else
        fail "mingw$bits: builds"
        continue
    fi
    dir=${build_dir[$bits]}
    check "mingw$bits: velnari.dll is a ${pe_format[$bits]} module" is_machine "$bits" "$dir/velnari.dll"
    check "mingw$bits: velnari.dll exports kmp_GetTestModule undecorated, and Cvelnari::operator=" \
        exports_are_plain "$bits" "$dir/velnari.dll"
    check "mingw$bits: velnari.dll imports only system DLLs ($(imported_dlls "$bits" "$dir/velnari.dll"))" \
        imports_only_system_dlls "$bits" "$dir/velnari.dll"
    check "mingw$bits: velnari-host.exe imports only system DLLs" \
        imports_only_system_dlls "$bits" "$dir/velnari-host.exe"
    check "mingw$bits: ModuleRecord and SoundInfo have the host's layout" record_layout_holds "$bits"
    check "mingw$bits: Boost headers come from a folder holding only boost/" \
        boost_comes_from_its_own_folder "$dir"
done
check "mingw32: the entry points and DllMain use the stdcall convention" \
    entry_points_are_stdcall "${build_dir[32]}/velnari.dll"
check "mingw32: the record in velnari.dll holds the versions, texts, extensions and entry points" \
    record_in_dll_is_right "${build_dir[32]}/velnari.dll"
check "mingw32: every source is compiled with SSE2 maths" all_compiles_use_sse_maths "${build_dir[32]}"

if ! build_linux; then
    fail "the Linux reference build (velnari.so, velnari-host)"
elif [ -z "$wine64" ] || [ -z "$wineserver" ]; then
    skip "runs under Wine: wine64 is not installed"
else
    mkdir -p "$work/linux" "$work/songs"
    cp "$linux_dir/velnari.so" "$linux_dir/velnari-host" "$work/linux/"
    cp tests/host/data/*.mml "$work/songs/"
    cp tests/host/data/duet.mml "$work/songs/a name with blanks.mml"
    mkdir -p "$work/songs/音楽"
    cp tests/host/data/duet.mml "$work/songs/音楽/曲.mml"
    cp tests/host/data/faulty.mml "$work/songs/音楽/表.mml"
    for song in examples/*.mml examples/*.tarsel; do
        [ -f "$song" ] && cp "$song" "$work/songs/"
    done
    cp -r "$work"/songs/* "$work/linux/"
    check "the ja_JP.UTF-8 locale exists" has_japanese_locale

    # Both builds run at once: most of the time goes to starting Wine, one
    # process after the other, so each keeps about one core busy. The prefix
    # is made first, by the 64-bit loader, so that they do not race to make it.
    env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX="$wine_prefix" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$wine64" wineboot --init >/dev/null 2>&1
    runs=()
    if [ -f "${build_dir[64]}/velnari.dll" ]; then
        runs+=(64)
    else
        fail "win64: no DLL to run"
    fi
    if [ ! -f "${build_dir[32]}/velnari.dll" ]; then
        fail "win32: no DLL to run"
    elif ! why=$(why_32bit_cannot_run); then
        runs+=(32)
    else
        skip "win32: the 32-bit DLL is not run: $why"
    fi
    for bits in "${runs[@]}"; do
        run_checks_under_wine "$bits" >"$work/checks$bits.log" 2>&1 &
    done
    wait
    # Each build's results in one piece, counted here.
    for bits in "${runs[@]}"; do
        cat "$work/checks$bits.log"
        passed=$((passed + $(grep -c '^PASS ' "$work/checks$bits.log")))
        failed=$((failed + $(grep -c '^FAIL ' "$work/checks$bits.log")))
        skipped=$((skipped + $(grep -c '^SKIP ' "$work/checks$bits.log")))
    done
fi

summary="windows: $passed passed, $failed failed"
[ "$skipped" -gt 0 ] && summary+=", $skipped skipped"
echo "$summary"
[ "$failed" -eq 0 ]
