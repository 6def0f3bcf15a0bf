#!/bin/sh
# Builds a copy of the example project with the built tools and checks what
# it made against its sources.
#
#   build.sh EXAMPLES_DIR TOOL_DIR
#
# Skipped (status 77) where make or cc is missing, and when the tests run
# against other tools (ZK_TEST_RUNNER set: the Windows .exe files).
set -u

fail() {
    printf '%s\n' "$*" >&2
    exit 1
}

[ $# -eq 2 ] || fail "usage: $0 EXAMPLES_DIR TOOL_DIR"
examples=$1
tools=$2
for need in make cc; do
    command -v $need >/dev/null 2>&1 || { echo "SKIP: $need is not installed"; exit 77; }
done
[ -z "${ZK_TEST_RUNNER-}" ] || { echo "SKIP: the example runs the native tools only"; exit 77; }

tmp=$(mktemp -d) || fail "cannot create a temporary directory"
trap 'rm -rf "$tmp"' EXIT
cp -R "$examples" "$tmp/project" || fail "cannot copy $examples"
cd "$tmp/project" || fail "cannot enter the copy"
# A relative ZK, with its last '/', as the Makefile's comment suggests.
ln -s "$tools" zkbin || fail "cannot link the tools"

runtime=$(cd "$examples/../runtime" && pwd) || fail "no runtime/ beside $examples"
make ZK=zkbin/ RUNTIME="$runtime" >make.log 2>&1 || fail "make failed: $(cat make.log)"
grep -q -e '-fsyntax-only' make.log || fail "the C check did not run: $(cat make.log)"
# With the 68000 cross compiler, the program is compiled against the
# calculator decoder, which it calls.
if command -v m68k-linux-gnu-gcc >/dev/null 2>&1; then
    [ -s build/game.o ] && [ -s build/zkdecode.o ] || fail "the program was not compiled for the 68000: $(cat make.log)"
    m68k-linux-gnu-nm -u build/game.o | grep -q ' zk_unpack$' || fail "the program does not call zk_unpack"
    m68k-linux-gnu-nm build/zkdecode.o | grep -q ' T zk_unpack$' || fail "build/zkdecode.o does not define zk_unpack"
fi
for made in sprites.h hero.h hero_mask.h hero_tiles.png sine.h level1.hex intro.89s levels.89y; do
    [ -s "build/$made" ] || fail "make did not make build/$made"
done

"$tools/zkunpack" -hti build/level1.hex "$tmp/level1.bin" >/dev/null 2>&1 &&
    cmp build/level1.bin "$tmp/level1.bin" || fail "build/level1.hex does not unpack to level1.bin"

# The hero's planes drawn and read back give the same planes; the preview
# is a PNG the suite reads.
"$tools/zkbin2png" -quiet build/hero.bin 32 16 "$tmp/hero.png" &&
    "$tools/zkpng2bin" -quiet -gray4 "$tmp/hero.png" "$tmp/hero.bin" &&
    cmp build/hero.bin "$tmp/hero.bin" || fail "build/hero.bin does not come back through zkbin2png and zkpng2bin"
"$tools/zkpng2bin" -quiet build/hero_tiles.png "$tmp/tiles.bin" || fail "build/hero_tiles.png is no PNG zkpng2bin reads"

for var in intro.89s levels.89y; do
    "$tools/zkchecksum" -c "build/$var" >/dev/null 2>"$tmp/report" || fail "bad checksum in build/$var: $(cat "$tmp/report")"
done

entry=0
for source in build/level1.bin build/level2.bin text/intro.txt; do
    "$tools/zkunarchive" build/levels.89y $entry "$tmp/entry$entry" >/dev/null 2>&1 &&
        cmp "$source" "$tmp/entry$entry" || fail "entry $entry of build/levels.89y differs from $source"
    entry=$((entry + 1))
done
"$tools/zkunarchive" build/levels.89y 2>/dev/null | grep -qx 'Entries: 3' || fail "build/levels.89y holds other entries"

make clean >/dev/null 2>&1 && [ ! -e build ] || fail "make clean left build/"
echo "the example builds, and its outputs match their sources"
