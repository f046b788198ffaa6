#!/usr/bin/env bash
# Throughput of zortan-batch on a corpus.
#
# Generates, in a temporary folder, a K = 256 codebook over 129 components and
# a corpus of FILES fvs files of EVENTS events each (200 of 5,000 by
# default), then times, each the median of REPS runs from a warm cache:
#   - reading the whole corpus once with cat;
#   - zortan-batch --clusters 256 --outputs all with --jobs 1 and --jobs 2,
#     each run into an output folder of its own;
#   - copying one run's outputs with cp -r: the file system's own cost of
#     creating files of those names and sizes, which no coder can avoid.
# It prints the times and the two ratios the batch command is held to:
# jobs 2 against the read (at most 2), and jobs 1 against jobs 2 (at least 1.6),
# and the run's time beyond the copy, against the read.
#
# usage: bench/corpus_run.sh [BUILD_DIR]   (FILES, EVENTS, REPS change the sizes)
set -euo pipefail

build=${1:-build}
files=${FILES:-200}
events=${EVENTS:-5000}
reps=${REPS:-3}
tool="$build/bench/zortan-benchtool"
batch="$build/zortan-batch"
for exe in "$tool" "$batch"; do
    [ -x "$exe" ] || { echo "corpus_run: $exe is missing; build it first" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zortan-corpus-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$tool" generate "$work/gen" "$events" 0 256 >/dev/null
mkdir "$work/corpus"
for i in $(seq -w 1 "$files"); do cp "$work/gen/events.fvs" "$work/corpus/f$i.fvs"; done

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
read_once() { cat "$work"/corpus/*.fvs; }
# Each run writes into a folder of its own, as a corpus is coded: files
# rewritten in place are written out at once on close by some file systems,
# and files made right after many were deleted cost more.
code() {
    "$batch" --tree "$work/gen/tree.vq1" --clusters 256 --outputs all \
        --out "$(mktemp -d "$work/out.XXXXXX")" --quiet --jobs "$1" "$work"/corpus/*.fvs
}

read_once >/dev/null
cat_s=$(for _ in $(seq "$reps"); do seconds read_once; done | median)
jobs1_s=$(for _ in $(seq "$reps"); do seconds code 1; done | median)
jobs2_s=$(for _ in $(seq "$reps"); do seconds code 2; done | median)
bytes=$(du -sb "$work/corpus" | cut -f1)
one_out=$(find "$work" -maxdepth 1 -name 'out.*' | head -n 1)
copy_outputs() { cp -r "$one_out" "$(mktemp -d "$work/copy.XXXXXX")/out"; }
copy_s=$(for _ in $(seq "$reps"); do seconds copy_outputs; done | median)
outputs=$(find "$one_out" -type f | wc -l)

echo "corpus: $files files of $events events, $bytes bytes; K = 256, every output on"
echo "cat: ${cat_s} s; zortan-batch --jobs 1: ${jobs1_s} s; --jobs 2: ${jobs2_s} s"
echo "cp -r of one run's $outputs outputs: ${copy_s} s"
awk -v c="$cat_s" -v one="$jobs1_s" -v two="$jobs2_s" -v cp="$copy_s" -v n="$((files * events))" 'BEGIN {
    printf "jobs 2 / read: %.2f (target <= 2, 2.5 for files of 300 events); jobs 1 / jobs 2: %.2f (target >= 1.6); %.0f events/s with 2 jobs\n",
           two / c, one / two, n / two
    printf "jobs 2 beyond the copy of its outputs / read: %.2f\n", (two - cp) / c }'
