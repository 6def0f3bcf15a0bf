#include "calc_builder.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKBin2Oth", "1.0");

}  // namespace

TEST(ZkBin2OthArgs, UsageInvalidOptionsAndTypesCreateNothing)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    expect_usage("zkbin2oth", dir, kBanner + run_tool("zkbin2oth", {"--help"}, dir).out,
                 {{"-s89", "data.bin", "title"}, {"data.bin", "title", "pic", "games"},
                  {"-s89", "data.bin", "title", "pic", "games", "extra"}});
    RunResult r = run_tool("zkbin2oth", {"-s89", "data.bin", "-x", "title", "pic"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: invalid option -x\n");
    for (const std::string type : {"", "abcde", "p_c"}) {
        r = run_tool("zkbin2oth", {"-s89", "missing", "title", type}, dir);
        EXPECT_EQ(r.status, 1) << type;
        EXPECT_EQ(r.err, "ERROR: invalid type " + type + " (1 to 4 letters or digits)\n");
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"data.bin"});
}

// The file is the one the tests build on their own, and the suite's readers
// take it: zkinfo shows the type, zkchecksum finds it sound.
TEST(ZkBin2OthWrite, CustomTypeFileThroughZkinfoAndZkchecksum)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    RunResult r = run_tool("zkbin2oth", {"-s89", "data.bin", "title", "pic", "games"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + "99 bytes written to title.89y\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("title.89y"),
              calc_file(other_data(bytes_of("abc"), "pic"), kSig89, "games", "title", kTypeIdOther));
    RunResult info = run_tool("zkinfo", {"title.89y"}, dir);
    EXPECT_NE(info.out.find("filetype:  OTH (0xf8)\nextension: pic\n"), std::string::npos) << info.out;
    RunResult sum = run_tool("zkchecksum", {"title.89y"}, dir);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;

    // Flags anywhere, the last calculator flag counts, a type of four
    // characters, the folder "main" by default.
    r = run_tool("zkbin2oth", {"data.bin", "-s89", "longvariable", "-s92", "Lvl2"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + "100 bytes written to longvariable.9xy\n");
    EXPECT_EQ(dir.read("longvariable.9xy"),
              calc_file(other_data(bytes_of("abc"), "Lvl2"), kSig92, "main", "longvari", kTypeIdOther));
}

TEST(ZkBin2OthWrite, LimitOfTheDataSizeWord)
{
    TempDir dir;
    dir.write("most", Bytes(65529, 0xA7));
    RunResult r = run_tool("zkbin2oth", {"-s92", "most", "most", "pic"}, dir);
    EXPECT_EQ(normalized(r.out), kBanner + "65625 bytes written to most.9xy\n");
    expect_valid_calc_file(dir.read("most.9xy"));

    dir.write("over", Bytes(65530, 0xA7));
    r = run_tool("zkbin2oth", {"-s92", "over", "over", "pic"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile over is too long for a variable of type pic (more than 65529 bytes)\n");
    EXPECT_FALSE(dir.exists("over.9xy"));
}

TEST(ZkBin2OthErrors, OutputsRefused)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    std::filesystem::create_symlink("data.bin", dir.path() / "soft.89y");
    RunResult r = run_tool("zkbin2oth", {"-s89", "data.bin", "soft", "pic"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: outputfile soft.89y is the inputfile\n");
    EXPECT_EQ(dir.read_text("data.bin"), "abc");

    // A failed write is reported; the link, not a regular file, stays.
    dir.link_to_full("full.89y");
    r = run_tool("zkbin2oth", {"-s89", "data.bin", "full", "pic"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full.89y\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"data.bin", "full.89y", "soft.89y"}));
}
