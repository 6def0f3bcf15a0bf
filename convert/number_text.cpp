#include "number_text.h"

#include "bytes.h"

#include <algorithm>
#include <cstring>

namespace zk {

namespace {

// The value of every character as a hexadecimal digit (-1 for none), and
// which characters separate numbers.
struct CharTables {
    std::int8_t hex[256];
    bool separator[256];
    bool blank[256];  // a separator within a line
};

constexpr CharTables make_char_tables()
{
    CharTables t{};
    for (int c = 0; c < 256; ++c) {
        t.hex[c] = static_cast<std::int8_t>(hex_digit_value(static_cast<unsigned char>(c)));
        t.blank[c] = c == ' ' || c == '\t' || c == ',' || c == '\r';
        t.separator[c] = t.blank[c] || c == '\n';
    }
    return t;
}

constexpr CharTables kChars = make_char_tables();

constexpr unsigned char byte(char c) { return static_cast<unsigned char>(c); }

}  // namespace

// Reads the digits from at on into value, which wraps for a number too
// long to be valid (only its digit count matters then); returns where
// they end.
template <bool Binary>
static const char* read_digits(const char* at, const char* end, std::uint32_t& value)
{
    if constexpr (Binary) {
        for (; at != end && (*at == '0' || *at == '1'); ++at)
            value = value << 1 | static_cast<std::uint32_t>(*at - '0');
    } else {
        for (int d; at != end && (d = kChars.hex[byte(*at)]) >= 0; ++at)
            value = value << 4 | static_cast<std::uint32_t>(d);
    }
    return at;
}

// The item_bytes bytes of a number's value, most significant first.
static std::uint8_t* put_bytes(std::uint32_t value, int item_bytes, std::uint8_t* out)
{
    switch (item_bytes) {
    case 4:
        *out++ = static_cast<std::uint8_t>(value >> 24);
        *out++ = static_cast<std::uint8_t>(value >> 16);
        [[fallthrough]];
    case 2:
        *out++ = static_cast<std::uint8_t>(value >> 8);
        [[fallthrough]];
    default:
        *out++ = static_cast<std::uint8_t>(value);
    }
    return out;
}

// The common case in one short loop: converts the numbers of item_bytes
// bytes that follow each other on a line from at on, each ended inside the
// text, and returns where anything else begins (a line feed, a number of
// another length or one that the text cuts, no number at all). Nothing of
// that is taken: the rules for every case read it again.
template <bool Binary>
static const char* convert_numbers(const char* at, const char* end, int item_bytes, std::uint8_t*& out)
{
    constexpr char kPrefix = Binary ? 'b' : 'x';
    const std::ptrdiff_t item_digits = item_bytes * (Binary ? 8 : 2);
    if (item_bytes == 0) return at;
    for (;;) {
        while (at != end && kChars.blank[byte(*at)]) ++at;
        if (end - at < 3 || at[0] != '0' || at[1] != kPrefix) return at;
        std::uint32_t value = 0;
        const char* const digits_end = read_digits<Binary>(at + 2, end, value);
        if (digits_end == end || digits_end - (at + 2) != item_digits) return at;
        out = put_bytes(value, item_bytes, out);
        at = digits_end;
    }
}

NumberConverter::NumberConverter(bool binary) : binary_(binary) {}

// The quote begins with the character of the token already taken, if any.
NumberConverter::State NumberConverter::start_quote(char taken)
{
    error_ = NumberError::MissingPrefix;
    quote_.reserve(kQuoteLimit + 1);
    if (taken) quote_.push_back(taken);
    return State::Quote;
}

// Takes the quote's characters up to the line feed, or up to one past the
// limit (enough to know that the line goes on); returns where it stopped.
const char* NumberConverter::take_quote(const char* at, const char* end, State& state)
{
    const std::size_t room = kQuoteLimit + 1 - quote_.size();
    const char* stop = at + std::min(room, static_cast<std::size_t>(end - at));
    const char* feed = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(stop - at)));
    quote_.append(at, feed ? feed : stop);
    if (feed || quote_.size() > kQuoteLimit) state = State::Done;
    return feed ? feed + 1 : stop;
}

