#include "calc_builder.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKBin2Bin", "1.7");
const std::string kUsage =
    "Usage: zkbin2bin [-quiet] <infile>\n"
    "\n"
    "       quiet  ... don't output standard messages\n"
    "\n"
    "       converts TI89 binary to TI92p binary or TI92p binary to TI89 binary\n"
    "       by just patching the header information. the generated outputfile\n"
    "       will have the same name, but a different extension.\n"
    "       NOTE1: this should be only applied to datafiles or executables\n"
    "              which uses no compiled in calc depending constants\n"
    "       NOTE2: the program auto-detects the infile type by the extension\n"
    "              if the extension starts with '.89' it will treated as \n"
    "              TI89 inputfile. if it starts with '.9x' it will be treated\n"
    "              as TI92p inputfile.\n"
    "\n";

const Bytes k89 = calc_file(Bytes{0x4E, 0x75, 0, 0, 0xF3}, kSig89);

Bytes with_signature(Bytes f, const char* sig)
{
    std::copy(sig, sig + 8, f.begin());
    return f;
}

}  // namespace

TEST(ZkBin2BinArgs, UsageWithBannerOnWrongCommandLines)
{
    TempDir dir;
    dir.write("prog.89z", k89);
    expect_usage("zkbin2bin", dir, kBanner + kUsage, {
             {}, {"-q", "prog.89z"}, {"prog.89z", "-quiet"}, {"-quiet", "prog.89z", "x"}});
    EXPECT_EQ(dir.list(), std::vector<std::string>{"prog.89z"});
}

TEST(ZkBin2BinConvert, ThereAndBackToTheSameBytes)
{
    TempDir dir;
    dir.write("prog.89z", k89);
    RunResult r = run_tool("zkbin2bin", {"prog.89z"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "95 bytes written to outputfile prog.9xz.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("prog.9xz"), with_signature(k89, kSig92));

    dir.write("back.9xz", dir.read("prog.9xz"));
    r = run_tool("zkbin2bin", {"-quiet", "back.9xz"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("back.89z"), k89);
}

TEST(ZkBin2BinNames, ExtensionRules)
{
    TempDir dir;
    dir.write("a.89z", k89);
    dir.write("prog.89q", k89);
    std::filesystem::create_directory(dir.path() / "sub");
    dir.write("sub/s.9xs", with_signature(k89, kSig92));
    EXPECT_EQ(run_tool("zkbin2bin", {"a.89z"}, dir).status, 0);
    EXPECT_EQ(run_tool("zkbin2bin", {"prog.89q"}, dir).status, 0);
    EXPECT_EQ(run_tool("zkbin2bin", {"sub/s.9xs"}, dir).status, 0);
    EXPECT_EQ(dir.read("a.9xz"), with_signature(k89, kSig92));
    EXPECT_TRUE(dir.exists("prog.9xq"));
    EXPECT_EQ(dir.read("sub/s.89s"), k89);

    const std::string too_short = "ERROR: inputfile name too short\n";
    const std::string no_ext = "ERROR: no extension or not starting with '.89' or '.9x'\n";
    // Every name rule in process: CalcFileNames.
    for (const auto& [name, err] : std::vector<std::pair<std::string, std::string>>{
             {"x.89", too_short}, {"prog.89", no_ext}, {"-quiet", no_ext}}) {
        RunResult r = run_tool("zkbin2bin", {name}, dir);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(normalized(r.out), kBanner) << name;
        EXPECT_EQ(r.err, err) << name;
    }
}

TEST(ZkBin2BinNames, NamesLongerThan1024Characters)
{
    TempDir dir;
    const std::string sub(200, 'd');
    const std::string stem(200, 'n');
    std::filesystem::create_directory(dir.path() / sub);
    std::string path;
    for (int i = 0; i < 6; ++i) path += sub + "/../";
    dir.write(stem + ".9xy", with_signature(k89, kSig92));
    RunResult r = run_tool("zkbin2bin", {path + stem + ".9xy"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(normalized(r.out), kBanner + "95 bytes written to outputfile " + path + stem + ".89y.\n");
    EXPECT_EQ(dir.read(stem + ".89y"), k89);
}

TEST(ZkBin2BinErrors, RefusalsCreateNothing)
{
    TempDir dir;
    RunResult r = run_tool("zkbin2bin", {"missing.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing.89z\n");

    dir.write("tiny.89z", bytes_of("**TI89*"));
    r = run_tool("zkbin2bin", {"tiny.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot read 8 characters from inputfile tiny.89z\n");

    dir.write("other.89z", with_signature(k89, kSig92));
    r = run_tool("zkbin2bin", {"other.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: calctype signature does not match\n");

    std::filesystem::create_directory(dir.path() / "d.89z");
    r = run_tool("zkbin2bin", {"d.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read 8 characters from inputfile d.89z\n",
                                "ERROR: cannot open inputfile d.89z\n"));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"d.89z", "other.89z", "tiny.89z"}));

    dir.write("p.89z", k89);
    std::filesystem::create_directory(dir.path() / "p.9xz");
    r = run_tool("zkbin2bin", {"p.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open outfile p.9xz\n");
}

TEST(ZkBin2BinOutput, UnwritableOutputs)
{
    TempDir dir;
    dir.write("p.89z", k89);
    dir.link_to_full("p.9xz");
    RunResult r = run_tool("zkbin2bin", {"p.89z"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: problem while writing to outfile p.9xz\n");

    dir.write("q.89z", k89);
    dir.link_to_full("full");
    r = run_tool("zkbin2bin", {"q.89z"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.read("q.9xz"), with_signature(k89, kSig92));
}

TEST(ZkBin2BinErrors, OutputThatIsTheInputIsRefused)
{
    TempDir dir;
    dir.write("soft.89z", k89);
    std::filesystem::create_symlink("soft.89z", dir.path() / "soft.9xz");
    dir.write("hard.9xz", with_signature(k89, kSig92));
    std::filesystem::create_hard_link(dir.path() / "hard.9xz", dir.path() / "hard.89z");
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{{"soft.89z", "soft.9xz"},
                                                                                 {"hard.9xz", "hard.89z"}}) {
        const Bytes before = dir.read(in);
        RunResult r = run_tool("zkbin2bin", {in}, dir);
        EXPECT_EQ(r.status, 1) << in;
        EXPECT_EQ(normalized(r.out), kBanner);
        EXPECT_EQ(r.err, "ERROR: outputfile " + out + " is the inputfile\n");
        EXPECT_EQ(dir.read(in), before);
    }
}
