#include "calc_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKSetName", "1.0");
const std::string kUsage =
    "Usage: zksetname <infile> <name> [folder]\n"
    "\n"
    "       sets the variable name (and the folder) that the calculator\n"
    "       shows for a 89z/89s/89y/9xz/9xs/9xy file, in place; a name is\n"
    "       1 to 8 characters: a letter, then letters, digits or _\n";
const std::string kRule = " (1 to 8 characters: a letter, then letters, digits or _)\n";

Bytes abc_file(const std::string& folder, const std::string& name)
{
    return calc_file(string_data(bytes_of("abc")), kSig89, folder, name);
}

}  // namespace

TEST(ZkSetNameArgs, UsageForOneOrMoreThanThreeArguments)
{
    TempDir dir;
    expect_usage("zksetname", dir, kBanner + kUsage, {{}, {"f.89s"}, {"f.89s", "a", "b", "c"}});
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkSetNameRename, NamesInLowerCaseThenZkinfoAndZkchecksum)
{
    TempDir dir;
    dir.write("f.89s", abc_file("main", "x"));
    RunResult r = run_tool("zksetname", {"f.89s", "Level_2"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "f.89s: name set to level_2\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("f.89s"), abc_file("main", "level_2"));

    r = run_tool("zksetname", {"f.89s", "LONGNAME", "Games"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + "f.89s: name set to games\\longname\n");
    EXPECT_EQ(dir.read("f.89s"), abc_file("games", "longname"));

    // A shorter name leaves nothing of the longer one.
    r = run_tool("zksetname", {"f.89s", "y"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("f.89s"), abc_file("games", "y"));

    RunResult info = run_tool("zkinfo", {"f.89s"}, dir);
    EXPECT_NE(info.out.find("folder:    games\nvarname:   y\n"), std::string::npos) << info.out;
    RunResult sum = run_tool("zkchecksum", {"f.89s"}, dir);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;
}

// Names are checked first, before the file is even looked at.
TEST(ZkSetNameRefuse, InvalidNamesBeforeTheFile)
{
    TempDir dir;
    const Bytes f = abc_file("main", "x");
    dir.write("f.89s", f);
    for (const std::string name : {"", "1abc", "_abc", "abcdefghi", "a-b"}) {
        RunResult r = run_tool("zksetname", {"missing", name}, dir);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(normalized(r.out), kBanner);
        EXPECT_EQ(r.err, "ERROR: invalid variable name " + name + kRule);
    }
    RunResult r = run_tool("zksetname", {"f.89s", "good", "main dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: invalid folder name main dir" + kRule);
    EXPECT_EQ(dir.read("f.89s"), f);
}

// Only a sound variable file is changed, as zkchecksum would find it.
TEST(ZkSetNameRefuse, InvalidFilesStayAsTheyAre)
{
    TempDir dir;
    const Bytes good = abc_file("main", "x");
    Bytes bad_sum = good;
    bad_sum[90] ^= 1;
    Bytes longer = good;
    longer.push_back(0);
    Bytes not_ti = good;
    not_ti[3] = 'X';
    const Bytes wrong_tag = calc_file({0x00, 'a', 0x00, 0x0C});
    const std::vector<std::pair<Bytes, std::string>> cases{
        {bad_sum, "ERROR: f has a wrong checksum (345, not 346): repair it with zkchecksum first\n"},
        {longer, "ERROR: f: embedded length (96) doesn't match real length (97)\n"},
        {not_ti, "ERROR: f doesn't start with '**TI'\n"},
        {wrong_tag, "ERROR: f is neither of STR, ASM nor OTH type\n"},
        {Bytes(good.begin(), good.begin() + 87), "ERROR: cannot read TI fileheader from f\n"},
    };
    for (const auto& [file, message] : cases) {
        dir.write("f", file);
        RunResult r = run_tool("zksetname", {"f", "y"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(dir.read("f"), file) << message;
    }

    RunResult r = run_tool("zksetname", {"missing", "y"}, dir);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    r = run_tool("zksetname", {"fifo", "y"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile fifo is not a regular file\n");
    r = run_tool("zksetname", {".", "y"}, dir);
    EXPECT_EQ(r.err, "ERROR: inputfile . is not a regular file\n");
}
