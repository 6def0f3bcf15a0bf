#include "calc_builder.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKBin2Str", "1.8");
const std::string kUsage =
    "Usage: zkbin2str <-s89 | -s92> <infile> <name> [folder]\n"
    "\n"
    "       -s89  ....  generate TI89 string\n"
    "       -s92  ....  generate TI92 string\n"
    "       -f    ....  don't print a warning if the string contains at least one 0x00\n"
    "       (strings containing 0x00 may prove problematic to transfer using TI-Connect)\n"
    "\n"
    "       enwraps any file into a TI89 or TI92 string variable\n";
const std::string kZeroWarning = "WARNING: string contains 0x00: TI-Connect may truncate the string\n";

}  // namespace

TEST(ZkBin2StrArgs, UsageOnWrongCommandLines)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    expect_usage("zkbin2str", dir, kBanner + kUsage, {{},
                                                                  {"-s89", "data.bin"},
                                                                  {"data.bin", "mystr", "games"},
                                                                  {"-s89", "-f", "data.bin"},
                                                                  {"-s89", "data.bin", "mystr", "games", "extra"}});
    EXPECT_EQ(dir.list(), std::vector<std::string>{"data.bin"});
}

TEST(ZkBin2StrArgs, InvalidOptionAtOnceWithoutNewline)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    RunResult r = run_tool("zkbin2str", {"-s89", "data.bin", "-s90", "mystr"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: invalid option -s90");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"data.bin"});
}

TEST(ZkBin2StrWrite, WorkedExampleForBothCalculators)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    RunResult r = run_tool("zkbin2str", {"-s89", "data.bin", "mystr"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "96 bytes written to mystr.89s\n");
    const Bytes expected = calc_file(string_data(bytes_of("abc")), kSig89, "main", "mystr");
    EXPECT_EQ(dir.read("mystr.89s"), expected);
    EXPECT_EQ(checksum_of(expected), 345u);

    // Flags anywhere; of -s89 and -s92 the last one counts.
    r = run_tool("zkbin2str", {"-s89", "data.bin", "-s92", "mystr"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "96 bytes written to mystr.9xs\n");
    Bytes twin = expected;
    std::copy(kSig92, kSig92 + 8, twin.begin());
    EXPECT_EQ(dir.read("mystr.9xs"), twin);
}

TEST(ZkBin2StrWrite, FolderAndLongVariableName)
{
    TempDir dir;
    dir.write("data.bin", "hi");
    RunResult r = run_tool("zkbin2str", {"data.bin", "longvariable", "games", "-s89"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "95 bytes written to longvariable.89s\n");
    EXPECT_EQ(dir.read("longvariable.89s"), calc_file(string_data(bytes_of("hi")), kSig89, "games", "longvari"));

    // A name far beyond 1024 characters, through a path of detours: the
    // variable is named by the path's last part.
    const std::string sub(200, 'd');
    std::filesystem::create_directory(dir.path() / sub);
    std::string name;
    for (int i = 0; i < 6; ++i) name += sub + "/../";
    name += std::string(200, 'n');
    r = run_tool("zkbin2str", {"-s92", "data.bin", name}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "95 bytes written to " + name + ".9xs\n");
    EXPECT_EQ(dir.read(std::string(200, 'n') + ".9xs"),
              calc_file(string_data(bytes_of("hi")), kSig92, "main", std::string(8, 'n')));
}

TEST(ZkBin2StrWrite, ZeroBytesWarnOnceUnlessAllowed)
{
    TempDir dir;
    const Bytes content{'a', 0, 'b', 0, 0, 'c'};
    dir.write("z.bin", content);
    RunResult r = run_tool("zkbin2str", {"-s89", "z.bin", "warned"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, kZeroWarning + "99 bytes written to warned.89s\n");

    r = run_tool("zkbin2str", {"-f", "-s89", "z.bin", "warned", "-f"}, dir);
    EXPECT_EQ(r.err, "99 bytes written to warned.89s\n");
    EXPECT_EQ(dir.read("warned.89s"), calc_file(string_data(content), kSig89, "main", "warned"));
}

TEST(ZkBin2StrWrite, EmptyAndLargestInputs)
{
    TempDir dir;
    dir.write("empty", Bytes{});
    RunResult r = run_tool("zkbin2str", {"-s89", "empty", "e"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "93 bytes written to e.89s\n");
    EXPECT_EQ(dir.read("e.89s"), calc_file(string_data({}), kSig89, "main", "e"));
    EXPECT_EQ(checksum_of(dir.read("e.89s")), 48u);

    Bytes big(65532, 0xFE);
    dir.write("big", big);
    r = run_tool("zkbin2str", {"-s92", "big", "big"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "65625 bytes written to big.9xs\n");
    expect_valid_calc_file(dir.read("big.9xs"));
}

TEST(ZkBin2StrErrors, RefusalsCreateNothing)
{
    TempDir dir;
    RunResult r = run_tool("zkbin2str", {"-s89", "missing", "m"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    dir.write("huge", Bytes(65533, 'h'));
    r = run_tool("zkbin2str", {"-s89", "huge", "h"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile huge is too long for a string (more than 65532 bytes)\n");

    r = run_tool("zkbin2str", {"-s89", ".", "d"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: cannot read inputfile .\n", "ERROR: cannot open inputfile .\n"));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"huge"});

    dir.write("data.bin", "abc");
    r = run_tool("zkbin2str", {"-s89", "data.bin", "no/such"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such.89s\n");
}

TEST(ZkBin2StrOutput, UnwritableOutputs)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    dir.link_to_full("full.89s");
    RunResult r = run_tool("zkbin2str", {"-s89", "data.bin", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full.89s\n");

    r = run_tool("zkbin2str", {"-s89", "data.bin", "ok"}, dir, {.stdout_to = "full.89s"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "96 bytes written to ok.89s\nERROR: cannot write to stdout\n");
    expect_valid_calc_file(dir.read("ok.89s"));
}

TEST(ZkBin2StrErrors, OutputThatIsTheInputIsRefused)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    std::filesystem::create_symlink("data.bin", dir.path() / "soft.89s");
    std::filesystem::create_hard_link(dir.path() / "data.bin", dir.path() / "hard.9xs");
    for (const auto& [flag, name] : std::vector<std::pair<std::string, std::string>>{{"-s89", "soft"},
                                                                                     {"-s92", "hard"}}) {
        RunResult r = run_tool("zkbin2str", {flag, "data.bin", name}, dir);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(normalized(r.out), kBanner);
        EXPECT_EQ(r.err, "ERROR: outputfile " + name + (flag == "-s89" ? ".89s" : ".9xs") + " is the inputfile\n");
    }
    EXPECT_EQ(dir.read_text("data.bin"), "abc");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"data.bin", "hard.9xs", "soft.89s"}));
}
