#!/usr/bin/env bash
# Whole-run throughput of the console front end.
#
# Generates, in a temporary folder, a K = 256 codebook over 129 components,
# an fvs file of EVENTS events (500,000 by default) and a text table of
# TEXT_EVENTS events, then times console runs over them with stepwise
# proceeding off, input records not shown and every output on (the console
# draws no pictures), against reading the same file once with cat from a
# warm cache, in the same invocation. Each figure is the median of REPS
# runs. A run of SMALL_EVENTS events gives the peak memory to compare with.
#
# usage: bench/whole_run.sh [BUILD_DIR]
# (CONSOLE=path times another console executable, EVENTS, TEXT_EVENTS,
# SMALL_EVENTS and REPS change the sizes.)
set -euo pipefail

build=${1:-build}
events=${EVENTS:-500000}
small_events=${SMALL_EVENTS:-5000}
text_events=${TEXT_EVENTS:-100000}
reps=${REPS:-5}
tool="$build/bench/zortan-benchtool"
console=${CONSOLE:-$build/zortan-console}

if [ ! -x "$tool" ]; then
    echo "whole_run: $tool is missing; build the target zortan-benchtool first" >&2
    exit 2
fi
if [ ! -x "$console" ]; then
    echo "whole_run: $console is missing; the whole-run figures need the console front end" >&2
    exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/zortan-whole-run.XXXXXX")
trap 'rm -rf "$work"' EXIT

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { sed -n "s/\(^\|.* \)$1=\([^ ]*\).*/\2/p"; }

# Seconds to read a file once with cat.
read_once() {
    local start=$EPOCHREALTIME
    cat "$1" > /dev/null
    echo "$EPOCHREALTIME - $start" | bc -l
}

# One console run over data file $1, with a fresh copy of the console (so a
# fresh Init.txt) and a fresh output folder; prints the tool's result line.
run_count=0
console_run() {
    run_count=$((run_count + 1))
    local bin="$work/run$run_count/bin" out="$work/run$run_count/out"
    mkdir -p "$bin" "$out"
    cp "$console" "$bin/"
    "$tool" console "$bin/$(basename "$console")" "$work/data/tree.vq1" "$1" "$out"
    rm -rf "$work/run$run_count"
}

# REPS pairs of a warm read of $1 and a console run over it, so that both
# see the same machine; prints the medians "read wall run maxrss ratio
# run_ratio", the ratios taken pair by pair.
measure() {
    local lines="" read wall line
    cat "$1" > /dev/null  # warms the cache
    for _ in $(seq "$reps"); do
        read=$(read_once "$1")
        line=$(console_run "$1")
        wall=$(echo "$line" | field wall_s)
        lines+="read_s=$read $line ratio=$(echo "$wall / $read" | bc -l)"
        lines+=" run_ratio=$(echo "$(echo "$line" | field run_s) / $read" | bc -l)"$'\n'
    done
    lines=${lines%$'\n'}
    for name in read_s wall_s run_s maxrss_kb ratio run_ratio; do
        echo "$lines" | field "$name" | median
    done | tr '\n' ' '
}

echo "Generating $events fvs events, $text_events text rows and $small_events fvs events in $work ..."
"$tool" generate "$work/data" "$events" "$text_events"
"$tool" generate "$work/small" "$small_events" 0
fvs="$work/data/events.fvs"
txt="$work/data/events.txt"

read -r read_fvs wall run rss ratio run_ratio <<< "$(measure "$fvs")"
read -r _ small_wall small_run small_rss _ _ <<< "$(measure "$work/small/events.fvs")"
read -r read_txt txt_wall txt_run txt_rss txt_ratio _ <<< "$(measure "$txt")"
rss_ratio=$(echo "$rss / $small_rss" | bc -l)
verdict() { if [ "$(echo "$1" | bc -l)" = 1 ]; then echo met; else echo MISSED; fi; }

printf '\nWhole run, console, K = 256, 129 components, every output on, medians of %d runs,\n' "$reps"
printf 'each timed right after a read of the same file (ratios taken run by run):\n'
printf '  fvs file: %d events, %d bytes\n' "$events" "$(stat -c %s "$fvs")"
printf '  read once (cat, warm):     %8.3f s\n' "$read_fvs"
printf '  console process:           %8.3f s  %10.0f events/s  ratio %.2f (target <= 3: %s; > 500000 events/s: %s)\n' \
    "$wall" "$(echo "$events / $wall" | bc -l)" "$ratio" \
    "$(verdict "$ratio <= 3")" "$(verdict "$events / $wall > 500000")"
printf '  coding run (read data_1 to "Program Finished!"): %.3f s  %10.0f events/s  ratio %.2f\n' \
    "$run" "$(echo "$events / $run" | bc -l)" "$run_ratio"
printf '  peak memory: %d kB for %d events, %d kB for %d events: ratio %.3f (target within 10%%: %s)\n' \
    "$rss" "$events" "$small_rss" "$small_events" "$rss_ratio" \
    "$(verdict "$rss_ratio <= 1.10 && $rss_ratio >= 0.90")"
printf '  text table: %d events, read once %.3f s, console %.3f s, %10.0f events/s, ratio %.2f\n' \
    "$text_events" "$read_txt" "$txt_wall" "$(echo "$text_events / $txt_wall" | bc -l)" "$txt_ratio"
