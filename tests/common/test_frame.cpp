#include "cli.h"
#include "frame.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zktest;

TEST(Frame, IdentityTableNamesEveryToolOnce)
{
    std::set<std::string> commands;
    for (const zk::ToolId& t : zk::kTools) commands.insert(t.command);
    EXPECT_EQ(commands.size(), 14u);
    EXPECT_STREQ(zk::tool("zkbin2hex").version, "1.10");
    EXPECT_STREQ(zk::tool("zkunarchive").display_name, "ZKUnArchive");
    EXPECT_EQ(zk::tool("zktiler").banner, zk::BannerKind::UnlessStdout);
    EXPECT_EQ(zk::tool("zkstrip").banner, zk::BannerKind::QuietCapable);
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
