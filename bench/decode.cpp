// Output throughput of unpack_stream beside zlib's inflate, in one process,
// on the files of a corpus directory.
//
// Each file is packed once by every encoder of kEncoders and once by zlib at
// level 9, in zlib's own format as compress2 writes it (inflate then checks
// its Adler-32) or, with -raw, as raw deflate without a checksum. Then the
// two decoders run in turn, batch after batch, each batch long enough to
// time, and the median batch of each side counts. Every decoder must give
// the file back before its time counts.
//
// usage: decode [-raw] CORPUS_DIR [ROUNDS]   (built and run by bench/decode.sh)
#include "pack.h"
#include "pack_encoder.h"
#include "unpack.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using zktest::Bytes;

namespace {

// A stream and what its parse was made of, for the reader of the table.
struct Packed {
    Bytes stream;
    std::size_t literal_bytes = kUnknown;  // output bytes written by literal tokens
    static constexpr std::size_t kUnknown = SIZE_MAX;
};

// The greedy parse: at each position the longest earlier match (the nearest
// of equal length), found through a chain of the positions of every 2-byte
// prefix, or a run of one byte when that is at least as long and longer
// than 2; 2-byte matches become short copies when they are near enough,
// longer ones long copies, anything else a literal. E=2, G=7, X=2, no run
// table, and the rarest 2-bit prefix as the escape code, which never changes.
static Packed pack_greedy(const Bytes& data)
{
    constexpr std::size_t kMaxLen = 256;     // 2^(G+1) with G = 7
    constexpr std::size_t kMaxRun = 65280;   // (2^(G+1) - 1) * 256
    constexpr std::size_t kShortReach = 256;
    constexpr std::size_t kNone = SIZE_MAX;

    std::size_t prefix_count[4] = {};
    for (std::uint8_t b : data) ++prefix_count[b >> 6];
    const unsigned esc = static_cast<unsigned>(std::min_element(prefix_count, prefix_count + 4) - prefix_count);
    zktest::PackWriter w({.escape_bits = 2, .escape_code = esc, .gamma_limit = 7, .extra_bits = 2, .run_table = {}});

    std::vector<std::size_t> head(1u << 16, kNone), prev(data.size(), kNone);
    auto key = [&](std::size_t i) { return data[i] << 8 | data[i + 1]; };
    Packed p{.literal_bytes = 0};
    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t reach = std::min(kMaxLen, data.size() - i);
        std::size_t len = 0, dist = 0;
        if (reach >= 2) {
            for (std::size_t at = head[key(i)]; at != kNone && len < reach; at = prev[at]) {
                std::size_t n = 2;
                while (n < reach && data[at + n] == data[i + n]) ++n;
                if (n > len) len = n, dist = i - at;
            }
        }
        std::size_t run = 1;
        while (run < kMaxRun && i + run < data.size() && data[i + run] == data[i]) ++run;

        if (run >= 3 && run >= len) {
            w.run(data[i], static_cast<unsigned>(run));
            len = run;
        } else if (len >= 3) {
            w.long_copy(static_cast<unsigned>(dist), static_cast<unsigned>(len));
        } else if (len == 2 && dist <= kShortReach) {
            w.short_copy(static_cast<unsigned>(dist));
        } else {
            w.literal(data[i]);
            len = 1;
            ++p.literal_bytes;
        }
        for (std::size_t end = i + len; i < end; ++i) {
            if (i + 1 >= data.size()) continue;
            prev[i] = head[key(i)];
            head[key(i)] = i;
        }
    }
    w.end_marker();
    p.stream = w.finish(static_cast<unsigned>(data.size()));
    return p;
}

// The suite's own packer, with its default effort; its parse is not shown.
static Packed pack_optimal(const Bytes& data)
{
    Packed p;
    if (zk::pack_stream(data.data(), data.size(), {}, p.stream) != zk::PackResult::Ok) p.stream.clear();
    return p;
}

// The encoders whose streams are timed, one line each. The team's packer
// joins here with a function that returns its stream for the file, its
// library being added to the compile line of bench/decode.sh.
struct Encoder {
    const char* name;
    Packed (*pack)(const Bytes&);
};
static const Encoder kEncoders[] = {
    {"greedy", pack_greedy},
    {"packer", pack_optimal},
};

