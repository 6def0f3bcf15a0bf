// The archive index over images held in exact-size buffers, so that the
// sanitizer sees any read outside them.
#include "archive.h"
#include "pack_inputs.h"
#include "pack_encoder.h"
#include "unpack.h"

#include <gtest/gtest.h>

#include <random>

using namespace zktest;

namespace {

// The image of an archive file: from offset 86 up to the checksum.
Bytes image_of(const Bytes& file) { return Bytes(file.begin() + 86, file.end() - 2); }

Bytes packed(const Bytes& data)
{
    std::mt19937 rng(21);
    return pack_random(data, {.run_table = {0x20}}, rng);
}

Bytes unpacked(const zk::Archive& a, const zk::ArchiveEntry& e, int& code)
{
    Bytes out(e.orig_size);
    code = zk::unpack_entry(a, e, out.data());
    return out;
}

}  // namespace

TEST(ArchiveHead, MagicAndCountFromTheFirstEightBytes)
{
    Bytes head = image_of(archive_of({bytes_of("a"), bytes_of("b")}));
    head.resize(8);
    EXPECT_EQ(zk::archive_count(head), 2);
    EXPECT_EQ(zk::archive_count(std::span(head).first(7)), std::nullopt);
    head[5] = 1;  // "zka\1"
    EXPECT_EQ(zk::archive_count(head), std::nullopt);
}

TEST(ArchiveHead, ReachIsTheTablePlusTwoSixteenBitNumbers)
{
    EXPECT_EQ(zk::archive_reach(0), 8u + 65535 + 65535);
    EXPECT_EQ(zk::archive_reach(65535), 8u + 16 * 65535 + 65535 + 65535);

    // The farthest entry the numbers can make ends exactly at the reach.
    std::vector<BuiltEntry> far{{Bytes(65535, 7), 65535, 65535}};
    const Bytes image = image_of(archive_file(archive_image(far, 1)));
    ASSERT_EQ(image.size(), zk::archive_reach(1));
    const zk::Archive a = zk::open_archive(image).value();
    EXPECT_TRUE(zk::archive_entry(a, 0).inside);
    const Bytes cut(image.begin(), image.end() - 1);
    EXPECT_FALSE(zk::archive_entry(zk::open_archive(cut).value(), 0).inside);
}

TEST(ArchiveOpen, TableMustFitAPositiveCount)
{
    const Bytes image = image_of(archive_of({bytes_of("abc")}));
    EXPECT_TRUE(zk::open_archive(image));
    Bytes five = image;
    put_be16(five, 6, 5);
    EXPECT_FALSE(zk::open_archive(five));
    put_be16(five, 6, 0x7FFF);
    EXPECT_FALSE(zk::open_archive(five));

    Bytes negative = image;
    put_be16(negative, 6, 0x8000);
    const zk::Archive a = zk::open_archive(negative).value();
    EXPECT_EQ(a.nr_entries, -32768);
    put_be16(negative, 6, 0xFFFF);
    EXPECT_EQ(zk::open_archive(negative)->nr_entries, -1);
}

TEST(ArchiveEntries, StoredAndPackedEntries)
{
    std::mt19937 rng(9);
    const Bytes stored = bytes_of("stored bytes");
    const Bytes data = structured_data(3000, rng);
    const Bytes stream = packed(data);
    const Bytes image = image_of(archive_of({stored, stream}));
    const zk::Archive a = zk::open_archive(image).value();
    ASSERT_EQ(a.nr_entries, 2);

    const zk::ArchiveEntry e0 = zk::archive_entry(a, 0);
    EXPECT_FALSE(e0.packed);
    EXPECT_TRUE(e0.inside);
    EXPECT_EQ(e0.orig_size, stored.size());
    const std::span<const std::uint8_t> bytes = zk::stored_bytes(a, e0);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), stored);

    const zk::ArchiveEntry e1 = zk::archive_entry(a, 1);
    EXPECT_TRUE(e1.packed);
    EXPECT_EQ(e1.archive_size, stream.size());
    EXPECT_EQ(e1.orig_size, 3000u);
    int code = -1;
    EXPECT_EQ(unpacked(a, e1, code), data);
    EXPECT_EQ(code, zk::kUnpackOk);
}

TEST(ArchiveEntries, EntriesThatClaimMoreThanTheImage)
{
    std::vector<BuiltEntry> entries = laid_out({bytes_of("abc"), bytes_of("de")});
    entries[1].archive_size = 3;  // one byte past the end of the image
    const Bytes image = image_of(archive_file(archive_image(entries, 2)));
    const zk::Archive a = zk::open_archive(image).value();
    EXPECT_TRUE(zk::archive_entry(a, 0).inside);
    EXPECT_FALSE(zk::archive_entry(a, 1).inside);

    for (std::size_t at : {8u, 10u}) {  // entry 0's offset, then its size
        Bytes far = image;
        put_be16(far, at, 0xFFFF);
        EXPECT_FALSE(zk::archive_entry(zk::open_archive(far).value(), 0).inside) << at;
    }
}

// Data that begin up to three bytes before the end of the image are too
// short to hold a packed stream's magic: a stored entry, outside when it
// claims more.
TEST(ArchiveEntries, DataAtTheVeryEndOfTheImage)
{
    for (unsigned tail = 0; tail < 4; ++tail) {
        Bytes last{0x10, 0x00, 'Z', 'P'};
        last.resize(tail);
        Bytes image = image_of(archive_of({bytes_of("abc"), last}));
        put_be16(image, 8 + 16 + 2, 16);
        const zk::ArchiveEntry e = zk::archive_entry(zk::open_archive(image).value(), 1);
        EXPECT_FALSE(e.packed) << tail;
        EXPECT_FALSE(e.inside) << tail;
    }
}

