#!/bin/sh
# What zkunarchive costs on calculator files far larger than any archive:
# wall time and peak memory (GNU time's %M) for a 1 GiB and a 3 GiB sparse
# file, one without the archive magic and one whose archive of one entry
# is followed by a long tail. An archive's 16-bit numbers reach about
# 1.2 MiB at the most, so every run should read and keep little more.
#
# usage: bench/unarchive.sh   (needs /usr/bin/time and truncate)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

[ -x /usr/bin/time ] || { echo "GNU time is needed as /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v truncate >/dev/null || { echo "truncate is needed (coreutils)" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"

# The 86 bytes before the image, then the image: a length word, "zka\0",
# one record (offset 0, size 3, twelve bytes not interpreted) and "abc".
archive() {
    { head -c 88 /dev/zero; printf 'zka\000\000\001\000\000\000\003'; head -c 12 /dev/zero; printf abc; } >"$1"
    truncate -s "$2" "$1"
}

measure() {
    /usr/bin/time -f "%e s  %M KiB peak" "$bin/zkunarchive" "$@" 2>&1 >/dev/null | tail -n 1
}

for size in 1G 3G; do
    truncate -s "$size" junk.89y
    archive tail.89y "$size"
    echo "$size without magic:    $(measure junk.89y)"
    echo "$size archive, list:    $(measure tail.89y)"
    echo "$size archive, extract: $(measure tail.89y 0 entry.bin)"
    rm -f junk.89y tail.89y entry.bin
done
