#include "cli.h"
#include "frame.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

using namespace zktest;

TEST(Frame, IdentityTableNamesEveryToolOnce)
{
    std::set<std::string> commands;
    for (const zk::ToolId& t : zk::kTools) commands.insert(t.command);
    EXPECT_EQ(commands.size(), 17u);
    EXPECT_STREQ(zk::tool("zkbin2hex").version, "1.10");
    EXPECT_STREQ(zk::tool("zkunarchive").display_name, "ZKUnArchive");
    EXPECT_FALSE(zk::tool("zktiler").quiet_capable);
    EXPECT_TRUE(zk::tool("zkstrip").quiet_capable);
}

TEST(Frame, NormalizedAcceptsOnlyTheBuildStamp)
{
    EXPECT_EQ(normalized("\nX 1 - Vardelle v1.40\nTI-89/TI-92 Plus build tools, built Jun  8 2009 08:59:31\n\nrest"),
              "\nX 1 - Vardelle v1.40\nTI-89/TI-92 Plus build tools, built <DATE>\n\nrest");
    EXPECT_EQ(normalized("Jun 28 2009 08:59:31\n"), "Jun 28 2009 08:59:31\n");
}

static const std::string kToolList =
    "zkarchive   ... archive generation\n"
    "zkbin2bin   ... TI89 <-> TI92p binary conversion\n"
    "zkbin2hex   ... binary file to C array data\n"
    "zkbin2oth   ... binary file to special type calcfile\n"
    "zkbin2str   ... binary file to string calcfile\n"
    "zkchecksum  ... corrects checksum of 89z/89s/89y/9xz/9xs/9xy files\n"
    "[zkdasm]    ... REMOVED: use sliverdis instead\n"
    "zkdos2ebk   ... dos text to ebook conversion\n"
    "zkebkgen    ... ebook generator\n"
    "zkextract   ... extract from binary using start and endtoken\n"
    "zkhelp      ... prints tool list\n"
    "zkhex2bin   ... converts textfile with hex or binary numbers into a binary file\n"
    "zkinfo      ... prints infos about 89z/89s/89y/9xz/9xs/9xy files\n"
    "zkpack      ... packer\n"
    "zkppggen    ... PPG (packed programs) generator\n"
    "zksetname   ... sets the file name that appears on the calculator\n"
    "zksplit     ... splits a file in parts\n"
    "zkstrip     ... strips header and trailing checksum from calcfile\n"
    "zktiler     ... generates single sprites from a binary image file\n"
    "zkunarchive ... extracts entries from ZKArchives or list content\n"
    "zkunebk     ... exports complete text of ebook to textfile\n"
    "zkunpack    ... unpacker\n"
    "\n";

TEST(ZkHelp, PrintsBannerAndToolList)
{
    TempDir dir;
    RunResult r = run_tool("zkhelp", {}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), banner("ZKHelp", "1.12") + kToolList);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkHelp, IgnoresArguments)
{
    TempDir dir;
    RunResult plain = run_tool("zkhelp", {}, dir);
    RunResult extra = run_tool("zkhelp", {"-quiet", "x", "-"}, dir);
    EXPECT_EQ(extra.status, 0);
    EXPECT_EQ(extra.out, plain.out);
}

TEST(ZkHelp, BannerStartsWithEmptyLineAndCarriesBuildStamp)
{
    TempDir dir;
    RunResult r = run_tool("zkhelp", {}, dir);
    ASSERT_GT(r.out.size(), 1u);
    EXPECT_EQ(r.out[0], '\n');
    EXPECT_NE(normalized(r.out), r.out) << "no build date and time in the credit line";
}

