// zktiler and zksplit against inputs of every wrong length and numbers far
// out of range.
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

namespace {

// Every error of zktiler is its line on standard error and the usage text.
void expect_tiler_refused(const RunResult& r, const std::string& err)
{
    expect_refused(r, err);
    EXPECT_NE(r.out.find("Usage: zktiler"), std::string::npos);
}

}  // namespace

// Every length and every number far out of range meets the tile library in
// process (tests/tiler/test_tiles.cpp); here one run of each outcome.
TEST(SweepTiler, BitmapLengths)
{
    // 16 x 4 pixels: 8 bytes for one plane, 16 for two.
    TempDir dir;
    for (std::size_t n : {7, 8, 16}) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "out.c");
        dir.write("in.bin", Bytes(n, 0xC3));
        RunResult r = run_tool("zktiler", {"-ht", "in.bin", "16", "4", "12", "3", "5", "out.c"}, dir);
        if (n == 8 || n == 16) {
            expect_clean(r);
            EXPECT_EQ(r.status, 0);
            EXPECT_NE(r.out.find(n == 8 ? "mode       = MONO\n" : "mode       = GRAY4\n"), std::string::npos);
            EXPECT_FALSE(dir.read("out.c").empty());
        } else {
            expect_tiler_refused(r, "ERROR: filesize (" + str(n) + ") doesn't correspond with height/width\n");
            EXPECT_FALSE(dir.exists("out.c"));
        }
    }
}

TEST(SweepTiler, HugeNumbers)
{
    TempDir dir;
    dir.write("in.bin", Bytes(8, 0));
    expect_tiler_refused(run_tool("zktiler", {"-h", "in.bin", "2147483648", "4", "8", "4", "1", "out.c"}, dir),
                         "ERROR: cannot parse width=2147483648\n");
    // Sizes whose products pass 32 bits are only compared with the file.
    expect_tiler_refused(
        run_tool("zktiler", {"-h", "in.bin", "2147483640", "2147483647", "32", "2147483647", "20", "out.c"}, dir),
        "ERROR: filesize (8) doesn't correspond with height/width\n");
    EXPECT_FALSE(dir.exists("out.c"));
}

TEST(SweepTiler, HugeArrayName)
{
    ZK_SKIP_ON_WINDOWS("a command line over 32767 characters");
    TempDir dir;
    dir.write("in.bin", Bytes(8, 0x81));
    const std::string name(100000, 'n');
    RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "4", "8", "4", "1", "out.c", name}, dir);
    expect_clean(r);
    if (r.status == 0) {
        EXPECT_NE(dir.read_c_text("out.c").find(name), std::string::npos);
    } else {
        expect_one_error(r);
    }
}

// Byte mode cut short before each piece, and whole: the messages say
// where, the whole pieces hold exactly their bytes, and a piece cut short
// is not left.
TEST(SweepSplit, InputLengthsInByteMode)
{
    const std::string head = "using prefix    = [in]\nusing extension = [.bin]\n";
    for (std::size_t n : {0, 9, 10, 19, 20, 25}) {
        SCOPED_TRACE("length " + str(n));
        TempDir dir;
        dir.write("offsets", "10 20\n");
        Bytes in(n);
        for (std::size_t i = 0; i < n; ++i) in[i] = static_cast<std::uint8_t>(i);
        dir.write("in.bin", in);
        RunResult r = run_tool("zksplit", {"-b", "offsets", "in.bin"}, dir);
        expect_clean(r);
        std::string err = head + "extracting to inp000.bin from start=0 (length=10)\n";
        if (n < 10) {
            err += "ERROR: cannot read more data from inputfile\ngenerated ONLY 0 out of 3 files\n";
        } else {
            err += "extracting to inp001.bin from start=10 (length=10)\n";
            if (n < 20)
                err += "ERROR: cannot read more data from inputfile\ngenerated ONLY 1 out of 3 files\n";
            else
                err += "extracting to inp002.bin from start=20 (length=" + str(n - 20) + ")\n";
        }
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.status, n < 20 ? 1 : 0);
        EXPECT_EQ(dir.exists("inp000.bin"), n >= 10);
        EXPECT_EQ(dir.exists("inp001.bin"), n >= 20);
        if (n >= 10) {
            EXPECT_EQ(dir.read("inp000.bin"), prefix_of(in, 10));
        }
        if (n >= 20) {
            EXPECT_EQ(dir.read("inp001.bin"), Bytes(in.begin() + 10, in.begin() + 20));
        }
    }
}

TEST(SweepSplit, HugeAndNegativeOffsets)
{
    const std::string head = "using prefix    = [in]\nusing extension = [.bin]\n";
    TempDir dir;
    dir.write("in.bin", "line 1\nline 2\n");

    dir.write("offsets", "2147483647\n");
    expect_refused(run_tool("zksplit", {"-b", "offsets", "in.bin"}, dir),
                   head + "extracting to inp000.bin from start=0 (length=2147483647)\n"
                          "ERROR: cannot read more data from inputfile\ngenerated ONLY 0 out of 2 files\n");
    expect_refused(run_tool("zksplit", {"-t", "offsets", "in.bin"}, dir),
                   head + "generated ONLY 1 out of 2 files\n");

    dir.write("offsets", "5 99999999999999999999\n");
    expect_refused(run_tool("zksplit", {"-b", "offsets", "in.bin"}, dir),
                   "ERROR: parsing offset[1] from offsets failed\n");

    // A negative offset makes a piece that runs until the input ends.
    dir.write("offsets", "-5\n");
    RunResult r = run_tool("zksplit", {"-b", "offsets", "in.bin"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.ends_with("ERROR: cannot read more data from inputfile\ngenerated ONLY 0 out of 2 files\n"))
        << r.err;
    expect_refused(run_tool("zksplit", {"-t", "offsets", "in.bin"}, dir),
                   "ERROR: offset with value 0 or 1 is not allowed for textmode\n");
}

// Line and tag mode stream lines of any length; a tag line far longer than
// a read block is cut back out of the piece it began in.
TEST(SweepSplit, HugeLines)
{
    TempDir dir;
    const std::string line(1 << 20, 'y');
    dir.write("in.txt", line + "\nTAG\n" + line + "\n" + line + "TAG" + line + "\nend");
    RunResult r = run_tool("zksplit", {"-t", "-s", "TAG", "in.txt"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_text("inp000.txt"), line + "\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), line + "\n");
    EXPECT_EQ(dir.read_text("inp002.txt"), "end");

    dir.write("offsets", "2 3");
    r = run_tool("zksplit", {"-t", "offsets", "in.txt"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("inp001.txt"), "TAG\n");
    EXPECT_EQ(dir.read_text("inp002.txt").size(), 3 * line.size() + 3 + 2 + 3);
}
