#!/bin/sh
# zkpng2bin beside ImageMagick's convert on one 4096 x 4096 black-and-white
# PNG (1-bit grey, as convert saves a thresholded picture), both sides timed
# here and now. Both must give the same mono bytes first: convert's
# "-negate -threshold 50% -depth 1 gray:" writes black pixels as set bits,
# rows padded to whole bytes, as zkpng2bin does by default.
#
# Rows are medians of alternating runs, wall time, with each side's peak
# memory (GNU time's maximum resident set size). Goals: zkpng2bin takes at
# most 0.25 of convert's time and at most 6 bytes of memory per pixel.
#
# usage: bench/image.sh [runs]   (default 5)
set -eu

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

[ -x /usr/bin/time ] || { echo "GNU time is needed as /usr/bin/time (Debian package time)" >&2; exit 1; }
command -v convert >/dev/null || { echo "ImageMagick's convert is needed (Debian package imagemagick)" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
cd "$work"

side=4096
# A plasma cut at its middle grey: blobs with ragged edges everywhere, as
# hard to compress as a drawing gets.
convert -size ${side}x$side -seed 1 plasma:fractal -colorspace gray -threshold 50% -depth 1 \
    -define png:color-type=0 -define png:bit-depth=1 in.png

"$bin/zkpng2bin" -quiet in.png ours.bin
convert in.png -negate -threshold 50% -depth 1 gray:theirs.bin
cmp -s ours.bin theirs.bin || { echo "zkpng2bin and convert give different bytes" >&2; exit 1; }
[ "$(wc -c <ours.bin)" -eq $((side * side / 8)) ] || { echo "the bitmap has the wrong size" >&2; exit 1; }

# "seconds kib" of one run of "$@"; the wall time to the microsecond, the
# cost of starting GNU time alike on both sides.
measure() {
    t0=$(date +%s%N)
    /usr/bin/time -f '%M' -o time.txt "$@" >/dev/null 2>&1
    t1=$(date +%s%N)
    echo "$(( (t1 - t0) / 1000 )) $(cat time.txt)" | awk '{ printf "%.6f %s\n", $1 / 1e6, $2 }'
}

: >ours.txt
: >theirs.txt
n=0
while [ "$n" -lt "$runs" ]; do
    measure "$bin/zkpng2bin" -quiet in.png out.bin >>ours.txt
    measure convert in.png -negate -threshold 50% -depth 1 gray:out.gray >>theirs.txt
    n=$((n + 1))
done

# Median seconds and largest peak of a side's runs: "seconds kib".
summary() {
    sort -n "$1" | awk -v n="$runs" '{ t[NR] = $1; if ($2 > m) m = $2 } END { printf "%s %s\n", t[int((n + 1) / 2)], m }'
}

echo "zkpng2bin beside convert, ${side} x ${side} black and white, median of $runs alternating runs;" \
    "$(nproc) cores, $(uname -m), $(convert -version | head -n 1 | cut -d' ' -f2-3)"
echo "$(summary ours.txt) $(summary theirs.txt)" | awk -v pixels=$((side * side)) '{
    ratio = $1 / $3
    per_pixel = $2 * 1024 / pixels
    printf "zkpng2bin  %7.4f s %8d KiB  (%.2f bytes per pixel)\n", $1, $2, per_pixel
    printf "convert    %7.4f s %8d KiB\n", $3, $4
    printf "time ratio %.3f (goal <= 0.25: %s)\n", ratio, ratio <= 0.25 ? "met" : "NOT MET"
    printf "memory     %.2f bytes per pixel (goal <= 6: %s)\n", per_pixel, per_pixel <= 6 ? "met" : "NOT MET"
    if (ratio > 0.25 || per_pixel > 6) exit 1
}'
