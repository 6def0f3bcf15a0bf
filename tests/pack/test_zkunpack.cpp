#include "cli.h"
#include "pack_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace zktest;
using namespace std::string_literals;

namespace {

const std::string kBanner = banner("ZKUnpack", "1.8");
const std::string kUsage =
    "Usage: zkunpack [-<flags>] <infile> <outfile>\n"
    "       -hti      treat input as hex-text input\n"
    "       -hto      generate hex-text output\n"
    "       -t        just test (generates no outfile)\n";

Bytes packed(const Bytes& data, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    return pack_random(data, {.run_table = {0x20}}, rng);
}

}  // namespace

TEST(ZkUnpackArgs, UsageOnWrongCommandLines)
{
    TempDir dir;
    expect_usage("zkunpack", dir, kBanner + kUsage, {
             {}, {"in"}, {"-t"}, {"-hti", "-hto", "in"}, {"a", "b", "c"}});
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkUnpackArgs, UnknownFlagsAreFileNames)
{
    TempDir dir;
    dir.write("-x", packed(bytes_of("hello")));
    RunResult r = run_tool("zkunpack", {"-x", "-HTI"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("-HTI"), "hello");
}

TEST(ZkUnpackRaw, WritesBytesAndSummary)
{
    TempDir dir;
    std::mt19937 rng(3);
    Bytes data = structured_data(5000, rng);
    dir.write("in.pk", packed(data));
    RunResult r = run_tool("zkunpack", {"in.pk", "out.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "Decompressed 5000 bytes.\n\n");
    EXPECT_EQ(dir.read("out.bin"), data);
}

TEST(ZkUnpackRaw, FlagsMayComeAnywhereAndRepeat)
{
    TempDir dir;
    dir.write("in.pk", packed(bytes_of("abc")));
    RunResult r = run_tool("zkunpack", {"in.pk", "-hto", "out.txt", "-hto"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_text("out.txt"), "0x61,0x62,0x63");
}

TEST(ZkUnpackTest, ChecksOnlyAndCreatesNothing)
{
    TempDir dir;
    dir.write("in.pk", packed(bytes_of("abc")));
    RunResult r = run_tool("zkunpack", {"-t", "in.pk", "out.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.pk"});
}

TEST(ZkUnpackHexOut, ElevenValuesThenTenPerLine)
{
    TempDir dir;
    dir.write("in.pk", packed(counting(12)));
    ASSERT_EQ(run_tool("zkunpack", {"-hto", "in.pk", "out.txt"}, dir).status, 0);
    EXPECT_EQ(dir.read_text("out.txt"),
              "0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0x09,0x0a,\n0x0b");

    dir.write("in21.pk", packed(counting(21)));
    ASSERT_EQ(run_tool("zkunpack", {"-hto", "in21.pk", "out21.txt"}, dir).status, 0);
    EXPECT_EQ(dir.read_text("out21.txt"),
              "0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0x09,0x0a,\n"
              "0x0b,0x0c,0x0d,0x0e,0x0f,0x10,0x11,0x12,0x13,0x14\n");

    dir.write("in0.pk", packed({}));
    ASSERT_EQ(run_tool("zkunpack", {"-hto", "in0.pk", "out0.txt"}, dir).status, 0);
    EXPECT_EQ(dir.read_text("out0.txt"), "");
}

TEST(ZkUnpackHexIn, DigitPairsCommentsAndDroppedDigits)
{
    TempDir dir;
    Bytes s = packed(bytes_of("A"));
    // Stray single digits, "0x" prefixes, a lone slash and a comment with digits.
    std::string text = "// header 0123\n" + hex_items(s) + "7 / 0x";
    dir.write("in.txt", text);
    RunResult r = run_tool("zkunpack", {"-hti", "in.txt", "out.bin"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read_text("out.bin"), "A");
}

TEST(ZkUnpackHexIn, ConversionRulesSeenThroughTheLengthCheck)
{
    // The converted bytes are not a stream; the mismatch message shows how
    // many bytes the text gave and the bytes at offsets 2 and 3.
    TempDir dir;
    std::string text = "0x12, 0x34 // comment 0x56\n0xAB 0A1B 123 5a/50 ";
    text += std::string(16, '0');
    dir.write("in.txt", text);
    RunResult r = run_tool("zkunpack", {"-hti", "in.txt", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: format mismatch in input (csize=16|m1=\xAB|m2=\x0A)\n");
}

TEST(ZkUnpackLimits, LengthBoundaryAndHexLimitOnProducedBytes)
{
    TempDir dir;
    Bytes big(65535, 0);
    dir.write("max.pk", big);
    RunResult r = run_tool("zkunpack", {"max.pk", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: format mismatch in input (csize=65535|m1=\x00|m2=\x00)\n"s);

    big.push_back(0);
    dir.write("over.pk", big);
    r = run_tool("zkunpack", {"over.pk", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputdata is too long (>65535 bytes)\n");

    // 40000 byte values in 120000 characters are accepted by the length test.
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "00 ";
    dir.write("big.txt", text);
    r = run_tool("zkunpack", {"-hti", "big.txt", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: format mismatch in input (csize=40000|m1=\x00|m2=\x00)\n"s);
    EXPECT_FALSE(dir.exists("o"));

    // A text without digits ends at 64 characters a byte, not at its end
    // (a sparse gigabyte here).
    std::filesystem::resize_file(dir.path() / "big.txt", 0);
    std::filesystem::resize_file(dir.path() / "big.txt", std::uintmax_t{1} << 30);
    r = run_tool("zkunpack", {"-hti", "big.txt", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: hex text is too long (more than 4194240 characters)\n");
}

TEST(ZkUnpackErrors, MessagesInTheOrderOfTheChecks)
{
    TempDir dir;
    RunResult r = run_tool("zkunpack", {"missing", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open input file missing\n");

    Bytes s = packed(bytes_of("abcdef"));
    Bytes longer = s;
    longer.push_back(0);
    dir.write("long.pk", longer);
    r = run_tool("zkunpack", {"long.pk", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: format mismatch in input (csize=" + std::to_string(longer.size()) +
                         "|m1=Z|m2=P)\n");

    Bytes tq = s;
    tq[2] = 'T';
    tq[3] = 'Q';
    dir.write("tq.pk", tq);
    r = run_tool("zkunpack", {"tq.pk", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: format mismatch in input (csize=" + std::to_string(s.size()) +
                         "|m1=T|m2=Q)\n");

    Bytes bad_gamma = s;
    bad_gamma[10] = 9;
    dir.write("g.pk", bad_gamma);
    r = run_tool("zkunpack", {"g.pk", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot decompress (code 250)\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"g.pk", "long.pk", "tq.pk"}));
}

TEST(ZkUnpackErrors, ShortInputsAreRefusedWithoutOutput)
{
    TempDir dir;
    dir.write("empty", Bytes{});
    RunResult r = run_tool("zkunpack", {"empty", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputdata is too short (0 bytes, the header needs 16)\n");

    // A header that claims a run table longer than the file.
    PackWriter w({});
    Bytes s = w.finish(0);
    s[15] = 4;
    s.push_back(0);
    s[4] = static_cast<std::uint8_t>(s.size());
    dir.write("table", s);
    r = run_tool("zkunpack", {"table", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputdata is too short for its run table (17 bytes)\n");
    EXPECT_FALSE(dir.exists("o"));
}

// Every cut of a stream is refused by the decoder (test_unpack.cpp); here
// one cut whose csize claims it is whole.
TEST(ZkUnpackErrors, BrokenStreamsFailWithoutOutput)
{
    TempDir dir;
    std::mt19937 rng(5);
    Bytes s = packed(structured_data(700, rng));
    const std::size_t len = s.size() / 2;
    Bytes cut(s.begin(), s.begin() + static_cast<long>(len));
    cut[4] = len & 0xFF;
    cut[5] = static_cast<std::uint8_t>(len >> 8);
    dir.write("cut.pk", cut);
    RunResult r = run_tool("zkunpack", {"cut.pk", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ERROR: cannot decompress (code 25", 0), 0u) << r.err;

    // orig_size smaller than what the tokens write.
    Bytes small = s;
    small[0] = 10;
    small[1] = 0;
    dir.write("small.pk", small);
    r = run_tool("zkunpack", {"small.pk", "o"}, dir);
    EXPECT_EQ(r.err, "ERROR: cannot decompress (code 254)\n");
    EXPECT_FALSE(dir.exists("o"));
}

// An output that is the input, however it is named, is refused before it
// is created; in test mode no output is made, so none is refused.
TEST(ZkUnpackOutput, OutputThatIsTheInputIsRefused)
{
    TempDir dir;
    const Bytes stream = packed(bytes_of("abc"));
    dir.write("in.pk", stream);
    std::filesystem::create_symlink("in.pk", dir.path() / "link");
    for (const char* name : {"./in.pk", "link"}) {
        RunResult r = run_tool("zkunpack", {"in.pk", name}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: outputfile " + std::string(name) + " is the inputfile\n");
        EXPECT_EQ(dir.read("in.pk"), stream);
    }
    EXPECT_EQ(run_tool("zkunpack", {"-t", "in.pk", "in.pk"}, dir).status, 0);
}

TEST(ZkUnpackOutput, UnwritableOutputs)
{
    TempDir dir;
    dir.write("in.pk", packed(bytes_of("abc")));
    dir.link_to_full("full");
    RunResult r = run_tool("zkunpack", {"in.pk", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");

    r = run_tool("zkunpack", {"-hto", "in.pk", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");

    r = run_tool("zkunpack", {"in.pk", "no/such/dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n\n");

    r = run_tool("zkunpack", {"in.pk", "out"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Decompressed 3 bytes.\n\nERROR: cannot write to stdout\n");
}

TEST(ZkUnpackInput, DirectoryAsInput)
{
    TempDir dir;
    RunResult r = run_tool("zkunpack", {".", "o"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read input file .\n", "ERROR: cannot open input file .\n"));
}

TEST(ZkUnpackOutput, ClosedStandardOutputNeverLeaksIntoTheOutputFile)
{
    TempDir dir;
    dir.write("in.pk", packed(bytes_of("abc")));
    RunResult r = run_tool("zkunpack", {"in.pk", "out"}, dir, {.stdout_closed = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Decompressed 3 bytes.\n\nERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.read_text("out"), "abc");
}
