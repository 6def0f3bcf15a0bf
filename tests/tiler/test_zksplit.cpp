#include "cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKSplit", "1.7");
const std::string kUsage =
    "Usage: zksplit [flags] <-t | -b> <offsetfile> <infile>\n"
    "       -t          ...  treat offsets as linenumbers (starting at 1)\n"
    "       -b          ...  treat offsets as byteoffsets (starting at 0)\n"
    "       -s <string> ...  use inline split tag instead of offset file\n"
    "       -v          ...  output additionally messages\n"
    "\n"
    "offsets are read from file offsetfile, which must contain offsets only\n"
    "in ascending numbers (maximum: 999 offsets). each offset is treated as\n"
    "the start of a new file. the first offset is the start of the second (!!!)\n"
    "file and so on.\n"
    "The outputfile names are generated from the inputfilename using\n"
    "the following pattern:\n"
    "<inputname>p<nr>.<inputextension>\n"
    "nr ranges from 000 to 999\n"
    "\n";

RunResult zksplit(const std::vector<std::string>& args, const TempDir& dir, const RunOptions& opts = {})
{
    return run_tool("zksplit", args, dir, opts);
}

// "line 1\n" up to "line n\n".
std::string numbered_lines(int first, int last)
{
    std::string text;
    for (int i = first; i <= last; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

std::string offset_text(int first, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += std::to_string(first + i) + "\n";
    return text;
}

std::string names_lines(const std::string& prefix, const std::string& extension)
{
    return "using prefix    = [" + prefix + "]\nusing extension = [" + extension + "]\n";
}

Bytes counting(unsigned n)
{
    Bytes b;
    for (unsigned i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    return b;
}

Bytes slice(const Bytes& b, std::size_t from, std::size_t to)
{
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

using Names = std::vector<std::string>;

}  // namespace

// ---------------------------------------------------------------------------

TEST(ZkSplitArgs, UsageWhenAPartIsMissing)
{
    TempDir dir;
    dir.write("off", "2\n");
    dir.write("in.txt", "a\nb\n");
    expect_usage("zksplit", dir, kBanner + kUsage,
                 {{},
                  {"-t"},
                  {"off", "in.txt"},              // no split mode
                  {"-t", "off"},                  // no input
                  {"-s", "TAG", "in.txt"},        // a tag needs a split mode too
                  {"-t", "in.txt", "-s", "TAG"},  // in.txt is the offset file
                  {"-t", "off", "in.txt", "-s"}});  // -s without its value
    EXPECT_EQ(dir.list(), (Names{"in.txt", "off"}));
}

TEST(ZkSplitArgs, LastModeWinsAndFlagsMayComeAnywhere)
{
    TempDir dir;
    dir.write("off", "2");
    dir.write("in.txt", "ab\ncd\n");
    RunResult r = zksplit({"off", "-t", "in.txt", "-v", "-b", "extra"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(dir.read_text("inp000.txt"), "ab");
    EXPECT_EQ(dir.read_text("inp001.txt"), "\ncd\n");
    EXPECT_EQ(dir.list(), (Names{"in.txt", "inp000.txt", "inp001.txt", "off"}));
}

TEST(ZkSplitArgs, TagTakesTheNextArgumentWhateverItIs)
{
    TempDir dir;
    dir.write("in.txt", "a\n-b here\nc\n");
    RunResult r = zksplit({"-t", "-s", "-b", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "c\n");
}

TEST(ZkSplitArgs, TagMakesTheOffsetFileIgnored)
{
    TempDir dir;
    dir.write("in.txt", "a\n#\nb\n");
    RunResult r = zksplit({"-b", "missing-offsets", "-s", "#", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.list(), (Names{"in.txt", "inp000.txt", "inp001.txt"}));
}

TEST(ZkSplitArgs, ClosedStandardOutputIsAnError)
{
    TempDir dir;
    dir.write("off", "1");
    dir.write("in.bin", "xy");
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir, {.stdout_closed = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=1)\n"
                         "extracting to inp001.bin from start=1 (length=1)\n"
                         "ERROR: cannot write to stdout\n");
}

// ---------------------------------------------------------------------------

TEST(ZkSplitOffsets, UnreadableOrEmptyFilesEndTheRun)
{
    TempDir dir;
    dir.write("in.bin", "abc");
    RunResult r = zksplit({"-b", "nope", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open offsetfile nope\n");

    for (std::string text : {"", " \n\t\r\n  "}) {
        dir.write("off", text);
        r = zksplit({"-b", "off", "in.bin"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "");
    }

    std::filesystem::create_directory(dir.path() / "offdir");
    r = zksplit({"-b", "offdir", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: parsing offset[0] from offdir failed\n");
    EXPECT_EQ(dir.list(), (Names{"in.bin", "off", "offdir"}));
}

TEST(ZkSplitOffsets, MalformedListsAreReportedInOrder)
{
    TempDir dir;
    dir.write("in.bin", "abcdefghij");
    struct Case {
        std::string text;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {"3 x 5", "ERROR: parsing offset[1] from off failed\n"},
             {"3 5x", "ERROR: parsing offset[2] from off failed\n"},
             {"3\n4\n-", "ERROR: parsing offset[2] from off failed\n"},
             {"0x10", "ERROR: offset 0 is invalid\n"},
             {"2147483648", "ERROR: parsing offset[0] from off failed\n"},
             {"1 4294967298", "ERROR: parsing offset[1] from off failed\n"},
             {"5 3", "ERROR: offsets are not ascending\n"},
             {"5 0", "ERROR: offsets are not ascending\n"},
             {"0 5", "ERROR: offset 0 is invalid\n"},
             {"-3 0", "ERROR: offset 0 is invalid\n"},
             {"4 4 3", "ERROR: offsets are not ascending\n"}}) {
        dir.write("off", c.text);
        RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
        EXPECT_EQ(r.status, 1) << c.text;
        EXPECT_EQ(r.err, c.err) << c.text;
    }
    EXPECT_EQ(dir.list(), (Names{"in.bin", "off"}));
}

TEST(ZkSplitOffsets, SignsAndSeparatorsOfTheNumbers)
{
    TempDir dir;
    dir.write("in.bin", "abcdefghij");
    dir.write("off", "\t+02\r\n\n  005 5\v7");
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read_text("inp000.bin"), "ab");
    EXPECT_EQ(dir.read_text("inp001.bin"), "cde");
    EXPECT_EQ(dir.read_text("inp002.bin"), "");
    EXPECT_EQ(dir.read_text("inp003.bin"), "fg");
    EXPECT_EQ(dir.read_text("inp004.bin"), "hij");
}

TEST(ZkSplitOffsets, NineHundredNinetyNineMakeAThousandPieces)
{
    TempDir dir;
    std::string text;
    for (int i = 1; i <= 999; ++i) text += std::to_string(i) + (i % 10 ? " " : "\n");
    dir.write("off", text);
    Bytes data = counting(1005);
    dir.write("in.bin", data);
    RunResult r = zksplit({"-v", "-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("WARNING: read 1000 offsets. Dropping the rest.\nusing prefix"));
    EXPECT_TRUE(r.err.ends_with("extracting to inp999.bin from start=999 (length=6)\n"
                                "successfully generated 1000 out of 1000 files\n"));
    EXPECT_EQ(dir.list().size(), 1002u);
    EXPECT_EQ(dir.read("inp000.bin"), slice(data, 0, 1));
    EXPECT_EQ(dir.read("inp500.bin"), slice(data, 500, 501));
    EXPECT_EQ(dir.read("inp999.bin"), slice(data, 999, 1005));
}

TEST(ZkSplitOffsets, ReadingStopsAfterTheNineHundredNinetyNinth)
{
    TempDir dir;
    // The rest is never read, so neither the bad order nor the word matters.
    dir.write("off", offset_text(1, 999) + "5 junk");
    dir.write("in.bin", counting(1000));
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("WARNING: read 1000 offsets. Dropping the rest.\n"));
    EXPECT_TRUE(dir.exists("inp999.bin"));
    EXPECT_FALSE(dir.exists("inp1000.bin"));

    dir.write("off", offset_text(1, 998));
    r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.starts_with("using prefix"));
}

// ---------------------------------------------------------------------------

TEST(ZkSplitBytes, WorkedExample)
{
    TempDir dir;
    Bytes data = counting(25);
    dir.write("in.bin", data);
    dir.write("off", "10\n20\n");
    const std::string progress = names_lines("in", ".bin") +
                                 "extracting to inp000.bin from start=0 (length=10)\n"
                                 "extracting to inp001.bin from start=10 (length=10)\n"
                                 "extracting to inp002.bin from start=20 (length=5)\n";
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, progress);
    EXPECT_EQ(dir.read("inp000.bin"), slice(data, 0, 10));
    EXPECT_EQ(dir.read("inp001.bin"), slice(data, 10, 20));
    EXPECT_EQ(dir.read("inp002.bin"), slice(data, 20, 25));

    r = zksplit({"-b", "-v", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, progress + "successfully generated 3 out of 3 files\n");
}

TEST(ZkSplitBytes, EmptyPiecesAtTheEndAndBetweenEqualOffsets)
{
    TempDir dir;
    dir.write("in.bin", "0123456789");
    dir.write("off", "4 4 10");
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=4)\n"
                         "extracting to inp001.bin from start=4 (length=0)\n"
                         "extracting to inp002.bin from start=4 (length=6)\n"
                         "extracting to inp003.bin from start=10 (length=0)\n");
    EXPECT_EQ(dir.read_text("inp000.bin"), "0123");
    EXPECT_EQ(dir.read_text("inp001.bin"), "");
    EXPECT_EQ(dir.read_text("inp002.bin"), "456789");
    EXPECT_EQ(dir.read_text("inp003.bin"), "");
}

TEST(ZkSplitBytes, OffsetPastTheEndFailsWithAPartialPiece)
{
    TempDir dir;
    dir.write("in.bin", "0123456789");
    dir.write("off", "4 12 15");
    RunResult r = zksplit({"-b", "-v", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=4)\n"
                         "extracting to inp001.bin from start=4 (length=8)\n"
                         "ERROR: cannot read more data from inputfile\n"
                         "generated ONLY 1 out of 4 files\n");
    EXPECT_EQ(dir.read_text("inp001.bin"), "456789");
    EXPECT_FALSE(dir.exists("inp002.bin"));
}

TEST(ZkSplitBytes, NegativeFirstOffsetCopiesToTheEndAndFails)
{
    TempDir dir;
    dir.write("in.bin", "0123456789");
    dir.write("off", "-5 3");
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=18446744073709551611)\n"
                         "ERROR: cannot read more data from inputfile\n"
                         "generated ONLY 0 out of 3 files\n");
    EXPECT_EQ(dir.read_text("inp000.bin"), "0123456789");
}

TEST(ZkSplitBytes, InputFailures)
{
    TempDir dir;
    dir.write("off", "2");
    RunResult r = zksplit({"-b", "off", "gone.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile gone.bin\ngenerated ONLY 0 out of 2 files\n");

    // A directory opens but cannot be read: never a valid split.
    std::filesystem::create_directory(dir.path() / "d.bin");
    r = zksplit({"-b", "off", "d.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("d", ".bin") +
                         "extracting to dp000.bin from start=0 (length=2)\n"
                         "ERROR: cannot read more data from inputfile\n"
                         "generated ONLY 0 out of 2 files\n");
}

TEST(ZkSplitBytes, PieceFailuresKeepTheEarlierPieces)
{
    TempDir dir;
    dir.write("in.bin", "0123456789");
    dir.write("off", "3 6");
    std::filesystem::create_directory(dir.path() / "inp001.bin");
    RunResult r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=3)\n"
                         "extracting to inp001.bin from start=3 (length=3)\n"
                         "ERROR: cannot open output filename inp001.bin\n"
                         "generated ONLY 1 out of 3 files\n");
    EXPECT_EQ(dir.read_text("inp000.bin"), "012");
    std::filesystem::remove(dir.path() / "inp001.bin");

    dir.link_to_full("inp002.bin");
    r = zksplit({"-b", "off", "in.bin"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".bin") +
                         "extracting to inp000.bin from start=0 (length=3)\n"
                         "extracting to inp001.bin from start=3 (length=3)\n"
                         "extracting to inp002.bin from start=6 (length=4)\n"
                         "ERROR: cannot read write data to outputfile\n"
                         "generated ONLY 2 out of 3 files\n");
    EXPECT_EQ(dir.read_text("inp001.bin"), "345");
}

// ---------------------------------------------------------------------------

TEST(ZkSplitLines, OffsetsStartPiecesAtThoseLines)
{
    TempDir dir;
    dir.write("in.txt", numbered_lines(1, 6));
    dir.write("off", "3 5");
    RunResult r = zksplit({"-t", "-v", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, names_lines("in", ".txt") + "successfully generated 3 out of 3 files\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), numbered_lines(1, 2));
    EXPECT_EQ(dir.read_text("inp001.txt"), numbered_lines(3, 4));
    EXPECT_EQ(dir.read_text("inp002.txt"), numbered_lines(5, 6));
}

TEST(ZkSplitLines, LastLineWithoutLineEndAndEmptyLastPiece)
{
    TempDir dir;
    dir.write("in.txt", "a\n\nc");
    dir.write("off", "3 4");
    RunResult r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, names_lines("in", ".txt"));
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "c");
    EXPECT_EQ(dir.read_text("inp002.txt"), "");
}

TEST(ZkSplitLines, UnreachedOffsetsLeavePiecesMissing)
{
    TempDir dir;
    dir.write("in.txt", numbered_lines(1, 6));
    dir.write("off", "2 4 4 5");
    RunResult r = zksplit({"-t", "-v", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") + "generated ONLY 3 out of 5 files\n");
    EXPECT_EQ(dir.read_text("inp002.txt"), numbered_lines(4, 6));
    EXPECT_FALSE(dir.exists("inp003.txt"));

    dir.write("off", "3 8");
    r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") + "generated ONLY 2 out of 3 files\n");
}

TEST(ZkSplitLines, FirstLineCannotStartAPiece)
{
    TempDir dir;
    dir.write("in.txt", numbered_lines(1, 3));
    for (std::string text : {"1 2", "-4 2"}) {
        dir.write("off", text);
        RunResult r = zksplit({"-t", "off", "in.txt"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: offset with value 0 or 1 is not allowed for textmode\n");
    }
    EXPECT_EQ(dir.list(), (Names{"in.txt", "off"}));
}

TEST(ZkSplitLines, LongLinesCountOnce)
{
    TempDir dir;
    const std::string long_line(30000, 'x');
    dir.write("in.txt", "a\n" + long_line + "\nb\n" + long_line);
    dir.write("off", "3 4");
    RunResult r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n" + long_line + "\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "b\n");
    EXPECT_EQ(dir.read_text("inp002.txt"), long_line);
}

TEST(ZkSplitLines, MatchesCsplitByLineNumbers)
{
    if (std::system("command -v csplit >/dev/null 2>&1") != 0) GTEST_SKIP() << "no csplit";
    std::mt19937 rng(7);
    for (int round = 0; round < 5; ++round) {
        TempDir dir;
        std::string text;
        const int lines = 20 + static_cast<int>(rng() % 40);
        for (int i = 0; i < lines; ++i) text += std::string(rng() % 12, static_cast<char>('a' + i % 26)) + "\n";
        dir.write("in.txt", text);
        std::string offsets;
        for (int at = 2; at <= lines; at += 1 + static_cast<int>(rng() % 7)) offsets += std::to_string(at) + " ";
        dir.write("off", offsets);
        ASSERT_EQ(zksplit({"-t", "off", "in.txt"}, dir).status, 0);
        const std::string cmd = "cd '" + dir.path().string() + "' && csplit -s -f c -n 3 in.txt " + offsets;
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        for (const std::string& name : dir.list()) {
            if (name[0] != 'c') continue;
            EXPECT_EQ(dir.read("inp" + name.substr(1) + ".txt"), dir.read(name)) << name;
        }
    }
}

TEST(ZkSplitLines, PieceAndInputFailures)
{
    TempDir dir;
    dir.write("in.txt", numbered_lines(1, 4));
    dir.write("off", "3");
    dir.link_to_full("inp000.txt");
    RunResult r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") +
                         "ERROR: cannot write more lines to file inp000.txt\n"
                         "generated ONLY 0 out of 2 files\n");
    std::filesystem::remove(dir.path() / "inp000.txt");

    std::filesystem::create_directory(dir.path() / "inp001.txt");
    r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") +
                         "ERROR: cannot open outputfile inp001.txt\n"
                         "generated ONLY 1 out of 2 files\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), numbered_lines(1, 2));

    r = zksplit({"-t", "off", "gone.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile gone.txt\ngenerated ONLY 0 out of 2 files\n");

    r = zksplit({"-t", "off", "inp001.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("inp001", ".txt") +
                         "ERROR: cannot read more data from inputfile\n"
                         "generated ONLY 0 out of 2 files\n");
}

// ---------------------------------------------------------------------------

TEST(ZkSplitTag, TagLinesStartPiecesAndVanish)
{
    TempDir dir;
    dir.write("in.txt", "a\n--CUT here--\nb\nc\n--CUT--\n--cut--\n");
    RunResult r = zksplit({"-t", "-s", "CUT", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "b\nc\n");
    EXPECT_EQ(dir.read_text("inp002.txt"), "--cut--\n");
    EXPECT_EQ(dir.list().size(), 4u);

    r = zksplit({"-v", "-b", "-s", "CUT", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, names_lines("in", ".txt") + "successfully generated 3 files\n");
}

TEST(ZkSplitTag, NoTagLineGivesACopy)
{
    TempDir dir;
    const std::string text = "one\ntwo\nthree";
    dir.write("in.txt", text);
    RunResult r = zksplit({"-t", "-s", "TAG", "-v", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, names_lines("in", ".txt") + "successfully generated 1 files\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), text);
}

TEST(ZkSplitTag, EmptyTagMatchesEveryLine)
{
    TempDir dir;
    dir.write("in.txt", "a\nb\n");
    RunResult r = zksplit({"-t", "-s", "", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.list(), (Names{"in.txt", "inp000.txt", "inp001.txt", "inp002.txt"}));
    EXPECT_EQ(dir.read_text("inp000.txt") + dir.read_text("inp001.txt") + dir.read_text("inp002.txt"), "");
}

TEST(ZkSplitTag, TagFarIntoALongLineIsFound)
{
    TempDir dir;
    const std::string long_line(20000, 'y');
    dir.write("in.txt", long_line + "\n" + long_line + "TAG\n" + long_line + "\n");
    RunResult r = zksplit({"-t", "-s", "TAG", "in.txt"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read_text("inp000.txt"), long_line + "\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), long_line + "\n");
}

TEST(ZkSplitTag, PieceNumbersGoPastNineHundredNinetyNine)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 1001; ++i) text += "x" + std::to_string(i) + "\n#\n";
    dir.write("in", text + "end\n");
    RunResult r = zksplit({"-t", "-v", "-s", "#", "in"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.ends_with("successfully generated 1002 files\n"));
    EXPECT_EQ(dir.read_text("inp999"), "x999\n");
    EXPECT_EQ(dir.read_text("inp1000"), "x1000\n");
    EXPECT_EQ(dir.read_text("inp1001"), "end\n");
}

TEST(ZkSplitTag, FailuresEndTheRunWithStatusOne)
{
    TempDir dir;
    RunResult r = zksplit({"-t", "-s", "#", "gone.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile gone.txt\nERROR: splitting inputfile gone.txt failed\n");

    dir.write("in.txt", "a\n#\nb\n#\nc\n");
    dir.link_to_full("inp000.txt");
    r = zksplit({"-t", "-s", "#", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write more lines to file inp000.txt\n"
                     "ERROR: splitting inputfile in.txt failed\n");
    std::filesystem::remove(dir.path() / "inp000.txt");

    // Failures after the first piece are failures too; what was made stays.
    std::filesystem::create_directory(dir.path() / "inp001.txt");
    r = zksplit({"-t", "-v", "-s", "#", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") +
                         "ERROR: cannot open outputfile inp001.txt\n"
                         "ERROR: splitting inputfile in.txt failed\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
    std::filesystem::remove(dir.path() / "inp001.txt");

    dir.link_to_full("inp002.txt");
    r = zksplit({"-t", "-s", "#", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write more lines to file inp002.txt\n"
                     "ERROR: splitting inputfile in.txt failed\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "b\n");

    std::filesystem::create_directory(dir.path() / "d.txt");
    r = zksplit({"-t", "-s", "#", "d.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read more data from inputfile\n"
                     "ERROR: splitting inputfile d.txt failed\n");
}

// ---------------------------------------------------------------------------

TEST(ZkSplitNames, SplitAtTheFirstDotAnywhere)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "sub.dir");
    std::filesystem::create_directory(dir.path() / "subp000.dir");
    std::filesystem::create_directory(dir.path() / "subp001.dir");
    dir.write("off", "1");
    struct Case {
        std::string input, prefix, extension, piece1;
    };
    for (const Case& c : std::vector<Case>{{"data", "data", "", "datap001"},
                                           {".profile", "", ".profile", "p001.profile"},
                                           {"a.b.c", "a", ".b.c", "ap001.b.c"},
                                           {"sub.dir/in", "sub", ".dir/in", "subp001.dir/in"}}) {
        dir.write(c.input, "xy");
        RunResult r = zksplit({"-b", "off", c.input}, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.err.starts_with(names_lines(c.prefix, c.extension))) << r.err;
        EXPECT_EQ(dir.read_text(c.piece1), "y") << c.input;
    }
}

TEST(ZkSplitNames, NamesOfAnyLength)
{
    // Piece names of over a thousand characters, through four folder levels.
    TempDir dir;
    const std::string folder(240, 'f');
    const std::string prefix = folder + "/" + folder + "/" + folder + "/" + folder;
    for (std::string end : {".d", "p000.d", "p001.d"}) std::filesystem::create_directories(dir.path() / (prefix + end));
    const std::string extension = ".d/" + std::string(100, 'n') + "." + std::string(100, 'e');
    dir.write(prefix + extension, "a\n#\nb\n");
    RunResult r = zksplit({"-t", "-v", "-s", "#", prefix + extension}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, names_lines(prefix, extension) + "successfully generated 2 files\n");
    EXPECT_EQ(dir.read_text(prefix + "p000" + extension), "a\n");
    EXPECT_EQ(dir.read_text(prefix + "p001" + extension), "b\n");
}
