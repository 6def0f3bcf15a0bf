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
