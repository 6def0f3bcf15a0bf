#include "unpack.h"

#include <array>
#include <bit>
#include <cstring>

namespace zk {

using Word = std::uint64_t;
static constexpr unsigned kWordBytes = sizeof(Word);
static constexpr unsigned kWordBits = 64;
static constexpr Word kEveryByte = 0x0101010101010101;  // the low bit of each byte

// The 8 bytes at p, the first in the top bits.
static Word load_be(const std::uint8_t* p)
{
    Word w;
    std::memcpy(&w, p, kWordBytes);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    return w;
}

// The 8 bytes at p, byte k as bits 8k to 8k+7.
static Word load_le(const std::uint8_t* p)
{
    Word w;
    std::memcpy(&w, p, kWordBytes);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}

static void store_be(std::uint8_t* p, Word w)
{
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    std::memcpy(p, &w, kWordBytes);
}

static void store_le(std::uint8_t* p, Word w)
{
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    std::memcpy(p, &w, kWordBytes);
}

namespace {

// Reads the bit stream most significant bit first through a 64-bit buffer
// whose top bit is the next bit. Past the end of the stream the buffer is
// fed zero bits, so that a caller checks for an overrun once per token
// rather than once per bit.
struct BitReader {
    const std::uint8_t* src;
    std::size_t len;
    std::size_t next;    // index in src of the next byte to load; may pass len
    Word bits = 0;       // the unread bits, from the top; zero below them
    unsigned count = 0;  // how many there are

    // Tops the buffer up to at least 56 bits, enough for any token but a
    // run, and returns false when bits past the end of the stream have
    // been read. While 8 bytes remain a whole word is loaded and as many
    // of its bytes kept as fit; the last bytes are taken one at a time.
    bool refill()
    {
        if (next + kWordBytes <= len) [[likely]] {
            bits |= load_be(src + next) >> count;
            next += (kWordBits - 1 - count) / 8;
            count |= kWordBits - 8;
            return true;
        }
        for (; count <= kWordBits - 8; count += 8, ++next)
            if (next < len) bits |= Word{src[next]} << (kWordBits - 8 - count);
        return !overrun();
    }

    bool overrun() const { return next * 8 - count > len * 8; }

    void skip(unsigned n)
    {
        bits <<= n;
        count -= n;
    }

    // The next n bits, n from 0 to 8.
    unsigned get(unsigned n)
    {
        unsigned v = static_cast<unsigned>(bits >> (kWordBits - 8)) >> (8 - n);
        skip(n);
        return v;
    }

