// Number text, as zkhex2bin reads it: "0x" numbers of 2, 4 or 8
// hexadecimal digits (or, in binary mode, "0b" numbers of 8, 16 or 32
// binary digits), all of the length of the first, separated by blanks,
// tabs, commas, carriage returns and line feeds. Each number gives its
// bytes, most significant first. A line whose first non-separator is "#"
// or "//" is a comment; a prefix without digits ends the work on its line.
//
// Contract: a converter over text that arrives in chunks of any size
// (a number, a prefix or a comment mark may straddle two chunks), writing
// bytes into the caller's buffer. Its memory does not grow with the
// length of a line or a number. It reads no file and prints nothing: a
// failure is a code, the digit count at fault and a quote of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zk {

enum class NumberError { None, MissingPrefix, OddDigits, BinaryLength, Mismatch, BadLength };

class NumberConverter {
public:
    // The longest quote of a line kept for a missing prefix.
    static constexpr std::size_t kQuoteLimit = 1024;

    explicit NumberConverter(bool binary);

    // The most bytes that convert() of size characters, or finish(), writes.
    static constexpr std::size_t byte_room(std::size_t size) { return size / 2 + kMaxNumberBytes; }

    // Converts the next characters of the text, writing the bytes of the
    // numbers they end to out, which has room for byte_room(text.size())
    // bytes; returns the end of the bytes. After a failure nothing more is
    // written; characters are still taken until the quote is complete.
    std::uint8_t* convert(std::string_view text, std::uint8_t* out);

    // The end of the text: a number that runs up to it is ended.
    std::uint8_t* finish(std::uint8_t* out);

    bool failed() const { return error_ != NumberError::None; }
    // Failed, and the quote complete: the rest of the text is not needed.
    bool done() const { return state_ == State::Done; }
    NumberError error() const { return error_; }
    // The digit count of the number at fault (OddDigits, BinaryLength,
    // Mismatch, BadLength).
    std::uint64_t digits() const { return digits_; }
    // For MissingPrefix: the line from the token that lacks it to the
    // line's end, without the line feed and one carriage return before
    // it, cut to its first kQuoteLimit characters.
    std::string_view quote() const;

private:
    static constexpr std::size_t kMaxNumberBytes = 4;

    enum class State { Between, Slash, Zero, Digits, SkipLine, Quote, Done };

    template <bool Binary>
    std::uint8_t* convert_text(std::string_view text, std::uint8_t* out);
    State end_number(std::uint64_t digits, std::uint32_t value, std::uint8_t*& out);
    State start_quote(char taken);
    const char* take_quote(const char* at, const char* end, State& state);

    bool binary_;
    State state_ = State::Between;
    bool line_start_ = true;    // no non-separator seen on the line yet
    int item_bytes_ = 0;        // the byte length of the input's first number; 0 before it
    std::uint64_t digits_ = 0;  // of the number being read
    std::uint32_t value_ = 0;   // its value, while it can still be a valid number
    NumberError error_ = NumberError::None;
    std::string quote_;
};

}  // namespace zk
