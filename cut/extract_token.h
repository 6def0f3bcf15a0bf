// The tokens of zkextract: the marker byte strings between which it cuts
// a file, given as plain text or as pairs of hexadecimal digits, and their
// first occurrence in a file read from its start.
//
// Contract: routines over bytes in memory; nothing is read from a file or
// printed. Offsets are 64-bit byte offsets from the start of the input.
#pragma once

#include "bytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

enum class HexToken { Ok, OddLength, BadCharacter };

// The bytes spelt by pairs of hexadecimal digits, the first of a pair the
// high half ("4e75" gives 4E 75); no prefix is allowed.
HexToken parse_hex_token(std::string_view text, std::string& bytes);

// The first occurrence of a token in an input fed from its start in
// blocks of any size; found wherever it begins, also inside a partial
// match that broke off. A token of no bytes is never found.
class TokenFinder {
public:
    explicit TokenFinder(std::string_view token) : search_(token), empty_(token.empty()) {}

    // The offset of the first byte after the occurrence, once the bytes
    // fed so far hold it; empty before, and after it has been reported.
    std::optional<std::int64_t> feed(const std::uint8_t* block, std::size_t size);

private:
    StreamSearch search_;
    bool empty_;
    std::int64_t fed_ = 0;
};

}  // namespace zk
