// zkextract's hex tokens and its token search. A hex token converts exactly
// when it is pairs of hexadecimal digits, to the bytes they spell; the
// search, fed the input in blocks of changing sizes, finds the first
// occurrence a plain search over the whole input finds, also where the
// token overlaps itself or straddles the blocks.
#include "extract_token.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace {

// A reading of the hex token rules.
zk::HexToken reference_hex(const std::string& t, std::string& bytes)
{
    if (t.size() % 2 != 0) return zk::HexToken::OddLength;
    bytes.clear();
    for (std::size_t i = 0; i < t.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(t[i])) || !std::isxdigit(static_cast<unsigned char>(t[i + 1])))
            return zk::HexToken::BadCharacter;
        bytes.push_back(static_cast<char>(std::stoul(t.substr(i, 2), nullptr, 16)));
    }
    return zk::HexToken::Ok;
}

// The offset after the first occurrence, or -1; an empty token is never found.
std::int64_t reference_search(const std::string& input, const std::string& token)
{
    if (token.empty()) return -1;
    const std::size_t at = input.find(token);
    return at == std::string::npos ? -1 : static_cast<std::int64_t>(at + token.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // data[0]: flags; data[1]: token length; data[2..5]: block sizes, used
    // in turn; then the token and the input.
    if (size < 6) return 0;
    const bool two_letters = data[0] & 1;  // input and plain token over two bytes: many partial matches
    const bool hex = data[0] & 2;
    const char first = data[0] & 4 ? 'a' : '\x01';  // a common or a rare byte for the skip
    const std::size_t token_length = std::min<std::size_t>(data[1] % 32, size - 6);
    const std::size_t blocks[] = {data[2] % 64 + 1u, data[3] % 64 + 1u, data[4] % 64 + 1u, data[5] % 64 + 1u};
    const char* token_text = reinterpret_cast<const char*>(data + 6);
    std::string input(token_text + token_length, reinterpret_cast<const char*>(data + size));
    auto letter = [first](char b) { return static_cast<char>(first + (b & 1)); };
    if (two_letters) std::transform(input.begin(), input.end(), input.begin(), letter);

    std::string token;
    if (hex) {
        const std::string text(token_text, token_length);
        std::string expect;
        const zk::HexToken want = reference_hex(text, expect);
        if (zk::parse_hex_token(text, token) != want) std::abort();
        if (want != zk::HexToken::Ok) return 0;
        if (token != expect) std::abort();
    } else {
        token.assign(token_text, token_length);
        if (two_letters) std::transform(token.begin(), token.end(), token.begin(), letter);
    }

    const std::int64_t expect = reference_search(input, token);
    zk::TokenFinder finder(token);
    std::int64_t found = -1;
    for (std::size_t at = 0, turn = 0; at < input.size() && found < 0; ++turn) {
        const std::size_t n = std::min(blocks[turn % 4], input.size() - at);
        const std::string block = input.substr(at, n);  // a buffer of its exact size
        found = finder.feed(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()).value_or(-1);
        at += n;
    }
    if (found != expect) std::abort();
    return 0;
}
