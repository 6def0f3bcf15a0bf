#include "archive.h"

#include "unpack.h"

#include <algorithm>
#include <cstring>

namespace zk {

static unsigned be16(const std::uint8_t* p) { return p[0] << 8 | p[1]; }

// A packed stream's csize lies in its bytes 4 and 5.
static constexpr std::size_t kStreamCsizeEnd = 6;
// Its magic in bytes 2 and 3, and orig_size before it.
static constexpr std::size_t kStreamMagicEnd = 4;

static std::size_t data_area_of(std::uint16_t count)
{
    return kArchiveTableOffset + kArchiveRecordSize * count;
}

std::optional<std::uint16_t> archive_count(std::span<const std::uint8_t> head)
{
    if (head.size() < kArchiveTableOffset ||
        std::memcmp(head.data() + kArchiveMagicOffset, kArchiveMagic, sizeof kArchiveMagic) != 0)
        return std::nullopt;
    return static_cast<std::uint16_t>(be16(head.data() + kArchiveCountOffset));
}

std::size_t archive_reach(std::uint16_t count)
{
    return data_area_of(count) + kArchiveNumberMax + kArchiveNumberMax;
}

std::optional<Archive> open_archive(std::span<const std::uint8_t> image)
{
    const std::optional<std::uint16_t> count = archive_count(image);
    if (!count) return std::nullopt;
    Archive a;
    a.image = image;
    a.nr_entries = static_cast<std::int16_t>(*count);
    a.data_area = data_area_of(*count);
    // Only the records of a positive count are ever read.
    if (a.nr_entries > 0 && a.data_area > image.size()) return std::nullopt;
    return a;
}

ArchiveEntry archive_entry(const Archive& a, int i)
{
    const std::uint8_t* record = a.image.data() + kArchiveTableOffset + kArchiveRecordSize * static_cast<unsigned>(i);
    const std::size_t size = a.image.size();
    ArchiveEntry e;
    e.start = a.data_area + be16(record + kRecordEntryOffset);
    e.archive_size = be16(record + kRecordArchiveSize);
    e.packed = e.start <= size && size - e.start >= kStreamMagicEnd && pack_has_magic(a.image.data() + e.start);
    if (e.packed) {
        e.orig_size = pack_orig_size(a.image.data() + e.start);
        e.inside = true;
    } else {
        e.orig_size = e.archive_size;
        e.inside = e.start <= size && size - e.start >= e.archive_size;
    }
    return e;
}

std::span<const std::uint8_t> stored_bytes(const Archive& a, const ArchiveEntry& e)
{
    return a.image.subspan(e.start, e.archive_size);
}

int unpack_entry(const Archive& a, const ArchiveEntry& e, std::uint8_t* out)
{
    const std::span<const std::uint8_t> rest = a.image.subspan(e.start);
    const std::size_t stream_length =
        rest.size() < kStreamCsizeEnd ? rest.size() : std::min<std::size_t>(pack_csize(rest.data()), rest.size());
    return unpack_stream(rest.data(), stream_length, out, e.orig_size);
}

}  // namespace zk
