// Encoder of the packed stream format, the mirror of unpack.h.
//
// pack_stream turns 0 to 65535 bytes into one complete stream (stream.h):
// the header, with csize equal to the stream's length, the run table, and
// the bit stream of tokens closed by an end marker. For the parameters it is given it writes the token sequence of
// least total size; the parameters it is not given (escape width E, gamma
// limit G, extra distance bits X) it chooses per input, together with the
// initial escape code and the run table.
//
// The same input and options give the same bytes on every machine: every
// decision is taken on integer bit counts. The encoder prints nothing, does
// no I/O and keeps no state between calls. Its working memory is about
// 2^E + 40 bytes per input byte for the largest E it tries: 20 MB for
// 65535 bytes of random data, which E = 8 packs best. Memory that cannot
// be had is a result (NoMemory), never the end of the process.
#pragma once

#include "stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zk {

enum class PackEffort {
    Normal,  // a parameter search that ends when it stops paying
    Best,    // a wider search and more escape codes as parse states; slower
};

// A parameter given a value is used as it is; -1 leaves it to the encoder.
struct PackOptions {
    int escape_bits = -1;        // E, 0 to 8
    int gamma_limit = -1;        // G, 5 to 7
    int extra_offset_bits = -1;  // X, 0 to 4
    PackEffort effort = PackEffort::Normal;
};

// The parameters a stream was written with.
struct PackChoice {
    unsigned escape_bits = 0;
    unsigned escape_code = 0;
    unsigned gamma_limit = 0;
    unsigned extra_offset_bits = 0;
    unsigned run_table_size = 0;
};

enum class PackResult {
    Ok,
    InputTooLong,   // more than kPackMaxOrigSize bytes
    StreamTooLong,  // the stream would exceed kPackMaxStreamSize bytes
    BadOption,      // a fixed parameter outside its range
    NoMemory,       // the working memory could not be had
};

// The most working memory pack_stream takes for size bytes, in bytes: 2^E
// parse states and some 40 bytes of matches for every input byte.
constexpr std::size_t pack_working_memory(std::size_t size)
{
    return ((std::size_t{1} << kPackMaxEscapeBits) + 40) * size;
}

// Packs size bytes at data into stream (replacing its contents). On any
// result other than Ok, stream is left empty and choice untouched.
PackResult pack_stream(const std::uint8_t* data, std::size_t size, const PackOptions& options,
                       std::vector<std::uint8_t>& stream, PackChoice* choice = nullptr);

}  // namespace zk
