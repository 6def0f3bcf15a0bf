#!/bin/sh
# Stream sizes of zkpack on the packer corpus beside gzip -9 -n,
# xz -9e --format=raw and zstd -19 of the same files, with the ratio to
# gzip and the greedy encoder's size from the corpus's anchors.tsv; every
# stream is unpacked again by zkunpack and compared with its file. Ends
# with zkpack's total time over the corpus (wall and user time, one process
# per file, as GNU time reports them) and its peak memory (the largest
# maximum resident set size of those processes).
#
# usage: bench/pack.sh [-best] [corpus directory]
#   the corpus is looked for in ../shared/corpus and ../../shared/corpus
#   from the repository root unless it is given; -best is handed to zkpack.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

flags=
if [ "${1:-}" = "-best" ]; then
    flags=-best
    shift
fi
corpus=${1:-}
if [ -z "$corpus" ]; then
    for c in "$root/../shared/corpus" "$root/../../shared/corpus"; do
        [ -d "$c/files" ] && corpus=$c && break
    done
fi
[ -n "$corpus" ] && [ -d "$corpus/files" ] || { echo "no corpus found; give its directory" >&2; exit 1; }
corpus=$(cd "$corpus" && pwd)

for tool in gzip xz zstd; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (Debian packages gzip, xz-utils, zstd)" >&2; exit 1; }
done
gnu_time=/usr/bin/time
"$gnu_time" -f %M true >/dev/null 2>&1 || { echo "GNU time is needed as /usr/bin/time (Debian package time)" >&2; exit 1; }

(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

printf '%-32s %6s %6s %6s %6s %6s %6s %6s\n' file size zkpack gzip xz zstd /gzip greedy
: >"$work/rows"
for f in "$corpus"/files/*; do
    name=$(basename "$f")
    [ "$name" = MANIFEST.tsv ] && continue
    # wall seconds, user seconds, peak resident kilobytes
    "$gnu_time" -o "$work/time" -f '%e %U %M' "$bin/zkpack" -quiet $flags "$f" "$work/stream"
    "$bin/zkunpack" "$work/stream" "$work/back" >/dev/null 2>&1 || { echo "zkunpack refused the stream of $name" >&2; exit 1; }
    cmp -s "$work/back" "$f" || { echo "the stream of $name does not unpack to the file" >&2; exit 1; }
    size=$(wc -c <"$f")
    packed=$(wc -c <"$work/stream")
    gz=$(gzip -9 -n -c "$f" | wc -c)
    xzr=$(xz -q -9e --format=raw -c "$f" | wc -c)
    zst=$(zstd -19 -q -c "$f" | wc -c)
    greedy=$(awk -F'\t' -v n="$name" '$1 == n { print $NF }' "$corpus/anchors.tsv")
    echo "$name $size $packed $gz $xzr $zst ${greedy:-0} $(cat "$work/time")" >>"$work/rows"
done

awk '
function row(name, size, packed, gz, xzr, zst, greedy) {
    mark = (greedy > 0 && packed >= greedy) ? "  NOT BELOW GREEDY" : ""
    printf "%-32s %6d %6d %6d %6d %6d %6.3f %6s%s\n", name, size, packed, gz, xzr, zst, packed / gz, (greedy > 0 ? greedy : "-"), mark
}
{
    row($1, $2, $3, $4, $5, $6, $7)
    for (i = 2; i <= 7; ++i) total[i] += $i
    wall += $8; user += $9; if ($10 > peak) peak = $10
    if ($7 > 0 && $3 >= $7) ++above
}
END {
    row("TOTAL", total[2], total[3], total[4], total[5], total[6], total[7])
    printf "\nzkpack: %.2f s wall, %.2f s user for %d files (%d cores), peak memory %.1f MiB\n", wall, user, NR, cores, peak / 1024
    printf "files not below the greedy encoder: %d\n", above
}' cores="$(nproc)" "$work/rows"
