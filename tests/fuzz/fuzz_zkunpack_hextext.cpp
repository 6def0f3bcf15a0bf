// The hex-text reader of zkunpack: fed in arbitrary pieces it gives the
// same bytes as a direct reading of the whole text, and never more bytes
// than characters.
#include "../../pack/zkunpack.cpp"

#include <cstdlib>

static std::vector<std::uint8_t> whole_text(const std::uint8_t* t, std::size_t n)
{
    std::vector<std::uint8_t> out;
    int pending = -1;
    for (std::size_t i = 0; i < n; ++i) {
        if (t[i] == '/' && i + 1 < n && t[i + 1] == '/') {
            while (i < n && t[i] != '\n') ++i;
            pending = -1;
            continue;
        }
        int d = zk::hex_digit_value(t[i]);
        if (d < 0) {
            pending = -1;
        } else if (pending < 0) {
            pending = d;
        } else {
            out.push_back(static_cast<std::uint8_t>(pending << 4 | d));
            pending = -1;
        }
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::size_t piece = data[0] % 7 + 1;
    const std::uint8_t* text = data + 1;
    const std::size_t n = size - 1;
    std::vector<std::uint8_t> got;
    HexTextReader reader;
    for (std::size_t at = 0; at < n; at += piece)
        reader.feed(text + at, std::min(piece, n - at), [&](std::uint8_t b) { got.push_back(b); });
    if (got != whole_text(text, n)) std::abort();
    if (got.size() * 2 > n) std::abort();
    return 0;
}
