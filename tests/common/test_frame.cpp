#include "calc_builder.h"
#include "cli.h"
#include "frame.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>

using namespace zktest;

TEST(Frame, IdentityTableNamesEveryToolOnce)
{
    std::set<std::string> commands;
    for (const zk::ToolId& t : zk::kTools) commands.insert(t.command);
    EXPECT_EQ(commands.size(), 20u);
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

static zk::File open_in(const TempDir& dir, const std::string& name, const char* mode)
{
    return zk::open_file(dir.file(name).c_str(), mode);
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

// ZKTOOLS_QUIET drops banners, progress and summaries on both streams, and
// keeps warnings, errors, usage texts and the data a tool prints; set to
// "" or "0" it is as unset.
TEST(FrameTools, QuietEnvironmentLeavesOnlyWhatMatters)
{
    TempDir dir;
    dir.write("in.bin", std::string("a\0b", 3));
    dir.write("in.89s", calc_file(string_data(bytes_of("abc"))));
    const RunOptions quiet{.env = {"ZKTOOLS_QUIET=1"}};
    const struct {
        std::vector<std::string> args;
        std::string out, err;
    } cases[] = {
        {{"zkhelp"}, kToolList, ""},
        {{"zkbin2str", "-s89", "in.bin", "s"}, "", "WARNING: string contains 0x00: TI-Connect may truncate the string\n"},
        {{"zkbin2oth", "-s89", "in.bin", "o", "dat"}, "", ""},
        {{"zkbin2hex", "in.bin", "out.h"}, "", ""},
        {{"zkchecksum", "in.89s"}, "", ""},
        {{"zkunpack", "in.bin"}, run_tool("zkunpack", {"--help"}, dir).out, ""},
        {{"zkstrip", "missing", "out"}, "", "ERROR: cannot open inputfile missing\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = run_tool(c.args[0], std::vector<std::string>(c.args.begin() + 1, c.args.end()), dir, quiet);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_TRUE(run_tool("zkinfo", {"in.89s"}, dir, quiet).out.starts_with("filename:  in.89s\n"));
    for (const char* off : {"ZKTOOLS_QUIET=", "ZKTOOLS_QUIET=0"})
        EXPECT_EQ(normalized(run_tool("zkhelp", {}, dir, {.env = {off}}).out), banner("ZKHelp", "1.12") + kToolList);
}

// A variable's file is named after the name argument, directory and all;
// the variable after the argument's last part, and an argument without
// one names no variable.
TEST(FrameTools, VariableNamesAfterADirectory)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "build");
    dir.write("in.bin", std::string("hi"));
    dir.write("in.89z", calc_file({0x4E, 0x75, 0xF3}, kSig89, "main", "prog", 0x21));
    for (const auto& [tool, args, file] : std::vector<std::tuple<std::string, std::vector<std::string>, std::string>>{
             {"zkbin2str", {"-s89", "in.bin", "build/levels"}, "build/levels.89s"},
             {"zkbin2oth", {"-s89", "in.bin", "build/levels", "lvl"}, "build/levels.89y"},
             {"zkarchive", {"-s89", "build/levels", "in.bin"}, "build/levels.89y"},
             {"zkppggen", {"in.89z", "build/levels"}, "build/levels.89y"}}) {
        SCOPED_TRACE(tool);
        EXPECT_EQ(run_tool(tool, args, dir).status, 0);
        const Bytes written = dir.read(file);
        ASSERT_GE(written.size(), 72u);
        EXPECT_EQ(std::string(written.begin() + 64, written.begin() + 72), std::string("levels\0\0", 8));
        std::filesystem::remove(dir.path() / file);
        for (const std::string name : {"", "build/"}) {
            std::vector<std::string> empty = args;
            std::replace(empty.begin(), empty.end(), std::string("build/levels"), name);
            RunResult r = run_tool(tool, empty, dir);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "ERROR: no variable name in \"" + name + "\"\n");
        }
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"build", "in.89z", "in.bin"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "build"));
}

// Windows maps some names to devices, whatever their extension: a file a
// tool names after a variable is never one there, while an output the user
// spells out is taken as given.
TEST(FrameTools, DeviceNamesAreNoVariableFilesOnWindows)
{
    TempDir dir;
    dir.write("in.bin", std::string("hi"));
    for (const std::string name : {"aux", "NUL", "Com1"}) {
        RunResult r = run_tool("zkbin2oth", {"-s89", "in.bin", name, "dat"}, dir);
        EXPECT_EQ(r.status, windows_tools() ? 1 : 0) << name;
        EXPECT_EQ(r.err, windows_tools() ? "ERROR: " + name + ".89y is a device name, not a file\n" : "");
        EXPECT_EQ(dir.exists(name + ".89y"), !windows_tools());
    }
    EXPECT_EQ(run_tool("zkpack", {"-quiet", "in.bin", "nul"}, dir).status, 0);
}

// cmd.exe leaves wildcards to the program: the Windows tools expand them
// before they start, in the order of the names, as a POSIX shell would.
TEST(FrameTools, WindowsToolsExpandWildcards)
{
    if (!windows_tools()) GTEST_SKIP() << "a POSIX shell expands wildcards before a tool starts";
    TempDir dir;
    dir.write("level2.lvl", std::string("second"));
    dir.write("level1.lvl", std::string("first"));
    dir.write("notes.txt", std::string("not a level"));
    ASSERT_EQ(run_tool("zkarchive", {"-s89", "levels", "*.lvl"}, dir).status, 0);
    const Bytes expanded = dir.read("levels.89y");
    ASSERT_EQ(run_tool("zkarchive", {"-s89", "levels", "level1.lvl", "level2.lvl"}, dir).status, 0);
    EXPECT_EQ(expanded, dir.read("levels.89y"));
    EXPECT_EQ(run_tool("zkinfo", {"none*.lvl"}, dir).err, "ERROR: cannot open inputfile none*.lvl\n");
}
