// zkunpack and zkunarchive against packed streams and archives cut short
// at every length and against header numbers that claim far too much.
#include "calc_builder.h"
#include "cli.h"
#include "pack_encoder.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace zktest;
using namespace zksweep;

namespace {

const Bytes kData = bytes_of("sweep sweep sweep: repeats, repeats and runs       .");

Bytes packed(const Bytes& data = kData)
{
    std::mt19937 rng(11);
    return pack_random(data, {.run_table = {0x20, 0x65}}, rng);
}

void put_le16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put_be16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

std::string hex_text(const Bytes& b)
{
    std::string t;
    char item[8];
    for (std::uint8_t v : b) {
        std::snprintf(item, sizeof item, "0x%02x,", v);
        t += item;
    }
    return t;
}

// A zkunpack run whose result is either the right data or one error line
// and no output file.
void expect_unpacked_or_refused(const RunResult& r, const TempDir& dir, const Bytes& data)
{
    expect_clean(r);
    if (r.status == 0) {
        EXPECT_EQ(dir.read("out"), data);
    } else {
        expect_one_error(r);
        EXPECT_FALSE(dir.exists("out"));
    }
}

// The archive entries as they lie in the data area, and the calculator file
// around them: the count, one record per entry, the data back to back.
struct Archive {
    std::vector<Bytes> stored;  // each entry's bytes in the archive
    Bytes file;
};

Archive make_archive(const std::vector<Bytes>& entries, int count = -1)
{
    Bytes img{'z', 'k', 'a', 0, 0, 0};  // after the data size word, which calc_file writes
    put_be16(img, 4, count < 0 ? static_cast<unsigned>(entries.size()) : static_cast<unsigned>(count));
    const std::size_t table = img.size();
    img.resize(table + 16 * entries.size(), 0);
    unsigned offset = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        put_be16(img, table + 16 * i, offset);
        put_be16(img, table + 16 * i + 2, static_cast<unsigned>(entries[i].size()));
        offset += static_cast<unsigned>(entries[i].size());
    }
    for (const Bytes& e : entries) img.insert(img.end(), e.begin(), e.end());
    return {entries, calc_file(img)};
}

}  // namespace

TEST(SweepUnpack, EveryTruncationOfTheStream)
{
    const Bytes full = packed();
    TempDir dir;
    for (std::size_t n : cut_lengths(full.size() - 1, 14, {0, 1, 2, 3, 4, 5, 6})) {
        SCOPED_TRACE("length " + str(n));
        dir.write("in.bin", prefix_of(full, n));
        RunResult r = run_tool("zkunpack", {"in.bin", "out"}, dir);
        if (n < 16)
            expect_refused(r, "ERROR: inputdata is too short (" + str(n) + " bytes, the header needs 16)\n");
        else
            expect_refused(r, "ERROR: format mismatch in input (csize=" + str(n) + "|m1=Z|m2=P)\n");
        EXPECT_FALSE(dir.exists("out"));
    }
}

// The same cuts with csize made to agree, so that the decoder itself meets
// the missing bytes.
TEST(SweepUnpack, EveryTruncationThatClaimsToBeWhole)
{
    const Bytes full = packed();
    TempDir dir;
    for (std::size_t n = 16; n < full.size(); ++n) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "out");
        Bytes cut = prefix_of(full, n);
        put_le16(cut, 4, static_cast<unsigned>(n));
        dir.write("in.bin", cut);
        expect_unpacked_or_refused(run_tool("zkunpack", {"in.bin", "out"}, dir), dir, kData);
    }
}

