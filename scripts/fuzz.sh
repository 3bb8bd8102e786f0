#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer, preset "fuzz", build/fuzz/) and runs each one from the seed corpus
# in tests/fuzz/corpus/<target>/ and the stored regressions in
# tests/fuzz/regressions/<target>/.
#
#   scripts/fuzz.sh smoke   a short fixed budget per target (CI, "make check")
#   scripts/fuzz.sh long    a long run per target ("make fuzz")
#
# Environment:
#   VELNARI_FUZZ_SMOKE_SECONDS  budget per target for smoke (default 45, at most 60)
#   VELNARI_FUZZ_JOBS           targets run at once (default: the number of cores)
#   VELNARI_FUZZ_SECONDS        budget per target for long (default 1800)
#   VELNARI_FUZZ_TARGETS        targets to run (default "compile render chip settings reglog")
#
# New inputs never go into the repository: smoke runs grow a throw-away
# corpus in a temporary folder, long runs keep theirs in build/fuzz/corpus/.
# A crash, a sanitizer report, a broken invariant, an input slower than the
# target's time bound or a memory blow-up fails the target; the input is
# saved in build/fuzz/artifacts/<target>/. The last line of output is
# "fuzz: N passed, M failed".
set -u

mode=${1:-smoke}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
targets=${VELNARI_FUZZ_TARGETS:-"compile render chip settings reglog"}

case "$mode" in
    smoke)
        seconds=${VELNARI_FUZZ_SMOKE_SECONDS:-45}
        if [ "$seconds" -gt 60 ]; then seconds=60; fi
        ;;
    long)
        seconds=${VELNARI_FUZZ_SECONDS:-1800}
        ;;
    *)
        echo "usage: $0 [smoke|long]" >&2
        exit 2
        ;;
esac

count=$(wc -w <<<"$targets")

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ not found (Debian packages clang and libclang-rt-14-dev)" >&2
    echo "fuzz: 0 passed, $count failed"
    exit 1
fi

echo "fuzz: building the targets in build/fuzz"
mkdir -p "$build"
if ! { (cd "$root" && cmake --preset fuzz) >"$build/configure.log" 2>&1 &&
       cmake --build "$build" -j2 $(for t in $targets; do echo "--target fuzz_$t"; done) \
           >"$build/build.log" 2>&1; }; then
    tail -n 30 "$build/configure.log" "$build/build.log" 2>/dev/null >&2
    echo "fuzz: build failed (build/fuzz/configure.log, build/fuzz/build.log)" >&2
    echo "fuzz: 0 passed, $count failed"
    exit 1
fi

# The time bound per input: compiling a file of at most max_len bytes, and a
# chip operation stream, take milliseconds; rendering takes a few seconds of
# output per input (twice, for the request-size check), so it gets more.
timeout_of() {
    case "$1" in
        render) echo 30 ;;
        *) echo 10 ;;
    esac
}

if [ "$mode" = smoke ]; then
    work_root=$(mktemp -d "${TMPDIR:-/tmp}/velnari-fuzz.XXXXXX")
    trap 'rm -rf "$work_root"' EXIT
else
    work_root="$build/corpus"
fi

# One target: its run, then a line saying how it went in $work_root/$t.result
# (the status first).
run_target() {
    local t=$1
    local work="$work_root/$t"
    local artifacts="$build/artifacts/$t"
    mkdir -p "$work" "$artifacts"
    local seeds=("$root/tests/fuzz/corpus/$t")
    if [ -d "$root/tests/fuzz/regressions/$t" ]; then
        seeds+=("$root/tests/fuzz/regressions/$t")
    fi
    # The song targets get the words of the language as a dictionary.
    local dict=()
    case "$t" in
        compile | render) dict=(-dict="$root/tests/fuzz/mml.dict") ;;
    esac
    local log="$build/fuzz-$t-$mode.log" status
    echo "fuzz: $t for ${seconds}s (log: build/fuzz/fuzz-$t-$mode.log)"
    # The first folder receives new inputs; the seed folders are only read.
    if "$build/fuzz_$t" -max_total_time="$seconds" -timeout="$(timeout_of "$t")" \
        -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1; then
        status=passed
    else
        status=FAILED
        grep -E 'ERROR|runtime error|invariant|Test unit written|timeout' "$log" | head -n 10 >&2
    fi
    local stats runs
    stats=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -n 1 |
            grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*')
    runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$')
    echo "$status (${runs:-?} runs, ${stats:-no coverage figures})" >"$work_root/$t.result"
}

# Each run uses one core: as many run at once as there are cores, so the
# budget per target stays the same and the whole takes less time.
parallel=${VELNARI_FUZZ_JOBS:-$(nproc 2>/dev/null || echo 1)}
[ "$parallel" -ge 1 ] 2>/dev/null || parallel=1
for t in $targets; do
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
    run_target "$t" &
done
wait

passed=0
failed=0
for t in $targets; do
    result=$(cat "$work_root/$t.result" 2>/dev/null || echo "FAILED (no result)")
    case "$result" in
        passed*) passed=$((passed + 1)) ;;
        *) failed=$((failed + 1)) ;;
    esac
    echo "fuzz: $t $result"
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
