#!/bin/sh
# The calculator decoder of runtime/ on the packer corpus, beside the
# desktop decoder: bytes of code, and instructions executed per output byte.
#
# qemu counts the instructions: with -singlestep -d exec,nochain it logs a
# line for every instruction it runs. The two 68000 decoders run in the
# test program of the emulated tests (tests/runtime/m68k), built here as a
# calculator program is (-m68000 -Os), under qemu-m68k -cpu m68000, and only
# the instructions at the decoder's own addresses count. The desktop decoder
# (x86-64, as the release build compiles it) runs once in
# bench/unpack_once.cpp under qemu-x86_64, less a run that does all but the
# decoding. Each stream is zkpack's, with the parameters it chooses, and
# every decoder must give the file back before its count is taken. The
# table ends with the totals and the goals: zk_unpack of the C file with
# the functions it calls at most 1024 bytes, the assembly file's .text at
# most 512, and the assembly decoder's instructions at most 0.6 of the C
# one's; then where the bytes and the instructions go.
#
# usage: bench/runtime.sh [corpus directory]
#   the corpus is looked for in ../shared/corpus and ../../shared/corpus
#   from the repository root unless it is given.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/build/release/bin
lib=$root/build/release/lib/libzkunpackcore.a

corpus=${1:-}
if [ -z "$corpus" ]; then
    for c in "$root/../shared/corpus" "$root/../../shared/corpus"; do
        [ -d "$c/files" ] && corpus=$c && break
    done
fi
[ -n "$corpus" ] && [ -d "$corpus/files" ] || { echo "no corpus found; give its directory" >&2; exit 1; }
for tool in m68k-linux-gnu-gcc m68k-linux-gnu-nm m68k-linux-gnu-objdump qemu-m68k qemu-x86_64 g++; do
    command -v $tool >/dev/null ||
        { echo "$tool is needed (Debian packages gcc-m68k-linux-gnu, qemu-user, g++)" >&2; exit 1; }
done

(cd "$root" && cmake --workflow --preset release >/dev/null)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# The programs. The assembly file keeps its labels (-L), which say where
# its bytes and instructions go.
m68k="m68k-linux-gnu-gcc -m68000"
harness=$root/tests/runtime/m68k
$m68k -Os -c "$root/runtime/zkdecode.c" -o "$work/c.o"
$m68k -c -Wa,-L "$root/runtime/zkdecode.s" -o "$work/s.o"
$m68k -c "$harness/start.s" -o "$work/start.o"
for d in c s; do
    only=
    [ $d = s ] && only=-DZK_UNPACK_ONLY
    $m68k -Os -ffreestanding -fno-builtin $only -I"$root/runtime" -c "$harness/harness.c" -o "$work/harness_$d.o"
    $m68k -nostdlib -static -o "$work/$d" "$work/start.o" "$work/harness_$d.o" "$work/$d.o"
done
g++ -std=c++20 -O2 -static -I"$root/pack" -o "$work/desktop" "$root/bench/unpack_once.cpp" "$lib"

# The decoder's symbols at their addresses in a program ("address name",
# hex, ascending), then "end" where its code ends.
symbols() {
    m68k-linux-gnu-nm "$work/$1.o" | awk '$2 ~ /^[tT]$/ { print $3 }' >"$work/names"
    m68k-linux-gnu-nm -n "$work/$1" | awk 'NR == FNR { want[$1] = 1; next } ($3 in want) { print $1, $3 }' \
        "$work/names" - >"$work/$1.map"
    text=$(m68k-linux-gnu-objdump -h "$work/$1.o" | awk '$2 == ".text" { print $3 }')
    awk -v text="$text" '
        function hex(s,    i, v) {
            v = 0; s = tolower(s)
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return v
        }
        NR == 1 { start = hex($1) }
        END { printf "%x end\n", start + hex(text) }' "$work/$1.map" >>"$work/$1.map"
}
symbols c
symbols s

