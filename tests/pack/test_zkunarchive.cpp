#include "pack_inputs.h"
#include "cli.h"
#include "pack_encoder.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST(ZkUnArchiveErrors, FailedDecodeLeavesNoOutput)
{
    TempDir dir;
    Bytes bad = PackWriter({}).finish(10);  // no end marker at all
    bad[10] = 9;                            // and a bad gamma field
    dir.write("a", archive_file(archive_image(laid_out({bad}), 1)));
    RunResult r = run_tool("zkunarchive", {"a", "0", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + "processing compressed entry 0 ...\n");
    EXPECT_EQ(r.err, "ERROR: cannot decompress (code 250)\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"a"});
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
    std::vector<BuiltEntry> entries = laid_out({bytes_of("abc"), bytes_of("de")});
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
    // The stream's tail is cut off the image: it claims more than remains.
    std::mt19937 rng(4);
    Bytes s = pack_random(structured_data(500, rng), {}, rng);
    TempDir dir;
    dir.write("a", archive_of({Bytes(s.begin(), s.begin() + static_cast<long>(s.size() / 2))}));
    RunResult r = run_tool("zkunarchive", {"a", "0", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ERROR: cannot decompress (code 25", 0), 0u) << r.err;
}

// The magic is checked before anything is allocated, and no more is read
// than the archive's 16-bit numbers can reach: a huge file costs neither
// memory nor a full read. The files are sparse.
TEST(ZkUnArchiveBounds, HugeFilesAreReadOnlyAsFarAsAnArchiveReaches)
{
    constexpr long kQuarterGiB = 256 * 1024;
    TempDir dir;
    dir.write("junk", Bytes{});
    std::filesystem::resize_file(dir.path() / "junk", 1ul << 30);
    RunResult r = run_tool("zkunarchive", {"junk"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: junk is not a valid archive\n");
    EXPECT_LT(r.peak_memory_kib, kQuarterGiB);

    dir.write("big", archive_of({bytes_of("abc"), bytes_of("de")}));
    std::filesystem::resize_file(dir.path() / "big", 1ul << 30);
    r = run_tool("zkunarchive", {"big"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "Archive: big\nEntries: 2\n"
                                           "Entry[00]: archive_size=00003 orig_size=00003\n"
                                           "Entry[01]: archive_size=00002 orig_size=00002\n");
    EXPECT_LT(r.peak_memory_kib, kQuarterGiB);
    r = run_tool("zkunarchive", {"big", "1", "e1"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("e1"), "de");
    EXPECT_LT(r.peak_memory_kib, kQuarterGiB);
}

// An output that is the input, however it is named, is refused before it
// is created: the archive keeps every entry.
TEST(ZkUnArchiveOutput, OutputThatIsTheInputIsRefused)
{
    Fixture f;
    const Bytes archive = f.dir.read("arc.89y");
    std::filesystem::create_symlink("arc.89y", f.dir.path() / "link");
    for (const char* name : {"./arc.89y", "link"}) {
        RunResult r = run_tool("zkunarchive", {"arc.89y", "0", name}, f.dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner);
        EXPECT_EQ(r.err, "ERROR: outputfile " + std::string(name) + " is the inputfile\n");
        EXPECT_EQ(f.dir.read("arc.89y"), archive);
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
