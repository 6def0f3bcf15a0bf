#include "calc_builder.h"
#include "cli.h"
#include "pack_encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKUnArchive", "1.3");
const std::string kUsage =
    "Usage: zkunarchive <infile> [<entry_number> <outfile>]\n"
    "\n"
    "       extracts one entry of an ZKArchive into a file\n"
    "       (entry_number starts with 0). If no entry number\n"
    "       and outfile are given, zkunarchive lists only\n"
    "       the contents of the ZKArchive\n"
    "\n";

struct ArchiveEntry {
    Bytes data;          // as it lies in the archive
    unsigned archive_size;
    unsigned offset;     // from the start of the data area
};

void put_be16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

// The archive image: room for the datasize word, "zka\0", the count, the
// table, the data.
Bytes archive_image(const std::vector<ArchiveEntry>& entries, unsigned count_field)
{
    Bytes img(8 + 16 * entries.size(), 0);
    std::memcpy(img.data() + 2, "zka", 4);
    put_be16(img, 6, count_field);
    const std::size_t area = img.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        put_be16(img, 8 + 16 * i, entries[i].offset);
        put_be16(img, 8 + 16 * i + 2, entries[i].archive_size);
        std::fill_n(img.begin() + static_cast<long>(8 + 16 * i + 4), 12, 0xCC);  // not interpreted
        if (img.size() < area + entries[i].offset + entries[i].data.size())
            img.resize(area + entries[i].offset + entries[i].data.size());
        std::copy(entries[i].data.begin(), entries[i].data.end(),
                  img.begin() + static_cast<long>(area + entries[i].offset));
    }
    return img;
}

// A calculator variable file around the image, whose first two bytes are
// the variable's length word that the file builder writes itself.
Bytes archive_file(const Bytes& image)
{
    return zktest::calc_file(Bytes(image.begin() + 2, image.end()));
}

// Stored entries laid out one after another.
std::vector<ArchiveEntry> laid_out(const std::vector<Bytes>& blobs)
{
    std::vector<ArchiveEntry> entries;
    unsigned at = 0;
    for (const Bytes& b : blobs) {
        entries.push_back({b, static_cast<unsigned>(b.size()), at});
        at += static_cast<unsigned>(b.size());
    }
    return entries;
}

Bytes filled(std::size_t n, std::uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 3);
    return b;
}

struct Fixture {
    TempDir dir;
    Bytes stored = filled(1234, 1);
    Bytes unpacked;
    Bytes packed;
    Fixture()
    {
        std::mt19937 rng(9);
        unpacked = structured_data(3000, rng);
        packed = pack_random(unpacked, {.run_table = {0}}, rng);
        dir.write("arc.89y", archive_file(archive_image(laid_out({stored, packed, bytes_of("xy")}), 3)));
    }
};

}  // namespace

TEST(ZkUnArchiveArgs, UsageForNoneTwoOrFourArguments)
{
    TempDir dir;
    expect_usage("zkunarchive", dir, kBanner + kUsage, {{}, {"a", "0"}, {"a", "0", "b", "c"}});
}

TEST(ZkUnArchiveList, ListsEveryEntryWithItsSizes)
{
    Fixture f;
    RunResult r = run_tool("zkunarchive", {"arc.89y"}, f.dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner +
                                     "Archive: arc.89y\n"
                                     "Entries: 3\n"
                                     "Entry[00]: archive_size=01234 orig_size=01234\n"
                                     "Entry[01]: archive_size=" +
                                     std::string(5 - std::to_string(f.packed.size()).size(), '0') +
                                     std::to_string(f.packed.size()) +
                                     " orig_size=03000\n"
                                     "Entry[02]: archive_size=00002 orig_size=00002\n");
    EXPECT_EQ(r.err, "");
}