# Reads qemu's log on standard input and prints "name count" for every
# symbol of the map whose code ran, and "total count".
count_by_symbol() {
    awk -v map="$1" '
        function hex(s,    i, v) {
            v = 0; s = tolower(s)
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return v
        }
        BEGIN {
            while ((getline line < map) > 0) { split(line, f, " "); n++; at[n] = hex(f[1]); name[n] = f[2] }
        }
        /^Trace/ {
            pc = $4; sub(/^\[[0-9a-f]*\//, "", pc); sub(/\/.*/, "", pc)
            if (!(pc in of)) {
                a = hex(pc); of[pc] = ""
                if (a >= at[1] && a < at[n]) for (i = 1; i < n; i++) if (a >= at[i] && a < at[i + 1]) of[pc] = name[i]
            }
            if (of[pc] != "") { count[of[pc]]++; total++ }
        }
        END { for (s in count) print s, count[s]; print "total", total + 0 }'
}

be32() {
    printf "$(printf '\\%03o\\%03o\\%03o\\%03o' $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) $(($1 & 255)))"
}

printf '%-32s %6s %9s %7s %9s %7s %6s %8s\n' file bytes "C instr" C/byte "asm instr" asm/byte asm/C desktop
: >"$work/rows"
: >"$work/c.where"
: >"$work/s.where"
for f in "$corpus"/files/*; do
    name=$(basename "$f")
    [ "$name" = MANIFEST.tsv ] && continue
    size=$(wc -c <"$f")
    "$bin/zkpack" -quiet "$f" "$work/stream"
    stream_size=$(wc -c <"$work/stream")
    { be32 0; be32 0; be32 "$stream_size"; be32 "$stream_size"; be32 0; be32 "$size"; be32 0
      cat "$work/stream"; head -c $((size + 32)) /dev/zero; } >"$work/job"
    for d in c s; do
        { qemu-m68k -cpu m68000 -singlestep -d exec,nochain -D /dev/stderr "$work/$d" <"$work/job" >"$work/out"; } 2>&1 |
            count_by_symbol "$work/$d.map" >"$work/counts"
        [ "$(head -c 4 "$work/out" | od -An -tx1 | tr -d ' ')" = 00000000 ] &&
            tail -c +21 "$work/out" | head -c "$size" | cmp -s - "$f" ||
            { echo "the $d decoder does not give $name back" >&2; exit 1; }
        grep -v '^total ' "$work/counts" >>"$work/$d.where"
        eval "count_$d=\$(awk '\$1 == \"total\" { print \$2 }' \"$work/counts\")"
    done
    for how in -dry -run; do
        { qemu-x86_64 -singlestep -d exec,nochain -D /dev/stderr "$work/desktop" $how "$work/stream" >"$work/out"; } 2>&1 |
            grep -c '^Trace' >"$work/count$how" || true
    done
    cmp -s "$work/out" "$f" || { echo "the desktop decoder does not give $name back" >&2; exit 1; }
    desktop=$(($(cat "$work/count-run") - $(cat "$work/count-dry")))
    echo "$name $size $count_c $count_s $desktop" >>"$work/rows"
done

awk '
    function row(name, size, c, s, d) {
        printf "%-32s %6d %9d %7.1f %9d %7.1f %6.3f %8.1f\n", name, size, c, c / size, s, s / size, s / c, d / size
    }
    { row($1, $2, $3, $4, $5); size += $2; c += $3; s += $4; d += $5 }
    END {
        row("total", size, c, s, d)
        printf "\nassembly / C, instructions over the corpus: %.3f (goal <= 0.6: %s)\n", s / c, s / c <= 0.6 ? "met" : "NOT MET"
        print "(desktop: x86-64 instructions of the release build per output byte, for scale only)"
    }' "$work/rows"

echo
echo "== bytes of code"
c_size=$(sh "$harness/code_size.sh" m68k-linux-gnu-objdump "$work/c.o" zk_unpack)
s_text=$(m68k-linux-gnu-objdump -h "$work/s.o" | awk '$2 == ".text" { print $3 }')
s_size=$(printf '%d' "0x$s_text")
d_size=$(size "$lib" | awk '$NF ~ /unpack/ { print $1 }')
echo "zk_unpack, C, 68000 -Os, with what it calls: ${c_size%% *} (goal <= 1024: $([ "${c_size%% *}" -le 1024 ] && echo met || echo NOT MET))"
echo "    ${c_size#* }"
echo "zk_unpack, assembly, 68000 .text: $s_size (goal <= 512: $([ "$s_size" -le 512 ] && echo met || echo NOT MET))"
m68k-linux-gnu-nm -n "$work/s.o" | awk -v text="$s_size" '
    function hex(s,    i, v) {
        v = 0
        for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
        return v
    }
    { at[NR] = hex($1); name[NR] = $3 }
    END { at[NR + 1] = text; line = "   "; for (i = 1; i <= NR; i++) line = line " " name[i] "=" at[i + 1] - at[i]; print line }'
echo "unpack_stream, desktop, x86-64 .text of unpack.cpp: $d_size"

echo
echo "== where the instructions go, over the corpus"
for d in c s; do
    [ $d = c ] && echo "C:" || echo "assembly:"
    awk '{ n[$1] += $2; total += $2 } END { for (s in n) printf "%12d %5.1f%%  %s\n", n[s], 100 * n[s] / total, s }' \
        "$work/$d.where" | sort -rn
done