TEST(SweepUnpack, EveryTruncationOfTheHexText)
{
    const std::string text = hex_text(packed());
    TempDir dir;
    // Each item is "0x" and two digits and a comma: cut at every item and
    // inside the first ones and the last ones.
    std::vector<std::size_t> cuts;
    for (std::size_t n = 0; n <= text.size(); ++n)
        if (n < 20 || n + 12 > text.size() || n % 5 == 0) cuts.push_back(n);
    for (std::size_t n : cuts) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "out");
        dir.write("in.txt", text.substr(0, n));
        RunResult r = run_tool("zkunpack", {"-hti", "in.txt", "out"}, dir);
        expect_unpacked_or_refused(r, dir, kData);
        // Only the whole text holds the whole stream.
        EXPECT_EQ(r.status == 0, n + 1 >= text.size()) << r.err;
    }
}

TEST(SweepUnpack, HugeClaimedSizes)
{
    TempDir dir;
    const Bytes full = packed();

    // An output far larger than the tokens write: the end marker comes
    // early, and the unwritten tail is zero.
    Bytes big = full;
    put_le16(big, 0, 0xFFFF);
    dir.write("in.bin", big);
    RunResult r = run_tool("zkunpack", {"in.bin", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    Bytes expected = kData;
    expected.resize(0xFFFF, 0);
    EXPECT_EQ(dir.read("out"), expected);

    // An output too small for the tokens.
    Bytes small = full;
    put_le16(small, 0, 3);
    dir.write("in.bin", small);
    std::filesystem::remove(dir.path() / "out");
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir), "ERROR: cannot decompress (code 254)\n");
    EXPECT_FALSE(dir.exists("out"));

    // A run table longer than the stream.
    Bytes table = full;
    table[15] = 0xFF;
    dir.write("in.bin", table);
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir),
                   "ERROR: inputdata is too short for its run table (" + str(full.size()) + " bytes)\n");

    // A csize beyond the file.
    Bytes csize = full;
    put_le16(csize, 4, 0xFFFF);
    dir.write("in.bin", csize);
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir),
                   "ERROR: format mismatch in input (csize=" + str(full.size()) + "|m1=Z|m2=P)\n");

    // Inputs past the 16-bit limit, raw or as text.
    dir.write("in.bin", Bytes(65536, 0));
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir), "ERROR: inputdata is too long (>65535 bytes)\n");
    dir.write("in.bin", Bytes(8 << 20, 0x41));
    expect_refused(run_tool("zkunpack", {"-hti", "in.bin", "out"}, dir),
                   "ERROR: inputdata is too long (>65535 bytes)\n");
    EXPECT_FALSE(dir.exists("out"));
}

TEST(SweepUnpack, HeaderFieldsOutOfRange)
{
    TempDir dir;
    const Bytes full = packed();
    struct Case {
        std::size_t at;
        std::uint8_t value;
        int code;
    };
    for (const Case& c : {Case{9, 9, 249}, Case{9, 0xFF, 249}, Case{10, 0, 250}, Case{10, 9, 250},
                          Case{10, 0xFF, 250}, Case{11, 0, 250}, Case{12, 5, 251}, Case{12, 0xFF, 251}}) {
        Bytes bad = full;
        bad[c.at] = c.value;
        dir.write("in.bin", bad);
        expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir),
                       "ERROR: cannot decompress (code " + str(c.code) + ")\n");
        EXPECT_FALSE(dir.exists("out"));
    }
}

