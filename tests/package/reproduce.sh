#!/bin/sh
# Two package builds of one commit give the same bytes: builds the .deb and
# the Windows .zip again from this source tree, in a temporary directory,
# so at other paths and at a later time, and compares them with those that
# the package and windows workflows left in build/package and build/windows.
#
#   reproduce.sh    (after cmake --workflow --preset package and --preset windows)
set -u

fail() {
    printf '%s\n' "$*" >&2
    exit 1
}

cd "$(dirname "$0")/../.." || fail "cannot enter the source tree"
tmp=$(mktemp -d) || fail "cannot create a temporary directory"
trap 'rm -rf "$tmp"' EXIT

# again PRESET GENERATOR PACKAGE
again() {
    [ -f "$3" ] || fail "no package $3: run cmake --workflow --preset $1 first"
    dir=$tmp/$1
    { cmake --preset "$1" -B "$dir" && cmake --build "$dir" --parallel 2 &&
        cpack -G "$2" --config "$dir/CPackConfig.cmake" -B "$dir/out"; } >"$tmp/$1.log" 2>&1 ||
        fail "the second $1 build failed: $(cat "$tmp/$1.log")"
    cmp "$3" "$dir/out/${3##*/}" || fail "$3 differs from the package of a second build"
    echo "${3##*/}: the same bytes from a second build"
}

set -- build/package/*.deb
deb=$1
set -- build/windows/*.zip
zip=$1
again package DEB "$deb"
again windows External "$zip"
