// zkextract's tokens in process: hex token conversion, and the first
// occurrence of a token in an input fed in blocks.
#include "cli.h"
#include "extract_token.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace zktest;

namespace {

// The offset after the token's first occurrence in input fed in blocks
// of block bytes, or -1.
std::int64_t found_at(const std::string& input, const std::string& token, std::size_t block = 3)
{
    zk::TokenFinder finder(token);
    for (std::size_t at = 0; at < input.size(); at += block) {
        const std::string_view piece = std::string_view(input).substr(at, block);
        if (auto end = finder.feed(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size())) return *end;
    }
    return -1;
}

}  // namespace

TEST(ExtractToken, HexTokens)
{
    std::string bytes;
    EXPECT_EQ(zk::parse_hex_token("424547494e", bytes), zk::HexToken::Ok);
    EXPECT_EQ(bytes, "BEGIN");
    EXPECT_EQ(zk::parse_hex_token("4E75fF00", bytes), zk::HexToken::Ok);
    EXPECT_EQ(bytes, std::string("\x4e\x75\xff\x00", 4));
    EXPECT_EQ(zk::parse_hex_token("", bytes), zk::HexToken::Ok);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(zk::parse_hex_token("4e7", bytes), zk::HexToken::OddLength);
    EXPECT_EQ(zk::parse_hex_token("0x4e", bytes), zk::HexToken::BadCharacter);
    EXPECT_EQ(zk::parse_hex_token("4g", bytes), zk::HexToken::BadCharacter);
    EXPECT_EQ(zk::parse_hex_token(std::string(100001, 'a'), bytes), zk::HexToken::OddLength);
}

TEST(ExtractToken, FirstOccurrenceAlsoInsideABrokenPartialMatch)
{
    EXPECT_EQ(found_at("xxBEGINdataEND", "BEGIN"), 7);
    EXPECT_EQ(found_at("xxBEGINdataEND", "END"), 14);
    EXPECT_EQ(found_at("aaab", "aab"), 4);
    EXPECT_EQ(found_at("aab", "ab"), 3);
    EXPECT_EQ(found_at("\xff\xff\x01", "\xff\x01"), 3);
    EXPECT_EQ(found_at("abcabcabdX", "abcabd"), 9);
    EXPECT_EQ(found_at("aabaabaaab!", "aabaaab"), 10);
    EXPECT_EQ(found_at("a MARK b MARK c", "MARK"), 6);
}

TEST(ExtractToken, EmptyAndMissingTokensAreNeverFound)
{
    EXPECT_EQ(found_at("abc", ""), -1);
    EXPECT_EQ(found_at("abc", "x"), -1);
    EXPECT_EQ(found_at("abc", "abcd"), -1);
    EXPECT_EQ(found_at("xxBEGINdataEND", std::string(100000, 'a')), -1);
}

TEST(ExtractToken, EveryTruncationOfTheInput)
{
    const std::string in = "xxBEGINdataEND";
    for (std::size_t n = 0; n <= in.size(); ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        EXPECT_EQ(found_at(in.substr(0, n), "BEGIN"), n < 7 ? -1 : 7);
        EXPECT_EQ(found_at(in.substr(0, n), "END"), n < 14 ? -1 : 14);
    }
}

TEST(ExtractToken, AgreesWithAPlainSearchOnRandomInputs)
{
    // Small alphabets make many overlapping partial matches; the blocks
    // cut them anywhere.
    std::mt19937 rng(21);
    for (int round = 0; round < 60; ++round) {
        const int alphabet = 2 + round % 3;
        std::string input(round < 30 ? 300 : 20000, ' ');
        for (char& c : input) c = static_cast<char>('a' + rng() % alphabet);
        std::string token;
        for (std::size_t n = 1 + rng() % 12; n > 0; --n) token += static_cast<char>('a' + rng() % alphabet);
        const std::size_t hit = input.find(token);
        const std::int64_t expected = hit == std::string::npos ? -1 : static_cast<std::int64_t>(hit + token.size());
        for (std::size_t block : {1, 7, 64, 100000}) EXPECT_EQ(found_at(input, token, block), expected) << token;
    }
}
