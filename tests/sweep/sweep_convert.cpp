// zkbin2hex, zkhex2bin and zkextract against inputs cut at every length
// and against numbers and tokens far out of range.
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zktest;
using namespace zksweep;

TEST(SweepBin2hex, SkipsAgainstEveryInputLength)
{
    TempDir dir;
    for (std::size_t n = 0; n <= 13; ++n) {
        SCOPED_TRACE("length " + str(n));
        Bytes in(n);
        for (std::size_t i = 0; i < n; ++i) in[i] = static_cast<std::uint8_t>(0xA0 + i);
        dir.write("in.bin", in);
        RunResult r = run_tool("zkbin2hex", {"-quiet", "-b4", "-ss", "5", "-se", "5", "-a", "t", "in.bin", "out"}, dir);
        if (n < 10) {
            expect_refused(r, "ERROR: no bytes left to process\n");
            EXPECT_EQ(dir.read_text("out"), "");  // created before the size was known, and left empty
        } else {
            expect_clean(r);
            EXPECT_EQ(r.status, 0);
            const std::size_t items = (n - 10 + 3) / 4;
            EXPECT_EQ(dir.read_text("out").rfind("unsigned long t[" + str(items) + "] = { \n", 0), 0u)
                << dir.read_text("out");
            EXPECT_TRUE(dir.read_text("out").ends_with("};\n"));
        }
    }
}

TEST(SweepBin2hex, HugeNumbers)
{
    TempDir dir;
    dir.write("in.bin", Bytes(10, 1));
    for (const char* skip : {"2147483648", "4294967296", "99999999999999999999999999"}) {
        SCOPED_TRACE(skip);
        expect_refused(run_tool("zkbin2hex", {"-ss", skip, "in.bin", "out"}, dir), "ERROR: no bytes left to process\n");
        expect_refused(run_tool("zkbin2hex", {"-se", skip, "in.bin", "out"}, dir), "ERROR: no bytes left to process\n");
        expect_refused(run_tool("zkbin2hex", {"-c", skip, "in.bin", "out"}, dir),
                       "ERROR: invalid size for items per line (must be >=1 and <=200)\n");
    }
    expect_refused(run_tool("zkbin2hex", {"-ss", "-99999999999999999999", "in.bin", "out"}, dir),
                   "ERROR: invalid count for option -ss\n");
    expect_refused(run_tool("zkbin2hex", {"-c", "-4294967295", "in.bin", "out"}, dir),
                   "ERROR: invalid size for items per line (must be >=1 and <=200)\n");

    // A break period of any size is taken; the extremes never fire here.
    for (const char* period : {"99999999999999999999", "-99999999999999999999", "-9223372036854775808"}) {
        SCOPED_TRACE(period);
        RunResult r = run_tool("zkbin2hex", {"-quiet", "-lb", period, "in.bin", "out"}, dir);
        expect_clean(r);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(dir.read_text("out"), "0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01\n");
    }
}

TEST(SweepHex2bin, EveryTruncationOfTheText)
{
    const std::string text = "0x1234,0x5678\n// note\n#x\n  0xabcd\t0xef01 ,\r\n0x0000\n";
    const Bytes whole{0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD, 0xEF, 0x01, 0x00, 0x00};
    TempDir dir;
    for (std::size_t n = 0; n <= text.size(); ++n) {
        SCOPED_TRACE("length " + str(n));
        dir.write("in.txt", text.substr(0, n));
        RunResult r = run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir);
        expect_clean(r);
        if (r.status == 0) {
            // The numbers that were cut off are not there, and no others are
            // (a cut may leave a shorter first number, which is valid).
            const Bytes out = dir.read("out");
            EXPECT_TRUE(std::equal(out.begin(), out.end(), whole.begin())) << r.err;
        } else {
            expect_one_error(r);
            EXPECT_FALSE(dir.exists("out"));
        }
    }
}

TEST(SweepHex2bin, HugeNumbersAndLines)
{
    TempDir dir;
    dir.write("in.txt", "0x" + std::string(100000, 'f') + "\n");
    expect_refused(run_tool("zkhex2bin", {"in.txt", "out"}, dir),
                   "ERROR: only hexnumbers with 2, 4, or 8 digits are valid\n");
    dir.write("in.txt", "0x" + std::string(100001, 'f') + "\n");
    expect_refused(run_tool("zkhex2bin", {"in.txt", "out"}, dir),
                   "ERROR: odd numbers (100001) of digits not allowed in hexnumber\n");
    dir.write("in.txt", "0b" + std::string(1000000, '1'));
    expect_refused(run_tool("zkhex2bin", {"-binary", "in.txt", "out"}, dir),
                   "ERROR: only binarynumbers with 8, 16, or 32 digits are valid\n");
    EXPECT_FALSE(dir.exists("out"));

    // One line of 4 MB without a line end.
    std::string line;
    for (int i = 0; i < 800000; ++i) line += "0x5a ";
    dir.write("in.txt", line);
    RunResult r = run_tool("zkhex2bin", {"-quiet", "in.txt", "out"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("out"), Bytes(800000, 0x5A));
}

TEST(SweepExtract, EveryTruncationOfTheInput)
{
    const std::string in = "xxBEGINdataEND";
    TempDir dir;
    for (std::size_t n = 0; n <= in.size(); ++n) {
        SCOPED_TRACE("length " + str(n));
        dir.write("in.bin", in.substr(0, n));
        RunResult plain = run_tool("zkextract", {"-quiet", "in.bin", "out", "BEGIN", "END"}, dir);
        RunResult hex = run_tool("zkextract", {"-quiet", "-sh", "-eh", "in.bin", "out", "424547494e", "454e44"}, dir);
        for (const RunResult& r : {plain, hex}) {
            if (n < 7) {
                expect_refused(r, "ERROR: position of start token not found\n");
            } else if (n < 14) {
                expect_refused(r, "ERROR: position of end token not found\n");
            } else {
                expect_clean(r);
                EXPECT_EQ(r.status, 0);
            }
        }
        // No failure creates the output.
        if (n < in.size()) {
            EXPECT_FALSE(dir.exists("out"));
        }
    }
    EXPECT_EQ(dir.read_text("out"), "data");
}

TEST(SweepExtract, HugeTokens)
{
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
