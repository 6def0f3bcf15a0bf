// The hex-text reader: fed in arbitrary pieces, in place, it gives the
// same bytes as a direct reading of the whole text, and never more bytes
// than characters; the writer's text of those bytes reads back to them.
#include "files.h"
#include "hextext.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

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
    const std::size_t n = size - 1;
    // Converted where the text lies, piece by piece, in a buffer of the text's exact size.
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[n]);
    if (n) std::memcpy(buffer.get(), data + 1, n);
    zk::HexTextReader reader;
    std::size_t produced = 0;
    for (std::size_t at = 0; at < n; at += piece)
        produced += reader.feed({buffer.get() + at, std::min(piece, n - at)}, buffer.get() + produced);
    const std::vector<std::uint8_t> got(buffer.get(), buffer.get() + produced);
    if (got != whole_text(data + 1, n)) std::abort();
    if (got.size() * 2 > n) std::abort();

    const std::string text = zk::hex_text(got);
    zk::HexTextReader back;
    std::vector<std::uint8_t> again(text.size());
    again.resize(back.feed({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, again.data()));
    if (again != got) std::abort();
    return 0;
}
