// zksplit's offset-file parser and line reader. The parser must agree with
// a reading by strtoll of the same tokens; the lines must put the input
// back together, each ending at its first line feed.
#include "../../tiler/zksplit.cpp"

#include <cerrno>
#include <cstdlib>

static std::FILE* memory_file(const std::uint8_t* data, std::size_t size)
{
    // fmemopen of zero bytes fails; an empty stream is one byte opened past.
    static char empty;
    return size ? fmemopen(const_cast<std::uint8_t*>(data), size, "r") : fmemopen(&empty, 1, "r");
}

static void check_offsets(const std::uint8_t* data, std::size_t size)
{
    zk::File f(memory_file(data, size));
    if (!size) std::fgetc(f.get());
    OffsetList list = parse_offsets(f.get());

    // Reference: white-space separated tokens, each an optional sign and digits.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::int32_t> expect;
    OffsetError error = OffsetError::None;
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        if (at == text.size()) break;
        std::size_t start = at;
        if (text[at] == '+' || text[at] == '-') ++at;
        std::size_t digits = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        if (at == digits) {
            error = OffsetError::NotANumber;
            break;
        }
        errno = 0;
        long long v = std::strtoll(text.substr(start, at - start).c_str(), nullptr, 10);
        if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
            error = OffsetError::NotANumber;
            break;
        }
        if (!expect.empty() && v < expect.back()) {
            error = OffsetError::NotAscending;
            break;
        }
        if (v == 0) {
            error = OffsetError::Zero;
            break;
        }
        expect.push_back(static_cast<std::int32_t>(v));
        if (expect.size() == kMaxOffsets) break;
    }
    if (list.values != expect || list.error != error) std::abort();
    if (list.dropped_rest != (expect.size() == kMaxOffsets)) std::abort();
}

static void check_lines(const std::uint8_t* data, std::size_t size)
{
    if (!size) return;
    zk::File f(memory_file(data, size));
    LineReader line;
    std::string joined;
    while (line.next(f.get())) {
        std::string_view t = line.text();
        std::size_t lf = t.find('\n');
        if (lf != std::string_view::npos && lf + 1 != t.size()) std::abort();
        joined += t;
    }
    if (joined != std::string_view(reinterpret_cast<const char*>(data), size)) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    check_offsets(data, size);
    check_lines(data, size);
    return 0;
}
