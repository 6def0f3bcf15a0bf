#!/bin/sh
# The suite beside its peers where speed matters, every row measured in this
# run on this machine:
#   - the packed stream decoder beside zlib's inflate (bench/decode.sh, one
#     process, the corpus packed by the greedy encoder and by the packer);
#   - zksplit in byte mode beside GNU split -b, 64 MiB into 64 pieces;
#   - zkextract beside grep -c -a -F of its end token, 64 MiB with the start
#     token near the beginning and the end token near the end.
# Tool rows are medians of alternating runs, wall time, with the peak
# memory of the tool (GNU time's maximum resident set size).
#
# usage: bench/perf.sh [-tools] [runs]   (default 7; -tools: the tool rows only)
set -eu

decoder=yes
if [ "${1:-}" = -tools ]; then decoder=; shift; fi
runs=${1:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

[ -x /usr/bin/time ] || { echo "GNU time is needed as /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v split >/dev/null && command -v grep >/dev/null || { echo "split and grep are needed" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

if [ -n "$decoder" ]; then
    echo "== decoder: MB/s of output, ours beside inflate"
    "$root/bench/decode.sh" "$root/../shared/corpus/files" 7 | grep -E '^(greedy|packer) +kind|^ +(text|68000 code|bitmaps|literal-heavy|random) '
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"

size=$((64 * 1024 * 1024))
piece=$((1024 * 1024))
head -c "$size" /dev/urandom >data.bin
i=1
: >offsets.txt
while [ "$i" -lt 64 ]; do
    echo $((i * piece)) >>offsets.txt
    i=$((i + 1))
done
# Tokens that occur once, 1 KiB from either end.
{ head -c 1024 /dev/zero; printf 'START-OF-DATA'; head -c $((size - 4096)) data.bin; printf 'END-OF-DATA'; head -c 1024 /dev/zero; } >tokens.bin

# "seconds kib" of one run of "$@" in a fresh directory that links the inputs.
# The wall time is taken to the microsecond here (GNU time's %e counts
# hundredths, too coarse for runs of some 30 ms), with the cost of starting
# GNU time itself on both sides alike.
measure() {
    rm -rf run && mkdir run && ln data.bin tokens.bin offsets.txt run/
    t0=$(date +%s%N)
    (cd run && /usr/bin/time -f '%M' -o ../time.txt "$@" >/dev/null 2>&1)
    t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000 )) $(cat time.txt)" | awk '{ printf "%.6f %s\n", $1 / 1e6, $2 }'
}

# Median seconds and the largest peak memory of $runs runs of each side,
# taken in turn: "ours_s ours_kib peer_s peer_kib".
compare() {
    ours=$1 peer=$2
    : >ours.txt
    : >peer.txt
    n=0
    while [ "$n" -lt "$runs" ]; do
        eval "measure $ours" >>ours.txt
        eval "measure $peer" >>peer.txt
        n=$((n + 1))
    done
    for f in ours.txt peer.txt; do
        sort -n "$f" | awk -v n="$runs" '{ t[NR] = $1; if ($2 > m) m = $2 } END { printf "%s %s ", t[int((n + 1) / 2)], m }'
    done
    echo
}

row() {
    echo "$2" | awk -v name="$1" -v peer="$3" -v goal="$4" '{
        ratio = $3 > 0 ? $1 / $3 : 0
        printf "%-10s %7.4f s %7d KiB   %-26s %7.4f s %7d KiB   ratio %.2f (goal <= %s: %s)\n",
               name, $1, $2, peer, $3, $4, ratio, goal, ratio <= goal ? "met" : "NOT MET"
    }'
}

# Both sides must give the right result before their time counts.
measure "$bin/zksplit" -b offsets.txt data.bin >/dev/null
cat run/datap*.bin | cmp -s - data.bin || { echo "zksplit does not give the input back" >&2; exit 1; }
"$bin/zkextract" -quiet tokens.bin extracted.bin START-OF-DATA END-OF-DATA
head -c $((size - 4096)) data.bin | cmp -s - extracted.bin || { echo "zkextract cut the wrong bytes" >&2; exit 1; }

echo
echo "== tools: median of $runs alternating runs, 64 MiB; $(nproc) cores, $(uname -m)"
row zksplit "$(compare "$bin/zksplit -b offsets.txt data.bin" "split -b $piece data.bin piece")" \
    "split -b $piece" 0.8
row zkextract "$(compare "$bin/zkextract -quiet tokens.bin out.bin START-OF-DATA END-OF-DATA" \
    "grep -c -a -F END-OF-DATA tokens.bin")" "grep -c -a -F END-OF-DATA" 1.5
