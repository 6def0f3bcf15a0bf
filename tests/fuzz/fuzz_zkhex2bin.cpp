// The number text converter against a plain reading of the rules: any
// text either converts to the same bytes or is refused with the same error
// at the same token. The text is fed in chunks of any size, and as the
// tool feeds it, in the pieces of a line reader with tiny blocks.
#include "files.h"
#include "number_text.h"

#include "hex_stream.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using LineError = zk::NumberError;

struct Reference {
    LineError error = LineError::None;
    std::size_t digits = 0;
    std::string token;  // for a missing prefix: the line from the token on, without its line end
    std::string bytes;
};

bool separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

// The lines of the text, each with its line feed.
std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t lf = text.find('\n', at);
        std::size_t end = lf == std::string::npos ? text.size() : lf + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// Reads one line; false when the line fails the conversion.
bool reference_line(const std::string& line, bool binary, std::size_t& item_bytes, Reference& r)
{
    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n && separator(line[i])) ++i;
    if (i == n || line[i] == '#' || line.compare(i, 2, "//") == 0) return true;
    const char prefix = binary ? 'b' : 'x';
    const std::size_t per_byte = binary ? 8 : 2;
    for (;;) {
        while (i < n && separator(line[i])) ++i;
        if (i == n) return true;
        if (i + 1 >= n || line[i] != '0' || line[i + 1] != prefix) {
            r.error = LineError::MissingPrefix;
            r.token = line.substr(i);
            if (!r.token.empty() && r.token.back() == '\n') r.token.pop_back();
            if (!r.token.empty() && r.token.back() == '\r') r.token.pop_back();
            r.token.resize(std::min(r.token.size(), zk::NumberConverter::kQuoteLimit));
            return false;
        }
        std::size_t j = i + 2;
        while (j < n && (binary ? line[j] == '0' || line[j] == '1' : std::isxdigit(static_cast<unsigned char>(line[j]))))
            ++j;
        const std::size_t digits = j - i - 2;
        r.digits = digits;
        if (digits % per_byte != 0) {
            r.error = binary ? LineError::BinaryLength : LineError::OddDigits;
            return false;
        }
        if (digits == 0) return true;
        const std::size_t bytes = digits / per_byte;
        if (item_bytes != 0 && bytes != item_bytes) {
            r.error = LineError::Mismatch;
            return false;
        }
        if (bytes != 1 && bytes != 2 && bytes != 4) {
            r.error = LineError::BadLength;
            return false;
        }
        item_bytes = bytes;
        const unsigned long value = std::strtoul(line.substr(i + 2, digits).c_str(), nullptr, binary ? 2 : 16);
        for (std::size_t b = bytes; b-- > 0;) r.bytes.push_back(static_cast<char>(value >> (8 * b) & 0xff));
        i = j;
    }
}

Reference reference(const std::string& text, bool binary)
{
    Reference r;
    std::size_t item_bytes = 0;
    for (const std::string& line : lines_of(text))
        if (!reference_line(line, binary, item_bytes, r)) break;
    if (r.error == LineError::None || r.error == LineError::MissingPrefix) r.digits = 0;
    return r;
}

// The converter's reading of the text, fed by next(piece) until it has
// no more.
template <typename Next>
Reference converted(bool binary, Next next)
{
    zk::NumberConverter numbers(binary);
    Reference r;
    std::string_view piece;
    std::vector<std::uint8_t> room;
    while (!numbers.done() && next(piece)) {
        room.resize(zk::NumberConverter::byte_room(piece.size()));
        const std::uint8_t* end = numbers.convert(piece, room.data());
        if (end < room.data() || end > room.data() + room.size()) std::abort();
        r.bytes.append(reinterpret_cast<const char*>(room.data()), static_cast<std::size_t>(end - room.data()));
    }
    room.resize(zk::NumberConverter::byte_room(0));
    const std::uint8_t* end = numbers.finish(room.data());
    r.bytes.append(reinterpret_cast<const char*>(room.data()), static_cast<std::size_t>(end - room.data()));
    r.error = numbers.error();
    if (numbers.failed() != (r.error != LineError::None) || (numbers.failed() && !numbers.done())) std::abort();
    if (r.error != LineError::None && r.error != LineError::MissingPrefix) r.digits = numbers.digits();
    if (r.error == LineError::MissingPrefix) r.token = numbers.quote();
    return r;
}

void check(const Reference& got, const Reference& expect)
{
    if (got.error != expect.error || got.digits != expect.digits) std::abort();
    if (expect.error == LineError::None && got.bytes != expect.bytes) std::abort();
    if (expect.error == LineError::MissingPrefix && got.token != expect.token) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    // data[0]: binary mode, and the chunk and block sizes.
    const bool binary = data[0] & 1;
    const std::size_t block = (data[0] >> 1) % 16 + 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const Reference expect = reference(text, binary);
    if (expect.error == LineError::None && expect.bytes.size() * 2 > text.size()) std::abort();

    std::size_t at = 0;
    check(converted(binary,
                    [&](std::string_view& piece) {
                        if (at >= text.size()) return false;
                        piece = std::string_view(text).substr(at, block);
                        at += piece.size();
                        return true;
                    }),
          expect);

    zk::File in(read_stream(text.data(), text.size()));
    zk::LineReader lines(in.get(), block);
    check(converted(binary, [&](std::string_view& piece) { return lines.next(piece); }), expect);
    return 0;
}
