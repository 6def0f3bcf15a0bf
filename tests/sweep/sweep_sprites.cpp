// zktiler against inputs of every wrong length and numbers far out of range.
#include "cli.h"
#include "sweep.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zksweep;

namespace {

// Every error of zktiler is its line on standard error and the usage text.
void expect_tiler_refused(const RunResult& r, const std::string& err)
{
    expect_refused(r, err);
    EXPECT_NE(r.out.find("Usage: zktiler"), std::string::npos);
}

}  // namespace

// Every length and every number far out of range meets the tile library in
// process (tests/sprites/test_tiles.cpp); here one run of each outcome.
TEST(SweepTiler, BitmapLengths)
{
    // 16 x 4 pixels: 8 bytes for one plane, 16 for two.
    TempDir dir;
    for (std::size_t n : {7, 8, 16}) {
        SCOPED_TRACE("length " + str(n));
        std::filesystem::remove(dir.path() / "out.c");
        dir.write("in.bin", Bytes(n, 0xC3));
        RunResult r = run_tool("zktiler", {"-ht", "in.bin", "16", "4", "12", "3", "5", "out.c"}, dir);
        if (n == 8 || n == 16) {
            expect_clean(r);
            EXPECT_EQ(r.status, 0);
            EXPECT_NE(r.out.find(n == 8 ? "mode       = MONO\n" : "mode       = GRAY4\n"), std::string::npos);
            EXPECT_FALSE(dir.read("out.c").empty());
        } else {
            expect_tiler_refused(r, "ERROR: filesize (" + str(n) + ") doesn't correspond with height/width\n");
            EXPECT_FALSE(dir.exists("out.c"));
        }
    }
}

TEST(SweepTiler, HugeNumbers)
{
    TempDir dir;
    dir.write("in.bin", Bytes(8, 0));
    expect_tiler_refused(run_tool("zktiler", {"-h", "in.bin", "2147483648", "4", "8", "4", "1", "out.c"}, dir),
                         "ERROR: cannot parse width=2147483648\n");
    // Sizes whose products pass 32 bits are only compared with the file.
    expect_tiler_refused(
        run_tool("zktiler", {"-h", "in.bin", "2147483640", "2147483647", "32", "2147483647", "20", "out.c"}, dir),
        "ERROR: filesize (8) doesn't correspond with height/width\n");
    EXPECT_FALSE(dir.exists("out.c"));
}

TEST(SweepTiler, HugeArrayName)
{
    ZK_SKIP_ON_WINDOWS("a command line over 32767 characters");
    TempDir dir;
    dir.write("in.bin", Bytes(8, 0x81));
    const std::string name(100000, 'n');
    RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "4", "8", "4", "1", "out.c", name}, dir);
    expect_clean(r);
    if (r.status == 0) {
        EXPECT_NE(dir.read_c_text("out.c").find(name), std::string::npos);
    } else {
        expect_one_error(r);
    }
}