    // Truncated Elias gamma code with limit g: i one-bits (at most g), a
    // zero-bit only when i < g, then the i low bits of the value. The i+1
    // bits from the zero-bit on (from the last one-bit when i = g) are the
    // value but for its leading one.
    unsigned gamma(unsigned g)
    {
        const unsigned i = static_cast<unsigned>(std::countl_zero(~bits | Word{1} << (kWordBits - 1 - g)));
        const unsigned from = i < g ? i : g - 1;
        const unsigned v = static_cast<unsigned>(bits << from >> (kWordBits - 1 - i)) | 1u << i;
        skip(from + 1 + i);
        return v;
    }
};

// The repeating pattern of a copy from a distance d below 8 is the last d
// bytes of the output; multiplied by spread, they fill a word, which lines
// up with the pattern again after stride bytes, the largest multiple of d
// that a word holds.
struct ShortDistance {
    Word spread;
    unsigned stride;
};

}  // namespace

static constexpr std::array<ShortDistance, kWordBytes> kShortDistance = [] {
    std::array<ShortDistance, kWordBytes> t{};
    for (unsigned d = 1; d < kWordBytes; ++d) {
        for (unsigned at = 0; at < kWordBytes; at += d) t[d].spread |= Word{1} << (8 * at);
        t[d].stride = kWordBytes - kWordBytes % d;
    }
    return t;
}();

// 0x80 in each byte of x that is zero, 0 in the others: the low seven
// bits of a byte plus 0x7F reach its top bit unless they are all zero.
static Word zero_bytes(Word x)
{
    constexpr Word kLow7 = kEveryByte * 0x7F;
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Each byte of x plus the same byte of y, modulo 256: the low seven bits
// add without carrying into the next byte, the top bit by exclusive or.
static Word add_bytes(Word x, Word y)
{
    constexpr Word kTop = kEveryByte << 7;
    return ((x & ~kTop) + (y & ~kTop)) ^ ((x ^ y) & kTop);
}

// Writes len bytes at p, each the byte dist before it plus delta, so that a
// copy shorter than its distance repeats the last dist bytes; the caller
// has checked that the source and the len bytes lie in the buffer. spill
// says whether the 8 bytes after the copy may be overwritten as well, and
// back whether the 8 bytes before p are output.
static void copy_match(std::uint8_t* p, std::size_t dist, std::size_t len, unsigned delta, bool spill, bool back)
{
    const std::uint8_t* from = p - dist;
    if (spill && dist >= kWordBytes) {
        // Word by word: each word's source lies wholly before it.
        const Word add = delta * kEveryByte;
        for (std::size_t k = 0; k < len; k += kWordBytes) {
            Word w;
            std::memcpy(&w, from + k, kWordBytes);
            if (delta) w = add_bytes(w, add);
            std::memcpy(p + k, &w, kWordBytes);
        }
    } else if (spill && back && delta == 0) {
        // A short distance repeats one word of pattern.
        const ShortDistance& sd = kShortDistance[dist];
        const Word pattern = (load_le(p - kWordBytes) >> 8 * (kWordBytes - dist)) * sd.spread;
        for (std::size_t k = 0; k < len; k += sd.stride) store_le(p + k, pattern);
    } else {
        // Byte by byte near either end of the output, and for a delta copy
        // from a short distance.
        for (std::size_t k = 0; k < len; ++k) p[k] = static_cast<std::uint8_t>(from[k] + delta);
    }
}

int unpack_stream(const std::uint8_t* src, std::size_t src_len,
                  std::uint8_t* dst, std::size_t dst_cap)
{
    if (src_len < kPackHeaderSize) return kUnpackTruncated;
    if (!pack_has_magic(src)) return kUnpackBadMagic;
    const unsigned escape_bits = src[kPackEscapeBitsOffset];
    const unsigned gamma_bits = src[kPackGammaBitsOffset];
    const unsigned gamma_top = src[kPackGammaTopOffset];
    const unsigned extra_offset_bits = src[kPackExtraBitsOffset];
    const unsigned run_table_size = src[kPackRunTableSizeOffset];
    if (escape_bits > kPackMaxEscapeBits) return kUnpackBadEscapeBits;
    if (gamma_bits < kPackMinGammaLimit + 1 || gamma_bits > kPackMaxGammaLimit + 1 ||
        gamma_top != 1u << (gamma_bits - 1))
        return kUnpackBadGamma;
    if (extra_offset_bits > kPackMaxExtraOffsetBits) return kUnpackBadExtraBits;

    const unsigned G = gamma_bits - 1;
    const unsigned E = escape_bits;
    const unsigned X = extra_offset_bits;
    const unsigned gamma_max = (1u << (G + 1)) - 1;
    // The escape code where it stands in the bit buffer, and where it would
    // stand in each of its bytes: a token is a plain literal when its top E
    // bits differ from it. Without escape bits no token is one. An escape
    // code wider than E bits matches no token and is never replaced; it is
    // put below the mask, where every token differs from it (the test of
    // whole bytes, which sees only its low bits, then merely stops short).
    const Word esc_mask = ~(~Word{0} >> E);
    const Word esc_byte_mask = (esc_mask >> (kWordBits - 8)) * kEveryByte;
    Word esc_bits, esc_bytes;
    auto set_escape = [&](Word code) {
        esc_bits = code << (kWordBits - 1 - E) << 1;
        esc_bytes = (esc_bits >> (kWordBits - 8)) * kEveryByte;
    };
    set_escape(src[kPackEscapeCodeOffset]);
    if (E > 0 && src[kPackEscapeCodeOffset] >> E != 0) esc_bits = 1;

    if (kPackHeaderSize + run_table_size > src_len) return kUnpackTruncated;
    BitReader in{src, src_len, kPackHeaderSize + run_table_size};
    std::uint8_t* out = dst;
    std::uint8_t* const end = dst + dst_cap;

    auto copy = [&](std::size_t dist, std::size_t len, unsigned delta) -> int {
        const std::size_t done = static_cast<std::size_t>(out - dst);
        const std::size_t room = static_cast<std::size_t>(end - out);
        if (dist > done) return kUnpackBadDistance;
        if (len > room) return kUnpackOverflow;
        copy_match(out, dist, len, delta, room - len >= kWordBytes, done >= kWordBytes);
        out += len;
        return kUnpackOk;
    };

    for (;;) {
        if (!in.refill()) return kUnpackTruncated;
        // A plain literal is the byte itself, its top E bits being anything
        // but the escape code; so the whole bytes ahead, up to the first
        // that starts with the escape code, are as many plain literals. Up to
        // 7 of them go out as one word when the output has room to spare.
        const Word escape_ahead = zero_bytes((in.bits ^ esc_bytes) & esc_byte_mask);
        const unsigned plain_run = static_cast<unsigned>(std::countl_zero(escape_ahead | 0x80)) / 8;
        if (plain_run > 0 && end - out >= kWordBytes) {
            store_be(out, in.bits);
            out += plain_run;
            in.skip(8 * plain_run);
            continue;
        }
        // One literal of either kind. An escaped literal is the escape code,
        // the bits 010 (a gamma code for 1, then 1 and 0), the next escape
        // code and the byte's low 8 - E bits.
        const bool plain = (in.bits & esc_mask) != esc_bits;
        const Word after_escape = in.bits << E;
        if (plain || after_escape >> (kWordBits - 3) == 0b010) {
            if (out == end) return kUnpackOverflow;
            const Word next_esc_low = after_escape << 3;
            if (plain) {
                *out++ = static_cast<std::uint8_t>(in.bits >> (kWordBits - 8));
                in.skip(8);
            } else {
                *out++ = static_cast<std::uint8_t>((esc_bits | (next_esc_low << E >> E)) >> (kWordBits - 8));
                set_escape(next_esc_low >> (kWordBits - 1 - E) >> 1);
                in.skip(E + 11);
            }
            continue;
        }
        int rc = kUnpackOk;
        in.skip(E);
        unsigned L = in.gamma(G);
        if (L == 1) {
            // Then 0: a short copy; 10: the escaped literal above; 11: a run.
            if (in.get(1) == 0) {
                unsigned o = in.get(8);
                rc = copy((o ^ 0xFF) + 1, 2, 0);
            } else {
                in.skip(1);
                in.refill();  // a run may take more bits than one refill holds
                std::size_t n;
                unsigned a = in.gamma(G);
                if (a < 1u << G) {
                    n = a;
                } else {
                    unsigned lo = in.get(8 - G);
                    unsigned hi = in.gamma(G);
                    n = (hi - 1) << 8 | (a - (1u << G)) << (8 - G) | lo;
                }
                unsigned t = in.gamma(G);
                unsigned byte;
                if (t <= 31) {
                    // Entries are addressed by index alone, even past the table.
                    if (kPackRunTableSizeOffset + t >= src_len) return kUnpackTruncated;
                    byte = src[kPackRunTableSizeOffset + t];
                } else {
                    byte = (8 * t + in.get(3)) & 0xFF;
                }
                if (in.overrun()) return kUnpackTruncated;
                if (n + 1 > static_cast<std::size_t>(end - out)) return kUnpackOverflow;
                std::memset(out, static_cast<int>(byte), n + 1);
                out += n + 1;
            }
        } else {
            unsigned h = in.gamma(G);
            if (h == gamma_max && L <= 3) {
                if (in.overrun()) return kUnpackTruncated;
                if (out < end) std::memset(out, 0, static_cast<std::size_t>(end - out));
                return kUnpackOk;
            }
            if (h == gamma_max) {
                unsigned d = in.get(8);
                unsigned o = in.get(8);
                rc = copy((o ^ 0xFF) + 1, L + 1, d);
            } else {
                std::size_t P = (h - 1) << X | in.get(X);
                unsigned o = in.get(8);
                rc = copy((P << 8 | (o ^ 0xFF)) + 1, L + 1, 0);
            }
        }
        if (rc != kUnpackOk) return rc;
    }
}

}  // namespace zk
