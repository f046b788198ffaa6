#!/bin/sh
# pip install --no-build-isolation, offline, of a copy of the checkout (its
# files as git knows them, committed or new) into a virtual environment that
# sees Debian's numpy; the package then imports from the environment, with
# the version of the programs of BUILD as its own and as the wheel's.
#
#   test-pip.sh BUILD
set -eu
here=$(cd "$(dirname "$0")" && pwd)
value() { sed -n "s/^$1:[A-Z]*=//p" "$(cd "$2" && pwd)/CMakeCache.txt"; }
source=$(value Zortan_SOURCE_DIR "$1") version=$(value CMAKE_PROJECT_VERSION "$1")
python=/usr/bin/python3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/src"
(cd "$source" && git ls-files -z --cached --others --exclude-standard |
    tar --null --ignore-failed-read -T - -cf -) 2>/dev/null | tar -xf - -C "$scratch/src"

"$python" -m venv --system-site-packages "$scratch/env"
"$scratch/env/bin/pip" install --no-build-isolation --no-index --quiet "$scratch/src"

cd "$scratch"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
wheel=$("$scratch/env/bin/pip" show zortan | sed -n 's/^Version: //p')
[ "$wheel" = "$version" ] || fail "pip installed zortan $wheel, not $version"
sh "$here/check-python.sh" "$scratch/env/bin/python" "$version" \
    "$source/samples/vowels-cep16-centroids32.vq" "$scratch/env/lib/python3*/site-packages/zortan/*" ||
    failed=1
[ $failed = 0 ] && echo "pip installed zortan $version from $source into a virtual environment"
exit $failed
