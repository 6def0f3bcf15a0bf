// The encoder: every stream decodes to its input through unpack_stream with
// an exact-size buffer, its header says what it was written with, fixed
// parameters are kept, and the parse is the shortest the format allows.
#include "pack.h"
#include "unpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Packed {
    Bytes stream;
    zk::PackChoice choice;
};

Packed pack(const Bytes& data, const zk::PackOptions& options = {})
{
    Packed p;
    EXPECT_EQ(zk::pack_stream(data.data(), data.size(), options, p.stream, &p.choice), zk::PackResult::Ok);
    return p;
}

// Decodes the stream into a buffer of exactly the input's size and checks
// the header against the input and the reported choice.
void expect_round_trip(const Bytes& data, const Packed& p)
{
    const Bytes& s = p.stream;
    ASSERT_GE(s.size(), zk::kPackHeaderSize);
    EXPECT_EQ(zk::pack_orig_size(s.data()), data.size());
    EXPECT_EQ(zk::pack_csize(s.data()), s.size());
    EXPECT_TRUE(zk::pack_has_magic(s.data()));
    EXPECT_EQ(s[6], p.choice.escape_code);
    EXPECT_LT(s[6], 1u << s[9]);
    EXPECT_EQ(s[9], p.choice.escape_bits);
    EXPECT_EQ(s[10], p.choice.gamma_limit + 1);
    EXPECT_EQ(s[11], 1u << p.choice.gamma_limit);
    EXPECT_EQ(s[12], p.choice.extra_offset_bits);
    EXPECT_EQ(s[15], p.choice.run_table_size);
    EXPECT_LE(s[15], 31u);
    EXPECT_EQ(s[7] | s[8] | s[13] | s[14], 0);
    Bytes out(data.size());
    ASSERT_EQ(zk::unpack_stream(s.data(), s.size(), out.data(), out.size()), zk::kUnpackOk);
    EXPECT_EQ(out, data);
}

Bytes random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

// Words from a small vocabulary with runs and shifted repeats between them.
Bytes structured(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    static const char* const kWords[] = {"move.l ", "d0,", "(a7)+", "jsr ", "lea ", "0x4e75", "\n"};
    Bytes b;
    while (b.size() < n) {
        switch (rng() % 4) {
        case 0: b.insert(b.end(), rng() % 40 + 2, static_cast<std::uint8_t>(rng() % 3 * 0x55)); break;
        case 1:
            for (unsigned k = rng() % 30 + 5, step = rng() % 7 + 1; k-- > 0;)
                b.push_back(static_cast<std::uint8_t>(b.empty() ? 0 : b.back() + step));
            break;
        default:
            for (const char* w = kWords[rng() % std::size(kWords)]; *w;) b.push_back(static_cast<std::uint8_t>(*w++));
        }
    }
    b.resize(n);
    return b;
}

}  // namespace

TEST(PackCorpus, EveryFileRoundTrips)
{
    const std::filesystem::path files = std::filesystem::path(ZK_PACK_CORPUS) / "files";
    if (!std::filesystem::is_directory(files)) GTEST_SKIP() << "no corpus at " << files;
    std::vector<std::filesystem::path> names;
    for (const auto& e : std::filesystem::directory_iterator(files))
        if (e.path().filename() != "MANIFEST.tsv") names.push_back(e.path());
    std::sort(names.begin(), names.end());
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        SCOPED_TRACE(name.filename().string());
        std::ifstream f(name, std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(f), {}};
        expect_round_trip(data, pack(data));
    }
}

TEST(PackEdges, SmallAndExtremeInputsRoundTrip)
{
    const Bytes cases[] = {
        {}, {0x41}, {0xFF, 0xFF}, Bytes(65535, 0x99), structured(65535, 1),
        random_bytes(3000, 2),
    };
    for (const Bytes& data : cases) {
        SCOPED_TRACE(data.size());
        expect_round_trip(data, pack(data));
    }
}

// Runs of every length class of each G: short and long forms, the table and
// direct bytes, and runs longer than one token holds.
TEST(PackEdges, RunsOfEveryLengthClass)
{
    Bytes data;
    std::mt19937 rng(3);
    for (unsigned len : {2u, 3u, 31u, 32u, 33u, 64u, 65u, 128u, 129u, 255u, 256u, 257u, 300u, 4000u, 16129u}) {
        data.insert(data.end(), len, static_cast<std::uint8_t>(rng()));
        data.push_back(static_cast<std::uint8_t>(rng()));
    }
    for (int G = 5; G <= 7; ++G) {
        const Packed p = pack(data, {.gamma_limit = G});
        expect_round_trip(data, p);
        EXPECT_LT(p.stream.size(), 250u);
    }
}

