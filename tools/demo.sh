#!/usr/bin/env bash
# The main job: code the bundled sample events against the bundled sample
# tree with zortan-console, the way a script drives the program.
#
# A fresh folder gets a copy of zortan-console and an Init.txt whose output
# paths point into it, so every result lands there. The script reads the
# tree and the fvs events, switches stepwise proceeding off and several
# outputs on, runs, and ends the program.
set -euo pipefail

build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
samples="$here/samples"
console="$build/zortan-console"
[ -x "$console" ] || { echo "demo: $console not found; build first (make build)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zortan-demo.XXXXXX")
cp "$console" "$work/"

# Init.txt: 18 lines, CR LF. Line 1: reserved flag, data_1 is fvs, data_2
# is text; then the remembered paths, the outputs (lines 9 to 18) in $work.
{
    printf '0 1 0\r\n'
    printf '%s\r\n' 'C:\wkd\Plimo\Results\*.wav' 'C:\wkd\ondrix\Results\*.fvs' \
        "$samples/vowels-cep16-centroids32.vq" 'C:\WKD\Plimo\results\*.wav' \
        'C:\WKD\Plimo\results\*.wav' "$samples/vowels.fvs" "$samples/vowels-melcep16.txt"
    for name in Error.txt code.txt _Teach.zrt _teach_Y1.txt _teach_Y2.txt _teach_Y3.txt \
        _recog.zrt _recog_Y1.txt _recog_Y2.txt _recog_Y3.txt; do
        printf '%s\r\n' "$work/$name"
    done
} >"$work/Init.txt"

cat >"$work/script.txt" <<EOF
# Read the tree; the open dialog is answered with its path.
read tree
$samples/vowels-cep16-centroids32.vq
# Straight through, no pictures.
set stepwiseProceeding off
set showInputRecords off
# Outputs: combined teach and recognition files, the code file, and the
# category files of both groups.
set outputTeachCombined on
set outputTeachCodes on
set outputTeachCath1 on
set outputTeachCath2 on
set outputTeachCath3 on
set outputRecogCombined on
set outputRecogCath1 on
set outputRecogCath2 on
set outputRecogCath3 on
# Read the events and run.
read data_1
$samples/vowels.fvs
halt!
EOF

echo "Coding $samples/vowels.fvs against $samples/vowels-cep16-centroids32.vq"
echo "in $work ..."
status=0
"$work/zortan-console" <"$work/script.txt" >"$work/console-output.txt" || status=$?
if [ "$status" -ne 0 ] || ! grep -q '^Program Finished!$' "$work/console-output.txt"; then
    echo "demo: the run did not finish (exit status $status); the console said:" >&2
    cat "$work/console-output.txt" >&2
    exit 1
fi

echo
echo "The console's finish message:"
sed -n '/^Program finished$/,/^\[end\]$/p' "$work/console-output.txt" | sed '$d'
echo
echo "Results in $work:"
for file in "$work"/vowels_*; do
    printf '  %10s bytes  %s\n' "$(wc -c <"$file")" "$(basename "$file")"
done
echo "  (script.txt is the input, console-output.txt everything the console printed)"

errors="$work/vowels_error.txt"
echo
echo "Error table, first rows (recognition error in % per number of clusters):"
tr -d '\r' <"$errors" | sed -n '/^Events number=/,/^____/p' | head -n 16
echo "  ..."
tr -d '\r' <"$errors" | sed -n '/^====/,/^____/p' | sed -n '$!p' | tail -n 1
