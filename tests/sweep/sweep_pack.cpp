// zkunpack and zkunarchive against packed streams and archives cut short
// and against header numbers that claim far too much: one run for each
// way the executables meet them. Every cut at every length is read through
// the libraries in tests/pack/test_truncation.cpp.
#include "cli.h"
#include "pack_inputs.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

TEST(SweepUnpack, TruncatedStreams)
{
    const Bytes full = sample_stream();
    TempDir dir;
    // Cut inside the magic, and just after the header.
    dir.write("in.bin", prefix_of(full, 3));
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir),
                   "ERROR: inputdata is too short (3 bytes, the header needs 16)\n");
    dir.write("in.bin", prefix_of(full, 16));
    expect_refused(run_tool("zkunpack", {"in.bin", "out"}, dir),
                   "ERROR: format mismatch in input (csize=16|m1=Z|m2=P)\n");

    const std::string text = hex_items(full);
    dir.write("in.txt", text.substr(0, text.size() / 2));
    expect_one_error(run_tool("zkunpack", {"-hti", "in.txt", "out"}, dir));
    EXPECT_FALSE(dir.exists("out"));
}

TEST(SweepUnpack, HugeClaimedSizes)
{
    TempDir dir;
    // An output far larger than the tokens write: the end marker comes
    // early, and the unwritten tail is zero.
    Bytes big = sample_stream();
    put_le16(big, 0, 0xFFFF);
    dir.write("in.bin", big);
    RunResult r = run_tool("zkunpack", {"in.bin", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    Bytes expected = kSampleData;
    expected.resize(0xFFFF, 0);
    EXPECT_EQ(dir.read("out"), expected);

    // Text that holds more than 16 bits of bytes is refused as soon as it has.
    dir.write("in.txt", Bytes(8 << 20, 0x41));
    expect_refused(run_tool("zkunpack", {"-hti", "in.txt", "out2"}, dir),
                   "ERROR: inputdata is too long (>65535 bytes)\n");
    EXPECT_FALSE(dir.exists("out2"));
}

// A cut inside the packed entry: the listing is that of the whole file,
// the stored entry comes out whole, the packed one fails and leaves no
// output.
TEST(SweepUnarchive, TruncatedFile)
{
    const Bytes stored = bytes_of("stored");
    const Bytes file = archive_of({stored, sample_stream(bytes_of("packed packed packed"))});
    TempDir dir;
    dir.write("in.89y", file);
    const RunResult whole = run_tool("zkunarchive", {"in.89y"}, dir);
    ASSERT_EQ(whole.status, 0);

    dir.write("in.89y", prefix_of(file, file.size() - 5));
    RunResult list = run_tool("zkunarchive", {"in.89y"}, dir);
    expect_clean(list);
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, whole.out);

    RunResult r = run_tool("zkunarchive", {"in.89y", "0", "out0"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("out0"), stored);

    r = run_tool("zkunarchive", {"in.89y", "1", "out1"}, dir);
    expect_one_error(r);
    EXPECT_FALSE(dir.exists("out1"));
}
