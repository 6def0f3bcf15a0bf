#!/bin/sh
# Throughput of zkbin2hex against "xxd -i" and of zkhex2bin against
# "xxd -r -p" on one 64 MiB input, both sides timed here and now.
#
# Each side converts the same random bytes: zkbin2hex and xxd -i read them,
# zkhex2bin reads the bare item text of zkbin2hex and xxd -r -p the plain
# hex dump of xxd -p, each giving the 64 MiB back. Every run is repeated
# and its best time counts, so that a busy moment of the machine does not
# decide the ratio.
#
# usage: bench/convert.sh [runs]   (default 3)
set -eu

runs=${1:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

command -v xxd >/dev/null || { echo "xxd is needed (Debian package xxd)" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"

size=$((64 * 1024 * 1024))
head -c "$size" /dev/urandom >data.bin
"$bin/zkbin2hex" -quiet data.bin items.txt
xxd -p data.bin >plain.txt

# Best wall time in seconds of "$@" over $runs runs, output to out.tmp.
best_time() {
    best=
    i=0
    while [ "$i" -lt "$runs" ]; do
        start=$(date +%s.%N)
        "$@" >out.tmp
        end=$(date +%s.%N)
        best=$(echo "$start $end ${best:-}" | awk '{ t = $2 - $1; if (NF == 3 && $3 < t) t = $3; printf "%.4f", t }')
        i=$((i + 1))
    done
    rm -f out.tmp
    echo "$best"
}

# Every side must give the right result before its time counts.
"$bin/zkbin2hex" -quiet data.bin - >check.txt && cmp -s check.txt items.txt
"$bin/zkhex2bin" -quiet items.txt check.bin && cmp -s check.bin data.bin
xxd -r -p plain.txt check.bin && cmp -s check.bin data.bin
rm -f check.txt check.bin

t_b2h=$(best_time "$bin/zkbin2hex" -quiet data.bin -)
t_xxd_i=$(best_time xxd -i data.bin)
t_h2b=$(best_time "$bin/zkhex2bin" -quiet items.txt out.bin)
t_xxd_r=$(best_time xxd -r -p plain.txt)

mib=$((size / 1024 / 1024))
echo "$mib MiB of data, best of $runs runs; $(nproc) cores, $(uname -m), $(xxd -v 2>&1 | head -n 1)"
awk -v mib="$mib" -v b2h="$t_b2h" -v xi="$t_xxd_i" -v h2b="$t_h2b" -v xr="$t_xxd_r" 'BEGIN {
    printf "zkbin2hex      %7.3f s  %8.1f MiB/s\n", b2h, mib / b2h
    printf "xxd -i         %7.3f s  %8.1f MiB/s\n", xi, mib / xi
    printf "zkhex2bin      %7.3f s  %8.1f MiB/s\n", h2b, mib / h2b
    printf "xxd -r -p      %7.3f s  %8.1f MiB/s\n", xr, mib / xr
    printf "zkbin2hex / xxd -i:    %5.1fx (target 10x)\n", xi / b2h
    printf "zkhex2bin / xxd -r -p: %5.1fx (target 2x)\n", xr / h2b
}'
