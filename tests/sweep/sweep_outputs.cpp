// Every output is whole or absent: a write that fails past a file size
// limit, a run stopped by a signal and two runs into one name never leave
// a cut-off file under the output's name, nor a temporary file beside it;
// the previous output stays as it was.
#include "calc_builder.h"
#include "cli.h"
#include "pack_inputs.h"
#include "png_builder.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace zktest;
using namespace zksweep;

namespace {

// Past this a write fails (RLIMIT_FSIZE, SIGXFSZ ignored): more than any
// console capture of these runs, less than any of their outputs.
constexpr long long kFileLimit = 4096;
const Bytes kBig = random_bytes(12000, 21);

// A run whose one output (named output) is over the limit.
struct BigRun {
    const char* tool;
    std::vector<std::string> args;
    std::string output;
    std::function<void(const TempDir&)> setup;
};

std::vector<BigRun> big_runs()
{
    auto raw = [](const TempDir& d) { d.write("in.bin", kBig); };
    auto calc = [](const TempDir& d) { d.write("in.89z", calc_file(other_data(kBig, "dat"))); };
    auto packed = [](const TempDir& d) {
        std::mt19937 rng(3);
        d.write("in.pk", pack_random(kBig, {}, rng));
    };
    auto tokens = [](const TempDir& d) {
        Bytes b = bytes_of("BEGIN");
        b.insert(b.end(), kBig.begin(), kBig.end());
        d.write("in.bin", b);
    };
    return {
        {"zkstrip", {"in.89z", "out"}, "out", calc},
        {"zkbin2bin", {"in.89z"}, "in.9xz", calc},
        {"zkbin2str", {"-s89", "in.bin", "v"}, "v.89s", raw},
        {"zkbin2oth", {"-s89", "in.bin", "v", "dat"}, "v.89y", raw},
        {"zkunpack", {"in.pk", "out"}, "out", packed},
        {"zkunpack", {"-hto", "in.pk", "out"}, "out", packed},
        {"zkunarchive", {"in.89y", "0", "out"}, "out", [](const TempDir& d) { d.write("in.89y", archive_of({kBig})); }},
        {"zkpack", {"-E", "0", "-G", "7", "-X", "0", "in.bin", "out"}, "out", raw},
        {"zkarchive", {"-s89", "-store", "v", "in.bin"}, "v.89y", raw},
        {"zkbin2hex", {"in.bin", "out"}, "out", raw},
        {"zkhex2bin", {"in.txt", "out"}, "out", [](const TempDir& d) { d.write("in.txt", hex_items(kBig)); }},
        {"zkextract", {"in.bin", "out", "BEGIN"}, "out", tokens},
        {"zktiler", {"-h", "in.bin", "96", "1000", "8", "8", "20", "out"}, "out", raw},
        {"zksplit", {"-b", "offsets", "in.bin"}, "inp001.bin",
         [](const TempDir& d) {
             d.write("in.bin", kBig);
             d.write("offsets", "4\n");
         }},
        {"zksplit", {"-t", "offsets", "in.txt"}, "inp001.txt",
         [](const TempDir& d) {
             d.write("in.txt", "first\n" + hex_items(kBig));
             d.write("offsets", "2\n");
         }},
        {"zkppggen", {"in.89z"}, "x.89y",
         [](const TempDir& d) {
             Bytes program = kBig;
             program.push_back(0xF3);
             d.write("in.89z", calc_file(program, kSig89, "main", "x", 0x21));
         }},
        {"zkbin2png", {"in.bin", "96", "1000", "out.png"}, "out.png", raw},
        {"zkpng2bin", {"in.png", "out.bin"}, "out.bin",
         [](const TempDir& d) {
             PngRecipe grey{.width = 240, .height = 200};
             for (std::size_t i = 0; i < 240 * 200; ++i) grey.samples.push_back(kBig[i % kBig.size()]);
             d.write("in.png", png_file(grey));
         }},
    };
}

}  // namespace

