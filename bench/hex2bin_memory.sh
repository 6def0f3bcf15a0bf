#!/bin/sh
# Peak memory of zkhex2bin on 2 GiB of number text that holds no line end,
# read from a pipe, beside its peak on a short text: the two must be the
# same, whatever the length of the line. Three long texts: numbers
# separated by blanks (converted), one number of 2 Gi digits (refused when
# it ends), and a line without the "0x" prefix (refused once the first
# kilobyte of it has been quoted).
#
# usage: bench/hex2bin_memory.sh [MiB]   (default 2048)
set -eu

mib=${1:-2048}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin

[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (Debian package time)" >&2; exit 1; }
(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
ln -s /dev/null "$work/out"

numbers() { yes '0x5a' | tr '\n' ' '; }
one_number() { printf '0x'; tr '\0' 'f' </dev/zero; }
no_prefix() { printf '0x12 '; tr '\0' 'z' </dev/zero; }

# Runs zkhex2bin on the first $2 bytes of what generator $1 writes and
# prints its peak resident memory, time, status and message.
measure() {
    $1 | head -c "$2" | /usr/bin/time -f '%M %e %x' -o "$work/time" \
        "$bin/zkhex2bin" -quiet - "$work/out" 2>"$work/err" || true
    tail -n 1 "$work/time" | {
        read -r kib seconds status
        printf '%-12s %10s bytes  %8s KiB peak  %7s s  status %s  %s\n' "$1" "$2" "$kib" "$seconds" "$status" \
            "$(head -c 60 "$work/err" | tr '\n' ' ')"
    }
}

# The numbers are five characters each ("0x5a "): whole ones convert.
bytes=$((mib * 1024 * 1024 / 5 * 5))
echo "zkhex2bin reading standard input with no line end; $(nproc) cores, $(uname -m)"
for generator in numbers one_number no_prefix; do
    measure "$generator" 4095
    measure "$generator" "$bytes"
done
