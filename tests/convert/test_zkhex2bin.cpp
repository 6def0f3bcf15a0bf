#include "cli.h"
#include "convert_data.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKHex2Bin", "1.3");
const std::string kUsage =
    "Usage: zkhex2bin [flags] <infile> <outfile>\n"
    "\n"
    "       -quiet      ....  don't output standard messages\n"
    "       -binary     ....  infile contains binary numbers\n"
    "       infile      ....  name of input file (use '-' for stdin)\n"
    "       outfile     ....  name of output file\n"
    "\n"
    "       Converts text file with hex data to binary file. The numbers\n"
    "       in the inputfile must be prefixed with \"0x\" and must have\n"
    "       ALL the same length (2,4 or 8 hexdigits). Valid separators are\n"
    "       spaces, commas, linebreaks and TABs.\n"
    "       Empty lines are valid. Lines starting with \"//\" or \"#\" are\n"
    "       ignored (comment lines). Example of an inputline:\n"
    "           0x1234,0x5678,0x9ABC,0xdfab\n"
    "       Binary mode: binary numbers have to be prefixed with \"0b\".\n"
    "       Only binary numbers with 8, 16 or 32 digits are valid.\n"
    "       You cannot mix binary and hexnumbers in one inputfile. Example:\n"
    "           0b11110000 0b10101010 0b11111111\n"
    "\n";

