// Packed data written as hex text, the form zkunpack reads with -hti and
// writes with -hto (and zkpack writes). Both routines work on bytes in
// memory and print nothing.
//
// Reading: two adjacent hexadecimal digits make a byte, the first being
// the high half; any other character drops a single pending digit; "//"
// starts a comment that runs through the next line feed. Writing: "0x%02x"
// per byte, a comma between bytes, and a line feed after every byte whose
// index is a non-zero multiple of 10.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace zk {

// Turns hex text into bytes piece by piece, as it arrives: a byte or a
// comment may be split across pieces.
class HexTextReader {
public:
    // Converts the next piece of text and writes the bytes it completes to
    // out, which has room for text.size() bytes; out may be text.data()
    // itself, since no byte is written ahead of the characters it comes
    // from. Returns the number of bytes written.
    std::size_t feed(std::span<const std::uint8_t> text, std::uint8_t* out);

private:
    int pending_ = -1;  // the value of a first digit waiting for its second
    bool after_slash_ = false;
    bool in_comment_ = false;
};

// The hex text of bytes, without a line feed after the last byte unless
// its index asks for one; empty for no bytes.
std::string hex_text(std::span<const std::uint8_t> bytes);

// The length of the hex text of size bytes, at most: "0x", two digits, a
// comma and a line feed each.
constexpr std::size_t hex_text_size(std::size_t size) { return size * 6; }

// The longest hex text a reader takes for size bytes: 64 characters a byte,
// ten times what the writer needs, room for any spacing and comments. A
// longer text (one without digits, say) is refused unread.
constexpr std::size_t hex_text_limit(std::size_t size) { return size * 64; }

// What a file of packed data holds, raw or as hex text: bytes themselves,
// or (hex) their hex text, made in text; empty when text's memory cannot
// be had.
std::optional<std::span<const std::uint8_t>> raw_or_hex_text(std::span<const std::uint8_t> bytes, bool hex,
                                                             std::string& text);

}  // namespace zk
