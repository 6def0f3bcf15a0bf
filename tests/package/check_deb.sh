#!/bin/sh
# Makes the .deb of a build tree, unpacks it into a temporary root the way
# dpkg installs it, and checks what a user gets: a tool that runs, manual
# pages, the licence, the calculator decoder's source, and filled control
# fields; and what Debian wants: the pages and changelog.Debian compressed
# with gzip -9n. (That two builds of one commit make the same .deb is
# shown by reproduce.sh, in CI.)
#
#   check_deb.sh CPACK BUILD_DIR
#
# Skipped (status 77) where dpkg-deb is missing, and when the tests run
# against other tools (ZK_TEST_RUNNER set: the Windows .exe files).
set -u

fail() {
    printf '%s\n' "$*" >&2
    exit 1
}

[ $# -eq 2 ] || fail "usage: $0 CPACK BUILD_DIR"
cpack=$1
build=$2
command -v dpkg-deb >/dev/null 2>&1 || { echo "SKIP: dpkg-deb is not installed"; exit 77; }
[ -z "${ZK_TEST_RUNNER-}" ] || { echo "SKIP: the package holds the native tools only"; exit 77; }

tmp=$(mktemp -d) || fail "cannot create a temporary directory"
trap 'rm -rf "$tmp"' EXIT
# The dependencies are computed by dpkg-shlibdeps (package dpkg-dev), which
# takes longer than the rest of this test together: it runs here only when
# ZK_TEST_DEB_DEPENDS is set (the package workflow always computes them).
shlibdeps=OFF
if [ -n "${ZK_TEST_DEB_DEPENDS-}" ] && command -v dpkg-shlibdeps >/dev/null 2>&1; then shlibdeps=ON; fi
"$cpack" -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" \
    -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=$shlibdeps >"$tmp/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$tmp/cpack.log")"
set -- "$tmp"/out/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb: $(cat "$tmp/cpack.log")"
deb=$1
dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb cannot unpack $deb"
usr=$tmp/root/usr

"$usr/bin/zkhelp" >"$tmp/help" 2>&1 || fail "the installed zkhelp failed: $(cat "$tmp/help")"
sed -n 2p "$tmp/help" | grep -q '^ZKHelp .* - Vardelle v' ||
    fail "the installed zkhelp printed no banner: $(cat "$tmp/help")"

for page in man/man1/zkhelp.1 man/man3/zkdecode.3 man/man5/zkformats.5 doc/zktools/copyright \
    zktools/runtime/zkdecode.h zktools/runtime/zkdecode.c zktools/runtime/zkdecode.s; do
    set -- "$usr/share/$page"*
    [ -s "$1" ] || fail "the package lacks /usr/share/$page"
done
# Each page of section 1 is the page of an installed tool.
for page in "$usr"/share/man/man1/*.1*; do
    name=${page##*/}
    tool=${name%%.1*}
    [ -x "$usr/bin/$tool" ] || fail "the package holds the page $name but no $tool"
done

# gzip -9n: deflate, no flags (so no name), no time, the slowest compression.
for file in "$usr"/share/man/man*/* "$usr/share/doc/zktools/changelog.Debian.gz"; do
    [ "$(od -An -tx1 -N9 "$file" 2>/dev/null | tr -d ' ')" = 1f8b08000000000002 ] ||
        fail "the package holds $file, not compressed with gzip -9n"
done

fields="Maintainer Description"
[ $shlibdeps = OFF ] || fields="$fields Depends"
for field in $fields; do
    [ -n "$(dpkg-deb -f "$deb" $field)" ] || fail "the package has no $field field"
done
echo "$(basename "$deb") installs tools that run, with their manual pages"
