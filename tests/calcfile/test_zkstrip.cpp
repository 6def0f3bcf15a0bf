#include "calc_builder.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKStrip", "1.8");
const std::string kUsage =
    "Usage: zkstrip [-quiet] <infile> <outfile>\n"
    "\n"
    "       -quiet ... don't output standard messages\n"
    "\n"
    "       extracts the raw binary content of a TI file by stripping\n"
    "       the header and trailing checksum which are only necessary\n"
    "       for the link software to send the data to the calc.\n"
    "       NOTE: after stripping these informations it is no longer\n"
    "       possible to distinguish between a TI89 and a TI92p file.\n"
    "       So be careful!\n"
    "\n";

const Bytes kAbc = calc_file(string_data(bytes_of("abc")));
const Bytes kAbcImage{0x00, 0x06, 0x00, 0x61, 0x62, 0x63, 0x00, 0x2D};

}  // namespace

TEST(ZkStripArgs, UsageWithBannerOnWrongCounts)
{
    TempDir dir;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"in"}, {"-quiet", "in"}, {"-quiet", "-quiet"}, {"a", "b", "c"}}) {
        RunResult r = run_tool("zkstrip", args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + kUsage);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkStripArgs, InvalidOptionAtOnceWithoutNewline)
{
    TempDir dir;
    dir.write("x.89s", kAbc);
    for (const std::string opt : {"-q", "-", "-QUIET"}) {
        RunResult r = run_tool("zkstrip", {"x.89s", opt, "out"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "ERROR: invalid option " + opt);
    }
    EXPECT_FALSE(dir.exists("out"));
}

TEST(ZkStripCut, WorkedExampleAndSummary)
{
    TempDir dir;
    dir.write("x.89s", kAbc);
    RunResult r = run_tool("zkstrip", {"x.89s", "x.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "8 bytes written to x.bin\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("x.bin"), kAbcImage);
}

TEST(ZkStripCut, QuietAnywhereAndRepeated)
{
    TempDir dir;
    Bytes twin = kAbc;
    std::copy(kSig92, kSig92 + 8, twin.begin());
    dir.write("x.9xs", twin);
    for (const auto& args : std::vector<std::vector<std::string>>{{"-quiet", "x.9xs", "a"},
                                                                  {"x.9xs", "a", "-quiet"},
                                                                  {"x.9xs", "-quiet", "a", "-quiet"}}) {
        RunResult r = run_tool("zkstrip", args, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read("a"), kAbcImage);
    }
}

TEST(ZkStripCut, ForeignFileIsWarnedAboutAndStillCut)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 100; ++i) text += static_cast<char>('0' + i % 10);
    dir.write("text", text);
    RunResult r = run_tool("zkstrip", {"-quiet", "text", "out"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "WARNING: neither TI89 nor TI92 inputfile\n");
    EXPECT_EQ(dir.read_text("out"), text.substr(86, 12));
}

TEST(ZkStripCut, HeaderOnlyGivesEmptyOutput)
{
    TempDir dir;
    dir.write("h", Bytes(kAbc.begin(), kAbc.begin() + 88));
    RunResult r = run_tool("zkstrip", {"h", "out"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "0 bytes written to out\n");
    EXPECT_TRUE(dir.exists("out"));
    EXPECT_TRUE(dir.read("out").empty());
}

TEST(ZkStripErrors, RefusalsBeforeTheOutputExists)
{
    TempDir dir;
    RunResult r = run_tool("zkstrip", {"missing", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    dir.write("short", Bytes(kAbc.begin(), kAbc.begin() + 87));
    r = run_tool("zkstrip", {"short", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile short is too short (87 bytes, the header needs 88)\n");

    r = run_tool("zkstrip", {".", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read inputfile .\n", "ERROR: cannot open inputfile .\n"));
    EXPECT_FALSE(dir.exists("out"));

    dir.write("x.89s", kAbc);
    r = run_tool("zkstrip", {"x.89s", "no/such/dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n");
}

TEST(ZkStripOutput, UnwritableOutputs)
{
    TempDir dir;
    dir.write("x.89s", kAbc);
    dir.link_to_full("full");
    RunResult r = run_tool("zkstrip", {"x.89s", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");

    r = run_tool("zkstrip", {"x.89s", "out"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.read("out"), kAbcImage);
}
