#include "cli.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKExtract", "1.8");

const std::string kVerboseExample =
    "opening input file in ...\n"
    "starttoken (BEGIN) found at position=7\n"
    "endtoken (END) found at position=14\n"
    "opening output file out ...\n"
    "extracting 4 bytes ...\n"
    "4 bytes written to out\n";

// Runs zkextract -v on input with the given tokens and flags; returns the
// run, with the output file's bytes in out_file.
struct Extract {
    RunResult run;
    Bytes out_file;
    bool out_exists = false;
};

Extract extract(const Bytes& input, std::vector<std::string> args)
{
    TempDir dir;
    dir.write("in", input);
    args.insert(args.begin(), {"-v", "in", "out"});
    Extract e{run_tool("zkextract", args, dir)};
    e.out_exists = dir.exists("out");
    if (e.out_exists) e.out_file = dir.read("out");
    return e;
}

// The verbose lines of a run that found the start token at start and read
// to the end of the file.
std::string to_end_lines(const std::string& token, long start, long size)
{
    return kBanner + "opening input file in ...\n" + "starttoken (" + token + ") found at position=" +
           std::to_string(start) + "\nusing end-of-file as endposition (" + std::to_string(size) +
           ")\nopening output file out ...\nextracting " + std::to_string(size - start) + " bytes ...\n" +
           std::to_string(size - start) + " bytes written to out\n";
}

}  // namespace

TEST(ZkExtractArgs, UsageOnWrongCommandLines)
{
    TempDir dir;
    dir.write("in", "xx");
    expect_usage("zkextract", dir, kBanner + usage_text("zkextract"), {
             {}, {"in", "out"}, {"-v", "in", "out"}, {"-quiet", "-sh", "-eh", "in"}, {"in", "out", "a", "b", "c"}});
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in"});
}

