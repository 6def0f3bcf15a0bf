// What the calculator decoder (runtime/zkdecode.h) must answer, as
// zkdecode(3) maps it onto the desktop tools: derived from the desktop
// decoder (unpack_stream) for a packed stream, and from zkunarchive's
// reading of an archive (the archive library it is built on) for the
// archive functions. Shared by the differential tests, the emulated
// 68000's tests and the fuzz target.
#pragma once

#include "archive.h"
#include "unpack.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zkrt {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
    long result = 0;
    Bytes out;  // the bytes written, when the result says some were
};

// The stream's header is whole and its fields in range, as unpack_stream
// checks them before it reads a token, and its run table lies inside the
// len bytes.
inline bool header_sound(const std::uint8_t* s, std::size_t len)
{
    if (len < zk::kPackHeaderSize) return false;
    const unsigned gamma_bits = s[zk::kPackGammaBitsOffset];
    return s[zk::kPackEscapeBitsOffset] <= 8 && gamma_bits >= 6 && gamma_bits <= 8 &&
           s[zk::kPackGammaTopOffset] == 1u << (gamma_bits - 1) && s[zk::kPackExtraBitsOffset] <= 4 &&
           zk::kPackHeaderSize + s[zk::kPackRunTableSizeOffset] <= len;
}

inline Answer expect_unpack(const std::uint8_t* src, std::size_t avail, std::size_t room)
{
    if (avail < zk::kPackMagicEnd || !zk::pack_has_magic(src)) return {-1, {}};
    const unsigned orig_size = zk::pack_orig_size(src);
    if (orig_size > room) return {-2, {}};
    if (avail < zk::kPackHeaderSize || zk::pack_csize(src) > avail) return {-3, {}};
    Bytes out(orig_size);
    if (zk::unpack_stream(src, zk::pack_csize(src), out.data(), out.size()) != zk::kUnpackOk) return {-3, {}};
    return {0, out};
}

// How many of the avail bytes at src zk_unpack may read: all of them up to
// the stream's csize, which it has to read first.
inline std::size_t unpack_reach(const std::uint8_t* src, std::size_t avail)
{
    if (avail < zk::kPackCsizeEnd) return avail;
    return std::min<std::size_t>(avail, std::max<std::size_t>(zk::kPackCsizeEnd, zk::pack_csize(src)));
}

// The image zkunarchive reads: a data size word, then the archive.
inline Bytes image_of(const std::uint8_t* arc, std::size_t avail)
{
    Bytes image(zk::kArchiveMagicOffset, 0);
    image.insert(image.end(), arc, arc + avail);
    return image;
}

inline long expect_count(const std::uint8_t* arc, std::size_t avail)
{
    const Bytes image = image_of(arc, avail);
    const std::optional<zk::Archive> a = zk::open_archive(image);
    if (!a) return -1;
    return std::max<long>(a->nr_entries, 0);
}

// zka_extract, or zka_size when size_only.
inline Answer expect_entry(const std::uint8_t* arc, std::size_t avail, long index, std::size_t room, bool size_only)
{
    const Bytes image = image_of(arc, avail);
    const std::optional<zk::Archive> a = zk::open_archive(image);
    if (!a) return {-1, {}};
    if (index < 0 || index >= a->nr_entries) return {-4, {}};
    const zk::ArchiveEntry e = zk::archive_entry(*a, static_cast<int>(index));
    if (!e.inside) return {-3, {}};
    if (e.packed) {
        // The stream as unpack_entry hands it to the decoder.
        const std::size_t rest = image.size() - e.start;
        const std::uint8_t* stream = image.data() + e.start;
        const std::size_t len = rest < zk::kPackCsizeEnd ? rest : std::min<std::size_t>(zk::pack_csize(stream), rest);
        if (!header_sound(stream, len)) return {-3, {}};
    }
    const long size = e.orig_size;
    if (size_only) return {size, {}};
    if (e.orig_size > room) return {-2, {}};
    if (!e.packed) {
        const std::span<const std::uint8_t> bytes = zk::stored_bytes(*a, e);
        return {size, Bytes(bytes.begin(), bytes.end())};
    }
    Bytes out(e.orig_size);
    if (zk::unpack_entry(*a, e, out.data()) != zk::kUnpackOk) return {-3, {}};
    return {size, out};
}

}  // namespace zkrt
