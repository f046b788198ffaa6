#!/usr/bin/env bash
# What each speed-up of the coder takes off a whole run: the console over an
# fvs file of EVENTS events (500,000 by default) with every output on, at
# K = 16, 256 and 4096, with the speed-ups added in turn and with each left
# out of all of them. The figures were taken on the coder as it stood just
# before its speed-ups were put behind one seam (commit 78180aa), where each
# can be switched at run time: this script builds that commit twice in a
# temporary work tree, with bench/speedup_levels.patch (ZORTAN_SPEEDUPS picks
# the speed-ups) and once without the vector-width clones, then runs the
# levels in turn, round after round, and prints the medians.
#
# Levels: 0 EncodeEvent with extended sums, one record per read, no thread;
# 1 + double sums with their bound; 2 + the prepared tree (dot products and
# walk steps); 3 + many records per read; 4 + the reading thread; 5 + the
# decisions made ahead on it; 6 + the error counts as steps; 7 + the clones.
# Left out of 7: 8 the double sums, 9 the steps, 10 the decisions ahead,
# 11 the reading thread (the program's thread then decides ahead itself).
#
# usage: bench/speedup_table.sh [REPS]   (KS, EVENTS and LEVELS change the runs)
set -euo pipefail

reps=${1:-9}
ks=${KS:-16 256 4096}
events=${EVENTS:-500000}
levels=${LEVELS:-0 1 2 3 4 5 6 7 8 9 10 11}
top=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
work=$(mktemp -d "${TMPDIR:-/tmp}/zortan-speedups.XXXXXX")
trap 'git -C "$top" worktree remove --force "$work/src" 2>/dev/null || true; rm -rf "$work"' EXIT

git -C "$top" worktree add -q --detach "$work/src" 78180aa
git -C "$work/src" apply "$top/bench/speedup_levels.patch"
for variant in clones noclones; do
    flags=""
    [ "$variant" = noclones ] && flags="-DCMAKE_CXX_FLAGS=-DZORTAN_NOCLONES"
    cmake -S "$work/src" -B "$work/$variant" -DCMAKE_BUILD_TYPE=Release -DZORTAN_TESTS=OFF \
        -DZORTAN_DESKTOP=OFF $flags > /dev/null
    cmake --build "$work/$variant" -j2 --target zortan-console zortan-benchtool > /dev/null
done
tool="$work/clones/bench/zortan-benchtool"
field() { sed -n "s/\(^\|.* \)$1=\([^ ]*\).*/\2/p"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

results="$work/results"
for K in $ks; do
    "$tool" generate "$work/k$K" "$events" 0 "$K" > /dev/null
    cat "$work/k$K/events.fvs" > /dev/null
    for _ in $(seq "$reps"); do
        for level in $levels; do
            variant=noclones
            [ "$level" -ge 7 ] && variant=clones
            rm -rf "$work/run" && mkdir -p "$work/run/bin" "$work/run/out"
            cp "$work/$variant/zortan-console" "$work/run/bin/"
            line=$(ZORTAN_SPEEDUPS=$level "$tool" console "$work/run/bin/zortan-console" \
                "$work/k$K/tree.vq1" "$work/k$K/events.fvs" "$work/run/out")
            echo "$K $level $(echo "$line" | field wall_s)" >> "$results"
        done
    done
done

printf 'Whole run, console, %d events, every output on: medians of %d alternating runs (s)\n' \
    "$events" "$reps"
printf '%-6s' level
for K in $ks; do printf '%12s' "K=$K"; done
echo
for level in $levels; do
    printf '%-6s' "$level"
    for K in $ks; do
        printf '%12.3f' "$(awk -v k="$K" -v l="$level" '$1 == k && $2 == l { print $3 }' "$results" | median)"
    done
    echo
done
