#include "cli.h"
#include "pack_encoder.h"
#include "unpack.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace zktest;

namespace {

struct Decoded {
    int code;
    Bytes out;
};

Decoded decode(const Bytes& stream, std::size_t cap)
{
    Decoded d{0, Bytes(cap, 0xEE)};
    d.code = zk::unpack_stream(stream.data(), stream.size(), d.out.data(), cap);
    return d;
}

Decoded decode(const Bytes& stream) { return decode(stream, zk::pack_orig_size(stream.data())); }

}  // namespace

TEST(Unpack, WorkedExampleTwoLiterals)
{
    Bytes s{0x02, 0x00, 0x5A, 0x50, 0x14, 0x00, 0x03, 0x00, 0x00, 0x02,
            0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0x41, 0x42, 0xE7, 0xFE};
    Decoded d = decode(s);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, bytes_of("AB"));
}

TEST(Unpack, WorkedExampleEmptyWithoutEscape)
{
    Bytes s{0x00, 0x00, 0x5A, 0x50, 0x12, 0x00, 0x00, 0x00, 0x00,
            0x00, 0x06, 0x20, 0x00, 0x00, 0x00, 0x00, 0x9F, 0xF8};
    EXPECT_EQ(decode(s).code, 0);
}

TEST(Unpack, HeaderChecksInOrder)
{
    PackWriter w({});
    w.end_marker();
    const Bytes good = w.finish(0);
    auto with = [&](std::initializer_list<std::pair<int, int>> edits) {
        Bytes s = good;
        for (auto [at, v] : edits) s[at] = static_cast<std::uint8_t>(v);
        return decode(s, 0).code;
    };
    EXPECT_EQ(with({}), 0);
    EXPECT_EQ(with({{3, 'Q'}, {9, 9}}), 252);
    EXPECT_EQ(with({{9, 9}, {12, 5}}), 249);
    EXPECT_EQ(with({{10, 9}, {11, 0}, {12, 5}}), 250);
    EXPECT_EQ(with({{10, 9}, {11, 0}}), 250);
    EXPECT_EQ(with({{10, 0}}), 250);
    EXPECT_EQ(with({{11, 64}}), 250);  // G = 5 needs gamma_top 32
    EXPECT_EQ(with({{12, 5}}), 251);
}

TEST(Unpack, EscapeWidthZeroAndEight)
{
    for (unsigned E : {0u, 8u}) {
        PackParams p{.escape_bits = E, .escape_code = E == 8 ? 0x41u : 0u};
        PackWriter w(p);
        w.literal('A');                    // E = 8: the escape code itself, escaped
        w.escaped_literal('A', 0x42 & ((1u << E) - 1));  // changes esc to 'B' when E = 8
        w.literal('A');                    // now a plain literal when E = 8
        w.literal('z');
        w.end_marker();
        Decoded d = decode(w.finish(4));
        EXPECT_EQ(d.code, 0) << "E=" << E;
        EXPECT_EQ(d.out, bytes_of("AAAz")) << "E=" << E;
    }
}

TEST(Unpack, CopiesOverlapAndDelta)
{
    PackWriter w({});
    w.literal(0x10);
    w.literal(0x20);
    w.long_copy(1, 5);        // 20 20 20 20 20
    w.short_copy(7);          // 10 20
    w.delta_copy(2, 5, 0xFF); // each of the bytes two back, minus one
    w.end_marker(3);
    Decoded d = decode(w.finish(14));
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, (Bytes{0x10, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x10, 0x20,
                            0x0F, 0x1F, 0x0E, 0x1E, 0x0D}));
}

TEST(Unpack, RunsLongAndTableAndDirect)
{
    PackWriter w({.run_table = {0x55, 0x66}});
    w.run(0x99, 300);                  // long form: a = 37, lo = 3, hi = 2
    w.run(0x66, 3, 2);                 // table entry 2
    w.run(0x01, 2, 0, true);           // long form of a short count
    w.end_marker();
    Bytes expect(300, 0x99);
    expect.insert(expect.end(), {0x66, 0x66, 0x66, 0x01, 0x01});
    Decoded d = decode(w.finish(static_cast<unsigned>(expect.size())));
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, expect);
}

TEST(Unpack, RunOf300BytesHasTheDocumentedBits)
{
    PackWriter w({.escape_bits = 0});
    w.run(0x99, 300);
    PackWriter expect({.escape_bits = 0});
    expect.gamma(1);
    expect.bits(0b11, 2);
    expect.gamma(37);
    expect.bits(3, 3);
    expect.gamma(2);
    expect.gamma(51);
    expect.bits(1, 3);
    EXPECT_EQ(w.finish(300), expect.finish(300));
}

