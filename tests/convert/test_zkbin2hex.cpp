#include "cli.h"
#include "convert_data.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKBin2Hex", "1.10");
const std::string kUsage =
    "Usage: zkbin2hex [flags] <infile> <outfile>\n"
    "\n"
    "       -quiet      ....  don't output standard messages\n"
    "       -slash      ....  append backslash at end of line\n"
    "       -c <count>  ....  number of items per line\n"
    "       -b1         ....  generate unsigned char array\n"
    "       -b2         ....  generate unsigned int  array\n"
    "       -b4         ....  generate unsigned long array\n"
    "       -a <name>   ....  generate an array with given name\n"
    "       -ss <nr>    ....  skip number of bytes at begin of inputfile\n"
    "       -se <nr>    ....  skip number of bytes at end of inputfile\n"
    "       -lb <nr>    ....  insert an additionally linebreak every nr items\n"
    "       infile      ....  name of infile\n"
    "       outfile     ....  name of outfile (use \"-\" for stdout)\n"
    "\n"
    "       converts binary file to C array data\n"
    "\n";

// The text of bytes as zkbin2hex writes it to standard output.
std::string converted(const Bytes& input, std::vector<std::string> flags)
{
    TempDir dir;
    dir.write("in", input);
    flags.insert(flags.end(), {"in", "-"});
    RunResult r = run_tool("zkbin2hex", flags, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

}  // namespace

TEST(ZkBin2HexArgs, UsageOnWrongCommandLines)
{
    TempDir dir;
    dir.write("in", Bytes{1});
    expect_usage("zkbin2hex", dir, kBanner + kUsage, {
             {},
             {"in"},
             {"-quiet", "in"},
             {"in", "out", "third"},
             {"in", "out", "-c"},
             {"in", "out", "-a"},
             {"-c", "x", "in", "out"},
             {"-lb", "-", "in", "out"},
             {"-quiet", "-slash", "-b4"}});
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in"});
}

TEST(ZkBin2HexArgs, ValuesAreTestedAsSoonAsRead)
{
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::string per_line = "ERROR: invalid size for items per line (must be >=1 and <=200)\n";
    for (const Case& c : std::vector<Case>{
             {{"-c", "0", "in", "out"}, per_line},
             {{"-c", "201", "in", "out"}, per_line},
             {{"-c", "-5", "in", "out"}, per_line},
             {{"-c", "99999999999", "in", "out"}, per_line},
             {{"-ss", "-1", "in", "out"}, "ERROR: invalid count for option -ss\n"},
             {{"-se", "-1", "in", "out"}, "ERROR: invalid count for option -se\n"},
             // The bad value stops the scan before the missing value and the third name.
             {{"-c", "0", "-ss"}, per_line},
             {{"-se", "-2", "-c", "0", "a", "b", "c"}, "ERROR: invalid count for option -se\n"}}) {
        RunResult r = run_tool("zkbin2hex", c.args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkBin2HexArgs, NumbersReadLikeAScanOfAnIntegerTheLastOneCounting)
{
    const Bytes six{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(converted(six, {"-c", "1", "-c", " 3abc"}), "0x01,0x02,0x03,\n0x04,0x05,0x06\n");
    EXPECT_EQ(converted(six, {"-c", "+200"}), "0x01,0x02,0x03,0x04,0x05,0x06");
}

TEST(ZkBin2HexArgs, LastItemSizeCountsAndUnknownFlagsAreNames)
{
    TempDir dir;
    dir.write("-x", Bytes{0xAB, 0xCD});
    RunResult r = run_tool("zkbin2hex", {"-b4", "-b1", "-x", "-Quiet"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "2 items with 1 byte(s) written to -Quiet\n");
    EXPECT_EQ(dir.read_c_text("-Quiet"), "0xab,0xcd");
}

// The layout rules themselves are tested on the library (test_item_text.cpp).
TEST(ZkBin2HexText, WorkedExample)
{
    TempDir dir;
    dir.write("in", Bytes{1, 2, 3, 4, 5});
    RunResult r = run_tool("zkbin2hex", {"-b2", "-a", "data", "-c", "2", "in", "out.h"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "3 items with 2 byte(s) written to out.h\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_c_text("out.h"), "unsigned short data[3] = { \n0x0102,0x0304,\n0x0500\n};\n");
}

TEST(ZkBin2HexText, FlagsReachTheLayout)
{
    const Bytes seven{0xde, 0xad, 0xbe, 0xef, 0x12, 0x34, 0x56};
    EXPECT_EQ(converted(seven, {"-slash", "-b4", "-lb", "-1", "-c", "3"}), "0xdeadbeef,\\\n0x12345600\\\n");
}

TEST(ZkBin2HexText, SkipsAtBothEnds)
{
    const Bytes six{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(converted(six, {"-ss", "1", "-se", "2"}), "0x02,0x03,0x04");

    TempDir dir;
    dir.write("in", six);
    RunResult r = run_tool("zkbin2hex", {"-a", "t", "-ss", "6", "in", "out"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "0 items with 1 byte(s) written to out\n");
    EXPECT_EQ(dir.read_c_text("out"), "unsigned char t[0] = { \n};\n");

    // A refused range creates no output and leaves an existing one as it was.
    r = run_tool("zkbin2hex", {"-ss", "4", "-se", "3", "in", "refused"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: no bytes left to process\n");
    EXPECT_FALSE(dir.exists("refused"));
    r = run_tool("zkbin2hex", {"-quiet", "-ss", "7", "in", "out"}, dir);
    EXPECT_EQ(r.err, "ERROR: no bytes left to process\n");
    EXPECT_EQ(dir.read_c_text("out"), "unsigned char t[0] = { \n};\n");
}

TEST(ZkBin2HexText, LargeInputAcrossTheReadBlocks)
{
    const Bytes data = random_bytes(300001, 7);
    EXPECT_EQ(converted(data, {"-b4", "-c", "200", "-slash", "-ss", "3", "-se", "1"}),
              item_text(data, {.item_size = 4, .per_line = 200, .slash = true, .start_skip = 3, .end_skip = 1}));
}

TEST(ZkBin2HexOutput, StandardOutputCarriesOnlyTheText)
{
    TempDir dir;
    dir.write("in", Bytes{9});
    for (const auto& args : std::vector<std::vector<std::string>>{{"in", "-"}, {"-quiet", "in", "-"}}) {
        RunResult r = run_tool("zkbin2hex", args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "0x09");
        EXPECT_EQ(r.err, "");
    }
    RunResult r = run_tool("zkbin2hex", {"-quiet", "in", "out"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read_c_text("out"), "0x09");
}

TEST(ZkBin2HexErrors, FilesThatCannotBeOpenedReadOrWritten)
{
    TempDir dir;
    dir.write("in", Bytes{1, 2, 3});
    RunResult r = run_tool("zkbin2hex", {"missing", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    r = run_tool("zkbin2hex", {"in", "no/such/dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n");

    r = run_tool("zkbin2hex", {"-quiet", ".", "-"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read inputfile .\n", "ERROR: cannot open inputfile .\n"));

    dir.link_to_full("full");
    r = run_tool("zkbin2hex", {"-a", "t", "in", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");

    r = run_tool("zkbin2hex", {"in", "-"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"full", "in"}));
}

TEST(ZkBin2HexErrors, ADeviceHasNoSizeToTakeTheRangeFrom)
{
    ZK_SKIP_ON_WINDOWS("device nodes");
    TempDir dir;
    ASSERT_EQ(mknod(dir.file("zero").c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);
    RunResult r = run_tool("zkbin2hex", {"-quiet", "zero", "z.h"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read inputfile zero\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"zero"});
}