std::string_view NumberConverter::quote() const
{
    std::string_view q = quote_;
    if (!q.empty() && q.back() == '\r') q.remove_suffix(1);
    return q.substr(0, kQuoteLimit);
}

// The digits of a number have ended: its bytes, or the failure; the order
// of the checks decides which failure a number of several faults reports.
NumberConverter::State NumberConverter::end_number(std::uint64_t digits, std::uint32_t value, std::uint8_t*& out)
{
    const std::uint64_t per_byte = binary_ ? 8 : 2;
    digits_ = digits;
    if (digits % per_byte != 0) {
        error_ = binary_ ? NumberError::BinaryLength : NumberError::OddDigits;
        return State::Done;
    }
    if (digits == 0) return State::SkipLine;
    const std::uint64_t bytes = digits / per_byte;
    if (item_bytes_ != 0 && bytes != static_cast<std::uint64_t>(item_bytes_)) {
        error_ = NumberError::Mismatch;
        return State::Done;
    }
    if (bytes != 1 && bytes != 2 && bytes != 4) {
        error_ = NumberError::BadLength;
        return State::Done;
    }
    item_bytes_ = static_cast<int>(bytes);
    out = put_bytes(value, item_bytes_, out);
    return State::Between;
}

std::uint8_t* NumberConverter::convert(std::string_view text, std::uint8_t* out)
{
    return binary_ ? convert_text<true>(text, out) : convert_text<false>(text, out);
}

template <bool Binary>
std::uint8_t* NumberConverter::convert_text(std::string_view text, std::uint8_t* out)
{
    constexpr char kPrefix = Binary ? 'b' : 'x';
    const char* at = text.data();
    const char* const end = at + text.size();
    // The state lives in locals while the text is read: a byte written
    // through out could be any member, which would be read again after it.
    State state = state_;
    bool line_start = line_start_;
    std::uint64_t digits = digits_;
    std::uint32_t value = value_;
    while (at != end && state != State::Done) {
        switch (state) {
        case State::Between:
            if (!line_start) at = convert_numbers<Binary>(at, end, item_bytes_, out);
            for (; at != end && kChars.separator[byte(*at)]; ++at) line_start |= *at == '\n';
            if (at == end) continue;
            if (line_start) {
                line_start = false;
                if (*at == '#' || *at == '/') {
                    state = *at == '#' ? State::SkipLine : State::Slash;
                    ++at;
                    continue;
                }
            }
            if (*at != '0') {
                state = start_quote(0);
                continue;
            }
            ++at;
            state = State::Zero;
            [[fallthrough]];
        case State::Zero:
            if (at == end) continue;
            if (*at != kPrefix) {
                state = start_quote('0');
                continue;
            }
            ++at;
            digits = 0;
            value = 0;
            state = State::Digits;
            [[fallthrough]];
        case State::Digits: {
            const char* const first = at;
            at = read_digits<Binary>(at, end, value);
            digits += static_cast<std::uint64_t>(at - first);
            if (at != end) state = end_number(digits, value, out);
            continue;
        }
        case State::Slash:
            state = *at == '/' ? State::SkipLine : start_quote('/');
            at += state == State::SkipLine;
            continue;
        case State::SkipLine: {
            const void* feed = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
            at = feed ? static_cast<const char*>(feed) + 1 : end;
            if (feed) {
                state = State::Between;
                line_start = true;
            }
            continue;
        }
        case State::Quote:
            at = take_quote(at, end, state);
            continue;
        case State::Done:
            continue;
        }
    }
    state_ = state;
    line_start_ = line_start;
    digits_ = digits;
    value_ = value;
    return out;
}

std::uint8_t* NumberConverter::finish(std::uint8_t* out)
{
    switch (state_) {
    case State::Digits: state_ = end_number(digits_, value_, out); break;
    case State::Zero: state_ = start_quote('0'); break;
    case State::Slash: state_ = start_quote('/'); break;
    default: break;
    }
    if (state_ == State::Quote) state_ = State::Done;
    return out;
}

}  // namespace zk
