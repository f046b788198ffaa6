#!/usr/bin/env bash
# The main job as far as it exists: write a small sample tree, read it the
# way the program does and code against it for every number of clusters.
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/zortan-treeinfo" --write-sample "$work/sample.vq1"
