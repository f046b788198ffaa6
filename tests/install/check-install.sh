#!/bin/sh
# Runs an installed Zortan from where it is installed: every program answers
# --version with the build's version and --help with its usage, and has its
# man page; the console keeps its options in the user's folder and the
# window's screenshot finds the samples; bin/ holds the programs and nothing
# else; the samples are there whole; the Python package imports from its
# folder, with the same version, and reads an installed sample tree.
#
#   check-install.sh BUILD "PROGRAMS" [PREFIX PYTHONDIR]
#
# BUILD is the build folder (its version, samples and Python). Without
# PREFIX the build is installed with cmake --install into a temporary
# folder first; PYTHONDIR is the package's folder under PREFIX ("" when
# there is none).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd) programs=$2
value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(value CMAKE_PROJECT_VERSION)
python=$(value Python3_EXECUTABLE)
source=$(value Zortan_SOURCE_DIR)
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
if [ $# -ge 4 ]; then
    prefix=$3 pythondir=$4
else
    prefix=$scratch/prefix pythondir=
    case $(value ZORTAN_PYTHON) in
        ON | on | TRUE | true | YES | yes | 1) pythondir=$(value ZORTAN_PYTHON_INSTALL_DIR) ;;
    esac
    "$(value CMAKE_COMMAND)" --install "$build" --prefix "$prefix" >install.log ||
        { cat install.log >&2; exit 1; }
fi

# The window's programs read the installed sample tree with a user's own
# options file, leaving nothing in bin/ (checked below); the screenshot finds
# the installed samples by itself.
samples=$prefix/share/zortan/samples
printf 'read tree\n%s\n' "$samples/vowels-cep16-centroids32.vq" |
    HOME=$scratch/home XDG_CONFIG_HOME= "$prefix/bin/zortan-console" >console.txt 2>&1 ||
    fail "zortan-console could not read the installed tree: $(cat console.txt)"
[ -f "$scratch/home/.config/zortan/Init.txt" ] || fail "zortan-console kept no Init.txt in ~/.config/zortan"
case " $programs " in
    *" zortan "*)
        HOME=$scratch/home QT_QPA_PLATFORM=offscreen "$prefix/bin/zortan" --screenshot shot.png \
            >shot.txt 2>&1 && [ -s shot.png ] ||
            fail "zortan --screenshot failed on the installed samples: $(cat shot.txt)" ;;
esac

listed=$(for program in $programs; do echo "$program"; done | sort)
present=$(ls "$prefix/bin" 2>/dev/null | sort)
[ "$listed" = "$present" ] || fail "bin/ holds [$(echo $present)], not [$(echo $listed)]"

for program in $programs; do
    exe=$prefix/bin/$program
    [ -x "$exe" ] || continue
    said=$(QT_QPA_PLATFORM=offscreen "$exe" --version 2>&1) || fail "$program --version failed"
    [ "$said" = "$program $version" ] || fail "$program --version says \"$said\""
    QT_QPA_PLATFORM=offscreen "$exe" --help >help.txt 2>&1 || fail "$program --help failed"
    grep -q "$program" help.txt || fail "$program --help does not name it"
    page=$prefix/share/man/man1/$program.1
    if [ ! -f "$page" ]; then
        fail "no man page $page"
    elif ! grep -q '^\.TH ' "$page" || ! grep -q "$program $version" "$page"; then
        fail "$page is not the man page of $program $version"
    fi
done

diff -r "$source/samples" "$samples" >/dev/null ||
    fail "share/zortan/samples differs from the bundled samples"

if [ -n "$pythondir" ]; then
    PYTHONPATH="$prefix/$pythondir" sh "$here/check-python.sh" "$python" "$version" \
        "$prefix/share/zortan/samples/vowels-cep16-centroids32.vq" "$prefix/$pythondir/zortan/*" ||
        failed=1
fi
exit $failed