[[noreturn]] static void fail(const std::string& file, const char* what)
{
    std::fprintf(stderr, "%s: %s\n", file.c_str(), what);
    std::exit(1);
}

// zlib's window size; negative for raw deflate.
static int window_bits = 15;

static Bytes deflate9(const Bytes& data)
{
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytes::value_type*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// The most memory inflate has held at once, through its allocation hooks.
static std::size_t inflate_bytes, inflate_peak;

static voidpf count_alloc(voidpf, uInt items, uInt size)
{
    auto* block = static_cast<std::size_t*>(std::malloc(sizeof(std::size_t) + std::size_t{items} * size));
    if (!block) return Z_NULL;
    *block = std::size_t{items} * size;
    inflate_peak = std::max(inflate_peak, inflate_bytes += *block);
    return block + 1;
}

static void count_free(voidpf, voidpf address)
{
    auto* block = static_cast<std::size_t*>(address) - 1;
    inflate_bytes -= *block;
    std::free(block);
}

// inflate the way a program that decodes many blocks would: one state,
// reset before each block, the whole output in one call.
struct Inflater {
    z_stream z{};
    Inflater()
    {
        z.zalloc = count_alloc;
        z.zfree = count_free;
        if (inflateInit2(&z, window_bits) != Z_OK) std::abort();
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool run(const Bytes& in, Bytes& out)
    {
        inflateReset(&z);
        z.next_in = const_cast<Bytes::value_type*>(in.data());
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        return inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_out == 0;
    }
};

// The processor time of this thread: what other programs on a busy machine
// take from it does not count.
static double now()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds per decode of each side: the median over the rounds of a batch
// of decodes, the two sides alternating.
struct Timing {
    double ours, inflate;
};

static Timing time_both(const Bytes& data, const Bytes& stream, const Bytes& zdata, int rounds)
{
    Bytes out(data.size());
    Inflater inf;
    auto ours = [&] {
        if (zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size()) != zk::kUnpackOk) std::abort();
    };
    auto theirs = [&] {
        if (!inf.run(zdata, out)) std::abort();
    };
    auto batch = [&](auto decode, int reps) {
        const double start = now();
        for (int r = 0; r < reps; ++r) decode();
        return (now() - start) / reps;
    };
    // Batches of about 5 ms for the faster side, so that the clock's
    // granularity and a single interruption weigh little.
    const double once = std::min(batch(ours, 3), batch(theirs, 3));
    const int reps = std::max(1, static_cast<int>(0.005 / std::max(once, 1e-9)));
    std::vector<double> a, b;
    for (int r = 0; r < rounds; ++r) {
        a.push_back(batch(ours, reps));
        b.push_back(batch(theirs, reps));
    }
    auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {median(a), median(b)};
}

// Files by name prefix, and the goals: the ratio of throughputs each kind
// is to reach. Streams whose output comes for the most part from literals
// (random data aside) are also summed as a kind of their own.
struct Kind {
    const char* prefix;
    const char* name;
};
static const Kind kKinds[] = {
    {"text_", "text"},    {"code_", "68000 code"}, {"hard_libc", "68000 code"}, {"bmp_", "bitmaps"},
    {"gray4_", "bitmaps"}, {"table_", "tables"},    {"level_", "tile maps"},     {"hard_zeros", "zeros"},
    {"hard_random", "random"},
};
constexpr const char* kLiteralHeavy = "literal-heavy";
constexpr double kLiteralHeavyShare = 0.4;

struct Goal {
    const char* kind;
    double ratio;
};
static const Goal kGoals[] = {
    {"text", 1.0}, {"68000 code", 1.0}, {"bitmaps", 1.0}, {kLiteralHeavy, 1.0}, {"random", 0.15},
};

static std::string kind_of(const std::string& file)
{
    for (const Kind& k : kKinds)
        if (file.rfind(k.prefix, 0) == 0) return k.name;
    return "other";
}

// Bytes and seconds per decode of each side, summed over the files of a kind.
struct Total {
    std::string kind;
    double bytes = 0, ours = 0, inflate = 0;
};

static void add(std::vector<Total>& totals, const std::string& kind, std::size_t size, const Timing& t)
{
    auto it = std::find_if(totals.begin(), totals.end(), [&](const Total& x) { return x.kind == kind; });
    if (it == totals.end()) it = totals.insert(totals.end(), Total{kind});
    it->bytes += static_cast<double>(size);
    it->ours += t.ours;
    it->inflate += t.inflate;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "-raw") {
        window_bits = -15;
        --argc, ++argv;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: decode [-raw] CORPUS_DIR [ROUNDS]\n");
        return 1;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;

    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(argv[1]))
        if (e.is_regular_file() && e.path().extension() != ".tsv") files.push_back(e.path());
    std::sort(files.begin(), files.end());

    std::printf("MB/s of output (processor time), median of %d alternating batches; zlib %s level 9, %s\n",
                rounds, zlibVersion(), window_bits < 0 ? "raw deflate" : "zlib format with Adler-32");
    for (const Encoder& enc : kEncoders) {
        std::printf("\n%-7s %-31s %6s %6s %6s %5s %9s %9s %6s\n", enc.name, "file", "size", "stream", "zlib", "lit%",
                    "ours", "inflate", "ratio");
        std::vector<Total> totals;
        for (const auto& path : files) {
            std::ifstream f(path, std::ios::binary);
            const Bytes data{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
            if (data.empty() || data.size() > 65535) continue;
            const std::string name = path.filename().string();
            const Packed p = enc.pack(data);
            const Bytes zdata = deflate9(data);

            Bytes check(data.size());
            if (zk::unpack_stream(p.stream.data(), p.stream.size(), check.data(), check.size()) != 0 || check != data)
                fail(name, "the stream does not decode to the file");
            if (!Inflater().run(zdata, check) || check != data) fail(name, "inflate does not give the file back");

            const Timing t = time_both(data, p.stream, zdata, rounds);
            const double mb = static_cast<double>(data.size()) / 1e6;
            // A file is literal-heavy by its greedy parse, whichever encoder wrote the stream.
            const double size = static_cast<double>(data.size());
            const double literal_share = static_cast<double>(pack_greedy(data).literal_bytes) / size;
            char shown[16] = "-";
            if (p.literal_bytes != Packed::kUnknown)
                std::snprintf(shown, sizeof shown, "%.1f", 100 * static_cast<double>(p.literal_bytes) / size);
            std::printf("%-7s %-31s %6zu %6zu %6zu %5s %9.1f %9.1f %6.2f\n", "", name.c_str(), data.size(),
                        p.stream.size(), zdata.size(), shown, mb / t.ours, mb / t.inflate, t.inflate / t.ours);
            const std::string kind = kind_of(name);
            add(totals, kind, data.size(), t);
            if (kind != "random" && literal_share >= kLiteralHeavyShare) add(totals, kLiteralHeavy, data.size(), t);
        }
        std::printf("%-7s %-31s %6s %6s %6s %5s %9s %9s %6s  %s\n", enc.name, "kind (all bytes, all time)", "", "", "",
                    "", "ours", "inflate", "ratio", "goal");
        for (const Total& x : totals) {
            const double ratio = x.inflate / x.ours;
            char goal[32] = "";
            for (const Goal& g : kGoals)
                if (x.kind == g.kind)
                    std::snprintf(goal, sizeof goal, ">= %.2f %s", g.ratio, ratio >= g.ratio ? "met" : "NOT MET");
            std::printf("%-7s %-31s %6s %6s %6s %5s %9.1f %9.1f %6.2f  %s\n", "", x.kind.c_str(), "", "", "", "",
                        x.bytes / 1e6 / x.ours, x.bytes / 1e6 / x.inflate, ratio, goal);
        }
    }
    std::printf("\nmemory: unpack_stream allocates nothing (it writes into the caller's buffer); "
                "inflate held at most %zu bytes\n", inflate_peak);
    return 0;
}
