#include "hextext.h"

#include "bytes.h"

#include <new>

namespace zk {

// The first line holds the bytes 0 to 10, every further line ten.
static constexpr std::size_t kBytesPerLine = 10;

std::size_t HexTextReader::feed(std::span<const std::uint8_t> text, std::uint8_t* out)
{
    std::size_t produced = 0;
    for (const std::uint8_t c : text) {
        if (in_comment_) {
            in_comment_ = c != '\n';
            continue;
        }
        const int digit = hex_digit_value(c);
        if (digit < 0) {
            pending_ = -1;
            in_comment_ = c == '/' && after_slash_;
            after_slash_ = c == '/' && !in_comment_;
            continue;
        }
        after_slash_ = false;
        if (pending_ < 0) {
            pending_ = digit;
        } else {
            out[produced++] = static_cast<std::uint8_t>(pending_ << 4 | digit);
            pending_ = -1;
        }
    }
    return produced;
}

std::string hex_text(std::span<const std::uint8_t> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(hex_text_size(bytes.size()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += "0x";
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
        if (i + 1 < bytes.size()) text += ',';
        if (i != 0 && i % kBytesPerLine == 0) text += '\n';
    }
    return text;
}

std::optional<std::span<const std::uint8_t>> raw_or_hex_text(std::span<const std::uint8_t> bytes, bool hex,
                                                             std::string& text)
{
    if (!hex) return bytes;
    try {
        text = hex_text(bytes);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace zk
