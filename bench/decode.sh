#!/bin/sh
# Output throughput of the packed stream decoder beside zlib's inflate, both
# in one process on the same files (see bench/decode.cpp).
#
# usage: bench/decode.sh [-raw] [CORPUS_DIR [ROUNDS]]
#        (default ../shared/corpus/files beside the project, 11 rounds; -raw: inflate of raw
#        deflate, without zlib's checksum)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
raw=
if [ "${1:-}" = -raw ]; then raw=-raw; shift; fi
corpus=${1:-$root/../shared/corpus/files}
rounds=${2:-11}

command -v g++ >/dev/null || { echo "g++ is needed (Debian package g++)" >&2; exit 1; }
echo '#include <zlib.h>' | g++ -E -x c++ - >/dev/null 2>&1 ||
    { echo "zlib's header and library are needed (Debian package zlib1g-dev)" >&2; exit 1; }
[ -d "$corpus" ] || { echo "no corpus directory $corpus" >&2; exit 1; }

# The decoder's library, the test encoder the greedy parse writes with, and
# the suite's packer.
set -- "$root/pack/unpack.cpp" "$root/tests/harness/pack_encoder.cpp" "$root/pack/pack.cpp"

out=$root/build/bench
mkdir -p "$out"
g++ -std=c++20 -O2 -DNDEBUG -I"$root/pack" -I"$root/tests/harness" -o "$out/decode" "$root/bench/decode.cpp" "$@" -lz

echo "$(nproc) cores, $(uname -m), $(g++ --version | head -n 1)"
"$out/decode" $raw "$corpus" "$rounds"
