// zksplit and zkextract against inputs of every wrong length, lines and
// tokens of any length, and numbers far out of range.
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

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

TEST(SweepExtract, CutInput)
{
    TempDir dir;
    dir.write("in.bin", "xxBEGINdat");
    expect_refused(run_tool("zkextract", {"-quiet", "in.bin", "out", "BEGIN", "END"}, dir),
                   "ERROR: position of end token not found\n");
    expect_refused(run_tool("zkextract", {"-quiet", "-sh", "-eh", "in.bin", "out", "424547494e", "454e44"}, dir),
                   "ERROR: position of end token not found\n");
    dir.write("in.bin", "xxBEG");
    expect_refused(run_tool("zkextract", {"-quiet", "in.bin", "out", "BEGIN", "END"}, dir),
                   "ERROR: position of start token not found\n");
    EXPECT_FALSE(dir.exists("out"));
}

TEST(SweepExtract, HugeTokens)
{
    ZK_SKIP_ON_WINDOWS("a command line over 32767 characters");
    TempDir dir;
    dir.write("in.bin", "xxBEGINdataEND");
    const std::string big(100000, 'a');
    expect_refused(run_tool("zkextract", {"in.bin", "out", big}, dir), "ERROR: position of start token not found\n");
    expect_refused(run_tool("zkextract", {"-sh", "in.bin", "out", big + "b"}, dir),
                   "ERROR: invalid length (100001) for hextoken (" + big + "b)\n");
    expect_refused(run_tool("zkextract", {"in.bin", "out", "BEGIN", big}, dir),
                   "ERROR: position of end token not found\n");
    EXPECT_FALSE(dir.exists("out"));
}
