// Bytes through zkbin2hex's item text and back through zkhex2bin's
// conversion. Without an array name and backslashes the text gives back
// the bytes, a last partial item filled with zero bytes; a backslash line
// end or the array head is refused at that point, never half converted.
#include "../../convert/zkhex2bin.cpp"

#include "bin2hex_text.h"
#include "hex_stream.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    // data[0]: item size, backslashes, array name; data[1]: items per line;
    // data[2]: break period (signed); data[3]: the block sizes of both tools.
    static constexpr int kSizes[] = {1, 2, 4};
    Bin2HexOptions o;
    o.item_size = kSizes[data[0] % 3];
    o.slash = data[0] & 0x10;
    o.array_name = data[0] & 0x20 ? "t" : nullptr;
    o.per_line = data[1] % 200 + 1;
    o.break_period = static_cast<std::int8_t>(data[2]);
    o.block_size = 4u * (data[3] % 16 + 1);
    const std::size_t text_block = data[3] / 16 + 1u;
    const std::uint8_t* bytes = data + 4;
    const std::size_t n = size - 4;

    std::string text;
    if (!bin2hex_text(bytes, n, o, text)) std::abort();

    // The shape of the item text: one comma between items, at most the
    // line's worth of items on a line.
    const std::size_t items = (n + o.item_size - 1) / o.item_size;
    if (!o.array_name) {
        std::size_t commas = 0;
        for (char c : text) commas += c == ',';
        if (commas != (items ? items - 1 : 0)) std::abort();
    }
    std::size_t on_line = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\n') on_line = 0;
        if (text[i] == '0' && text[i + 1] == 'x' && ++on_line > static_cast<std::size_t>(o.per_line))
            std::abort();
    }

    zk::File in(read_stream(text.data(), text.size()));
    MemoryOut out;
    Conversion c = convert(in.get(), out.stream, false, text_block);
    const std::string back = out.close();

    const bool readable = !o.array_name && text.find('\\') == std::string::npos;
    if (!readable) {
        if (c.outcome != Convert::Failed || c.failed_line.error != LineError::MissingPrefix) std::abort();
        const char first = c.failed_token.empty() ? 0 : c.failed_token[0];
        if (first != (o.array_name ? 'u' : '\\')) std::abort();
        return 0;
    }
    std::string expect(reinterpret_cast<const char*>(bytes), n);
    expect.resize(items * static_cast<std::size_t>(o.item_size), '\0');
    if (c.outcome != Convert::Ok || back != expect || c.written != static_cast<std::int64_t>(expect.size()))
        std::abort();
    return 0;
}
