// The calculator variable file tools against files cut short at every
// length, lengthened, and with header numbers far from the truth.
#include "calc_builder.h"
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

namespace {

// A 98-byte string variable file holding "hello".
Bytes valid_file() { return calc_file(string_data(bytes_of("hello"))); }

void put_le32(Bytes& f, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Every cut through the trailer, the data and the data size word; below
// the header's end, the cuts around its signature and its fields.
std::vector<std::size_t> calc_cuts(std::size_t size)
{
    return cut_lengths(size, 85, {0, 1, 3, 4, 5, 7, 8, 9, 17, 58, 64, 76, 80});
}

}  // namespace

TEST(SweepCalcFile, InfoOnEveryTruncation)
{
    const Bytes full = valid_file();
    TempDir dir;
    for (std::size_t n : calc_cuts(full.size() - 1)) {
        SCOPED_TRACE("length " + str(n));
        const Bytes cut = prefix_of(full, n);
        dir.write("in.89s", cut);
        RunResult r = run_tool("zkinfo", {"in.89s"}, dir);
        expect_clean(r);
        if (n < 88) {
            expect_refused(r, "ERROR: file is too short\n");
        } else if (r.status != 0) {
            // The byte that stands where the tag should be is no known tag.
            expect_refused(r, "ERROR: file neither of STR nor of OTH type\n");
            EXPECT_NE(cut[n - 3], 0x2D);
        } else {
            // zkinfo reports without judging, but always the real length.
            EXPECT_NE(r.out.find("filesize:  " + str(n) + " bytes\n"), std::string::npos) << r.out;
        }
    }
}

TEST(SweepCalcFile, ChecksumRefusesEveryTruncationAndLeavesTheFile)
{
    const Bytes full = valid_file();
    TempDir dir;
    for (std::size_t n : calc_cuts(full.size() - 1)) {
        SCOPED_TRACE("length " + str(n));
        const Bytes cut = prefix_of(full, n);
        dir.write("in.89s", cut);
        RunResult r = run_tool("zkchecksum", {"in.89s"}, dir);
        if (n < 88)
            expect_refused(r, "ERROR: cannot read TI fileheader from in.89s\n");
        else
            expect_refused(r, "FATAL: embedded len (98) doesn't match real length (" + str(n) +
                                  ").\nCannot correct this file.\n");
        EXPECT_EQ(dir.read("in.89s"), cut);
    }
}

TEST(SweepCalcFile, StripCopiesOnlyWhatTheFileHolds)
{
    const Bytes full = valid_file();
    TempDir dir;
    for (std::size_t n : calc_cuts(full.size())) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "out");
        const Bytes cut = prefix_of(full, n);
        dir.write("in.89s", cut);
        RunResult r = run_tool("zkstrip", {"-quiet", "in.89s", "out"}, dir);
        if (n < 88) {
            expect_refused(r, "ERROR: inputfile in.89s is too short (" + str(n) + " bytes, the header needs 88)\n");
            EXPECT_FALSE(dir.exists("out"));
        } else {
            expect_clean(r);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(dir.read("out"), Bytes(cut.begin() + 86, cut.end() - 2));
        }
    }
}

TEST(SweepCalcFile, Bin2binCopiesEveryTruncationWholeOrRefusesIt)
{
    const Bytes full = valid_file();
    TempDir dir;
    for (std::size_t n : calc_cuts(full.size())) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "in.9xs");
        const Bytes cut = prefix_of(full, n);
        dir.write("in.89s", cut);
        RunResult r = run_tool("zkbin2bin", {"-quiet", "in.89s"}, dir);
        if (n < 8) {
            expect_refused(r, "ERROR: cannot read 8 characters from inputfile in.89s\n");
            EXPECT_FALSE(dir.exists("in.9xs"));
        } else {
            expect_clean(r);
            EXPECT_EQ(r.status, 0);
            Bytes expected = cut;
            std::copy_n(kSig92, 8, expected.begin());
            EXPECT_EQ(dir.read("in.9xs"), expected);
        }
    }
}