TEST(ZkUnArchiveExtract, StoredAndPackedEntries)
{
    Fixture f;
    RunResult r = run_tool("zkunarchive", {"arc.89y", "0", "e0"}, f.dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "processing uncompressed entry 0 ...\n1234 bytes written to e0\n");
    EXPECT_EQ(f.dir.read("e0"), f.stored);

    r = run_tool("zkunarchive", {"arc.89y", "1", "e1"}, f.dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "processing compressed entry 1 ...\n3000 bytes written to e1\n");
    EXPECT_EQ(f.dir.read("e1"), f.unpacked);

    r = run_tool("zkunarchive", {"arc.89y", " +2abc", "e2"}, f.dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(f.dir.read_text("e2"), "xy");
}

TEST(ZkUnArchiveExtract, EntryNumbersAreSixteenBitAtoi)
{
    Fixture f;
    RunResult r = run_tool("zkunarchive", {"arc.89y", "65536", "e"}, f.dir);  // entry 0
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(f.dir.read("e"), f.stored);

    r = run_tool("zkunarchive", {"arc.89y", "abc", "e"}, f.dir);  // no digits: entry 0
    EXPECT_EQ(r.status, 0);

    r = run_tool("zkunarchive", {"missing", "40000", "e"}, f.dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: negative entry numbers are not valid (40000)\n");

    r = run_tool("zkunarchive", {"missing", "-1", "e"}, f.dir);
    EXPECT_EQ(r.err, "ERROR: negative entry numbers are not valid (-1)\n");

    r = run_tool("zkunarchive", {"arc.89y", "3", "e3"}, f.dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: entry number (3) too large (nr_entries=3)\n");
    EXPECT_FALSE(f.dir.exists("e3"));
}

TEST(ZkUnArchiveErrors, InputProblems)
{
    TempDir dir;
    RunResult r = run_tool("zkunarchive", {"missing"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open input file missing\n");

    Bytes wrong = archive_file(archive_image(laid_out({bytes_of("a")}), 1));
    wrong[86 + 4] = 'b';
    dir.write("zkb", wrong);
    r = run_tool("zkunarchive", {"zkb"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: zkb is not a valid archive\n");

    r = run_tool("zkunarchive", {"."}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
}

TEST(ZkUnArchiveErrors, NegativeCountListsNothingAndRefusesEveryEntry)
{
    TempDir dir;
    dir.write("neg", archive_file(archive_image(laid_out({bytes_of("abc")}), 32768)));
    RunResult r = run_tool("zkunarchive", {"neg"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "Archive: neg\nEntries: -32768\n");

    r = run_tool("zkunarchive", {"neg", "0", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: entry number (0) too large (nr_entries=-32768)\n");
}

TEST(ZkUnArchiveErrors, FailedDecodeLeavesAnEmptyOutput)
{
    TempDir dir;
    Bytes bad = PackWriter({}).finish(10);  // no end marker at all
    bad[10] = 9;                            // and a bad gamma field
    dir.write("a", archive_file(archive_image(laid_out({bad}), 1)));
    RunResult r = run_tool("zkunarchive", {"a", "0", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + "processing compressed entry 0 ...\n");
    EXPECT_EQ(r.err, "ERROR: cannot decompress (code 250)\n");
    EXPECT_TRUE(dir.exists("o"));
    EXPECT_EQ(dir.read("o"), Bytes{});
}

TEST(ZkUnArchiveBounds, ShortFilesAndTablesOutsideTheImage)
{
    TempDir dir;
    Bytes full = archive_file(archive_image(laid_out({bytes_of("abc")}), 1));
    for (std::size_t len : {0ul, 1ul, 50ul, 88ul, 95ul}) {
        dir.write("short", Bytes(full.begin(), full.begin() + static_cast<long>(len)));
        RunResult r = run_tool("zkunarchive", {"short"}, dir);
        EXPECT_EQ(r.status, 1) << len;
        EXPECT_EQ(r.err, "ERROR: short is not a valid archive\n") << len;
    }
    // A count of 5 records in an image that holds one.
    dir.write("table", archive_file(archive_image(laid_out({bytes_of("abc")}), 5)));
    RunResult r = run_tool("zkunarchive", {"table"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: table is not a valid archive\n");
}

TEST(ZkUnArchiveBounds, EntriesOutsideTheImage)
{
    TempDir dir;
    std::vector<ArchiveEntry> entries = laid_out({bytes_of("abc"), bytes_of("de")});
    entries[1].archive_size = 3;  // one byte past the end of the image
    dir.write("a", archive_file(archive_image(entries, 2)));
    RunResult r = run_tool("zkunarchive", {"a"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + "Archive: a\nEntries: 2\nEntry[00]: archive_size=00003 orig_size=00003\n");
    EXPECT_EQ(r.err, "ERROR: entry 1 lies outside the archive a\n");

    r = run_tool("zkunarchive", {"a", "1", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: entry 1 lies outside the archive a\n");
    EXPECT_FALSE(dir.exists("o"));

    Bytes far = archive_file(archive_image({entries[0]}, 1));
    put_be16(far, 86 + 8, 60000);  // entry 0 starts far outside
    dir.write("far", far);
    r = run_tool("zkunarchive", {"far", "0", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: entry 0 lies outside the archive far\n");
}

TEST(ZkUnArchiveBounds, PackedStreamsAreBoundedByTheImage)
{
    std::mt19937 rng(4);
    Bytes data = structured_data(500, rng);
    Bytes s = pack_random(data, {}, rng);
    TempDir dir;
    // Cut the stream's tail off the image: it claims more than remains.
    for (std::size_t keep : {4ul, 10ul, 16ul, s.size() / 2, s.size() - 2}) {
        Bytes cut(s.begin(), s.begin() + static_cast<long>(keep));
        dir.write("a", archive_file(archive_image(laid_out({cut}), 1)));
        RunResult r = run_tool("zkunarchive", {"a", "0", "o"}, dir);
        EXPECT_EQ(r.status, 1) << keep;
        EXPECT_EQ(r.err.rfind("ERROR: cannot decompress (code 25", 0), 0u) << r.err;
    }
}

TEST(ZkUnArchiveOutput, UnwritableOutputs)
{
    Fixture f;
    f.dir.link_to_full("full");
    for (const char* entry : {"0", "1"}) {
        RunResult r = run_tool("zkunarchive", {"arc.89y", entry, "full"}, f.dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");
    }
    RunResult r = run_tool("zkunarchive", {"arc.89y", "0", "no/dir/o"}, f.dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open output file no/dir/o\n");

    r = run_tool("zkunarchive", {"arc.89y"}, f.dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
}
