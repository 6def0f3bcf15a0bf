#include "calc_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKSetName", "1.0");

Bytes abc_file(const std::string& folder, const std::string& name)
{
    return calc_file(string_data(bytes_of("abc")), kSig89, folder, name);
}

}  // namespace

TEST(ZkSetNameRename, NamesInLowerCaseThenZkinfoAndZkchecksum)
{
    TempDir dir;
    expect_usage("zksetname", dir, kBanner + run_tool("zksetname", {"--help"}, dir).out,
                 {{"f.89s"}, {"f.89s", "a", "b", "c"}});
    dir.write("f.89s", abc_file("main", "x"));
    RunResult r = run_tool("zksetname", {"f.89s", "Level_2"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "f.89s: name set to level_2\n");
    EXPECT_EQ(dir.read("f.89s"), abc_file("main", "level_2"));

    r = run_tool("zksetname", {"f.89s", "LONGNAME", "Games"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + "f.89s: name set to games\\longname\n");
    EXPECT_EQ(dir.read("f.89s"), abc_file("games", "longname"));

    // A shorter name leaves nothing of the longer one.
    r = run_tool("zksetname", {"f.89s", "y"}, dir);
    EXPECT_EQ(dir.read("f.89s"), abc_file("games", "y"));
    RunResult info = run_tool("zkinfo", {"f.89s"}, dir);
    EXPECT_NE(info.out.find("folder:    games\nvarname:   y\n"), std::string::npos) << info.out;
    RunResult sum = run_tool("zkchecksum", {"f.89s"}, dir);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;
}

// Names are checked before the file is looked at; only a sound variable
// file, as zkchecksum finds it, is changed.
TEST(ZkSetNameRefuse, InvalidNamesAndFilesStayAsTheyAre)
{
    TempDir dir;
    RunResult r = run_tool("zksetname", {"missing", "1abc"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: invalid variable name 1abc (1 to 8 characters: a letter, then letters, digits or _)\n");
    r = run_tool("zksetname", {"missing", "good", "main dir"}, dir);
    EXPECT_EQ(r.err, "ERROR: invalid folder name main dir (1 to 8 characters: a letter, then letters, digits or _)\n");

    const Bytes good = abc_file("main", "x");
    Bytes bad_sum = good, longer = good, not_ti = good;
    bad_sum[90] ^= 1;
    longer.push_back(0);
    not_ti[3] = 'X';
    const std::pair<Bytes, std::string> cases[] = {
        {bad_sum, "ERROR: f has a wrong checksum (345, not 346): repair it with zkchecksum first\n"},
        {longer, "ERROR: f: embedded length (96) doesn't match real length (97)\n"},
        {not_ti, "ERROR: f doesn't start with '**TI'\n"},
        {calc_file({0x00, 'a', 0x00, 0x0C}), "ERROR: f is neither of STR, ASM nor OTH type\n"},
        {Bytes(good.begin(), good.begin() + 87), "ERROR: cannot read TI fileheader from f\n"},
    };
    for (const auto& [file, message] : cases) {
        dir.write("f", file);
        r = run_tool("zksetname", {"f", "y"}, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(dir.read("f"), file) << message;
    }
    r = run_tool("zksetname", {"missing", "y"}, dir);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    r = run_tool("zksetname", {"fifo", "y"}, dir);
    EXPECT_EQ(r.err, "ERROR: inputfile fifo is not a regular file\n");
}
