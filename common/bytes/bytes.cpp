#include "bytes.h"

#include <algorithm>
#include <cstring>

namespace zk {

bool Buffer::resize(std::size_t size)
{
    if (size > capacity_) {
        // Room to grow by half again, so that filling a buffer in blocks
        // moves its bytes a few times, not once per block.
        std::size_t capacity = std::max(size, capacity_ + capacity_ / 2);
        void* grown = std::realloc(bytes_.get(), capacity == 0 ? 1 : capacity);
        if (!grown && capacity > size) grown = std::realloc(bytes_.get(), capacity = size);
        if (!grown) return false;
        (void)bytes_.release();
        bytes_.reset(static_cast<std::uint8_t*>(grown));
        capacity_ = capacity;
    }
    size_ = size;
    return true;
}

std::optional<std::int64_t> parse_integer(const char* text, std::int64_t min, std::int64_t max, Overflow overflow)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (*text < '0' || *text > '9') return std::nullopt;
    // The magnitude is gathered exactly up to 2^63 and stops growing one
    // past it: enough to tell every 64-bit value from those beyond.
    constexpr std::uint64_t kBeyond = static_cast<std::uint64_t>(INT64_MAX) + 2;
    std::uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        magnitude = std::min(magnitude > kBeyond / 10 ? kBeyond : magnitude * 10 + static_cast<unsigned>(*text - '0'),
                             kBeyond);
    const std::uint64_t largest = negative ? kBeyond - 1 : kBeyond - 2;  // 2^63 below zero, 2^63 - 1 above
    std::int64_t value = negative ? min : max;  // where a value beyond 64 bits lies
    if (magnitude <= largest)
        value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    if (magnitude <= largest && value >= min && value <= max) return value;
    if (overflow == Overflow::Refuse) return std::nullopt;
    return std::clamp(value, min, max);
}

// How common a byte tends to be in the files searched (text, C source,
// compiled code and its data): the skip looks for the token's least
// common byte.
static int commonness(std::uint8_t b)
{
    if (b == 0x00 || b == 0xFF || b == ' ') return 4;
    if ((b >= 'a' && b <= 'z') || b == '\n' || b == '\t' || b == '\r') return 3;
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z')) return 2;
    if (b > ' ' && b < 0x80) return 1;
    return 0;
}

StreamSearch::StreamSearch(const void* token, std::size_t size)
    : size_(size), token_(new std::uint8_t[size + 1]), fallback_(new std::size_t[size + 1])
{
    if (size > 0) std::memcpy(token_.get(), token, size);
    fallback_[0] = 0;
    if (size > 0) fallback_[1] = 0;
    for (std::size_t m = 2; m <= size; ++m) {
        std::size_t k = fallback_[m - 1];
        while (k > 0 && token_[k] != token_[m - 1]) k = fallback_[k];
        fallback_[m] = token_[k] == token_[m - 1] ? k + 1 : 0;
    }
    for (std::size_t i = 1; i < size; ++i)
        if (commonness(token_[i]) < commonness(token_[rare_])) rare_ = i;
    reset();
}

void StreamSearch::reset()
{
    matched_ = 0;
    found_ = false;
    credit_ = 8 * static_cast<std::int64_t>(size_);
}

std::size_t StreamSearch::step(std::uint8_t byte)
{
    std::size_t k = matched_;
    while (k > 0 && token_[k] != byte) k = fallback_[k];
    if (token_[k] == byte) ++k;
    return matched_ = k;
}

// With no partial match open at `at`, tries the starts whose occurrence
// would lie inside the block, at those that hold the rare byte in its
// place: the end of the first occurrence, or empty with `at` past every
// start ruled out.
std::optional<std::size_t> StreamSearch::skip(const std::uint8_t* block, std::size_t size, std::size_t& at)
{
    const std::size_t last = size - size_;
    while (at <= last && credit_ >= 0) {
        const void* hit = std::memchr(block + at + rare_, token_[rare_], last - at + 1);
        if (!hit) {
            at = last + 1;
            break;
        }
        const std::size_t start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - block) - rare_;
        std::size_t k = 0;
        while (k < size_ && block[start + k] == token_[k]) ++k;
        if (k == size_) return start + size_;
        // Every start passed over pays for four compared bytes, so that an
        // input that keeps almost matching turns the skip off and the
        // search stays linear.
        credit_ += 4 * static_cast<std::int64_t>(start + 1 - at) - static_cast<std::int64_t>(k + 1);
        at = start + 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> StreamSearch::feed(const void* data, std::size_t size)
{
    if (found_) return std::nullopt;
    if (size_ == 0) {
        found_ = true;
        return 0;
    }
    const auto* block = static_cast<const std::uint8_t*>(data);
    std::size_t at = 0;
    for (;;) {
        for (; matched_ > 0 && at < size; ++at) {
            if (step(block[at]) == size_) {
                found_ = true;
                return at + 1;
            }
        }
        if (at == size) return std::nullopt;
        // No partial match is open: no occurrence begins before at.
        if (credit_ >= 0 && size - at >= size_) {
            const std::optional<std::size_t> end = skip(block, size, at);
            found_ = end.has_value();
            if (found_) return end;
            continue;
        }
        const void* first = std::memchr(block + at, token_[0], size - at);
        if (!first) return std::nullopt;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(first) - block);
        if (step(block[at++]) == size_) {
            found_ = true;
            return at;
        }
    }
}

}  // namespace zk
