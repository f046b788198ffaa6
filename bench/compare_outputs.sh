#!/usr/bin/env bash
# Codes the same inputs with two console executables (for example one built
# before a change to the coder and one after) and compares every output file
# byte for byte. The only bytes allowed to differ are the run's date and time:
# the certificate's cDate and cTime (bytes 7..22 of a combined file) and the
# first line of a text output.
#
# Inputs: a K = 256 codebook with events near its leaves, and a tree whose
# centroids are all at nearly the same distance from one point, with half of
# the events at that point, so that every split there is a close call.
#
# usage: bench/compare_outputs.sh OLD_CONSOLE NEW_CONSOLE [BUILD_DIR] [EVENTS]
set -euo pipefail

old=$1
new=$2
build=${3:-build}
events=${4:-20000}
tool="$build/bench/zortan-benchtool"

work=$(mktemp -d "${TMPDIR:-/tmp}/zortan-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$tool" generate "$work/regular" "$events" 0
"$tool" generate-close "$work/close" "$events"

status=0
for set in regular close; do
    for side in old new; do
        exe=$old
        [ "$side" = new ] && exe=$new
        mkdir -p "$work/$set-$side/bin"
        cp "$exe" "$work/$set-$side/bin/zortan-console"
        "$tool" console "$work/$set-$side/bin/zortan-console" "$work/$set/tree.vq1" \
            "$work/$set/events.fvs" "$work/$set-$side/out" > /dev/null
    done
    for a in "$work/$set-old/out"/*; do
        name=$(basename "$a")
        b="$work/$set-new/out/$name"
        if [ ! -f "$b" ]; then
            echo "$set: $name missing from the new run"
            status=1
            continue
        fi
        case "$name" in
            *.zrt) differing=$({ cmp -l "$a" "$b" 2>&1 || true; } | awk '$1 < 7 || $1 > 22' | wc -l) ;;
            *) differing=$({ cmp -l <(tail -n +2 "$a") <(tail -n +2 "$b") 2>&1 || true; } | wc -l) ;;
        esac
        if [ "$(stat -c %s "$a")" != "$(stat -c %s "$b")" ] || [ "$differing" != 0 ]; then
            echo "$set: $name DIFFERS"
            status=1
        else
            echo "$set: $name identical but for the date and time ($(stat -c %s "$a") bytes)"
        fi
    done
done
exit $status
