#include "calc_builder.h"

#include <gtest/gtest.h>

#include <random>

using namespace zktest;

// Files written by one tool of the suite pass the others.
TEST(CalcToolsRoundTrip, StringFileThroughEveryTool)
{
    std::mt19937 rng(9);
    Bytes content(5000);
    for (auto& b : content) b = static_cast<std::uint8_t>(rng());
    TempDir dir;
    dir.write("data.bin", content);
    ASSERT_EQ(run_tool("zkbin2str", {"-f", "-s89", "data.bin", "roundtrip"}, dir).status, 0);
    const Bytes written = dir.read("roundtrip.89s");
    expect_valid_calc_file(written);

    RunResult info = run_tool("zkinfo", {"roundtrip.89s"}, dir);
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("filesize:  5093 bytes\nfiletype:  STR (0x2d)\n"), std::string::npos);

    RunResult sum = run_tool("zkchecksum", {"roundtrip.89s"}, dir);
    EXPECT_EQ(sum.status, 0);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;

    ASSERT_EQ(run_tool("zkbin2bin", {"-quiet", "roundtrip.89s"}, dir).status, 0);
    const Bytes twin = dir.read("roundtrip.9xs");
    expect_valid_calc_file(twin);
    sum = run_tool("zkchecksum", {"roundtrip.9xs"}, dir);
    EXPECT_NE(sum.err.find("checksum already ok. will not patch.\n"), std::string::npos) << sum.err;

    dir.write("again.9xs", twin);
    ASSERT_EQ(run_tool("zkbin2bin", {"-quiet", "again.9xs"}, dir).status, 0);
    EXPECT_EQ(dir.read("again.89s"), written);

    ASSERT_EQ(run_tool("zkstrip", {"-quiet", "roundtrip.9xs", "image"}, dir).status, 0);
    EXPECT_EQ(dir.read("image"), Bytes(written.begin() + 86, written.end() - 2));
}
