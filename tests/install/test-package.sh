#!/bin/sh
# The Debian package of a build (make package): its name, version and
# dependencies, and its files extracted with dpkg -x into a temporary
# folder: the same files as cmake --install of the build gives, the Python
# package in Debian's folder, and everything run from there
# (check-install.sh).
#
#   test-package.sh BUILD
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(value CMAKE_PROJECT_VERSION)
pythondir=
case $(value ZORTAN_PYTHON) in
    ON | on | TRUE | true | YES | yes | 1) pythondir=$(value ZORTAN_PYTHON_INSTALL_DIR) ;;
esac
deb=$build/zortan_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: there is no $deb" >&2; exit 1; }
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

[ "$(dpkg-deb --field "$deb" Package)" = zortan ] || fail "the package is not named zortan"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
# The libraries dpkg-shlibdeps finds, and the Python the extension needs.
depends=$(dpkg-deb --field "$deb" Depends)
needed="libc6 libstdc++6"
[ -n "$pythondir" ] && needed="$needed python3-numpy python3"
for package in $needed; do
    case ", $depends," in
        *", $package "* | *", $package,"*) ;;
        *) fail "Depends names no $package: $depends" ;;
    esac
done

dpkg -x "$deb" "$scratch/deb"
"$(value CMAKE_COMMAND)" --install "$build" --prefix "$scratch/ref" >/dev/null
(cd "$scratch/ref" && find . ! -type d | sed "s|^\./$pythondir/zortan/|./lib/python3/dist-packages/zortan/|" |
    sort) >"$scratch/installed.txt"
(cd "$scratch/deb/usr" && find . ! -type d | sort) >"$scratch/packaged.txt"
(cd "$scratch/deb" && find . ! -type d ! -path './usr/*') >>"$scratch/packaged.txt"
diff "$scratch/installed.txt" "$scratch/packaged.txt" >&2 ||
    fail "the package's files are not those cmake --install gives (< installed, > packaged)"

sh "$here/check-install.sh" "$build" "$(ls "$scratch/ref/bin")" "$scratch/deb/usr" \
    ${pythondir:+lib/python3/dist-packages} || failed=1
[ $failed = 0 ] && echo "The package $deb is whole and runs from where dpkg -x put it"
exit $failed
