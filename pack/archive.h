// ZKArchive: several blocks of data, each stored as it is or as a packed
// stream, bundled in the memory image of one calculator variable. This
// library reads an image held in memory (it checks it, finds the entries'
// records and their bytes, and decodes a packed entry) and builds one from
// entries already packed or not. It neither reads files nor prints; it
// never reads outside the image it is given.
//
// The image's numbers are 16-bit, unsigned and big-endian:
//   0  datasize, the variable's own length word (not interpreted here)
//   2  the magic "zka\0"
//   6  nr_entries
//   8  nr_entries records of 16 bytes: entry_offset, archive_size and 12
//      bytes that the reader does not interpret (the writer puts the
//      entry's name there, 0x00-filled to 8 bytes, then 4 zeros)
//      then the data area, from which entry_offset counts.
// An entry whose data begin with a packed stream's magic at their offsets 2
// and 3 is packed; any other entry is its archive_size bytes as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace zk {

inline constexpr std::size_t kArchiveMagicOffset = 2;
inline constexpr std::uint8_t kArchiveMagic[] = {'z', 'k', 'a', 0};
inline constexpr std::size_t kArchiveCountOffset = 6;
inline constexpr std::size_t kArchiveTableOffset = 8;  // also the size of the head before the table
inline constexpr std::size_t kArchiveRecordSize = 16;
inline constexpr std::size_t kRecordEntryOffset = 0;   // entry_offset within a record
inline constexpr std::size_t kRecordArchiveSize = 2;   // archive_size within a record
inline constexpr std::size_t kRecordName = 4;          // the entry's name within a record
inline constexpr std::size_t kRecordNameSize = 8;      // then zeros to the record's end
inline constexpr std::size_t kArchiveNumberMax = 0xFFFF;

// The count of records when the first kArchiveTableOffset bytes of head
// hold the magic; empty for a shorter head or another magic.
std::optional<std::uint16_t> archive_count(std::span<const std::uint8_t> head);

// How far into the image an archive of count records can reach: the data
// area, plus the largest entry_offset, plus the largest archive_size or
// packed stream length. No entry can lie past it, so an image cut there
// reads as the whole image does.
std::size_t archive_reach(std::uint16_t count);

// A checked image. nr_entries is the count as a signed number: a count of
// 32768 or more is negative, and such an archive has no entry to read.
struct Archive {
    std::span<const std::uint8_t> image;
    std::int16_t nr_entries = 0;
    std::size_t data_area = 0;  // where the unsigned count puts the data area
};

// The archive in image, or empty when image lacks the magic or a positive
// count of records does not fit in it.
std::optional<Archive> open_archive(std::span<const std::uint8_t> image);

struct ArchiveEntry {
    std::size_t start = 0;      // image offset of the entry's data
    unsigned archive_size = 0;
    bool packed = false;
    unsigned orig_size = 0;     // unpacked length
    bool inside = false;        // every byte the entry claims lies in the image
};

// Entry i of an archive, 0 <= i < nr_entries. A packed entry counts as
// inside once its magic is: its stream is bounded by the image when it is
// decoded.
ArchiveEntry archive_entry(const Archive& archive, int i);

// The bytes of a stored entry that lies inside the image.
std::span<const std::uint8_t> stored_bytes(const Archive& archive, const ArchiveEntry& entry);

// Decodes a packed entry into out, which holds entry.orig_size bytes. The
// stream is as long as its csize says, cut where the image ends. Returns
// the decoder's code.
int unpack_entry(const Archive& archive, const ArchiveEntry& entry, std::uint8_t* out);

// ---------------------------------------------------------------------------
// Writing

// The reader takes nr_entries as a signed 16-bit number, so that an archive
// of more entries would show none.
inline constexpr std::size_t kArchiveMaxEntries = 0x7FFF;

// The reader looks for the packed magic at an entry's bytes 2 and 3 even
// when a stored entry is shorter than 4 bytes. The writer follows such an
// entry with 0x00 bytes up to this length, so that the test meets zeros and
// never the bytes of what comes next.
inline constexpr std::size_t kArchiveMinStoredSpan = 4;

// True when an entry whose data begin with bytes reads as packed. A stored
// entry must not: it has to be packed instead.
bool archive_reads_as_packed(std::span<const std::uint8_t> bytes);

// How an entry is laid out: packed when that makes it smaller, stored as
// it is otherwise. With store, it is stored unless its bytes would read as
// packed. An entry that would read as packed when stored must be packed.
struct PreparedEntry {
    std::vector<std::uint8_t> bytes;  // the packed stream, or the entry itself
    bool packed = false;
};

enum class Prepare {
    Ok,
    Unpackable,  // it begins like a packed stream, so must be packed, and cannot be
    NoMemory,
};

Prepare prepare_entry(std::span<const std::uint8_t> data, bool store, PreparedEntry& entry);

// A file's name as an entry's record keeps it: without the folders before
// its last "/" or "\" (the same on every system, so that one command line
// makes the same archive everywhere) and without its last extension (a
// leading dot does not start one). The record keeps its first 8 bytes.
std::string_view archive_entry_name(std::string_view path);

// One entry as the writer lays it out.
struct ArchiveItem {
    std::span<const std::uint8_t> bytes;  // as they lie in the archive: a packed stream, or the entry itself
    bool packed = false;
    std::string_view name;  // the record keeps the first kRecordNameSize bytes
};

// What an archive holds before its records: the magic and nr_entries.
inline constexpr std::size_t kArchiveHeadSize = kArchiveTableOffset - kArchiveMagicOffset;

// The bytes an entry adds to an archive: its record, and its bytes in the
// data area with their padding. An archive is kArchiveHeadSize bytes plus
// the cost of each entry.
std::size_t archive_entry_cost(const ArchiveItem& item);

enum class ArchiveBuild {
    Ok,
    TooManyEntries,  // more than kArchiveMaxEntries; index is the first entry over
    EntryTooLong,    // an entry's bytes exceed what archive_size counts
    Misread,         // a stored entry would read as packed, or a packed one as stored
    TooLarge,        // the archive would exceed the limit from this entry on (0: a limit below the head)
    NoMemory,        // the archive's bytes could not be had
};

struct ArchiveBuildResult {
    ArchiveBuild status = ArchiveBuild::Ok;
    std::size_t index = 0;  // the entry refused
};

// The archive of items, in their order, into out (replacing its contents):
// the magic, nr_entries, the records and the data area, entries one after
// the other, short stored entries padded. This is the image without its
// leading data size word: the content of the variable that carries it.
// Refused, out left empty, for the first entry that breaks a rule; at
// most limit bytes long, and never longer than its 16-bit entry_offset
// fields can address.
ArchiveBuildResult build_archive(std::span<const ArchiveItem> items, std::size_t limit,
                                 std::vector<std::uint8_t>& out);

}  // namespace zk
