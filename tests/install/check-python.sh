#!/bin/sh
# An installed Python package zortan: PYTHON imports it (and its extension)
# from a folder matching WHERE, it says VERSION, has py.typed and reads TREE.
#
#   check-python.sh PYTHON VERSION TREE WHERE
#
# WHERE is a shell pattern; PYTHONPATH is taken from the caller.
set -u
python=$1 version=$2 tree=$3 where=$4
if ! said=$("$python" -s -c '
import sys, zortan
zortan.read_tree(sys.argv[1])
print(zortan.__version__, zortan.__file__, zortan._zortan.__file__)
' "$tree" 2>&1); then
    echo "FAIL: the Python package does not work: $said" >&2
    exit 1
fi
set -- $said
failed=0
[ "$1" = "$version" ] || { echo "FAIL: zortan.__version__ is \"$1\", not $version" >&2; failed=1; }
for file in "$2" "$3"; do
    # $where unquoted: it is a pattern.
    case $file in
        $where) ;;
        *) echo "FAIL: zortan was imported from $file, not from $where" >&2; failed=1 ;;
    esac
done
[ -f "$(dirname "$2")/py.typed" ] || { echo "FAIL: the installed package has no py.typed" >&2; failed=1; }
exit $failed