TEST(ZkHelp, FullStandardOutputFails)
{
    TempDir dir;
    dir.link_to_full("full");
    RunResult r = run_tool("zkhelp", {}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
}

TEST(ZkHelp, ClosedStandardOutputFails)
{
    TempDir dir;
    RunResult r = run_tool("zkhelp", {}, dir, {.stdout_closed = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
}

// ---------------------------------------------------------------------------
// The frame's own routines, in process.

TEST(FrameNumbers, ReadLikeAPercentDScan)
{
    auto read32 = [](const char* text) { return zk::parse_integer(text, INT32_MIN, INT32_MAX, zk::Overflow::Refuse); };
    EXPECT_EQ(read32(" \t-12abc"), -12);
    EXPECT_EQ(read32("+7"), 7);
    EXPECT_EQ(read32("abc"), std::nullopt);
    EXPECT_EQ(read32("-"), std::nullopt);
    EXPECT_EQ(read32("- 1"), std::nullopt);
    EXPECT_EQ(read32("2147483647"), INT32_MAX);
    EXPECT_EQ(read32("-2147483648"), INT32_MIN);
    EXPECT_EQ(read32("2147483648"), std::nullopt);
    EXPECT_EQ(read32("99999999999999999999999999"), std::nullopt);
}

TEST(FrameNumbers, SaturateAtTheNearestBound)
{
    auto read64 = [](const char* text) { return zk::parse_integer(text, INT64_MIN, INT64_MAX, zk::Overflow::Saturate); };
    EXPECT_EQ(read64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(read64("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(read64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(read64("-99999999999999999999999999"), INT64_MIN);
    EXPECT_EQ(zk::parse_integer("0", 1, 200, zk::Overflow::Saturate), 1);
    EXPECT_EQ(zk::parse_integer("-5", 1, 200, zk::Overflow::Saturate), 1);
    EXPECT_EQ(zk::parse_integer("201", 1, 200, zk::Overflow::Saturate), 200);
}

// A file of the temporary directory opened in mode.
static zk::File open_in(const TempDir& dir, const std::string& name, const char* mode)
{
    return zk::open_file(dir.file(name).c_str(), mode);
}

TEST(FrameFiles, ReadAllStopsOneByteAfterTheLimit)
{
    TempDir dir;
    dir.write("data", Bytes(70000, 0x5A));
    zk::Buffer b;
    zk::File f = open_in(dir, "data", "rb");
    EXPECT_EQ(zk::read_all(f.get(), 70000, b), zk::ReadAll::Ok);
    EXPECT_EQ(b.size(), 70000u);
    EXPECT_EQ(b.data()[69999], 0x5A);
    f = open_in(dir, "data", "rb");
    EXPECT_EQ(zk::read_all(f.get(), 69999, b), zk::ReadAll::TooLong);
    f = zk::open_file(dir.path().c_str(), "rb");
    ASSERT_TRUE(f);
    EXPECT_EQ(zk::read_all(f.get(), 100, b), zk::ReadAll::ReadError);
}

TEST(FrameFiles, SizeOfFilesOnlyAndPositionKept)
{
    TempDir dir;
    dir.write("data", std::string("0123456789"));
    zk::File f = open_in(dir, "data", "rb");
    std::fgetc(f.get());
    EXPECT_EQ(zk::file_size(f.get()), 10);
    EXPECT_EQ(std::fgetc(f.get()), '1');
    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    EXPECT_EQ(zk::file_size(d.get()), std::nullopt);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    zk::File p(fdopen(fds[0], "rb"));
    EXPECT_EQ(zk::file_size(p.get()), std::nullopt);
    close(fds[1]);
}

TEST(FrameFiles, CopyRangeReportsAnInputThatEndsEarly)
{
    TempDir dir;
    dir.write("in", std::string("0123456789"));
    zk::File in = open_in(dir, "in", "rb");
    zk::File out = open_in(dir, "out", "wb");
    std::fputc('<', out.get());  // bytes the stream holds go before the copied ones
    EXPECT_EQ(zk::copy_range(in.get(), 2, 3, out.get()), zk::Copy::Ok);
    std::fputc('|', out.get());
    EXPECT_EQ(zk::copy_range(in.get(), 8, 5, out.get()), zk::Copy::InputEnded);
    EXPECT_EQ(zk::copy_range(in.get(), 7, 3, out.get()), zk::Copy::Ok);
    std::fputc('>', out.get());
    ASSERT_TRUE(zk::close_checked(out));
    EXPECT_EQ(dir.read_text("out"), "<234|89789>");

    dir.link_to_full("full");
    out = open_in(dir, "full", "wb");
    const zk::Copy c = zk::copy_range(in.get(), 0, 10, out.get());
    EXPECT_TRUE(c == zk::Copy::WriteError || !zk::close_checked(out));
}

TEST(FrameFiles, OutputIsInputHoweverNamed)
{
    TempDir dir;
    dir.write("in", std::string("x"));
    dir.write("other", std::string("x"));
    std::filesystem::create_hard_link(dir.file("in"), dir.file("hard"));
    std::filesystem::create_symlink("in", dir.file("soft"));
    zk::File in = open_in(dir, "in", "rb");
    for (const char* name : {"in", "hard", "soft"}) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(zk::output_is_input(in.get(), dir.file(name).c_str())) << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: outputfile " + dir.file(name) + " is the inputfile\n");
    }
    EXPECT_FALSE(zk::output_is_input(in.get(), dir.file("other").c_str()));
    EXPECT_FALSE(zk::output_is_input(in.get(), dir.file("missing").c_str()));
}

TEST(FrameFiles, DiscardRemovesOnlyARegularFileNamedDirectly)
{
    TempDir dir;
    zk::File out = open_in(dir, "made", "wb");
    zk::discard_output(out, dir.file("made").c_str());
    EXPECT_FALSE(dir.exists("made"));

    dir.write("target", std::string("x"));
    std::filesystem::create_symlink("target", dir.file("link"));
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(mknod(dir.file("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    for (const char* name : {"link", "fifo", "null"}) {
        out = open_in(dir, name, "r+b");  // a FIFO opened for both ends does not wait for a reader
        ASSERT_TRUE(out) << name;
        zk::discard_output(out, dir.file(name).c_str());
        EXPECT_TRUE(dir.exists(name)) << name;
    }
    EXPECT_TRUE(dir.exists("target"));
}

TEST(FrameLines, PiecesEndAtLineFeedsOrAtTheBlock)
{
    TempDir dir;
    dir.write("text", std::string("ab\r\n\nlonger line\nend"));
    zk::File f = open_in(dir, "text", "rb");
    zk::LineReader lines(f.get(), 4);
    std::vector<std::string> pieces;
    std::string_view piece;
    while (lines.next(piece)) pieces.emplace_back(piece);
    EXPECT_FALSE(lines.read_failed());
    EXPECT_EQ(pieces, (std::vector<std::string>{"ab\r\n", "\n", "lon", "ger ", "line", "\n", "end"}));

    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    zk::LineReader failing(d.get());
    EXPECT_FALSE(failing.next(piece));
    EXPECT_TRUE(failing.read_failed());
}

// ---------------------------------------------------------------------------
// What every tool shows from the frame.


TEST(FrameTools, HelpAndVersionAsTheOnlyArgument)
{
    TempDir dir;
    for (const zk::ToolId& id : zk::kTools) {
        const std::string tool = id.command;
        if (tool == "zkhelp") continue;  // takes no arguments at all
        SCOPED_TRACE(tool);
        RunResult version = run_tool(tool, {"--version"}, dir);
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(id.display_name) + " " + id.version + " - Vardelle v1.40\n");
        RunResult help = run_tool(tool, {"--help"}, dir);
        RunResult usage = run_tool(tool, {}, dir);
        const std::string head = banner(id.display_name, id.version);
        ASSERT_EQ(normalized(usage.out).substr(0, head.size()), head);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out, normalized(usage.out).substr(head.size()));
        EXPECT_EQ(help.err + version.err, "");
    }
    EXPECT_TRUE(dir.list().empty());
    EXPECT_EQ(run_tool("zkhelp", {"--version"}, dir).out, run_tool("zkhelp", {}, dir).out);
}

TEST(FrameTools, ErrorsFollowTheBannerInAMergedLog)
{
    TempDir dir;
    RunResult r = run_tool("zkunpack", {"missing", "out"}, dir, {.merge_stderr = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), banner("ZKUnpack", "1.8") + "ERROR: cannot open input file missing\n");
}

TEST(FrameTools, ClosedStandardInputIsNotAnEmptyFile)
{
    TempDir dir;
    RunResult r = run_tool("zkhex2bin", {"-quiet", "-", "out.bin"}, dir, {.stdin_closed = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read inputfile -\n");
    EXPECT_FALSE(dir.exists("out.bin"));
}

// ---------------------------------------------------------------------------
// Searching a stream

// Where the first occurrence of token in input ends, the input fed in
// blocks of the given sizes in turn; -1 when it is not found.
static std::int64_t search_end(const std::string& input, const std::string& token, std::vector<std::size_t> blocks)
{
    zk::StreamSearch search(token);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < input.size(); ++turn) {
        const std::size_t n = blocks[turn % blocks.size()] < input.size() - at ? blocks[turn % blocks.size()]
                                                                                : input.size() - at;
        if (auto end = search.feed(input.data() + at, n)) return static_cast<std::int64_t>(at + *end);
        at += n;
    }
    return -1;
}

TEST(FrameSearch, FirstOccurrenceAcrossBlocks)
{
    EXPECT_EQ(search_end("xxBEGINdata", "BEGIN", {4}), 7);
    EXPECT_EQ(search_end("xxBEGINdata", "BEGIN", {1}), 7);
    EXPECT_EQ(search_end("aaab", "aab", {2}), 4);
    EXPECT_EQ(search_end("abcabcabdX", "abcabd", {5, 1}), 9);
    EXPECT_EQ(search_end("abcabcabdX", "abcabx", {100}), -1);
    // An empty string occurs before the first byte.
    EXPECT_EQ(search_end("abc", "", {2}), 0);

    zk::StreamSearch search("ab");
    EXPECT_EQ(search.feed("xa", 2), std::nullopt);
    EXPECT_EQ(search.feed("bab", 3), 1u);
    EXPECT_EQ(search.feed("ab", 2), std::nullopt);  // reported once
    search.reset();
    EXPECT_EQ(search.feed("b", 1), std::nullopt);  // the "a" before the reset is forgotten
    EXPECT_EQ(search.feed("zab", 3), 3u);
}

TEST(FrameSearch, InputsThatKeepAlmostMatching)
{
    // The rare byte is everywhere and every try fails only at the token's
    // last byte: the skip gives way to the linear search, which must still
    // find the occurrence far behind.
    const std::string token = std::string(16, '\x01') + '\x02';
    const std::string input = std::string(100000, '\x01') + '\x02' + "tail";
    EXPECT_EQ(search_end(input, token, {65536}), 100001);
    EXPECT_EQ(search_end(input, token, {17, 1000}), 100001);
}

TEST(FrameSearch, AgreesWithAPlainSearch)
{
    std::uint32_t seed = 5;
    auto rng = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int round = 0; round < 300; ++round) {
        // Two-letter alphabets of common and of rare bytes, to exercise the
        // skip and the partial matches it must hand over between blocks.
        const char first = round % 2 ? 'a' : '\x01';
        std::string input(rng() % 3000, ' ');
        for (char& c : input) c = static_cast<char>(first + rng() % 2);
        std::string token(1 + rng() % 20, ' ');
        for (char& c : token) c = static_cast<char>(first + rng() % 2);
        const std::size_t hit = input.find(token);
        const std::int64_t expected = hit == std::string::npos ? -1 : static_cast<std::int64_t>(hit + token.size());
        EXPECT_EQ(search_end(input, token, {1 + rng() % 40, 1 + rng() % 400}), expected) << round;
    }
}

TEST(FrameFiles, CopyRestFromWhereAPipeStands)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "0123456789", 10), 10);
    close(fds[1]);
    zk::File in(fdopen(fds[0], "rb"));
    std::fgetc(in.get());
    std::fgetc(in.get());
    TempDir dir;
    zk::File out = open_in(dir, "out", "wb");
    EXPECT_EQ(zk::copy_rest(in.get(), out.get()), zk::Copy::Ok);
    ASSERT_TRUE(zk::close_checked(out));
    EXPECT_EQ(dir.read_text("out"), "23456789");

    zk::File d = zk::open_file(dir.path().c_str(), "rb");
    out = open_in(dir, "out", "wb");
    EXPECT_EQ(zk::copy_rest(d.get(), out.get()), zk::Copy::ReadError);
}

// Path names

TEST(FramePaths, OnlyTheSlashEndsADirectoryHere)
{
    EXPECT_EQ(zk::path_separators(), "/");
}
