// The packed stream format's layout: a 16-byte header, a run table, and a
// bit stream of literal, copy, run and end-marker tokens. The decoder, the
// encoder, the archive and the tools read and write the header through
// these names only.
//
//   0  orig_size, 16 bits little-endian: the unpacked length
//   2  the magic "ZP"
//   4  csize, 16 bits little-endian: the stream's whole length
//   6  the initial escape code
//   9  E, the escape width (0 to 8)
//  10  G + 1, the gamma limit plus one (6 to 8)
//  11  2^G
//  12  X, the extra distance bits (0 to 4)
//  15  the run table's length; its entries follow the header, entry t
//      (counted from 1) at offset 15 + t
// Bytes 7, 8, 13 and 14 are zero and not looked at.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zk {

inline constexpr std::size_t kPackHeaderSize = 16;
// orig_size and csize are 16 bits wide.
inline constexpr std::size_t kPackMaxOrigSize = 65535;
inline constexpr std::size_t kPackMaxStreamSize = 65535;
inline constexpr std::size_t kPackOrigSizeOffset = 0;
inline constexpr std::size_t kPackMagicOffset = 2;
inline constexpr std::uint8_t kPackMagic[] = {'Z', 'P'};
inline constexpr std::size_t kPackCsizeOffset = 4;
inline constexpr std::size_t kPackEscapeCodeOffset = 6;
inline constexpr std::size_t kPackEscapeBitsOffset = 9;
inline constexpr std::size_t kPackGammaBitsOffset = 10;
inline constexpr std::size_t kPackGammaTopOffset = 11;
inline constexpr std::size_t kPackExtraBitsOffset = 12;
inline constexpr std::size_t kPackRunTableSizeOffset = 15;

// The ranges of the parameters a header can hold; the gamma byte holds
// G + 1.
inline constexpr int kPackMaxEscapeBits = 8;                         // E
inline constexpr int kPackMinGammaLimit = 5, kPackMaxGammaLimit = 7;  // G
inline constexpr int kPackMaxExtraOffsetBits = 4;                    // X

// How many leading bytes hold a field and all before it: a reader of fewer
// bytes cannot see it.
inline constexpr std::size_t kPackMagicEnd = kPackMagicOffset + sizeof kPackMagic;  // 4
inline constexpr std::size_t kPackCsizeEnd = kPackCsizeOffset + 2;                  // 6

// The header's 16-bit fields, read from the stream's first bytes.
inline unsigned pack_orig_size(const std::uint8_t* src)
{
    return src[kPackOrigSizeOffset] | src[kPackOrigSizeOffset + 1] << 8;
}
inline unsigned pack_csize(const std::uint8_t* src) { return src[kPackCsizeOffset] | src[kPackCsizeOffset + 1] << 8; }
inline bool pack_has_magic(const std::uint8_t* src)
{
    return src[kPackMagicOffset] == kPackMagic[0] && src[kPackMagicOffset + 1] == kPackMagic[1];
}

// Writes a 16-bit field of the header, low byte first.
inline void put_pack_field(std::uint8_t* header, std::size_t offset, unsigned value)
{
    header[offset] = static_cast<std::uint8_t>(value & 0xFF);
    header[offset + 1] = static_cast<std::uint8_t>(value >> 8 & 0xFF);
}

}  // namespace zk
