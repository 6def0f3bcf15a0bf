// zkextract's hex tokens and its token search. A hex token converts exactly
// when it is pairs of hexadecimal digits, to the bytes they spell; the
// search, fed the input in blocks of arbitrary sizes, finds the first
// occurrence a plain search over the whole input finds, also where the
// token overlaps itself or straddles the blocks.
#include "../../convert/zkextract.cpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace {

// A reading of the hex token rules; token stops at its first zero byte as
// a command-line argument does.
HexToken reference_hex(const char* text, Bytes& bytes)
{
    const std::string t(text);
    if (t.size() % 2 != 0) return HexToken::OddLength;
    bytes.clear();
    for (std::size_t i = 0; i < t.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(t[i])) || !std::isxdigit(static_cast<unsigned char>(t[i + 1])))
            return HexToken::BadCharacter;
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(t.substr(i, 2), nullptr, 16)));
    }
    return HexToken::Ok;
}

// The offset after the first occurrence, or -1; an empty token is never found.
std::int64_t reference_search(const Bytes& input, const Bytes& token)
{
    if (token.empty()) return -1;
    auto at = std::search(input.begin(), input.end(), token.begin(), token.end());
    return at == input.end() ? -1 : static_cast<std::int64_t>(at - input.begin() + token.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // data[0]: flags; data[1]: token length; data[2..5]: block sizes, used
    // in turn; then the token and the input.
    if (size < 6) return 0;
    const bool two_letters = data[0] & 1;  // input and plain token over {a, b}: many partial matches
    const bool hex = data[0] & 2;
    const std::size_t token_length = std::min<std::size_t>(data[1] % 32, size - 6);
    const std::size_t blocks[] = {data[2] % 64 + 1u, data[3] % 64 + 1u, data[4] % 64 + 1u, data[5] % 64 + 1u};
    const std::uint8_t* token_text = data + 6;
    Bytes input(token_text + token_length, data + size);
    auto letter = [](std::uint8_t b) { return static_cast<std::uint8_t>('a' + (b & 1)); };
    if (two_letters) std::transform(input.begin(), input.end(), input.begin(), letter);

    Bytes token;
    if (hex) {
        const std::string text(reinterpret_cast<const char*>(token_text), token_length);
        Bytes expect;
        const HexToken want = reference_hex(text.c_str(), expect);
        if (parse_hex_token(text.c_str(), token) != want) std::abort();
        if (want != HexToken::Ok) return 0;
        if (token != expect) std::abort();
    } else {
        token.assign(token_text, token_text + token_length);
        if (two_letters) std::transform(token.begin(), token.end(), token.begin(), letter);
    }

    const std::int64_t expect = reference_search(input, token);
    TokenSearch search(token);
    std::int64_t found = -1;
    for (std::size_t at = 0, turn = 0; at < input.size() && found < 0; ++turn) {
        const std::size_t n = std::min(blocks[turn % 4], input.size() - at);
        Bytes block(input.begin() + static_cast<std::ptrdiff_t>(at), input.begin() + static_cast<std::ptrdiff_t>(at + n));
        found = search.feed(block.data(), block.size());
        at += n;
    }
    if (found != expect) std::abort();

    // The same search through a stream, as the tool runs it (it goes back
    // to the stream's start, so an empty stream cannot be one byte read past).
    if (input.empty()) return 0;
    zk::File in(fmemopen(input.data(), input.size(), "r"));
    if (!in) std::abort();
    std::int64_t at = -1;
    const Search result = find_token(in.get(), token, at, blocks[0]);
    if (result != (expect < 0 ? Search::NotFound : Search::Found)) std::abort();
    if (expect >= 0 && at != expect) std::abort();
    return 0;
}