TEST(ZkExtractArgs, LastOfQuietAndVerboseCounts)
{
    TempDir dir;
    dir.write("in", "xxBEGINdataEND");
    RunResult r = run_tool("zkextract", {"-v", "in", "-quiet", "out", "BEGIN", "END"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = run_tool("zkextract", {"-quiet", "in", "out", "-v", "BEGIN", "END"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + kVerboseExample);
    r = run_tool("zkextract", {"in", "out", "BEGIN", "END"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + "4 bytes written to out\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read_text("out"), "data");
}

TEST(ZkExtractRun, WorkedExamples)
{
    const Bytes input = bytes_of("xxBEGINdataEND");
    Extract e = extract(input, {"BEGIN", "END"});
    EXPECT_EQ(e.run.status, 0);
    EXPECT_EQ(normalized(e.run.out), kBanner + kVerboseExample);
    EXPECT_EQ(e.run.err, "");
    EXPECT_EQ(string_of(e.out_file), "data");

    e = extract(input, {"-sh", "424547494e", "-eh", "454E44"});
    EXPECT_EQ(e.run.status, 0);
    std::string hex_lines = kVerboseExample;
    hex_lines.replace(hex_lines.find("BEGIN"), 5, "424547494e");
    hex_lines.replace(hex_lines.find("END"), 3, "454E44");
    EXPECT_EQ(normalized(e.run.out), kBanner + hex_lines);
    EXPECT_EQ(string_of(e.out_file), "data");
}

TEST(ZkExtractRun, WithoutEndTokenToTheEndOfTheFile)
{
    const std::string with_zero("head:tail\0bytes", 15);
    Extract e = extract(bytes_of(with_zero), {"head:"});
    EXPECT_EQ(e.run.status, 0);
    EXPECT_EQ(normalized(e.run.out), to_end_lines("head:", 5, 15));
    EXPECT_EQ(string_of(e.out_file), with_zero.substr(5));

    e = extract(bytes_of("abcEND"), {"END"});
    EXPECT_EQ(e.run.status, 0);
    EXPECT_EQ(normalized(e.run.out), to_end_lines("END", 6, 6));
    EXPECT_TRUE(e.out_exists);
    EXPECT_EQ(e.out_file, Bytes{});
}

// The search itself is tested on the library (test_extract_token.cpp).
TEST(ZkExtractSearch, FirstOccurrenceAlsoInsideABrokenPartialMatch)
{
    EXPECT_EQ(normalized(extract(bytes_of("aaab"), {"aab"}).run.out), to_end_lines("aab", 4, 4));
}

TEST(ZkExtractSearch, LargeInputAcrossTheReadBlocks)
{
    Bytes input = random_bytes(700000, 3);
    const std::string start = "\x01START\x02", end = "\x03END\x04";
    std::copy(start.begin(), start.end(), input.begin() + 262140);
    std::copy(end.begin(), end.end(), input.begin() + 600000);
    Extract e = extract(input, {start, end});
    EXPECT_EQ(e.run.status, 0) << e.run.err;
    EXPECT_EQ(e.out_file, Bytes(input.begin() + 262140 + 7, input.begin() + 600000));
}

TEST(ZkExtractErrors, PositionsOfTheTokens)
{
    struct Case {
        std::string input;
        std::vector<std::string> tokens;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {"abc", {"x"}, "ERROR: position of start token not found\n"},
             {"abc", {"a", "x"}, "ERROR: position of end token not found\n"},
             // The end token is searched from the start of the input.
             {"END BEGIN data END", {"BEGIN", "END"}, "ERROR: endpos <= startpos\n"},
             {"BEGINEND", {"BEGIN", "END"}, "ERROR: endpos <= startpos\n"},
         }) {
        Extract e = extract(bytes_of(c.input), c.tokens);
        EXPECT_EQ(e.run.status, 1);
        EXPECT_EQ(e.run.err, c.err) << c.input;
        EXPECT_FALSE(e.out_exists) << c.input;
    }
    Extract e = extract(bytes_of("a MARK b MARK c"), {"MARK", "MARK"});
    EXPECT_EQ(e.run.status, 1);
    EXPECT_EQ(e.run.err, "ERROR: endpos <= startpos\n");
    EXPECT_FALSE(e.out_exists);
    EXPECT_EQ(normalized(e.run.out), kBanner +
                                         "opening input file in ...\n"
                                         "starttoken (MARK) found at position=6\n"
                                         "endtoken (MARK) found at position=6\n");
}

TEST(ZkExtractErrors, HexTokensAndTheOrderOfTheChecks)
{
    TempDir dir;
    dir.write("in", "xxBEGINdataEND");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {{"-sh", "in", "out", "4e7"}, "ERROR: invalid length (3) for hextoken (4e7)\n"},
             {{"-sh", "in", "out", "0x4e"}, "ERROR: invalid character in hextoken (0x4e)\n"},
             // The input is opened before any token is looked at.
             {{"-sh", "missing", "out", "4e7"}, "ERROR: cannot open inputfile missing\n"},
             // The end token is converted only once the start token is found.
             {{"-eh", "in", "out", "NOPE", "zz"}, "ERROR: position of start token not found\n"},
             {{"-eh", "in", "out", "BEGIN", "zz"}, "ERROR: invalid character in hextoken (zz)\n"},
             {{"-eh", "in", "out", "BEGIN", "454"}, "ERROR: invalid length (3) for hextoken (454)\n"}}) {
        RunResult r = run_tool("zkextract", c.args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in"});
}

TEST(ZkExtractErrors, FilesThatCannotBeOpenedReadOrWritten)
{
    TempDir dir;
    dir.write("in", "xxBEGINdataEND");
    RunResult r = run_tool("zkextract", {"in", "no/such/dir", "BEGIN", "END"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open outfile no/such/dir\n");

    r = run_tool("zkextract", {"-quiet", ".", "out", "x"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read inputfile .\n", "ERROR: cannot open inputfile .\n"));

    dir.link_to_full("full");
    r = run_tool("zkextract", {"-quiet", "in", "full", "BEGIN"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");

    r = run_tool("zkextract", {"in", "out", "BEGIN"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.read_text("out"), "dataEND");
}
