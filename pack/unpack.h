// Decoder of the packed stream format: a 16-byte header, a run table and a
// bit stream of literal, copy, run and end-marker tokens.
#pragma once

#include "stream.h"

#include <cstddef>
#include <cstdint>

namespace zk {

// Results of unpack_stream. The header codes are the format's own; the
// last three are for streams that would leave their buffers.
enum UnpackResult : int {
    kUnpackOk = 0,
    kUnpackBadEscapeBits = 249,   // escape_bits greater than 8
    kUnpackBadGamma = 250,        // gamma_bits outside 6..8, or gamma_top not 2^(gamma_bits-1)
    kUnpackBadExtraBits = 251,    // extra_offset_bits greater than 4
    kUnpackBadMagic = 252,        // bytes 2 and 3 are not "ZP"
    kUnpackTruncated = 253,       // the stream ends before its end marker
    kUnpackOverflow = 254,        // the tokens write more than the output holds
    kUnpackBadDistance = 255,     // a copy reaches before the start of the output
};

// Decodes the stream of src_len bytes at src into dst, which holds dst_cap
// bytes (normally the header's orig_size). Never reads or writes outside
// the two ranges. On success the bytes the stream did not write, when the
// end marker comes early, are set to zero. Keeps no state between calls.
int unpack_stream(const std::uint8_t* src, std::size_t src_len,
                  std::uint8_t* dst, std::size_t dst_cap);

}  // namespace zk
