#include "unpack.h"

#include <bit>
#include <cstring>

namespace zk {
namespace {

// Reads the bit stream most significant bit first. Reading past the end
// yields zero bits and marks the reader, so a caller checks once per token
// rather than once per bit.
struct BitReader {
    const std::uint8_t* pos;
    const std::uint8_t* end;
    unsigned mask = 0x80;
    bool overrun = false;

    unsigned get_bit()
    {
        if (pos == end) {
            overrun = true;
            return 0;
        }
        unsigned bit = (*pos & mask) != 0;
        mask >>= 1;
        if (mask == 0) {
            mask = 0x80;
            ++pos;
        }
        return bit;
    }

    unsigned get_bits(unsigned n)
    {
        unsigned v = 0;
        while (n--) v = v << 1 | get_bit();
        return v;
    }

    unsigned get_byte()
    {
        if (end - pos < 2) return get_bits(8);
        if (mask == 0x80) return *pos++;
        // The byte straddles two stream bytes: the next bit is bit k of the
        // current byte, mask == 2^k; the mask stays where it is.
        unsigned w = pos[0] << 8 | pos[1];
        ++pos;
        return (w >> (std::countr_zero(mask) + 1)) & 0xFF;
    }

    // Truncated Elias gamma code with limit g: i one-bits (at most g), a
    // zero-bit only when i < g, then the i low bits of the value.
    unsigned get_gamma(unsigned g)
    {
        unsigned i = 0;
        while (i < g && get_bit()) ++i;
        return (1u << i) | get_bits(i);
    }
};

}  // namespace

int unpack_stream(const std::uint8_t* src, std::size_t src_len,
                  std::uint8_t* dst, std::size_t dst_cap)
{
    if (src_len < kPackHeaderSize) return kUnpackTruncated;
    if (!pack_has_magic(src)) return kUnpackBadMagic;
    const unsigned escape_bits = src[9];
    const unsigned gamma_bits = src[10];
    const unsigned gamma_top = src[11];
    const unsigned extra_offset_bits = src[12];
    const unsigned run_table_size = src[15];
    if (escape_bits > 8) return kUnpackBadEscapeBits;
    if (gamma_bits < 6 || gamma_bits > 8 || gamma_top != 1u << (gamma_bits - 1))
        return kUnpackBadGamma;
    if (extra_offset_bits > 4) return kUnpackBadExtraBits;

    const unsigned G = gamma_bits - 1;
    const unsigned E = escape_bits;
    const unsigned X = extra_offset_bits;
    const unsigned gamma_max = (1u << (G + 1)) - 1;
    unsigned esc = src[6];

    if (kPackHeaderSize + run_table_size > src_len) return kUnpackTruncated;
    BitReader in{src + kPackHeaderSize + run_table_size, src + src_len};
    std::size_t out = 0;

    // Copies len bytes from dist bytes back, byte by byte so that an
    // overlapping copy repeats the last dist bytes.
    auto copy = [&](std::size_t dist, std::size_t len, unsigned delta) -> int {
        if (dist > out) return kUnpackBadDistance;
        if (len > dst_cap - out) return kUnpackOverflow;
        for (std::size_t k = 0; k < len; ++k, ++out)
            dst[out] = static_cast<std::uint8_t>(dst[out - dist] + delta);
        return kUnpackOk;
    };
    auto put = [&](unsigned byte) -> int {
        if (out == dst_cap) return kUnpackOverflow;
        dst[out++] = static_cast<std::uint8_t>(byte);
        return kUnpackOk;
    };

    for (;;) {
        if (in.overrun) return kUnpackTruncated;
        int rc = kUnpackOk;
        if (E > 0) {
            unsigned p = in.get_bits(E);
            if (p != esc) {
                rc = put(p << (8 - E) | in.get_bits(8 - E));
                if (rc != kUnpackOk) return rc;
                continue;
            }
        }
        unsigned L = in.get_gamma(G);
        if (L == 1) {
            if (in.get_bit() == 0) {
                unsigned o = in.get_byte();
                rc = copy((o ^ 0xFF) + 1, 2, 0);
            } else if (in.get_bit() == 0) {
                unsigned next_esc = in.get_bits(E);
                unsigned q = in.get_bits(8 - E);
                rc = put(((esc << (8 - E)) | q) & 0xFF);
                esc = next_esc;
            } else {
                std::size_t n;
                unsigned a = in.get_gamma(G);
                if (a < 1u << G) {
                    n = a;
                } else {
                    unsigned lo = in.get_bits(8 - G);
                    unsigned hi = in.get_gamma(G);
                    n = (hi - 1) << 8 | (a - (1u << G)) << (8 - G) | lo;
                }
                unsigned t = in.get_gamma(G);
                unsigned byte;
                if (t <= 31) {
                    // Entries are addressed by index alone, even past the table.
                    if (15 + t >= src_len) return kUnpackTruncated;
                    byte = src[15 + t];
                } else {
                    byte = (8 * t + in.get_bits(3)) & 0xFF;
                }
                if (in.overrun) return kUnpackTruncated;
                if (n + 1 > dst_cap - out) return kUnpackOverflow;
                std::memset(dst + out, static_cast<int>(byte), n + 1);
                out += n + 1;
            }
        } else {
            unsigned h = in.get_gamma(G);
            if (h == gamma_max && L <= 3) {
                if (in.overrun) return kUnpackTruncated;
                if (out < dst_cap) std::memset(dst + out, 0, dst_cap - out);
                return kUnpackOk;
            }
            if (h == gamma_max) {
                unsigned d = in.get_byte();
                unsigned o = in.get_byte();
                rc = copy((o ^ 0xFF) + 1, L + 1, d);
            } else {
                std::size_t P = h - 1;
                if (X > 0) P = P << X | in.get_bits(X);
                unsigned o = in.get_byte();
                rc = copy((P << 8 | (o ^ 0xFF)) + 1, L + 1, 0);
            }
        }
        if (rc != kUnpackOk) return rc;
    }
}

}  // namespace zk
