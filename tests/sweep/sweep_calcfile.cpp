// The calculator variable file tools against files cut short, lengthened,
// and with header numbers far from the truth.
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

}  // namespace

// Every cut of a file is read in process, as each tool reads it
// (CalcTruncations in tests/calcfile); a cut inside the header and one
// inside the data meet each tool there (ZkInfoErrors, ZkChecksumErrors,
// ZkStripErrors, ZkBin2BinErrors).

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
// must neither read nor write outside the file (every such length:
// CalcChecksum.FilesBarelyLongerThanTheHeader).
TEST(SweepCalcFile, ChecksumOfAFileBarelyLongerThanTheHeader)
{
    TempDir dir;
    Bytes f = prefix_of(valid_file(), 89);
    put_le32(f, 76, 89);
    f[86] = 0x2D;
    dir.write("in.89s", f);
    RunResult r = run_tool("zkchecksum", {"in.89s"}, dir);
    expect_clean(r);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("in.89s").size(), 89u);
}

TEST(SweepCalcFile, Bin2strRefusesWhatAStringCannotHold)
{
    // One byte over the limit, and the largest string: ZkBin2StrErrors and ZkBin2StrWrite.
    TempDir dir;
    dir.write("in.bin", Bytes(1 << 22, 'a'));
    expect_refused(run_tool("zkbin2str", {"-s89", "in.bin", "v"}, dir),
                   "ERROR: inputfile in.bin is too long for a string (more than 65532 bytes)\n");
    EXPECT_FALSE(dir.exists("v.89s"));
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
