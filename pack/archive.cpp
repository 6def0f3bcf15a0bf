#include "archive.h"

#include "pack.h"
#include "unpack.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zk {

static unsigned be16(const std::uint8_t* p) { return p[0] << 8 | p[1]; }

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
    e.packed = e.start <= size && size - e.start >= kPackMagicEnd && pack_has_magic(a.image.data() + e.start);
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
        rest.size() < kPackCsizeEnd ? rest.size() : std::min<std::size_t>(pack_csize(rest.data()), rest.size());
    return unpack_stream(rest.data(), stream_length, out, e.orig_size);
}

bool archive_reads_as_packed(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= kPackMagicEnd && pack_has_magic(bytes.data());
}

std::string_view archive_entry_name(std::string_view path)
{
    const std::size_t folder_end = path.find_last_of("/\\");
    std::string_view name = folder_end == std::string_view::npos ? path : path.substr(folder_end + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

static void put_be16(std::uint8_t* p, std::size_t value)
{
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

// The bytes an entry takes in the data area, padding included.
static std::size_t span_of(const ArchiveItem& item)
{
    return item.packed ? item.bytes.size() : std::max(item.bytes.size(), kArchiveMinStoredSpan);
}

Prepare prepare_entry(std::span<const std::uint8_t> data, bool store, PreparedEntry& entry)
{
    const bool must_pack = archive_reads_as_packed(data);
    entry.packed = true;
    if (!store || must_pack) {
        switch (pack_stream(data.data(), data.size(), {}, entry.bytes)) {
        case PackResult::Ok:
            if (must_pack || entry.bytes.size() < data.size()) return Prepare::Ok;
            break;
        case PackResult::NoMemory:
            return Prepare::NoMemory;
        default:
            if (must_pack) return Prepare::Unpackable;
            break;
        }
    }
    entry.packed = false;
    try {
        entry.bytes.assign(data.begin(), data.end());
    } catch (const std::bad_alloc&) {
        return Prepare::NoMemory;
    }
    return Prepare::Ok;
}

std::size_t archive_entry_cost(const ArchiveItem& item) { return kArchiveRecordSize + span_of(item); }

ArchiveBuildResult build_archive(std::span<const ArchiveItem> items, std::size_t limit, std::vector<std::uint8_t>& out)
{
    out.clear();
    const std::size_t count = items.size();
    if (count > kArchiveMaxEntries) return {ArchiveBuild::TooManyEntries, kArchiveMaxEntries};

    // out holds the image from the magic on: each image offset less the
    // data size word before it.
    const std::size_t table = kArchiveHeadSize;
    if (limit < table) return {ArchiveBuild::TooLarge, 0};
    std::size_t size = table;
    std::size_t area = 0;  // the data area so far: where the next entry begins
    for (std::size_t i = 0; i < count; ++i) {
        const ArchiveItem& item = items[i];
        if (item.bytes.size() > kArchiveNumberMax) return {ArchiveBuild::EntryTooLong, i};
        if (archive_reads_as_packed(item.bytes) != item.packed) return {ArchiveBuild::Misread, i};
        size += archive_entry_cost(item);
        if (size > limit || area > kArchiveNumberMax) return {ArchiveBuild::TooLarge, i};
        area += span_of(item);
    }

    const std::size_t data_area = table + kArchiveRecordSize * count;
    try {
        out.assign(data_area + area, 0);
    } catch (const std::bad_alloc&) {
        return {ArchiveBuild::NoMemory, 0};
    }
    std::copy(std::begin(kArchiveMagic), std::end(kArchiveMagic), out.begin());
    put_be16(out.data() + kArchiveCountOffset - kArchiveMagicOffset, count);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const ArchiveItem& item = items[i];
        std::uint8_t* record = out.data() + table + kArchiveRecordSize * i;
        put_be16(record + kRecordEntryOffset, offset);
        put_be16(record + kRecordArchiveSize, item.bytes.size());
        std::copy_n(item.name.begin(), std::min(item.name.size(), kRecordNameSize), record + kRecordName);
        std::ranges::copy(item.bytes, out.begin() + static_cast<std::ptrdiff_t>(data_area + offset));
        offset += span_of(item);
    }
    return {};
}

}  // namespace zk
