#!/usr/bin/env bash
# Builds the fuzz targets of the readers and runs one of them (or all, one
# after the other) for a given number of seconds.
#
#   tools/fuzz.sh tree|text|fvs|init|all SECONDS
#
# The build goes to build-fuzz (clang++, ASan, UBSan, libFuzzer). Each target
# starts from the committed seeds in tests/fuzz/corpus/<target> and grows a
# working corpus in build-fuzz/corpus/<target>, so the seeds stay as they are.
# Crashing inputs land in build-fuzz/artifacts/<target>/, the log in
# build-fuzz/logs/<target>.log. The status is nonzero when a target found
# anything. With FUZZ_PARALLEL=1, `all` runs the four targets at once.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 2 ] || ! [[ "$2" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 tree|text|fvs|init|all SECONDS" >&2
    exit 2
fi
what=$1
seconds=$2
case "$what" in
    tree | text | fvs | init) targets=("$what") ;;
    all) targets=(tree text fvs init) ;;
    *)
        echo "unknown target: $what" >&2
        exit 2
        ;;
esac

build=${FUZZ_BUILD:-build-fuzz}
jobs=${JOBS:-1}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DZORTAN_FUZZ=ON -DZORTAN_TESTS=OFF -DZORTAN_BENCH=OFF
fi
cmake --build "$build" -j"$jobs" --target "${targets[@]/#/zortan-fuzz-}"

# The largest input worth trying: a few node blocks of a tree, a few hundred
# rows of a table, a header and five event records, a long options file.
max_len() {
    case "$1" in
        tree) echo 32768 ;;
        text) echo 16384 ;;
        fvs) echo $((1812 * 6 + 100)) ;;
        init) echo 4096 ;;
    esac
}

# The sessions write their files in a memory-backed folder when there is one.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

mkdir -p "$build/logs"
run_target() {
    local t=$1
    local corpus="$build/corpus/$t"
    local artifacts="$build/artifacts/$t/"
    local log="$build/logs/$t.log"
    mkdir -p "$corpus" "$artifacts"
    echo "fuzzing $t for ${seconds}s (log: $log)"
    if ! "$build/tests/fuzz/zortan-fuzz-$t" "$corpus" "tests/fuzz/corpus/$t" \
        -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=20 -rss_limit_mb=2048 \
        -artifact_prefix="$artifacts" -print_final_stats=1 >"$log" 2>&1; then
        echo "$t: FOUND A FAULT, see $log and $artifacts" >&2
        grep -E -A3 'ERROR|terminate called|what\(\)' "$log" | head -n 20 >&2
        return 1
    fi
    echo "$t: $(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -n 1)"
}

status=0
if [ "${FUZZ_PARALLEL:-}" = "1" ]; then
    pids=()
    for t in "${targets[@]}"; do
        run_target "$t" &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do wait "$pid" || status=1; done
else
    for t in "${targets[@]}"; do run_target "$t" || status=1; done
fi
exit $status
