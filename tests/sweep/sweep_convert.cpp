// zkbin2hex and zkhex2bin against numbers and lines far out of range, and
// against cut inputs. The cuts at every length run in
// process on the libraries (tests/convert/); here one cut of each kind
// shows that the tool ends cleanly on it.
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

TEST(SweepBin2hex, SkipsAtTheEdgeOfTheInput)
{
    TempDir dir;
    dir.write("in.bin", Bytes{0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA});
    RunResult r = run_tool("zkbin2hex", {"-quiet", "-ss", "6", "-se", "6", "in.bin", "out"}, dir);
    expect_refused(r, "ERROR: no bytes left to process\n");
    EXPECT_FALSE(dir.exists("out"));
    r = run_tool("zkbin2hex", {"-quiet", "-b4", "-ss", "5", "-se", "5", "-a", "t", "in.bin", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_c_text("out"), "unsigned long t[1] = { \n0xa5000000\n};\n");
}

TEST(SweepBin2hex, HugeNumbers)
{
    TempDir dir;
    dir.write("in.bin", Bytes(10, 1));
    for (const char* skip : {"2147483648", "4294967296", "99999999999999999999999999"}) {
        SCOPED_TRACE(skip);
        expect_refused(run_tool("zkbin2hex", {"-ss", skip, "in.bin", "out"}, dir), "ERROR: no bytes left to process\n");
    }
    expect_refused(run_tool("zkbin2hex", {"-se", "4294967296", "in.bin", "out"}, dir),
                   "ERROR: no bytes left to process\n");
    expect_refused(run_tool("zkbin2hex", {"-c", "4294967296", "in.bin", "out"}, dir),
                   "ERROR: invalid size for items per line (must be >=1 and <=200)\n");
    expect_refused(run_tool("zkbin2hex", {"-ss", "-99999999999999999999", "in.bin", "out"}, dir),
                   "ERROR: invalid count for option -ss\n");
    expect_refused(run_tool("zkbin2hex", {"-c", "-4294967295", "in.bin", "out"}, dir),
                   "ERROR: invalid size for items per line (must be >=1 and <=200)\n");
    EXPECT_FALSE(dir.exists("out"));

    // A break period of any size is taken; the extremes never fire here.
    RunResult r = run_tool("zkbin2hex", {"-quiet", "-lb", "-9223372036854775808", "in.bin", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_c_text("out"), "0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01\n");
}

TEST(SweepHex2bin, CutText)
{
    TempDir dir;
    // Cut inside the second number: a shorter second number is refused.
    dir.write("in.txt", "0x1234,0x56");
    RunResult r = run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir);
    expect_refused(r, "ERROR: missmatch in length of hexnumbers\n");
    EXPECT_FALSE(dir.exists("out"));
    // Cut after a prefix: a bare prefix ends its line.
    dir.write("in.txt", "0x1234,0x5678\n0x");
    r = run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("out"), (Bytes{0x12, 0x34, 0x56, 0x78}));
}

TEST(SweepHex2bin, HugeNumbersAndLines)
{
    TempDir dir;
    dir.write("in.txt", "0x" + std::string(100001, 'f') + "\n");
    expect_refused(run_tool("zkhex2bin", {"in.txt", "out"}, dir),
                   "ERROR: odd numbers (100001) of digits not allowed in hexnumber\n");
    EXPECT_FALSE(dir.exists("out"));

    // One line of 4 MB without a line end.
    std::string line;
    for (int i = 0; i < 800000; ++i) line += "0x5a ";
    dir.write("in.txt", line);
    RunResult r = run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("out"), Bytes(800000, 0x5A));

    // A line without "0x" is quoted up to its first kilobyte.
    dir.write("in.txt", "0x12 " + std::string(5000, 'z'));
    expect_refused(run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir),
                   "ERROR: missing prefix \"0x\" of hexnumber at: " + std::string(1024, 'z') + "\n");
}