TEST(SweepCalcFile, HugeClaimedSizes)
{
    TempDir dir;
    Bytes f = valid_file();
    put_le32(f, 76, 0xFFFFFFFF);
    f[86] = 0xFF;
    f[87] = 0xFF;
    dir.write("in.89s", f);

    RunResult info = run_tool("zkinfo", {"in.89s"}, dir);
    expect_clean(info);
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("filesize:  98 bytes\n"), std::string::npos);
    EXPECT_NE(info.out.find("size:      4294967295 (0xffffffff)\n"), std::string::npos);
    EXPECT_NE(info.out.find("datasize:  65535 (0xffff)\n"), std::string::npos);

    expect_refused(run_tool("zkchecksum", {"in.89s"}, dir),
                   "FATAL: embedded len (4294967295) doesn't match real length (98).\nCannot correct this file.\n");
    EXPECT_EQ(dir.read("in.89s"), f);

    // zkstrip takes the real length, not the claimed one.
    RunResult strip = run_tool("zkstrip", {"-quiet", "in.89s", "out"}, dir);
    expect_clean(strip);
    EXPECT_EQ(strip.status, 0);
    EXPECT_EQ(dir.read("out").size(), 10u);
}

// A file whose stated length is its real length but shorter than a header
// and a checksum: the checksum overlaps the data size word, and the tool
// must neither read nor write outside the file.
TEST(SweepCalcFile, ChecksumOfFilesBarelyLongerThanTheHeader)
{
    for (std::size_t n : {88u, 89u, 90u}) {
        SCOPED_TRACE("length " + str(n));
        TempDir dir;
        Bytes f = prefix_of(valid_file(), n);
        put_le32(f, 76, static_cast<std::uint32_t>(n));
        f[n - 3] = 0x2D;
        dir.write("in.89s", f);
        RunResult r = run_tool("zkchecksum", {"in.89s"}, dir);
        expect_clean(r);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(dir.read("in.89s").size(), n);
    }
}

TEST(SweepCalcFile, Bin2strRefusesWhatAStringCannotHold)
{
    TempDir dir;
    dir.write("in.bin", Bytes(65533, 'a'));
    expect_refused(run_tool("zkbin2str", {"-s89", "in.bin", "v"}, dir),
                   "ERROR: inputfile in.bin is too long for a string (more than 65532 bytes)\n");
    EXPECT_FALSE(dir.exists("v.89s"));

    dir.write("in.bin", Bytes(1 << 22, 'a'));
    expect_refused(run_tool("zkbin2str", {"-s89", "in.bin", "v"}, dir),
                   "ERROR: inputfile in.bin is too long for a string (more than 65532 bytes)\n");
    EXPECT_FALSE(dir.exists("v.89s"));

    dir.write("in.bin", Bytes(65532, 'a'));
    RunResult r = run_tool("zkbin2str", {"-s89", "in.bin", "v"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0);
    expect_valid_calc_file(dir.read("v.89s"));
}

// Files named like calculator files that are something else altogether.
TEST(SweepCalcFile, ForeignFilesAreRefused)
{
    TempDir dir;
    Bytes text(200, 'x');
    dir.write("in.89s", text);
    expect_refused(run_tool("zkinfo", {"in.89s"}, dir), "ERROR: file doesn't start with '**TI'\n");
    expect_refused(run_tool("zkchecksum", {"in.89s"}, dir), "ERROR: file doesn't start with '**TI'\n");
    expect_refused(run_tool("zkbin2bin", {"in.89s"}, dir), "ERROR: calctype signature does not match\n");
    EXPECT_EQ(dir.read("in.89s"), text);
    EXPECT_FALSE(dir.exists("in.9xs"));

    Bytes unknown_tag = valid_file();
    unknown_tag[unknown_tag.size() - 3] = 0x0C;
    dir.write("in.89s", unknown_tag);
    expect_refused(run_tool("zkinfo", {"in.89s"}, dir), "ERROR: file neither of STR nor of OTH type\n");
}
