// The bytes and text layer, in process.
#include "bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

TEST(BytesNumbers, ReadLikeAPercentDScan)
{
    auto read32 = [](const char* text) { return zk::parse_integer(text, INT32_MIN, INT32_MAX, zk::Overflow::Refuse); };
    EXPECT_EQ(read32(" \t-12abc"), -12);
    EXPECT_EQ(read32("+7"), 7);
    EXPECT_EQ(read32("abc"), std::nullopt);
    EXPECT_EQ(read32("-"), std::nullopt);
    EXPECT_EQ(read32("- 1"), std::nullopt);
    EXPECT_EQ(read32("2147483647"), INT32_MAX);
    EXPECT_EQ(read32("-2147483648"), INT32_MIN);
    EXPECT_EQ(read32("2147483648"), std::nullopt);
    EXPECT_EQ(read32("99999999999999999999999999"), std::nullopt);
}

TEST(BytesNumbers, SaturateAtTheNearestBound)
{
    auto read64 = [](const char* text) { return zk::parse_integer(text, INT64_MIN, INT64_MAX, zk::Overflow::Saturate); };
    EXPECT_EQ(read64("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(read64("9223372036854775808"), INT64_MAX);
    EXPECT_EQ(read64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(read64("-99999999999999999999999999"), INT64_MIN);
    EXPECT_EQ(zk::parse_integer("0", 1, 200, zk::Overflow::Saturate), 1);
    EXPECT_EQ(zk::parse_integer("-5", 1, 200, zk::Overflow::Saturate), 1);
    EXPECT_EQ(zk::parse_integer("201", 1, 200, zk::Overflow::Saturate), 200);
}

// ---------------------------------------------------------------------------
// Searching a stream

// Where the first occurrence of token in input ends, the input fed in
// blocks of the given sizes in turn; -1 when it is not found.
static std::int64_t search_end(const std::string& input, const std::string& token, std::vector<std::size_t> blocks)
{
    zk::StreamSearch search(token);
    std::size_t at = 0;
    for (std::size_t turn = 0; at < input.size(); ++turn) {
        const std::size_t n = blocks[turn % blocks.size()] < input.size() - at ? blocks[turn % blocks.size()]
                                                                                : input.size() - at;
        if (auto end = search.feed(input.data() + at, n)) return static_cast<std::int64_t>(at + *end);
        at += n;
    }
    return -1;
}

TEST(BytesSearch, FirstOccurrenceAcrossBlocks)
{
    EXPECT_EQ(search_end("xxBEGINdata", "BEGIN", {4}), 7);
    EXPECT_EQ(search_end("xxBEGINdata", "BEGIN", {1}), 7);
    EXPECT_EQ(search_end("aaab", "aab", {2}), 4);
    EXPECT_EQ(search_end("abcabcabdX", "abcabd", {5, 1}), 9);
    EXPECT_EQ(search_end("abcabcabdX", "abcabx", {100}), -1);
    // An empty string occurs before the first byte.
    EXPECT_EQ(search_end("abc", "", {2}), 0);

    zk::StreamSearch search("ab");
    EXPECT_EQ(search.feed("xa", 2), std::nullopt);
    EXPECT_EQ(search.feed("bab", 3), 1u);
    EXPECT_EQ(search.feed("ab", 2), std::nullopt);  // reported once
    search.reset();
    EXPECT_EQ(search.feed("b", 1), std::nullopt);  // the "a" before the reset is forgotten
    EXPECT_EQ(search.feed("zab", 3), 3u);
}

TEST(BytesSearch, InputsThatKeepAlmostMatching)
{
    // The rare byte is everywhere and every try fails only at the token's
    // last byte: the skip gives way to the linear search, which must still
    // find the occurrence far behind.
    const std::string token = std::string(16, '\x01') + '\x02';
    const std::string input = std::string(100000, '\x01') + '\x02' + "tail";
    EXPECT_EQ(search_end(input, token, {65536}), 100001);
    EXPECT_EQ(search_end(input, token, {17, 1000}), 100001);
}

TEST(BytesSearch, AgreesWithAPlainSearch)
{
    std::uint32_t seed = 5;
    auto rng = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int round = 0; round < 300; ++round) {
        // Two-letter alphabets of common and of rare bytes, to exercise the
        // skip and the partial matches it must hand over between blocks.
        const char first = round % 2 ? 'a' : '\x01';
        std::string input(rng() % 3000, ' ');
        for (char& c : input) c = static_cast<char>(first + rng() % 2);
        std::string token(1 + rng() % 20, ' ');
        for (char& c : token) c = static_cast<char>(first + rng() % 2);
        const std::size_t hit = input.find(token);
        const std::int64_t expected = hit == std::string::npos ? -1 : static_cast<std::int64_t>(hit + token.size());
        EXPECT_EQ(search_end(input, token, {1 + rng() % 40, 1 + rng() % 400}), expected) << round;
    }
}