// Rising and falling sequences that only a delta copy repeats cheaply.
TEST(PackEdges, DeltaRepeats)
{
    Bytes data = random_bytes(200, 4);
    for (unsigned k = 0; k < 40; ++k)
        for (unsigned i = 0; i < 200; ++i) data.push_back(static_cast<std::uint8_t>(data[data.size() - 200] + 3 * k + 1));
    const Packed p = pack(data);
    expect_round_trip(data, p);
    EXPECT_LT(p.stream.size(), 600u);
}

// A block of random bytes seen again at the longest distance a long copy
// reaches with G and X, and one byte beyond it, where it cannot be copied.
TEST(PackFarCopies, AtTheReachOfEachGammaLimitAndExtraBits)
{
    // A filler that repeats itself every 256 bytes packs to little and
    // holds nothing of the random block, and E = 1 keeps the parse cheap:
    // the block's second copy tells the two streams apart.
    const Bytes block = random_bytes(400, 5);
    for (int G = 5; G <= 7; ++G)
        for (int X = 0; X <= 4; ++X) {
            const std::size_t reach = ((1u << (G + 1)) - 2) * (std::size_t{1} << X) * 256;
            if (reach + block.size() + 1 > zk::kPackMaxOrigSize) continue;
            std::size_t stream_size[2] = {};
            for (std::size_t beyond : {0u, 1u}) {
                const std::size_t dist = reach + beyond;
                SCOPED_TRACE(testing::Message() << "G=" << G << " X=" << X << " distance " << dist);
                Bytes data = block;
                for (std::size_t i = block.size(); i < dist; ++i) data.push_back(static_cast<std::uint8_t>(i));
                data.insert(data.end(), block.begin(), block.end());
                const Packed p = pack(data, {.escape_bits = 1, .gamma_limit = G, .extra_offset_bits = X});
                expect_round_trip(data, p);
                stream_size[beyond] = p.stream.size();
            }
            // Copied at the reach, the block costs a few bytes; one byte
            // beyond it, all 400 as literals.
            EXPECT_GT(stream_size[1], stream_size[0] + 350) << "G=" << G << " X=" << X;
        }
}

TEST(PackOptions, FixedParametersAreKept)
{
    // Every pair of E and G, and every X among them.
    const Bytes data = structured(3000, 7);
    for (int E = 0; E <= 8; ++E)
        for (int G = 5; G <= 7; ++G) {
            const int X = (E + G) % 5;
            SCOPED_TRACE(testing::Message() << "E=" << E << " G=" << G << " X=" << X);
            const Packed p = pack(data, {.escape_bits = E, .gamma_limit = G, .extra_offset_bits = X});
            expect_round_trip(data, p);
            EXPECT_EQ(p.choice.escape_bits, static_cast<unsigned>(E));
            EXPECT_EQ(p.choice.gamma_limit, static_cast<unsigned>(G));
            EXPECT_EQ(p.choice.extra_offset_bits, static_cast<unsigned>(X));
        }
}

TEST(PackOptions, RefusalsLeaveNoStream)
{
    Bytes stream{1, 2, 3};
    const Bytes small(10, 1);
    for (zk::PackOptions bad : {zk::PackOptions{.escape_bits = 9}, zk::PackOptions{.escape_bits = -2},
                                zk::PackOptions{.gamma_limit = 4}, zk::PackOptions{.gamma_limit = 8},
                                zk::PackOptions{.extra_offset_bits = 5}}) {
        EXPECT_EQ(zk::pack_stream(small.data(), small.size(), bad, stream), zk::PackResult::BadOption);
        EXPECT_TRUE(stream.empty());
    }
    const Bytes too_long(65536, 0);
    EXPECT_EQ(zk::pack_stream(too_long.data(), too_long.size(), {}, stream), zk::PackResult::InputTooLong);
    // Random bytes do not pack with any parameters; fixed ones spare the search.
    const Bytes noise = random_bytes(65535, 8);
    EXPECT_EQ(zk::pack_stream(noise.data(), noise.size(), {.escape_bits = 8, .gamma_limit = 7, .extra_offset_bits = 0},
                              stream),
              zk::PackResult::StreamTooLong);
    EXPECT_TRUE(stream.empty());
}

// Random bytes are plain literals of 8 bits, but every one that bears the
// escape code costs 11 bits more; the best parse keeps those rare.
TEST(PackSize, RandomDataGrowsByLittleMoreThanTheHeader)
{
    for (std::size_t n : {1u, 100u, 4096u, 20000u}) {
        const Bytes data = random_bytes(n, static_cast<unsigned>(n));
        const Packed p = pack(data);
        expect_round_trip(data, p);
        EXPECT_LE(p.stream.size(), n + zk::kPackHeaderSize + 8 + n / 1000) << n;
    }
}

