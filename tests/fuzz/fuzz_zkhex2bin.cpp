// zkhex2bin's number text against a plain reading of the rules: any text
// either converts to the same bytes or is refused with the same error at
// the same token. Each line is converted from a buffer of its exact size
// into one of exactly the room promised for it, and the line reader, given
// tiny blocks, must hand back the text line by line, each line whole.
#include "../../convert/zkhex2bin.cpp"

#include "hex_stream.h"

#include <cctype>
#include <cstdlib>
#include <memory>

namespace {

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

// The line reader with blocks of the given size.
void check_lines(const std::string& text, std::size_t block)
{
    zk::File in(read_stream(text.data(), text.size()));
    LineReader reader(in.get(), block);
    std::vector<std::string> got;
    std::string_view line;
    while (reader.next(line)) got.emplace_back(line);
    if (got != lines_of(text)) std::abort();
}

// convert_line line by line from exact-size buffers; returns the bytes, or
// the error of the first line that fails.
Reference by_lines(const std::string& text, bool binary)
{
    Reference r;
    int item_bytes = 0;
    for (const std::string& line : lines_of(text)) {
        auto copy = std::make_unique<char[]>(line.size());
        std::memcpy(copy.get(), line.data(), line.size());
        const std::size_t room = max_bytes_of(line.size());
        auto bytes = std::make_unique<std::uint8_t[]>(room);
        std::uint8_t* put = bytes.get();
        LineResult result = convert_line(binary, item_bytes, std::string_view(copy.get(), line.size()), put);
        if (put < bytes.get() || put > bytes.get() + room) std::abort();
        r.bytes.append(reinterpret_cast<const char*>(bytes.get()), static_cast<std::size_t>(put - bytes.get()));
        if (result.error != LineError::None) {
            r.error = result.error;
            r.digits = result.digits;
            r.token = rest_of_line(line, result.token_at);
            break;
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    // data[0]: binary mode, and the line reader's block size.
    const bool binary = data[0] & 1;
    const std::size_t block = (data[0] >> 1) % 16 + 1;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    check_lines(text, block);
    const Reference expect = reference(text, binary);

    const Reference lines = by_lines(text, binary);
    if (lines.error != expect.error || lines.digits != expect.digits) std::abort();
    if (expect.error == LineError::None && lines.bytes != expect.bytes) std::abort();
    if (expect.error == LineError::MissingPrefix && lines.token != expect.token) std::abort();

    zk::File in(read_stream(text.data(), text.size()));
    MemoryOut out;
    const Conversion c = convert(in.get(), out.stream, binary, block);
    const std::string bytes = out.close();
    if (expect.error == LineError::None) {
        if (c.outcome != Convert::Ok || bytes != expect.bytes) std::abort();
        if (c.written != static_cast<std::int64_t>(bytes.size()) || bytes.size() * 2 > text.size()) std::abort();
    } else {
        if (c.outcome != Convert::Failed || c.failed_line.error != expect.error) std::abort();
        if (c.failed_line.digits != expect.digits) std::abort();
        if (expect.error == LineError::MissingPrefix && c.failed_token != expect.token) std::abort();
    }
    return 0;
}
