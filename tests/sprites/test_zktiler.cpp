// zktiler's command line, checks, listing and files: what only the
// executable shows. The numbers, the geometry and the C text are the
// library's and are tested in process (test_tiles.cpp).
#include "test_zktiler.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zktiler_test;

namespace {

std::string listing(const std::vector<std::pair<std::string, std::string>>& lines)
{
    std::string text;
    for (const auto& [label, value] : lines) text += label + " = " + value + "\n";
    return text;
}

// Runs zktiler on bitmap with C text to standard output and returns it.
std::string stdout_text(const Bytes& bitmap, const std::vector<std::string>& args_after_infile,
                   const std::string& flag = "-h")
{
    TempDir dir;
    dir.write("in.bin", bitmap);
    std::vector<std::string> args{flag, "in.bin"};
    args.insert(args.end(), args_after_infile.begin(), args_after_infile.end());
    RunResult r = run_tool("zktiler", args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

}  // namespace

TEST(ZkTilerArgs, ArgumentCount)
{
    // No arguments give banner and usage only.
    {
        TempDir dir;
        RunResult r = run_tool("zktiler", {}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, "");
    }

    // Wrong count is reported before the usage.
    {
        TempDir dir;
        for (std::size_t n : {1u, 7u, 10u}) {
            std::vector<std::string> args(n, "x");
            RunResult r = run_tool("zktiler", args, dir);
            EXPECT_EQ(r.status, 1) << n;
            EXPECT_EQ(normalized(r.out), kBanner + usage()) << n;
            EXPECT_EQ(r.err, "ERROR: invalid number of parameters\n") << n;
        }
        // An 8th argument "-" suppresses the banner even when the count is wrong.
        RunResult r = run_tool("zktiler", {"-h", "a", "8", "8", "8", "8", "1", "-", "n", "extra"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, usage());
        EXPECT_EQ(r.err, "ERROR: invalid number of parameters\n");
        EXPECT_TRUE(dir.list().empty());
    }
}

TEST(ZkTilerArgs, FlagIsComparedExactly)
{
    TempDir dir;
    for (const char* flag : {"-H", "-hv", "h", "-t", "-", "-vtt", "-V"}) {
        RunResult r = run_tool("zktiler", {flag, "in", "8", "8", "8", "8", "1", "out"}, dir);
        EXPECT_EQ(r.status, 1) << flag;
        EXPECT_EQ(normalized(r.out), kBanner + usage()) << flag;
        EXPECT_EQ(r.err, "ERROR: neither -h nor -v and neither -ht nor -vt specified\n") << flag;
    }
}

TEST(ZkTilerArgs, ANumberCheckFailsWithItsLineAndTheUsage)
{
    // The checks in their order are the library's; here each one's line,
    // and the first failure ends the run before any file is touched.
    TempDir dir;
    dir.write("in", kExample);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"w", "x", "x", "x", "x"}, "ERROR: cannot parse width=w\n"},
        {{"20", "x", "x", "x", "x"}, "ERROR: width not multiple of 8 (width=20)\n"},
        {{"-8", "x", "x", "x", "x"}, "ERROR: negative or zero width not allowed (width=-8)\n"},
        {{"16", "h", "x", "x", "x"}, "ERROR: cannot parse height=h\n"},
        {{"16", "-3", "x", "x", "x"}, "ERROR: negative or zero height not allowed (height=-3)\n"},
        {{"16", "2", "tw", "x", "x"}, "ERROR: cannot parse tilewidth=tw\n"},
        {{"16", "2", "0", "x", "x"}, "ERROR: negative or zero tilewidth not allowed (tilewidth=0)\n"},
        {{"64", "2", "33", "x", "x"}, "ERROR: tilewidth larger than 32 not allowed (tilewidth=33)\n"},
        {{"16", "2", "24", "x", "x"}, "ERROR: tilewidth larger than width\n"},
        {{"16", "2", "6", "th", "x"}, "ERROR: cannot parse tileheight=th\n"},
        {{"16", "2", "6", "-1", "x"}, "ERROR: negative or zero tileheight not allowed (tileheight=-1)\n"},
        {{"16", "2", "6", "3", "x"}, "ERROR: tileheight larger than height\n"},
        {{"16", "2", "6", "2", "-99999999999999999999999"}, "ERROR: cannot parse entries=-99999999999999999999999\n"},
        {{"16", "2", "6", "2", "21"}, "ERROR: invalid value for entries (entries=21)\n"},
    };
    for (const auto& [numbers, message] : cases) {
        std::vector<std::string> args{"-h", "in"};
        args.insert(args.end(), numbers.begin(), numbers.end());
        args.push_back("out");
        RunResult r = run_tool("zktiler", args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, message);
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in"});
}

TEST(ZkTilerArgs, ErrorsOfAStandardOutputRunStillPrintTheUsage)
{
    TempDir dir;
    RunResult r = run_tool("zktiler", {"-x", "in", "8", "8", "8", "8", "1", "-"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, usage());
    EXPECT_EQ(r.err, "ERROR: neither -h nor -v and neither -ht nor -vt specified\n");

    r = run_tool("zktiler", {"-h", "missing", "8", "8", "8", "8", "1", "-"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, usage());
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");
}

TEST(ZkTilerLoad, FailuresLeaveNoOutput)
{
    // Size mismatch leaves no output.
    {
        TempDir dir;
        dir.write("odd", Bytes(6, 0));
        RunResult r = run_tool("zktiler", {"-h", "odd", "16", "2", "8", "2", "1", "o.c"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, "ERROR: filesize (6) doesn't correspond with height/width\n");
        EXPECT_FALSE(dir.exists("o.c"));
    }

    // Unreadable inputs leave no output.
    {
        TempDir dir;
        RunResult r = run_tool("zktiler", {"-h", "missing", "16", "2", "8", "2", "1", "out"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

        // A directory never yields a bitmap, whatever size it reports.
        std::filesystem::create_directory(dir.path() / "sub");
        r = run_tool("zktiler", {"-h", "sub", "16", "2", "8", "2", "1", "out"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(dir.list(), std::vector<std::string>{"sub"});
    }
}

TEST(ZkTilerListing, SixteenLinesThenTheText)
{
    // Sixteen lines then the text in the file.
    {
        TempDir dir;
        dir.write("in.bin", kExample);
        RunResult r = run_tool("zktiler", {"-v", "in.bin", "16", "2", "6", "2", "2", "out.c", "spr"}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(normalized(r.out), kBanner + listing({{"infile    ", "in.bin"},
                                                        {"filesize  ", "4"},
                                                        {"direction ", "VERTICAL"},
                                                        {"mode      ", "MONO"},
                                                        {"width     ", "16"},
                                                        {"height    ", "2"},
                                                        {"tilewidth ", "6"},
                                                        {"tileheight", "2"},
                                                        {"hcount    ", "2"},
                                                        {"vcount    ", "1"},
                                                        {"tilecount ", "2"},
                                                        {"destwidth ", "8"},
                                                        {"padding   ", "2"},
                                                        {"paddmask  ", "0x000000fc"},
                                                        {"outfile   ", "out.c"},
                                                        {"arrayname ", "spr"}}));
        // vcount 1: the vertical walk meets the tiles in the horizontal order.
        EXPECT_EQ(dir.read_c_text("out.c"), kExampleText);
    }

    // Default name and horizontal gray.
    {
        TempDir dir;
        dir.write("in.bin", Bytes(24 * 3 / 4, 0));
        RunResult r = run_tool("zktiler", {"-ht", "in.bin", "24", "3", "10", "2", "1", "out.c"}, dir);
        EXPECT_EQ(r.status, 0);
        const std::string out = normalized(r.out);
        EXPECT_NE(out.find("direction  = HORIZONTAL\nmode       = GRAY4\n"), std::string::npos);
        EXPECT_NE(out.find("hcount     = 2\nvcount     = 1\ntilecount  = 2\n"), std::string::npos);
        const std::string end = "outfile    = out.c\narrayname  = data\n";
        ASSERT_GE(out.size(), end.size());
        EXPECT_EQ(out.substr(out.size() - end.size()), end);
    }
}

TEST(ZkTilerText, WorkedExampleOnStandardOutputWithoutBanner)
{
    EXPECT_EQ(stdout_text(kExample, {"16", "2", "6", "2", "2", "-", "spr"}), kExampleText);
}

TEST(ZkTilerOutput, UnwritableOutputs)
{
    // Unwritable output file.
    {
        TempDir dir;
        dir.write("in.bin", kExample);
        dir.link_to_full("full");
        RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "full"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");
        EXPECT_NE(r.out.find("arrayname  = data\n" + usage()), std::string::npos);

        r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "no/such/dir"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n");
    }

    // Unwritable standard output.
    {
        TempDir dir;
        dir.write("in.bin", kExample);
        dir.link_to_full("full");
        RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "-"}, dir, {.stdout_to = "full"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");

        r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "out.c"}, dir, {.stdout_closed = true});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
        EXPECT_EQ(dir.read_c_text("out.c"), tiles_text(kExample, {"16", "2", "6", "2", "2"}));
    }
}

TEST(ZkTilerOutput, OutputThatIsTheInputIsRefused)
{
    // However it is named, the input is left as it was, and no listing
    // is printed.
    TempDir dir;
    dir.write("in.bin", kExample);
    std::filesystem::create_symlink("in.bin", dir.path() / "link.c");
    for (const std::string name : {"./in.bin", "link.c"}) {
        RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", name}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(normalized(r.out), kBanner + usage());
        EXPECT_EQ(r.err, "ERROR: outputfile " + name + " is the inputfile\n");
        EXPECT_EQ(dir.read("in.bin"), kExample);
    }
}

