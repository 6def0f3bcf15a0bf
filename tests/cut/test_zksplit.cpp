// zksplit as a process: its command line, its files and its messages. The
// offset file, the names and the cutting of lines are the library's and
// are tested in process (test_split.cpp).
#include "cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKSplit", "1.7");

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
    expect_usage("zksplit", dir, kBanner + usage_text("zksplit"),
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

TEST(ZkSplitArgs, TagArgument)
{
    // Tag takes the next argument whatever it is.
    {
        TempDir dir;
        dir.write("in.txt", "a\n-b here\nc\n");
        RunResult r = zksplit({"-t", "-s", "-b", "in.txt"}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
        EXPECT_EQ(dir.read_text("inp001.txt"), "c\n");
    }

    // Tag makes the offset file ignored.
    {
        TempDir dir;
        dir.write("in.txt", "a\n#\nb\n");
        RunResult r = zksplit({"-b", "missing-offsets", "-s", "#", "in.txt"}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(dir.list(), (Names{"in.txt", "inp000.txt", "inp001.txt"}));
    }
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
    EXPECT_EQ(r.err, on_windows("ERROR: parsing offset[0] from offdir failed\n", "ERROR: cannot open offsetfile offdir\n"));
    EXPECT_EQ(dir.list(), (Names{"in.bin", "off", "offdir"}));
}

TEST(ZkSplitOffsets, MalformedListsAreReportedByTheirFault)
{
    TempDir dir;
    dir.write("in.bin", "abcdefghij");
    struct Case {
        std::string text;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{{"3 5x", "ERROR: parsing offset[2] from off failed\n"},
                                           {"4 4 3", "ERROR: offsets are not ascending\n"},
                                           {"-3 0", "ERROR: offset 0 is invalid\n"}}) {
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

TEST(ZkSplitBytes, EmptyAndShortPieces)
{
    // Empty pieces at the end and between equal offsets.
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

    // Offset past the end fails, and the piece cut short is not left.
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
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.bin", "inp000.bin", "off"}));
    }

    // Negative first offset copies to the end and fails.
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
        EXPECT_FALSE(dir.exists("inp000.bin"));
    }
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
    EXPECT_EQ(r.err, on_windows(names_lines("d", ".bin") + "extracting to dp000.bin from start=0 (length=2)\n" +
                                    "ERROR: cannot read more data from inputfile\n",
                                "ERROR: cannot open inputfile d.bin\n") +
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

TEST(ZkSplitLines, Offsets)
{
    // Offsets start pieces at those lines.
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

    // Unreached offsets leave pieces missing.
    {
        TempDir dir;
        dir.write("in.txt", numbered_lines(1, 6));
        dir.write("off", "2 4 4 5");
        RunResult r = zksplit({"-t", "-v", "off", "in.txt"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, names_lines("in", ".txt") + "generated ONLY 3 out of 5 files\n");
        EXPECT_EQ(dir.read_text("inp002.txt"), numbered_lines(4, 6));
        EXPECT_FALSE(dir.exists("inp003.txt"));
    }

    // First line cannot start a piece.
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
    EXPECT_EQ(r.err, on_windows(names_lines("inp001", ".txt") + "ERROR: cannot read more data from inputfile\n",
                                "ERROR: cannot open inputfile inp001.txt\n") +
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
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read more data from inputfile\n", "ERROR: cannot open inputfile d.txt\n") +
                         "ERROR: splitting inputfile d.txt failed\n");
}

// ---------------------------------------------------------------------------

TEST(ZkSplitNames, PieceNames)
{
    // Pieces go beside the input.
    {
        // The name is split at the first "." of the file name, after the
        // directories; the prefix shown holds them.
        TempDir dir;
        std::filesystem::create_directories(dir.path() / "sub.d" / "x.y");
        dir.write("sub.d/x.y/lf.txt", "a\n#\nb\n");
        RunResult r = zksplit({"-t", "-v", "-s", "#", "./sub.d/x.y/lf.txt"}, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, names_lines("./sub.d/x.y/lf", ".txt") + "successfully generated 2 files\n");
        EXPECT_EQ(dir.read_text("sub.d/x.y/lfp000.txt"), "a\n");
        EXPECT_EQ(dir.read_text("sub.d/x.y/lfp001.txt"), "b\n");
    }

    // Names of any length.
    {
        // Piece names of over a thousand characters, through four folder levels.
        TempDir dir;
        const std::string folder(240, 'f');
        const std::string path = folder + ".d/" + folder + "/" + folder + "/" + folder + "/";
        std::filesystem::create_directories(dir.path() / path);
        const std::string prefix = path + std::string(100, 'n');
        const std::string extension = "." + std::string(100, 'e') + ".x";
        dir.write(prefix + extension, "a\n#\nb\n");
        RunResult r = zksplit({"-t", "-v", "-s", "#", prefix + extension}, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, names_lines(prefix, extension) + "successfully generated 2 files\n");
        EXPECT_EQ(dir.read_text(prefix + "p000" + extension), "a\n");
        EXPECT_EQ(dir.read_text(prefix + "p001" + extension), "b\n");
    }
}

// ---------------------------------------------------------------------------

TEST(ZkSplitInput, APieceThatIsTheInputIsRefused)
{
    // A link named like a piece leads to the input: the pieces before it
    // stay, the input is left as it was.
    TempDir dir;
    const std::string text = "0123456789";
    dir.write("in.txt", text);
    dir.write("off", "3 6");
    std::filesystem::create_symlink("in.txt", dir.path() / "inp001.txt");
    RunResult r = zksplit({"-b", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") +
                         "extracting to inp000.txt from start=0 (length=3)\n"
                         "extracting to inp001.txt from start=3 (length=3)\n"
                         "ERROR: outputfile inp001.txt is the inputfile\n"
                         "generated ONLY 1 out of 3 files\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), "012");
    EXPECT_EQ(dir.read_text("in.txt"), text);

    dir.write("in.txt", "a\n#\nb\n");
    dir.write("off", "2");
    r = zksplit({"-t", "off", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, names_lines("in", ".txt") +
                         "ERROR: outputfile inp001.txt is the inputfile\n"
                         "generated ONLY 1 out of 2 files\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
    EXPECT_EQ(dir.read_text("in.txt"), "a\n#\nb\n");

    std::filesystem::remove(dir.path() / "inp000.txt");
    r = zksplit({"-t", "-s", "#", "in.txt"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: outputfile inp001.txt is the inputfile\n"
                     "ERROR: splitting inputfile in.txt failed\n");
    EXPECT_EQ(dir.read_text("inp000.txt"), "a\n");
    EXPECT_EQ(dir.read_text("in.txt"), "a\n#\nb\n");

    // The offset file is an input too, in both offset modes.
    for (const char* mode : {"-b", "-t"}) {
        TempDir offsets_dir;
        offsets_dir.write("rom.bin", "0\n1\n2\n3\n");
        offsets_dir.write("romp001.bin", "4\n");
        r = zksplit({mode, "romp001.bin", "rom.bin"}, offsets_dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("ERROR: outputfile romp001.bin is the inputfile\n"), std::string::npos) << r.err;
        EXPECT_EQ(offsets_dir.read_text("romp001.bin"), "4\n");
    }
}

TEST(ZkSplitInput, PiecesAreByteRangesOfTheInput)
{
    // Carriage returns stay in their lines and a 0x1A byte is a byte like
    // any other: the pieces joined give the input back.
    TempDir dir;
    const std::string text = std::string("ab\r\ncd\x1a\r\n\r\nef\n#\x1a#\r\ngh\x1a", 22);
    dir.write("in.txt", text);
    dir.write("off", "2 4");
    ASSERT_EQ(zksplit({"-t", "off", "in.txt"}, dir).status, 0);
    EXPECT_EQ(dir.read_text("inp000.txt") + dir.read_text("inp001.txt") + dir.read_text("inp002.txt"), text);
    EXPECT_EQ(dir.read_text("inp001.txt"), "cd\x1a\r\n\r\n");
    ASSERT_EQ(zksplit({"-b", "-s", "#\x1a", "in.txt"}, dir).status, 0);
    EXPECT_EQ(dir.read_text("inp000.txt"), "ab\r\ncd\x1a\r\n\r\nef\n");
    EXPECT_EQ(dir.read_text("inp001.txt"), "gh\x1a");
}