TEST(SweepUnarchive, EveryTruncationOfTheFile)
{
    const Bytes stored = bytes_of("stored");
    const Bytes data = bytes_of("packed packed packed");
    const Archive a = make_archive({stored, packed(data)});
    const std::vector<Bytes> unpacked{stored, data};
    TempDir dir;
    dir.write("in.89y", a.file);
    const RunResult whole = run_tool("zkunarchive", {"in.89y"}, dir);
    ASSERT_EQ(whole.status, 0);

    // Below the magic every cut meets the same check.
    for (std::size_t n : cut_lengths(a.file.size() - 1, 87, {0, 1, 8, 40})) {
        SCOPED_TRACE("length " + str(n));
        dir.write("in.89y", prefix_of(a.file, n));
        RunResult list = run_tool("zkunarchive", {"in.89y"}, dir);
        expect_clean(list);
        if (list.status == 0) {
            EXPECT_EQ(list.out, whole.out);
        } else {
            expect_one_error(list);
        }
        if (n < 96) {
            EXPECT_EQ(list.err, "ERROR: in.89y is not a valid archive\n");
        }

        for (int i = 0; i < 2; ++i) {
            std::filesystem::remove(dir.path() / "out");
            RunResult r = run_tool("zkunarchive", {"in.89y", std::to_string(i), "out"}, dir);
            expect_clean(r);
            if (r.status == 0) {
                EXPECT_EQ(dir.read("out"), unpacked[i]) << "entry " << i;
            } else {
                expect_one_error(r);
                if (dir.exists("out")) {
                    EXPECT_TRUE(dir.read("out").empty()) << "entry " << i;
                }
            }
        }
    }
}

TEST(SweepUnarchive, HugeClaimedSizes)
{
    TempDir dir;
    auto write_patched = [&](std::size_t at, unsigned value) {
        Archive a = make_archive({bytes_of("abc"), packed()});
        put_be16(a.file, at, value);
        dir.write("in.89y", a.file);
    };
    // File offsets: count at 92, records from 94 (offset, then size).
    write_patched(92, 0x7FFF);
    expect_refused(run_tool("zkunarchive", {"in.89y"}, dir), "ERROR: in.89y is not a valid archive\n");
    expect_refused(run_tool("zkunarchive", {"in.89y", "0", "out"}, dir), "ERROR: in.89y is not a valid archive\n");

    write_patched(92, 0xFFFF);
    RunResult list = run_tool("zkunarchive", {"in.89y"}, dir);
    expect_clean(list);
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("Entries: -1\n"), std::string::npos);
    expect_refused(run_tool("zkunarchive", {"in.89y", "0", "out"}, dir),
                   "ERROR: entry number (0) too large (nr_entries=-1)\n");

    for (std::size_t at : {94u, 96u}) {  // entry 0's offset, then its size
        write_patched(at, 0xFFFF);
        expect_refused(run_tool("zkunarchive", {"in.89y"}, dir), "ERROR: entry 0 lies outside the archive in.89y\n");
        expect_refused(run_tool("zkunarchive", {"in.89y", "0", "out"}, dir),
                       "ERROR: entry 0 lies outside the archive in.89y\n");
    }
    EXPECT_FALSE(dir.exists("out"));

    // A packed entry that claims 65535 bytes of stream and of output but is
    // cut by the end of the image.
    Bytes stream = packed();
    put_le16(stream, 0, 0xFFFF);
    put_le16(stream, 4, 0xFFFF);
    stream.resize(stream.size() - 1);
    dir.write("in.89y", make_archive({stream}).file);
    RunResult cut = run_tool("zkunarchive", {"in.89y", "0", "out"}, dir);
    expect_one_error(cut);
    EXPECT_EQ(cut.err.rfind("ERROR: cannot decompress (code 25", 0), 0u) << cut.err;
    EXPECT_TRUE(dir.read("out").empty());
}

// An entry whose data begin up to three bytes before the end of the image,
// too close to hold the magic of a packed stream, and which claims more.
TEST(SweepUnarchive, EntriesAtTheVeryEndOfTheImage)
{
    TempDir dir;
    for (unsigned tail = 0; tail < 4; ++tail) {
        SCOPED_TRACE("tail " + str(tail));
        Bytes last{0x10, 0x00, 'Z', 'P'};
        last.resize(tail);
        Archive a = make_archive({bytes_of("abc"), last});
        // Claim more than the entry holds.
        put_be16(a.file, 94 + 16 + 2, 16);
        dir.write("in.89y", a.file);
        expect_refused(run_tool("zkunarchive", {"in.89y", "1", "out"}, dir),
                       "ERROR: entry 1 lies outside the archive in.89y\n");
        EXPECT_FALSE(dir.exists("out"));
    }
}
