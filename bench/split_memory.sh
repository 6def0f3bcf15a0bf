#!/bin/sh
# Peak memory of zksplit in line mode and in tag mode on one input of
# 2 GiB that holds no line end, beside the same runs on 1 MiB: a split that
# streams its lines needs the same memory for both.
#
# The input is a sparse file of zero bytes, so that it costs no disk, and
# the pieces go to /dev/null through links named like them. Line mode cuts
# at line 2, which makes the whole input piece 0 and an empty piece 1; tag
# mode finds no tag, which makes the whole input piece 0.
#
# usage: bench/split_memory.sh [GiB]   (default 2)
set -eu

gib=${1:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package time)" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"
echo 2 >offsets

# Peak resident set in KiB of a successful zksplit with these arguments.
peak_kib() {
    if ! /usr/bin/time -f %M -o rss.txt "$bin/zksplit" "$@" >/dev/null 2>err.txt; then
        echo "zksplit $* failed:" >&2
        cat err.txt >&2
        exit 1
    fi
    cat rss.txt
}

# name, size for truncate: prints "line-mode-KiB tag-mode-KiB".
measure() {
    truncate -s "$2" "$1"
    ln -sf /dev/null "$1p000"
    ln -sf /dev/null "$1p001"
    lines=$(peak_kib -t offsets "$1")
    tag=$(peak_kib -t -s TAG "$1")
    rm -f "$1" "$1p000" "$1p001"
    echo "$lines $tag"
}

small=$(measure small 1M)
large=$(measure large "${gib}G")

echo "peak resident memory of zksplit (KiB), input without a line end; $(nproc) cores, $(uname -m)"
echo "$small $large" | awk -v gib="$gib" '{
    printf "%-10s %10s %10s\n", "input", "line mode", "tag mode"
    printf "%-10s %10d %10d\n", "1 MiB", $1, $2
    printf "%-10s %10d %10d\n", gib " GiB", $3, $4
    # Constant: the large input may cost at most 1 MiB more than the small one.
    if ($3 > $1 + 1024 || $4 > $2 + 1024) { print "NOT constant"; exit 1 }
    print "constant"
}'
