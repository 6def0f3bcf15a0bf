// The calculator decoder on an emulated 68000 (qemu-m68k -cpu m68000):
// the test program (m68k/harness.c) built -m68000 -Os once with the C
// decoder and once with the assembly one, fed every case. Its results and
// bytes must be the desktop's; it must read no byte past what a case lets
// it read (the page after the input cannot be read), write nothing outside
// what it may, and make no word or long access at an odd address (counted
// by a qemu plugin, m68k/odd_access.cpp), with inputs and outputs at odd
// and even addresses.
#include "runtime_cases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace zkrt;
using zktest::TempDir;

namespace {

constexpr std::size_t kGuard = 16;  // the guard band on each side of the output, as in harness.c

void put32(std::string& s, std::size_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>(v >> shift & 0xFF);
}

long get32(const std::string& s, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<std::uint8_t>(s.at(at + i));
    return static_cast<std::int32_t>(v);
}

// Where a job runs: its input ends just before the page that cannot be
// read, or a byte (a slack byte) before it; its output lies at an odd
// address or an even one, its room and guard bands filled with fill.
struct Placement {
    const Job* job;
    bool slack;
    bool odd;
    std::uint8_t fill;
};

// Every job with its input against the unreadable page; the small ones
// once more a byte off it and with their output at the other parity, so
// that each lies at odd and even addresses.
std::vector<Placement> placements(const std::vector<Job>& jobs)
{
    std::vector<Placement> p;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        p.push_back({&jobs[k], false, k % 2 == 1, 0xE5});
        if (jobs[k].input.size() + jobs[k].room <= 4096) p.push_back({&jobs[k], true, k % 2 == 0, 0x1A});
    }
    return p;
}

struct Emulated {
    std::string out;     // what the program wrote
    std::string err;     // and qemu
    std::string report;  // the plugin's
    int status;

    // The word and long accesses at odd addresses that the plugin counted,
    // once it has seen some word or long access at all.
    unsigned long long odd_accesses() const
    {
        unsigned long long accesses = 0, wide = 0, odd = 0;
        EXPECT_EQ(std::sscanf(report.c_str(), "accesses %llu wide %llu odd %llu", &accesses, &wide, &odd), 3) << report;
        EXPECT_GT(wide, 0u);
        return odd;
    }
};

Emulated emulate(const std::string& program, const std::vector<Placement>& runs)
{
    std::string in;
    for (const Placement& p : runs) {
        const Job& j = *p.job;
        for (std::size_t v : {std::size_t(j.op), std::size_t(j.index), j.input.size(), j.readable, std::size_t(p.slack),
                              j.room, std::size_t(p.odd)})
            put32(in, v);
        in.append(j.input.begin(), j.input.begin() + static_cast<long>(j.readable));
        in.append(j.room + 2 * kGuard, static_cast<char>(p.fill));
    }
    TempDir dir;
    const std::string report = dir.file("report");
    const zktest::RunResult r = zktest::run_program(
        {ZK_QEMU_M68K, "-cpu", "m68000", "-plugin", std::string(ZK_ODD_ACCESS) + ",out=" + report, program}, dir,
        {.stdin_data = in});
    std::ifstream f(report);
    std::stringstream text;
    text << f.rdbuf();
    return {r.out, r.err, text.str(), r.status};
}

// Runs the jobs on the 68000 and checks every answer and output, and that
// no word or long access was at an odd address.
void expect_all_agree(const std::string& program, const std::vector<Job>& jobs)
{
    const std::vector<Placement> runs = placements(jobs);
    const Emulated e = emulate(program, runs);
    ASSERT_EQ(e.status, 0) << e.err;
    std::size_t at = 0;
    for (const Placement& p : runs) {
        const Job& j = *p.job;
        const long result = get32(e.out, at);
        at += 4;
        Bytes region;
        if (j.op == Op::Unpack || j.op == Op::Extract) {
            region.assign(e.out.begin() + static_cast<long>(at), e.out.begin() + static_cast<long>(at + j.room + 2 * kGuard));
            at += region.size();
            for (std::size_t i = 0; i < kGuard; ++i)
                ASSERT_TRUE(region[i] == p.fill && region[kGuard + j.room + i] == p.fill) << j.name << ": wrote outside its room";
        } else {
            region.assign(2 * kGuard, 0);
        }
        ASSERT_TRUE(agrees(j, result, region.data() + kGuard, p.fill));
    }
    EXPECT_EQ(at, e.out.size());
    EXPECT_EQ(e.odd_accesses(), 0u) << e.report;
}

std::vector<Job> all_jobs()
{
    std::vector<Job> jobs = corpus_jobs();
    const std::vector<Job> made = stream_jobs();
    jobs.insert(jobs.end(), made.begin(), made.end());
    return jobs;
}

}  // namespace

#define ZK_NEEDS_68000()                                                                      \
    if (std::string(ZK_M68K_DIR).empty())                                                    \
    GTEST_SKIP() << "SKIP: no m68k-linux-gnu-gcc or qemu-m68k (Debian gcc-m68k-linux-gnu, qemu-user)"

// The watcher itself: harness.c's job 9 reads the word at the output.
TEST(ZkDecode68000, WatcherCountsAWordReadAtAnOddAddress)
{
    ZK_NEEDS_68000();
    const Job read_word{"word read", static_cast<Op>(9), {}, 0, 0, 2};
    const Emulated e = emulate(std::string(ZK_M68K_DIR) + "/harness_c",
                               {{&read_word, false, false, 0}, {&read_word, false, true, 0}, {&read_word, true, true, 0}});
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.odd_accesses(), 2u) << e.report;
}

// The decoders call nothing, not even GCC's support library, built as the
// tests build them and as a calculator program might: at -O2, and at 16
// bits.
TEST(ZkDecode68000, ObjectsNeedNoLibrary)
{
    ZK_NEEDS_68000();
    TempDir dir;
    std::vector<std::string> nm{ZK_M68K_NM, "-u"};
    for (const char* object : {"zkdecode.o", "zkdecode_O2.o", "zkdecode_short.o", "zkdecode_s.o"})
        nm.push_back(std::string(ZK_M68K_DIR) + "/" + object);
    const zktest::RunResult r = zktest::run_program(nm, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find(" U "), std::string::npos) << r.out;
}

TEST(ZkDecode68000, CDecoderAgreesWithTheDesktopOnEveryCase)
{
    ZK_NEEDS_68000();
    TempDir dir;
    std::vector<Job> jobs = all_jobs();
    const std::vector<Job> archives = archive_jobs(dir);
    jobs.insert(jobs.end(), archives.begin(), archives.end());
    expect_all_agree(std::string(ZK_M68K_DIR) + "/harness_c", jobs);
}

TEST(ZkDecode68000, AssemblyDecoderAgreesWithTheDesktopOnEveryStream)
{
    ZK_NEEDS_68000();
    expect_all_agree(std::string(ZK_M68K_DIR) + "/harness_s", all_jobs());
}