// A packed stream cut by the end of the image, whatever its csize and
// orig_size claim, fails to decode without a read past the image.
TEST(ArchiveEntries, PackedStreamsAreBoundedByTheImage)
{
    std::mt19937 rng(4);
    const Bytes data = structured_data(500, rng);
    Bytes claims_all = packed(data);
    put_le16(claims_all, 0, 0xFFFF);
    put_le16(claims_all, 4, 0xFFFF);
    for (const Bytes& s : {packed(data), claims_all})
        for (std::size_t keep : {4ul, 5ul, 10ul, 16ul, s.size() / 2, s.size() - 2}) {
            const Bytes image = image_of(archive_of({Bytes(s.begin(), s.begin() + static_cast<long>(keep))}));
            const zk::Archive a = zk::open_archive(image).value();
            const zk::ArchiveEntry e = zk::archive_entry(a, 0);
            ASSERT_TRUE(e.packed && e.inside) << keep;
            int code = 0;
            unpacked(a, e, code);
            EXPECT_GE(code, zk::kUnpackTruncated) << keep;
        }
}

// ---------------------------------------------------------------------------
// The writer (read back by zkunarchive in ZkArchiveRoundTrip).

TEST(ArchiveWriter, RecordsNamesAndPaddingByteForByte)
{
    const Bytes stream = sample_stream(), ab = bytes_of("ab");
    const zk::ArchiveItem items[] = {
        {ab, false, "short"},
        {stream, true, "packed_entry"},
        {{}, false, ""},
    };
    std::vector<std::uint8_t> out{1, 2, 3};
    ASSERT_EQ(zk::build_archive(items, 65535, out).status, zk::ArchiveBuild::Ok);

    Bytes expected{'z', 'k', 'a', 0, 0, 3};
    const Bytes records[] = {
        {0x00, 0x00, 0x00, 0x02, 's', 'h', 'o', 'r', 't', 0, 0, 0, 0, 0, 0, 0},
        {0x00, 0x04, 0x00, static_cast<std::uint8_t>(stream.size()), 'p', 'a', 'c', 'k', 'e', 'd', '_', 'e', 0, 0, 0,
         0},
        {0x00, static_cast<std::uint8_t>(4 + stream.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Bytes& r : records) expected.insert(expected.end(), r.begin(), r.end());
    expected.insert(expected.end(), {'a', 'b', 0, 0});  // padded to 4
    expected.insert(expected.end(), stream.begin(), stream.end());
    expected.insert(expected.end(), {0, 0, 0, 0});  // the empty entry's padding
    EXPECT_EQ(Bytes(out.begin(), out.end()), expected);
}

TEST(ArchiveWriter, RefusesTheFirstEntryThatBreaksARule)
{
    const Bytes zp{'a', 'b', 'Z', 'P', 'c'};
    std::vector<std::uint8_t> out;
    auto refused = [&out](std::vector<zk::ArchiveItem> items, std::size_t limit) {
        out.assign(3, 9);
        const zk::ArchiveBuildResult r = zk::build_archive(items, limit, out);
        EXPECT_TRUE(out.empty());
        return std::pair(r.status, r.index);
    };
    const Bytes four(4, 'x');
    EXPECT_EQ(refused({{four}, {zp, false}}, 65535), std::pair(zk::ArchiveBuild::Misread, std::size_t{1}));
    EXPECT_EQ(refused({{four, true}}, 65535), std::pair(zk::ArchiveBuild::Misread, std::size_t{0}));
    const Bytes too_long(65536, 'x');
    EXPECT_EQ(refused({{four}, {too_long}}, 1 << 20), std::pair(zk::ArchiveBuild::EntryTooLong, std::size_t{1}));
    EXPECT_EQ(refused(std::vector<zk::ArchiveItem>(32768), 1 << 20),
              std::pair(zk::ArchiveBuild::TooManyEntries, std::size_t{32767}));

    // The head, then a record and at least 4 bytes per entry: two short
    // entries take 6 + 2 * 20 bytes.
    const Bytes ab = bytes_of("ab");
    const std::vector<zk::ArchiveItem> two{{four}, {ab}};
    EXPECT_EQ(zk::build_archive(two, 46, out).status, zk::ArchiveBuild::Ok);
    EXPECT_EQ(out.size(), 46u);
    EXPECT_EQ(refused(two, 45), std::pair(zk::ArchiveBuild::TooLarge, std::size_t{1}));
    EXPECT_EQ(refused(two, 25), std::pair(zk::ArchiveBuild::TooLarge, std::size_t{0}));
    EXPECT_EQ(zk::build_archive({}, 6, out).status, zk::ArchiveBuild::Ok);
    EXPECT_EQ(refused({}, 5), std::pair(zk::ArchiveBuild::TooLarge, std::size_t{0}));

    // Past a limit that large, entry_offset could not address an entry.
    const Bytes most(65535, 'x');
    EXPECT_EQ(refused({{most}, {four}, {four}}, 1 << 20), std::pair(zk::ArchiveBuild::TooLarge, std::size_t{2}));
}

TEST(ArchiveWriter, EntryNamesWithoutFoldersAndLastExtension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"level1.bin", "level1"},   {"data/maps/level.one.bin", "level.one"}, {"dir\\pic.dat", "pic"},
        {"noext", "noext"},          {".hidden", ".hidden"},                   {"dir.d/file", "file"},
        {"dir/", ""},                {"", ""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(zk::archive_entry_name(path), name) << path;
}
