// The calculator decoder (runtime/zkdecode.c) built natively: its results
// and bytes are those of the desktop decoder and zkunarchive on every case,
// from buffers of exactly the sizes it is given, the bytes of a stream
// past its csize made unreadable, so that the sanitizer sees any access
// outside them.
#include "runtime_cases.h"

extern "C" {
#include "zkdecode.h"
}

#include <gtest/gtest.h>

#include <sanitizer/asan_interface.h>

#include <algorithm>

using namespace zkrt;

namespace {

long run_native(const Job& job, Bytes& out, std::uint8_t fill)
{
    Bytes in = job.input;
    ASAN_POISON_MEMORY_REGION(in.data() + job.readable, in.size() - job.readable);
    out.assign(job.room, fill);
    const std::uint8_t* src = in.data();
    const std::uint8_t* end = src + in.size();
    std::uint8_t* dst = out.data();
    long r = 0;
    switch (job.op) {
    case Op::Unpack: r = zk_unpack(src, end, dst, dst + job.room); break;
    case Op::Count: r = zka_count(src, end); break;
    case Op::Size: r = zka_size(src, end, job.index); break;
    case Op::Extract: r = zka_extract(src, end, job.index, dst, dst + job.room); break;
    }
    ASAN_UNPOISON_MEMORY_REGION(in.data(), in.size());
    return r;
}

void expect_all_agree(const std::vector<Job>& jobs)
{
    Bytes out;
    for (const Job& job : jobs)
        for (std::uint8_t fill : {0xE5, 0x1A}) {
            const long result = run_native(job, out, fill);
            ASSERT_TRUE(agrees(job, result, out.data(), fill));
        }
}

}  // namespace

TEST(ZkDecodeNative, CorpusStreamsAsZkpackPackedThem)
{
    const std::vector<Job> jobs = corpus_jobs();
    if (jobs.empty()) GTEST_SKIP() << "no corpus streams in " << ZK_RUNTIME_STREAMS;
    expect_all_agree(jobs);
}

TEST(ZkDecodeNative, MadeAndDamagedStreams) { expect_all_agree(stream_jobs()); }

TEST(ZkDecodeNative, ArchivesAsZkunarchiveReadsThem)
{
    zktest::TempDir dir;
    expect_all_agree(archive_jobs(dir));
}

// The answers of archive cases are taken from the library zkunarchive is
// built on; the tool itself writes each entry of zkarchive's archives as
// the calculator decoder does.
TEST(ZkDecodeNative, ZkunarchiveExtractsWhatTheDecoderDoes)
{
    zktest::TempDir dir;
    archive_jobs(dir);
    for (const std::string name : {"packed.89y", "packed92.9xy", "stored.89y"}) {
        const Bytes arc = variable_content(dir.read(name));
        const std::uint8_t* end = arc.data() + arc.size();
        const long count = zka_count(arc.data(), end);
        ASSERT_EQ(count, 7) << name;
        for (long i = 0; i < count; ++i) {
            Bytes out(static_cast<std::size_t>(std::max(zka_size(arc.data(), end, i), 0L)) + 1);
            const long n = zka_extract(arc.data(), end, i, out.data(), out.data() + out.size() - 1);
            const zktest::RunResult r = zktest::run_tool("zkunarchive", {name, std::to_string(i), "entry"}, dir);
            ASSERT_EQ(r.status, 0) << name << " entry " << i << ": " << r.err;
            EXPECT_EQ(dir.read("entry"), Bytes(out.begin(), out.begin() + std::max(n, 0L))) << name << " entry " << i;
        }
    }
}
