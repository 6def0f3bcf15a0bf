// The ground floor's first layer: bytes and text in memory. A buffer whose
// allocation may fail without an exception, number parsing as the C
// library's scans read numbers, hexadecimal digits, and a search for a byte
// string in bytes that arrive in blocks.
//
// Contract: nothing here opens a file, touches the console or prints; every
// routine works on the memory it is handed and reports by its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace zk {

// ---------------------------------------------------------------------------
// Buffers

// A heap buffer of bytes whose allocation may fail without an exception,
// so that every tool can report "cannot allocate" in its own words.
class Buffer {
public:
    // False, and the buffer unchanged, when the memory cannot be had.
    bool resize(std::size_t size);
    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// ---------------------------------------------------------------------------
// Numbers

// What a number beyond [min, max] gives: the nearest bound, or no number.
enum class Overflow { Saturate, Refuse };

// A signed decimal number at the start of text, read as a "%d" scan reads
// one: leading white space, an optional sign, at least one digit; what
// follows the digits is not looked at, so "12abc" reads as 12.
std::optional<std::int64_t> parse_integer(const char* text, std::int64_t min, std::int64_t max,
                                          Overflow overflow);

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1 for any other character.
constexpr int hex_digit_value(unsigned char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// ---------------------------------------------------------------------------
// Searching a stream

// Finds the first occurrence of a byte string in bytes that arrive in
// blocks of any size, such as the blocks of a file or the pieces of a
// LineReader: also an occurrence that straddles blocks, or one that begins
// inside a partial match that broke off. The time is linear in the bytes
// fed, whatever they hold; where the string's rarest byte is rare in the
// input, most bytes are passed over at the speed of memchr. An empty
// string occurs before the first byte.
class StreamSearch {
public:
    StreamSearch(const void* token, std::size_t size);
    explicit StreamSearch(std::string_view token) : StreamSearch(token.data(), token.size()) {}

    // The index in block just past the end of the first occurrence, when
    // these bytes complete it; empty before. Once the occurrence has been
    // reported, nothing more is until reset().
    std::optional<std::size_t> feed(const void* block, std::size_t size);

    // Forgets the bytes fed so far: the next byte fed is the first.
    void reset();

private:
    std::size_t step(std::uint8_t byte);
    std::optional<std::size_t> skip(const std::uint8_t* block, std::size_t size, std::size_t& at);

    std::size_t size_;
    std::unique_ptr<std::uint8_t[]> token_;
    std::unique_ptr<std::size_t[]> fallback_;  // [m]: the match left when the byte after m matched ones differs
    std::size_t rare_ = 0;                     // the token byte looked for with memchr
    std::size_t matched_ = 0;                  // token bytes matched by the last bytes fed
    std::int64_t credit_ = 0;                  // comparisons the memchr skip may still spend ahead of its progress
    bool found_ = false;
};

}  // namespace zk