TEST(SweepWholeOutputs, AFailedWriteKeepsThePreviousOutput)
{
    ZK_SKIP_ON_WINDOWS("file size limits");
    for (const BigRun& c : big_runs()) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.output);
        TempDir dir;
        c.setup(dir);
        dir.write(c.output, "previous");
        const std::vector<std::string> before = dir.list();
        RunResult r = run_tool(c.tool, c.args, dir, {.file_size_limit = kFileLimit});
        expect_clean(r);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("ERROR: "), std::string::npos) << r.err;
        EXPECT_EQ(dir.read_text(c.output), "previous");
        std::vector<std::string> after = dir.list();
        // zksplit's first piece is whole, and stays.
        std::erase_if(after, [](const std::string& name) { return name.starts_with("inp000."); });
        EXPECT_EQ(after, before);
    }
}

TEST(SweepWholeOutputs, ASignalLeavesThePreviousOutput)
{
    ZK_SKIP_ON_WINDOWS("POSIX signals");
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        TempDir dir;
        // Some 60 MB of C text: the run is still writing when it is stopped.
        dir.write("in.bin", Bytes{});
        std::filesystem::resize_file(dir.path() / "in.bin", 10 << 20);
        dir.write("out.h", "previous");
        auto run = start_tool("zkbin2hex", {"-quiet", "in.bin", "out.h"}, dir);
        // Stopped once its temporary file holds text.
        for (int tries = 0; tries < 2000; ++tries) {
            bool writing = false;
            for (const auto& e : std::filesystem::directory_iterator(dir.path()))
                writing |= e.path().filename().string().starts_with(".out.h.") && e.file_size() > 0;
            if (writing) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(run->pid, signal);
        RunResult r = wait_tool(std::move(run));
        EXPECT_EQ(r.status, -1) << "the signal ends the run as it would have";
        EXPECT_EQ(dir.read_text("out.h"), "previous");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.bin", "out.h"}));
    }
}

TEST(SweepWholeOutputs, TwoRunsIntoOneNameLeaveOneWholeFile)
{
    TempDir dir;
    dir.write("big.bin", random_bytes(60000, 5));
    dir.write("small.bin", random_bytes(100, 6));
    const std::vector<std::string> big_run{"-s89", "big.bin", "same", "dat"};
    const std::vector<std::string> small_run{"-s89", "small.bin", "same", "dat"};
    ASSERT_EQ(run_tool("zkbin2oth", big_run, dir).status, 0);
    const Bytes big = dir.read("same.89y");
    ASSERT_EQ(run_tool("zkbin2oth", small_run, dir).status, 0);
    const Bytes small = dir.read("same.89y");
    for (int pair = 0; pair < 20; ++pair) {
        auto first = start_tool("zkbin2oth", big_run, dir);
        auto second = start_tool("zkbin2oth", small_run, dir);
        EXPECT_EQ(wait_tool(std::move(first)).status, 0);
        EXPECT_EQ(wait_tool(std::move(second)).status, 0);
        const Bytes same = dir.read("same.89y");
        EXPECT_TRUE(same == big || same == small) << "pair " << pair;
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"big.bin", "same.89y", "small.bin"}));
}

// The packers' working memory is checked: out of address space they say
// so and leave no output. A sanitized tool cannot even start under such a
// limit (its shadow memory alone is larger), so this runs against the
// release tools (ctest --preset release-tools, after the package workflow).
TEST(SweepMemory, PackersSayWhatTheyCannotHave)
{
    ZK_SKIP_ON_WINDOWS("address space limits");
    constexpr long long kLimit = 20000 * 1024;  // ulimit -v 20000
    TempDir dir;
    if (run_tool("zkpack", {"--version"}, dir, {.address_space_limit = kLimit}).status != 0)
        GTEST_SKIP() << "these tools cannot start in " << kLimit << " bytes of address space (sanitized)";
    dir.write("in.bin", random_bytes(60000, 9));
    const std::string message =
        "ERROR: cannot allocate memory (" + std::to_string((256 + 40) * 60000) + " bytes)\n";
    for (const auto& args : std::vector<std::vector<std::string>>{{"zkpack", "-quiet", "in.bin", "out"},
                                                                   {"zkarchive", "-s89", "out", "in.bin"}}) {
        SCOPED_TRACE(args[0]);
        RunResult r = run_tool(args[0], {args.begin() + 1, args.end()}, dir, {.address_space_limit = kLimit});
        expect_clean(r);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"in.bin"});
    }
}
