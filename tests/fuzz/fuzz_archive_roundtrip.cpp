// Entries cut from the input, laid out by the archive writer, read back by
// the archive index as the same entries: inside the image, of the same
// kind, size and bytes, with their names in the records, whatever follows
// the archive in the image. Or refused for an entry that breaks a rule,
// with nothing written.
//
// Input: one byte for the limit (times 257), then for each entry a flag
// byte (bit 0 claims the kind opposite to what its bytes read as, rarely
// right; bits 1 to 7 the length of its name, up to 127), a length byte (255:
// the length is in the next two bytes, big-endian) and its bytes, cut where
// the input ends.
#include "archive.h"
#include "unpack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds) std::abort();
}

struct Cut {
    const std::uint8_t* at;
    const std::uint8_t* end;
    std::size_t take(std::size_t n)
    {
        n = std::min<std::size_t>(n, static_cast<std::size_t>(end - at));
        at += n;
        return n;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t limit = data[0] * 257u;
    Cut in{data + 1, data + size};
    std::vector<zk::ArchiveItem> items;
    while (in.at + 2 <= in.end && items.size() <= zk::kArchiveMaxEntries) {
        const std::uint8_t flags = in.at[0];
        std::size_t length = in.at[1];
        in.take(2);
        if (length == 255 && in.at + 2 <= in.end) {
            length = static_cast<std::size_t>(in.at[0] << 8 | in.at[1]) + 1;
            in.take(2);
        }
        const std::uint8_t* bytes = in.at;
        length = in.take(length);
        zk::ArchiveItem item;
        item.bytes = {bytes, length};
        item.packed = zk::archive_reads_as_packed(item.bytes) != (flags & 1);
        item.name = {reinterpret_cast<const char*>(bytes), std::min<std::size_t>(flags >> 1, length)};
        items.push_back(item);
    }

    std::vector<std::uint8_t> out;
    const zk::ArchiveBuildResult built = zk::build_archive(items, limit, out);
    if (built.status != zk::ArchiveBuild::Ok) {
        require(out.empty() && built.index <= items.size());
        if (built.status == zk::ArchiveBuild::Misread) {
            const zk::ArchiveItem& bad = items[built.index];
            require(zk::archive_reads_as_packed(bad.bytes) != bad.packed);
        }
        return 0;
    }
    require(out.size() <= limit);

    // The image: the data size word, the archive, and bytes that read as a
    // packed stream's magic wherever a reader might look past an entry.
    std::vector<std::uint8_t> image{0, 0};
    image.insert(image.end(), out.begin(), out.end());
    image.insert(image.end(), {'Z', 'P', 'Z', 'P'});
    const std::optional<zk::Archive> archive = zk::open_archive(image);
    require(archive && static_cast<std::size_t>(archive->nr_entries) == items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const zk::ArchiveItem& item = items[i];
        const zk::ArchiveEntry e = zk::archive_entry(*archive, static_cast<int>(i));
        require(e.inside && e.packed == item.packed && e.archive_size == item.bytes.size());
        require(std::equal(item.bytes.begin(), item.bytes.end(), image.begin() + static_cast<long>(e.start)));
        const std::uint8_t* record = image.data() + zk::kArchiveTableOffset + zk::kArchiveRecordSize * i;
        const std::size_t kept = std::min(item.name.size(), zk::kRecordNameSize);
        require(std::memcmp(item.name.data(), record + zk::kRecordName, kept) == 0);
        require(std::all_of(record + zk::kRecordName + kept, record + zk::kArchiveRecordSize,
                            [](std::uint8_t b) { return b == 0; }));
    }
    return 0;
}