TEST(Unpack, RunTableIndexReadsPastTheTableWithinTheStream)
{
    // Index 2 with a one-entry table names the stream byte at offset 17:
    // the first byte of the bit stream itself.
    PackWriter w({.escape_bits = 0, .run_table = {0x55}});
    w.run(0, 2, 2);
    w.end_marker();
    Bytes s = w.finish(2);
    Decoded d = decode(s);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, (Bytes{s[17], s[17]}));
}

TEST(Unpack, EarlyEndMarkerLeavesZeroes)
{
    PackWriter w({});
    w.literal('x');
    w.end_marker();
    Decoded d = decode(w.finish(4));
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.out, (Bytes{'x', 0, 0, 0}));
}

TEST(Unpack, RefusesStreamsThatLeaveTheirBuffers)
{
    {  // a copy from before the start of the output
        PackWriter w({});
        w.literal('a');
        w.short_copy(2);
        w.end_marker();
        EXPECT_EQ(decode(w.finish(3)).code, zk::kUnpackBadDistance);
    }
    {  // more output than orig_size
        PackWriter w({});
        w.run('a', 10);
        w.end_marker();
        EXPECT_EQ(decode(w.finish(9)).code, zk::kUnpackOverflow);
        EXPECT_EQ(decode(w.finish(10)).code, 0);
    }
    {  // literal past the capacity
        PackWriter w({});
        w.literal('a');
        w.end_marker();
        EXPECT_EQ(decode(w.finish(0)).code, zk::kUnpackOverflow);
    }
}

TEST(Unpack, EveryTruncationIsRefused)
{
    std::mt19937 rng(7);
    Bytes data = structured_data(400, rng);
    Bytes s = pack_random(data, {.run_table = {0, 1, 2}}, rng);
    for (std::size_t len = 0; len < s.size(); ++len) {
        Bytes cut(s.begin(), s.begin() + static_cast<long>(len));
        Bytes out(data.size());
        int code = zk::unpack_stream(cut.data(), cut.size(), out.data(), out.size());
        // The last byte may hold only padding after the end marker.
        if (len + 1 == s.size() && code == 0) continue;
        EXPECT_NE(code, 0) << "decoded a stream cut to " << len << " bytes";
    }
}

TEST(Unpack, RandomBytesAfterAValidHeaderStayInBounds)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 3000; ++round) {
        auto pick = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
        PackWriter w({.escape_bits = pick(9), .escape_code = pick(256),
                      .gamma_limit = 5 + pick(3), .extra_bits = pick(5)});
        Bytes s = w.finish(rng() % 300);
        s[15] = static_cast<std::uint8_t>(rng() % 8);
        for (unsigned k = rng() % 64; k-- > 0;) s.push_back(static_cast<std::uint8_t>(rng()));
        // Exact-size buffers so that the sanitizer sees any stray access.
        Bytes exact(s);
        std::vector<std::uint8_t> out(zk::pack_orig_size(s.data()));
        zk::unpack_stream(exact.data(), exact.size(), out.data(), out.size());
    }
}

// Every escape width, gamma limit and extra-bit count, each with many inputs.
TEST(Unpack, RoundTripsEveryParameterCombination)
{
    std::mt19937 rng(2026);
    TokenCounts total;
    for (unsigned E = 0; E <= 8; ++E)
        for (unsigned G = 5; G <= 7; ++G)
            for (unsigned X = 0; X <= 4; ++X)
                for (int round = 0; round < 4; ++round) {
                    PackParams p{.escape_bits = E,
                                 .escape_code = E ? static_cast<unsigned>(rng() % (1u << E)) : 0,
                                 .gamma_limit = G,
                                 .extra_bits = X,
                                 .run_table = {0, 1, 2, 0xFF}};
                    Bytes data = structured_data(rng() % 3000, rng);
                    Bytes s = pack_random(data, p, rng, &total);
                    Decoded d = decode(s);
                    ASSERT_EQ(d.code, 0) << "E=" << E << " G=" << G << " X=" << X;
                    ASSERT_EQ(d.out, data) << "E=" << E << " G=" << G << " X=" << X;
                }
    EXPECT_GT(total.plain, 0u);
    EXPECT_GT(total.escaped, 0u);
    EXPECT_GT(total.esc_change, 0u);
    EXPECT_GT(total.short_copy, 0u);
    EXPECT_GT(total.long_copy, 0u);
    EXPECT_GT(total.delta, 0u);
    EXPECT_GT(total.run_table, 0u);
    EXPECT_GT(total.run_direct, 0u);
    EXPECT_GT(total.run_long, 0u);
}

