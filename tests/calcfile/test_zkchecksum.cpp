#include "calc_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <filesystem>
#include <random>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKChecksum", "1.7");
const std::string kUsage =
    "Usage: zkchecksum [-c] <infile>\n"
    "\n"
    "       corrects the checksum of 89z/89s/89y/9xz/9xs/9xy calculator files.\n"
    "       -c ... only checks the file, never writes it: exit status 1 unless\n"
    "              it is a valid calculator file with the right checksum\n"
    "\n"
    "       NOTE: if the embedded filelength doesn't match the real filelength\n"
    "             (for example: caused by an invalid FTP transfer) the file\n"
    "             cannot be corrected.\n";

const Bytes kAbc = calc_file(string_data(bytes_of("abc")));
const std::string kAbcLength = "length=96 type=2d checksum=345 (0x5901)\n";

}  // namespace

TEST(ZkChecksumArgs, UsageUnlessExactlyOneArgument)
{
    TempDir dir;
    expect_usage("zkchecksum", dir, kBanner + kUsage, {{}, {"a", "b"}, {"a", "-c"}, {"-c", "a", "b"}});
    // Alone, "-c" is the name of the file to repair.
    EXPECT_EQ(run_tool("zkchecksum", {"-c"}, dir).err, "ERROR: cannot open inputfile -c\n");
}

// -c only reads: the verdict is the status, and the file keeps its bytes and its time.
TEST(ZkChecksumCheckOnly, VerdictInTheStatusFileUntouched)
{
    TempDir dir;
    Bytes wrong = kAbc;
    wrong[91] = 0x64;  // 'c' becomes 'd'
    const struct {
        const char* name;
        Bytes bytes;
        int status;
        std::string err;
    } cases[] = {
        {"x.89s", kAbc, 0, "x.89s: checksum ok\n"},
        {"wrong.89s", wrong, 1, "ERROR: wrong checksum in wrong.89s: stored 345 (0x5901), computed 346 (0x5a01)\n"},
        {"notes.txt", bytes_of(std::string(100, 'x')), 1, "ERROR: notes.txt doesn't start with '**TI'\n"},
    };
    const auto long_ago = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1000);
    for (const auto& c : cases) {
        dir.write(c.name, c.bytes);
        std::filesystem::last_write_time(dir.file(c.name), long_ago);
        RunResult r = run_tool("zkchecksum", {"-c", c.name}, dir);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(normalized(r.out), kBanner) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(dir.read(c.name), c.bytes) << c.name;
        EXPECT_EQ(std::filesystem::last_write_time(dir.file(c.name)), long_ago) << c.name;
    }
    RunResult r = run_tool("zkchecksum", {"-c", "."}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: inputfile . is not a regular file\n");
}

TEST(ZkChecksumCheck, CorrectFileIsLeftAlone)
{
    TempDir dir;
    dir.write("x.89s", kAbc);
    RunResult r = run_tool("zkchecksum", {"x.89s"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, kAbcLength + "checksum already ok. will not patch.\n");
    EXPECT_EQ(dir.read("x.89s"), kAbc);
}

TEST(ZkChecksumRepair, CorruptedByteRepairedThenVerified)
{
    TempDir dir;
    Bytes f = kAbc;
    f[91] = 0x64;  // 'c' becomes 'd'
    dir.write("x.89s", f);
    RunResult r = run_tool("zkchecksum", {"x.89s"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, kAbcLength + "checksum wrong. correcting it to 346 (0x5a01)\n");
    f[94] = 0x5A;
    f[95] = 0x01;
    EXPECT_EQ(dir.read("x.89s"), f);
    expect_valid_calc_file(dir.read("x.89s"));

    r = run_tool("zkchecksum", {"x.89s"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "length=96 type=2d checksum=346 (0x5a01)\nchecksum already ok. will not patch.\n");
}

TEST(ZkChecksumRepair, LargeFileOnlyItsLastTwoBytesChange)
{
    // Header fields other than "**TI" and the length are neither checked nor changed.
    std::mt19937 rng(2);
    Bytes data(70000);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    data.push_back(0xF8);
    Bytes f = calc_file(data, "**TIjunk", "\xff\xfe", "\x01");
    f[58] = 9;
    f[72] = 0x21;
    Bytes broken = f;
    broken[broken.size() - 2] ^= 0xFF;
    TempDir dir;
    dir.write("big", broken);
    RunResult r = run_tool("zkchecksum", {"big"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(dir.read("big"), f);
}

TEST(ZkChecksumErrors, RefusalsLeaveTheFileUnchanged)
{
    TempDir dir;
    RunResult r = run_tool("zkchecksum", {"missing"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    r = run_tool("zkchecksum", {"."}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile .\n");

    struct Case {
        const char* name;
        Bytes bytes;
        std::string err;
    };
    Bytes not_ti = kAbc;
    not_ti[2] = 't';
    Bytes cut(kAbc.begin(), kAbc.end() - 1);
    cut.back() = 0x00;  // a wrong checksum that must not be patched either
    Bytes longer = kAbc;
    longer.push_back(0);
    Bytes tag = kAbc;
    tag[93] = 0x0C;
    const Case cases[] = {
        {"short", Bytes(kAbc.begin(), kAbc.begin() + 87), "ERROR: cannot read TI fileheader from short\n"},
        {"not_ti", not_ti, "ERROR: file doesn't start with '**TI'\n"},
        {"cut", cut, "FATAL: embedded len (96) doesn't match real length (95).\nCannot correct this file.\n"},
        {"longer", longer, "FATAL: embedded len (96) doesn't match real length (97).\nCannot correct this file.\n"},
        {"tag", tag, "length=96 type=0c checksum=345 (0x5901)\nERROR: file neither STR, ASM nor OTH type\n"},
    };
    for (const Case& c : cases) {
        dir.write(c.name, c.bytes);
        r = run_tool("zkchecksum", {c.name}, dir);
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(normalized(r.out), kBanner) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(dir.read(c.name), c.bytes) << c.name;
    }
}

TEST(ZkChecksumOutput, UnwritableStandardOutput)
{
    TempDir dir;
    dir.write("x.89s", kAbc);
    dir.link_to_full("full");
    RunResult r = run_tool("zkchecksum", {"x.89s"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kAbcLength + "checksum already ok. will not patch.\nERROR: cannot write to stdout\n");
}

// Opened for update, a FIFO would be waited on for ever: it, and a device,
// are refused before they are opened.
TEST(ZkChecksumErrors, OnlyARegularFileIsOpenedForUpdate)
{
    TempDir dir;
    ASSERT_EQ(mknod(dir.file("null").c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const std::string name : {"null", "fifo"}) {
        RunResult r = run_tool("zkchecksum", {name}, dir);
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(normalized(r.out), kBanner) << name;
        EXPECT_EQ(r.err, "ERROR: inputfile " + name + " is not a regular file\n");
    }
}