// Converts text in quiet mode and returns the bytes written; fails the
// test on any message.
Bytes converted(const std::string& text, bool binary = false)
{
    TempDir dir;
    dir.write("in.txt", text);
    std::vector<std::string> args{"-quiet", "in.txt", "out.bin"};
    if (binary) args.push_back("-binary");
    RunResult r = run_tool("zkhex2bin", args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    return dir.read("out.bin");
}

// Converts text that must fail: returns the error text, and checks that
// no output file is left.
std::string refused(const std::string& text, bool binary = false)
{
    TempDir dir;
    dir.write("in.txt", text);
    std::vector<std::string> args{"in.txt", "out.bin"};
    if (binary) args.push_back("-binary");
    RunResult r = run_tool("zkhex2bin", args, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_FALSE(dir.exists("out.bin")) << text;
    return r.err;
}

const std::string kMismatch = "ERROR: missmatch in length of hexnumbers\n";

}  // namespace

TEST(ZkHex2BinArgs, UsageOnWrongCommandLines)
{
    TempDir dir;
    expect_usage("zkhex2bin", dir, kBanner + kUsage, {
             {}, {"in"}, {"-quiet", "-binary"}, {"-quiet", "in"}, {"a", "b", "c"}});
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkHex2BinArgs, UnknownFlagsAreNames)
{
    TempDir dir;
    dir.write("-Binary", "0x41");
    RunResult r = run_tool("zkhex2bin", {"-Binary", "-x", "-quiet"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("-x"), "A");
}

// The number rules themselves are tested on the library (test_number_text.cpp).
TEST(ZkHex2BinText, WorkedExamples)
{
    TempDir dir;
    dir.write("in.txt", "0x1234,0x5678,0x9ABC,0xdfab\n");
    RunResult r = run_tool("zkhex2bin", {"in.txt", "out.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "8 bytes written to out.bin\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("out.bin"), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDF, 0xAB}));

    EXPECT_EQ(converted("0b11110000 0b10101010 0b11111111", true), (Bytes{0xF0, 0xAA, 0xFF}));
}

TEST(ZkHex2BinText, OnlyCommentsAndEmptyLinesGiveAnEmptyFile)
{
    TempDir dir;
    dir.write("in.txt", "\n \t,\r\n# only comments\n//\n");
    RunResult r = run_tool("zkhex2bin", {"in.txt", "out.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "0 bytes written to out.bin\n");
    EXPECT_TRUE(dir.exists("out.bin"));
    EXPECT_EQ(dir.read("out.bin"), Bytes{});
}

TEST(ZkHex2BinErrors, EveryMessageOfTheNumberText)
{
    EXPECT_EQ(refused("0x12\n\n0x1234\n"), kMismatch);
    EXPECT_EQ(refused("0x123456"), "ERROR: only hexnumbers with 2, 4, or 8 digits are valid\n");
    EXPECT_EQ(refused("0x123"), "ERROR: odd numbers (3) of digits not allowed in hexnumber\n");
    EXPECT_EQ(refused("0b1010", true), "ERROR: length of binary number (4) not a multiple of 8\n");
    EXPECT_EQ(refused("0x12", true), "ERROR: missing prefix \"0b\" of binary number\n");
    EXPECT_EQ(refused("0b111100001111000011110000", true),
              "ERROR: only binarynumbers with 8, 16, or 32 digits are valid\n");
    EXPECT_EQ(refused(std::string("0x12 // note\0\r\n0x34", 19)),
              "ERROR: missing prefix \"0x\" of hexnumber at: // note" + std::string(1, '\0') + "\n");
}

TEST(ZkHex2BinInput, StandardInput)
{
    TempDir dir;
    RunResult r = run_tool("zkhex2bin", {"-", "out.bin"}, dir, {.stdin_data = "0x41 0x42\n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), "using stdin as input\n" + kBanner + "2 bytes written to out.bin\n");
    EXPECT_EQ(dir.read_text("out.bin"), "AB");

    r = run_tool("zkhex2bin", {"-quiet", "-", "out.bin"}, dir, {.stdin_data = "0x43"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read_text("out.bin"), "C");
}

TEST(ZkHex2BinInput, RoundTripOfBareItemText)
{
    const Bytes data = random_bytes(100000, 11);
    TempDir dir;
    dir.write("data.bin", data);
    ASSERT_EQ(run_tool("zkbin2hex", {"-quiet", "-b2", "-c", "13", "data.bin", "data.txt"}, dir).status, 0);
    RunResult r = run_tool("zkhex2bin", {"data.txt", "back.bin"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalized(r.out), kBanner + "100000 bytes written to back.bin\n");
    EXPECT_EQ(dir.read("back.bin"), data);
}

TEST(ZkHex2BinErrors, FilesThatCannotBeOpenedReadOrWritten)
{
    TempDir dir;
    dir.write("in.txt", "0x01");
    RunResult r = run_tool("zkhex2bin", {"missing", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    r = run_tool("zkhex2bin", {"in.txt", "no/such/dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n");

    r = run_tool("zkhex2bin", {"-quiet", ".", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read inputfile .\n", "ERROR: cannot open inputfile .\n"));

    // A failed output is removed only when it is a regular file: a link is
    // not, whatever it points to.
    dir.link_to_full("full");
    r = run_tool("zkhex2bin", {"-quiet", "in.txt", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"full", "in.txt"}));

    dir.link_to_full("stdout");
    r = run_tool("zkhex2bin", {"in.txt", "out"}, dir, {.stdout_to = "stdout"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
}

TEST(ZkHex2BinErrors, AFailedConversionRemovesNoDeviceFifoOrLink)
{
    ZK_SKIP_ON_WINDOWS("FIFOs, device nodes and links");
    TempDir dir;
    dir.write("bad.txt", "0x12 0x1234\n");
    dir.write("target", "kept");
    std::filesystem::create_symlink("target", dir.path() / "link");
    ASSERT_EQ(mknod(dir.file("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    // A reader that is there before the tool opens the FIFO for writing.
    const int reader = open(dir.file("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const char* out : {"null", "fifo", "link"}) {
        SCOPED_TRACE(out);
        RunResult r = run_tool("zkhex2bin", {"-quiet", "bad.txt", out}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, kMismatch);
        EXPECT_TRUE(dir.exists(out));
    }
    close(reader);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"bad.txt", "fifo", "link", "null", "target"}));
    EXPECT_EQ(dir.read_text("target"), "kept");  // the link's target is replaced only by a whole output
}