TEST(PackSize, SameInputSameBytesAndBestIsNeverLarger)
{
    for (unsigned seed = 10; seed < 13; ++seed) {
        const Bytes data = structured(5000, seed);
        const Packed normal = pack(data);
        EXPECT_EQ(pack(data).stream, normal.stream);
        const Packed best = pack(data, {.effort = zk::PackEffort::Best});
        expect_round_trip(data, best);
        EXPECT_EQ(pack(data, {.effort = zk::PackEffort::Best}).stream, best.stream);
        EXPECT_LE(best.stream.size(), normal.stream.size());
    }
}

namespace {

unsigned gamma_bits(unsigned v, unsigned G)
{
    const unsigned i = static_cast<unsigned>(std::bit_width(v)) - 1;
    return i < G ? 2 * i + 1 : 2 * G;
}

// The least number of bits of any stream for data with these parameters
// and run table: a search over every token at every length and distance,
// with every escape code as state.
unsigned least_bits(const Bytes& d, unsigned E, unsigned G, unsigned X, const Bytes& table)
{
    const unsigned n = static_cast<unsigned>(d.size()), S = 1u << E, gamma_max = (1u << (G + 1)) - 1;
    std::vector<unsigned> cost((n + 1) * S, ~0u / 2);
    std::fill(cost.begin() + n * S, cost.end(), E + 3 + 2 * G);
    auto run_byte = [&](unsigned b) {
        auto t = std::find(table.begin(), table.end(), b);
        unsigned direct = gamma_bits(32 + (b >> 3), G) + 3;
        return t == table.end() ? direct : std::min(direct, gamma_bits(static_cast<unsigned>(t - table.begin()) + 1, G));
    };
    for (unsigned i = n; i-- > 0;) {
        const unsigned any = *std::min_element(cost.begin() + (i + 1) * S, cost.begin() + (i + 2) * S);
        for (unsigned s = 0; s < S; ++s) {
            unsigned& c = cost[i * S + s];
            auto take = [&](unsigned len, unsigned bits) {
                if (i + len <= n) c = std::min(c, bits + cost[(i + len) * S + s]);
            };
            const unsigned prefix = E == 0 ? 0u : unsigned{d[i]} >> (8 - E);
            if (E > 0 && prefix != s) c = 8 + cost[(i + 1) * S + s];
            if (prefix == s) c = E + 11 + any;
            for (unsigned dist = 1; dist <= i; ++dist) {
                unsigned len = 0, dlen = 1;
                while (i + len < n && d[i + len] == d[i + len - dist]) ++len;
                while (i + dlen < n && std::uint8_t(d[i + dlen] - d[i + dlen - dist]) == std::uint8_t(d[i] - d[i - dist]))
                    ++dlen;
                const unsigned h = (((dist - 1) >> 8) >> X) + 1;
                if (len >= 2 && dist <= 256) take(2, E + 10);
                for (unsigned l = 3; h < gamma_max && l <= std::min(len, gamma_max + 1); ++l)
                    take(l, E + gamma_bits(l - 1, G) + gamma_bits(h, G) + X + 8);
                for (unsigned l = 5; dist <= 256 && l <= std::min(dlen, gamma_max + 1); ++l)
                    take(l, E + gamma_bits(l - 1, G) + 2 * G + 16);
            }
            for (unsigned l = 2; i + l <= n && d[i + l - 1] == d[i]; ++l) {
                const unsigned m = l - 1;
                take(l, E + 3 + (m < 1u << G ? gamma_bits(m, G) : G + 8 + gamma_bits((m >> 8) + 1, G)) + run_byte(d[i]));
            }
        }
    }
    return *std::min_element(cost.begin(), cost.begin() + S);
}

}  // namespace

// No stream with the same parameters and run table is shorter.
TEST(PackSize, NoShorterStreamExistsForSmallInputs)
{
    std::mt19937 rng(9);
    for (unsigned trial = 0; trial < 150; ++trial) {
        Bytes data = structured(rng() % 120, trial);
        for (auto& b : data)
            if (rng() % 4 == 0) b = static_cast<std::uint8_t>(rng());
        const zk::PackOptions options{.escape_bits = static_cast<int>(rng() % 9),
                                      .gamma_limit = static_cast<int>(5 + rng() % 3),
                                      .extra_offset_bits = static_cast<int>(rng() % 5)};
        const Packed p = pack(data, options);
        const Bytes table(p.stream.begin() + 16, p.stream.begin() + 16 + p.stream[15]);
        const unsigned bits = least_bits(data, options.escape_bits, options.gamma_limit, options.extra_offset_bits, table);
        EXPECT_EQ(p.stream.size(), zk::kPackHeaderSize + table.size() + (bits + 7) / 8) << "trial " << trial;
    }
}
