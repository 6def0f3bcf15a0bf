// The archive index on an image made from the input, held in a buffer of
// its exact size. The records must match a plain reading of the table;
// every stored entry must be exactly its bytes in the image; every packed
// entry must decode as its stream alone does when it is copied out of the
// image, cut where the image ends. An image cut at the reach of its count
// must read as the whole.
#include "archive.h"
#include "unpack.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds) std::abort();
}

// The first input byte chooses: bit 0 takes the rest as the image as it
// is, else the archive magic is put in at offset 2 so that most inputs
// reach the table.
std::vector<std::uint8_t> image_of(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return {};
    std::vector<std::uint8_t> img(data + 1, data + size);
    if (!(data[0] & 1)) {
        static const std::uint8_t magic[] = {'z', 'k', 'a', 0};
        const std::size_t at = std::min<std::size_t>(2, img.size());
        img.insert(img.begin() + static_cast<long>(at), magic, magic + 4);
    }
    return img;
}

// Entry i read straight from the bytes of the image.
zk::ArchiveEntry expected_entry(const std::vector<std::uint8_t>& img, unsigned count, int i)
{
    const std::size_t record = 8 + 16 * static_cast<std::size_t>(i);
    zk::ArchiveEntry x;
    x.start = 8 + 16 * std::size_t{count} + (img[record] << 8 | img[record + 1]);
    x.archive_size = img[record + 2] << 8 | img[record + 3];
    x.packed = x.start + 4 <= img.size() && img[x.start + 2] == 'Z' && img[x.start + 3] == 'P';
    x.orig_size = x.packed ? img[x.start] | img[x.start + 1] << 8 : x.archive_size;
    x.inside = x.packed || x.start + x.archive_size <= img.size();
    return x;
}

bool same(const zk::ArchiveEntry& a, const zk::ArchiveEntry& b)
{
    return a.start == b.start && a.archive_size == b.archive_size && a.packed == b.packed &&
           a.orig_size == b.orig_size && a.inside == b.inside;
}

// The code of the packed entry, checked against its stream alone in a
// buffer of its own exact size.
void check_packed(const std::vector<std::uint8_t>& img, const zk::Archive& a, const zk::ArchiveEntry& e)
{
    const std::size_t left = img.size() - e.start;
    const std::size_t stream_len =
        left < 6 ? left : std::min<std::size_t>(img[e.start + 4] | img[e.start + 5] << 8, left);
    std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[stream_len]);
    std::memcpy(stream.get(), img.data() + e.start, stream_len);
    std::unique_ptr<std::uint8_t[]> want(new std::uint8_t[e.orig_size]);
    const int want_code = zk::unpack_stream(stream.get(), stream_len, want.get(), e.orig_size);

    std::unique_ptr<std::uint8_t[]> got(new std::uint8_t[e.orig_size]);
    require(zk::unpack_entry(a, e, got.get()) == want_code);
    if (want_code == zk::kUnpackOk) require(std::memcmp(got.get(), want.get(), e.orig_size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> img = image_of(data, size);
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[img.size()]);
    if (!img.empty()) std::memcpy(exact.get(), img.data(), img.size());
    const std::span<const std::uint8_t> image(exact.get(), img.size());

    const bool magic = img.size() >= 8 && std::memcmp(img.data() + 2, "zka\0", 4) == 0;
    const unsigned count = magic ? img[6] << 8 | img[7] : 0;
    const int nr_entries = count < 32768 ? static_cast<int>(count) : static_cast<int>(count) - 65536;
    const bool valid = magic && (nr_entries <= 0 || 8 + 16 * std::size_t{count} <= img.size());
    require(zk::archive_count(image).has_value() == magic);
    const std::optional<zk::Archive> a = zk::open_archive(image);
    require(a.has_value() == valid);
    if (!valid) return 0;
    require(a->nr_entries == nr_entries);

    const std::size_t reach = zk::archive_reach(static_cast<std::uint16_t>(count));
    const std::optional<zk::Archive> cut = zk::open_archive(image.first(std::min(reach, image.size())));
    std::set<std::size_t> decoded;  // entries may share their data
    for (int i = 0; i < nr_entries; ++i) {
        const zk::ArchiveEntry x = expected_entry(img, count, i);
        const zk::ArchiveEntry e = zk::archive_entry(*a, i);
        require(same(e, x));
        require(same(zk::archive_entry(*cut, i), x));
        if (!x.inside) continue;
        if (x.packed) {
            if (decoded.insert(x.start).second) check_packed(img, *a, e);
        } else {
            const std::span<const std::uint8_t> bytes = zk::stored_bytes(*a, e);
            require(bytes.data() == exact.get() + x.start && bytes.size() == x.archive_size);
            // Copied out the way extraction writes them; ASan sees every byte read.
            std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size()]);
            std::memcpy(copy.get(), bytes.data(), bytes.size());
            require(std::memcmp(copy.get(), img.data() + x.start, bytes.size()) == 0);
        }
    }
    return 0;
}
