#include "extract_token.h"

namespace zk {

HexToken parse_hex_token(std::string_view text, std::string& bytes)
{
    if (text.size() % 2 != 0) return HexToken::OddLength;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hex_digit_value(static_cast<unsigned char>(text[i]));
        const int low = hex_digit_value(static_cast<unsigned char>(text[i + 1]));
        if (high < 0 || low < 0) return HexToken::BadCharacter;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    return HexToken::Ok;
}

std::optional<std::int64_t> TokenFinder::feed(const std::uint8_t* block, std::size_t size)
{
    if (empty_) return std::nullopt;
    const std::optional<std::size_t> end = search_.feed(block, size);
    const std::int64_t before = fed_;
    fed_ += static_cast<std::int64_t>(size);
    if (!end) return std::nullopt;
    return before + static_cast<std::int64_t>(*end);
}

}  // namespace zk
