#include "calc_builder.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKInfo", "1.6");
const std::string kUsage =
    "Usage: zkinfo <infile>\n"
    "\n"
    "       prints infos about a 89z/89s/89y/9xz/9xs/9xy file\n";

const Bytes kAbc = calc_file(string_data(bytes_of("abc")), kSig89, "main", "mystr");

std::string abc_report(const std::string& name, const std::string& signature)
{
    return "filename:  " + name + "\n"
           "filesize:  96 bytes\n"
           "filetype:  STR (0x2d)\n"
           "signature: " + signature + "\n"
           "folder:    main\n"
           "varname:   mystr\n"
           "desc:      \n"
           "size:      96 (0x60000000)\n"
           "datasize:  6 (0x0006)\n"
           "checksum:  345 (0x5901)\n\n";
}

}  // namespace

TEST(ZkInfoArgs, UsageUnlessExactlyOneArgument)
{
    TempDir dir;
    expect_usage("zkinfo", dir, kBanner + kUsage, {{}, {"a.89s", "b.89s"}});
}

TEST(ZkInfoReport, StringFileOfBothCalculators)
{
    TempDir dir;
    dir.write("mystr.89s", kAbc);
    RunResult r = run_tool("zkinfo", {"mystr.89s"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + abc_report("mystr.89s", kSig89));
    EXPECT_EQ(r.err, "");

    Bytes twin = kAbc;
    std::copy(kSig92, kSig92 + 8, twin.begin());
    dir.write("-mystr.9xs", twin);  // a leading "-" is part of the name
    r = run_tool("zkinfo", {"-mystr.9xs"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner + abc_report("-mystr.9xs", kSig92));
    EXPECT_EQ(dir.read("mystr.89s"), kAbc);
}

TEST(ZkInfoReport, StoredFieldsShownWithoutJudgement)
{
    // A wrong checksum, a size field that disagrees with the real length, and
    // a signature that only starts with "**TI" and ends early at a 0x00.
    Bytes f = kAbc;
    std::string sig("**TIzz\0q", 8);
    std::copy(sig.begin(), sig.end(), f.begin());
    f[76] = 0x34;
    f[77] = 0x12;
    f[94] = 0xFF;
    f[95] = 0xEE;
    f.insert(f.begin() + 90, 0x41);
    TempDir dir;
    dir.write("odd", f);
    RunResult r = run_tool("zkinfo", {"odd"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(normalized(r.out), kBanner +
                                     "filename:  odd\n"
                                     "filesize:  97 bytes\n"
                                     "filetype:  STR (0x2d)\n"
                                     "signature: **TIzz\n"
                                     "folder:    main\n"
                                     "varname:   mystr\n"
                                     "desc:      \n"
                                     "size:      4660 (0x34120000)\n"
                                     "datasize:  6 (0x0006)\n"
                                     "checksum:  61183 (0xffee)\n\n");
}

TEST(ZkInfoReport, AsmAndCustomTypesAndFullFields)
{
    TempDir dir;
    Bytes asm_file = calc_file(Bytes{0x4E, 0x75, 0xF3}, kSig92, "12345678", "abcdefgh");
    for (int i = 0; i < 40; ++i) asm_file[18 + i] = static_cast<std::uint8_t>('A' + i % 26);
    dir.write("prog.9xz", asm_file);
    RunResult r = run_tool("zkinfo", {"prog.9xz"}, dir);
    EXPECT_EQ(r.status, 0);
    unsigned sum = checksum_of(asm_file);
    char tail[96];
    std::snprintf(tail, sizeof tail, "checksum:  %u (0x%02x%02x)\n\n", sum, sum & 0xFF, sum >> 8);
    EXPECT_EQ(normalized(r.out), kBanner +
                                     "filename:  prog.9xz\n"
                                     "filesize:  93 bytes\n"
                                     "filetype:  ASM (0xf3)\n"
                                     "signature: **TI92P*\n"
                                     "folder:    12345678\n"
                                     "varname:   abcdefgh\n"
                                     "desc:      ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN\n"
                                     "size:      93 (0x5d000000)\n"
                                     "datasize:  3 (0x0003)\n" + tail);

    // A custom type carries its extension in the bytes 7, 6 and 5 before the end.
    Bytes oth = calc_file(Bytes{1, 2, 0, 'p', 'i', 'c', 0, 0xF8});
    dir.write("pic.89y", oth);
    r = run_tool("zkinfo", {"pic.89y"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(normalized(r.out).find("filetype:  OTH (0xf8)\nextension: pic\nsignature: **TI89**\n"),
              std::string::npos)
        << r.out;
}

TEST(ZkInfoErrors, RefusalsInTheOrderOfTheChecks)
{
    TempDir dir;
    RunResult r = run_tool("zkinfo", {"missing"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    dir.write("short", Bytes(kAbc.begin(), kAbc.begin() + 87));
    r = run_tool("zkinfo", {"short"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: file is too short\n");

    r = run_tool("zkinfo", {"."}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, on_windows("ERROR: file is too short\n", "ERROR: cannot open inputfile .\n"));

    Bytes wrong = kAbc;
    wrong[3] = 'X';
    dir.write("wrong", wrong);
    r = run_tool("zkinfo", {"wrong"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: file doesn't start with '**TI'\n");

    Bytes tagged = kAbc;
    tagged[93] = 0x0C;
    dir.write("tagged", tagged);
    r = run_tool("zkinfo", {"tagged"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner);
    EXPECT_EQ(r.err, "ERROR: file neither of STR nor of OTH type\n");
}

TEST(ZkInfoOutput, UnwritableStandardOutput)
{
    TempDir dir;
    dir.write("mystr.89s", kAbc);
    dir.link_to_full("full");
    RunResult r = run_tool("zkinfo", {"mystr.89s"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
}