TEST(Unpack, LongestDistancesOfEveryExtraBitCount)
{
    for (unsigned G = 5; G <= 7; ++G)
        for (unsigned X = 0; X <= 4; ++X) {
            PackWriter w({.gamma_limit = G, .extra_bits = X});
            const unsigned dist = static_cast<unsigned>(std::min<unsigned long>(w.max_long_distance(), 65000));
            Bytes expect{0xAB, 0xCD, 0xEF};
            for (std::uint8_t b : expect) w.literal(b);
            for (unsigned left = dist - 3; left > 0;) {  // zero filler up to the distance
                unsigned count = left <= 8000 ? left : 4000;  // never leaves a single byte
                w.run(0, count);
                left -= count;
            }
            expect.resize(dist, 0);
            w.long_copy(dist, 3);
            expect.insert(expect.end(), {0xAB, 0xCD, 0xEF});
            w.end_marker();
            Decoded d = decode(w.finish(static_cast<unsigned>(expect.size())));
            ASSERT_EQ(d.code, 0) << "G=" << G << " X=" << X;
            EXPECT_EQ(d.out, expect) << "G=" << G << " X=" << X;
        }
}

// Copies from every short distance and across the word size, with and
// without a delta, far from the end of the output and ending exactly at it.
TEST(Unpack, CopiesOfEveryLengthNearAndFarFromTheEnd)
{
    for (unsigned dist = 1; dist <= 17; ++dist)
        for (unsigned len : {3u, 7u, 8u, 9u, 16u, 17u, 40u})
            for (unsigned delta : {0u, 0x81u})
                for (unsigned tail : {0u, 20u}) {
                    if (delta && len < 5) continue;
                    PackWriter w({});
                    Bytes expect;
                    for (unsigned k = 0; k < 20; ++k) expect.push_back(static_cast<std::uint8_t>(k * 37 + 0x80));
                    for (std::uint8_t b : expect) w.literal(b);
                    delta ? w.delta_copy(dist, len, static_cast<std::uint8_t>(delta)) : w.long_copy(dist, len);
                    for (unsigned k = 0; k < len; ++k)
                        expect.push_back(static_cast<std::uint8_t>(expect[expect.size() - dist] + delta));
                    for (unsigned k = 0; k < tail; ++k) w.literal(static_cast<std::uint8_t>(k));
                    expect.resize(expect.size() + tail);
                    std::iota(expect.end() - tail, expect.end(), 0);
                    w.end_marker();
                    Decoded d = decode(w.finish(static_cast<unsigned>(expect.size())));
                    ASSERT_EQ(d.code, 0) << dist << " " << len << " " << delta << " " << tail;
                    ASSERT_EQ(d.out, expect) << dist << " " << len << " " << delta << " " << tail;
                }
}

TEST(Unpack, PlainLiteralsUpToTheEndOfTheOutput)
{
    PackWriter w({});
    Bytes text = bytes_of("plain literals, ");
    text.insert(text.end(), {0xC0, 'x', 0xFF});  // escaped: they start with the escape code 11
    for (char c : std::string(" and more plain ones")) text.push_back(static_cast<std::uint8_t>(c));
    for (std::uint8_t b : text) w.literal(b);
    w.end_marker();
    const Bytes s = w.finish(0);
    Decoded exact = decode(s, text.size());
    EXPECT_EQ(exact.code, 0);
    EXPECT_EQ(exact.out, text);
    EXPECT_EQ(decode(s, text.size() - 1).code, zk::kUnpackOverflow);
    Bytes padded = text;
    padded.resize(text.size() + 9, 0);
    EXPECT_EQ(decode(s, padded.size()).out, padded);
}

// An escape code wider than its bits matches no token: every token is a
// plain literal, up to the output's end or past the stream's.
TEST(Unpack, EscapeCodeWiderThanItsBits)
{
    Bytes s = PackWriter({.escape_bits = 2, .escape_code = 7}).finish(0);
    s.insert(s.end(), {'A', 0xC1, 0x00});
    EXPECT_EQ(decode(s, 3).code, zk::kUnpackOverflow);    // a fourth literal, from past the stream
    EXPECT_EQ(decode(s, 20).code, zk::kUnpackTruncated);
}
