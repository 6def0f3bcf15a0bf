// Bytes through the item text writer and back through the number text
// converter, each fed in blocks of changing sizes. Without an array name
// and backslashes the text gives back the bytes, a last partial item
// filled with zero bytes; a backslash line end or the array head is
// refused at that point, never half converted.
#include "item_text.h"
#include "number_text.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    // data[0]: item size, backslashes, array name; data[1]: items per line;
    // data[2]: break period (signed); data[3]: the block sizes of both sides.
    static constexpr int kSizes[] = {1, 2, 4};
    const zk::ItemLayout layout{.item_size = kSizes[data[0] % 3],
                                .per_line = data[1] % zk::kMaxItemsPerLine + 1,
                                .break_period = static_cast<std::int8_t>(data[2]),
                                .slash = (data[0] & 0x10) != 0};
    const char* name = data[0] & 0x20 ? "t" : nullptr;
    const std::size_t byte_block = data[3] % 16 + 1;
    const std::size_t text_block = data[3] / 16 + 1;
    const std::uint8_t* bytes = data + 4;
    const std::size_t n = size - 4;
    const std::int64_t length = static_cast<std::int64_t>(n);

    std::string text;
    if (name) text = zk::array_head(layout.item_size, name, zk::item_count(length, layout.item_size), layout.slash);
    zk::ItemWriter writer(layout, length);
    std::vector<char> room(zk::ItemWriter::text_room(byte_block));
    for (std::size_t at = 0; at < n; at += byte_block) {
        const std::size_t part = std::min(byte_block, n - at);
        char* end = writer.put(bytes + at, part, room.data());
        if (end < room.data() || end > room.data() + room.size()) std::abort();
        text.append(room.data(), end);
    }
    text.append(room.data(), writer.finish(room.data()));
    if (name) text += zk::kArrayClosing;

    // The shape of the item text: one comma between items, at most the
    // line's worth of items on a line.
    const std::size_t items = (n + layout.item_size - 1) / layout.item_size;
    if (!name) {
        std::size_t commas = 0;
        for (char c : text) commas += c == ',';
        if (commas != (items ? items - 1 : 0)) std::abort();
    }
    std::size_t on_line = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\n') on_line = 0;
        if (text[i] == '0' && text[i + 1] == 'x' && ++on_line > static_cast<std::size_t>(layout.per_line)) std::abort();
    }

    zk::NumberConverter numbers(false);
    std::string back;
    std::vector<std::uint8_t> out(zk::NumberConverter::byte_room(text_block));
    for (std::size_t at = 0; at < text.size() && !numbers.done(); at += text_block) {
        const std::uint8_t* end = numbers.convert(std::string_view(text).substr(at, text_block), out.data());
        back.append(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(end - out.data()));
    }
    const std::uint8_t* end = numbers.finish(out.data());
    back.append(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(end - out.data()));

    const bool readable = !name && text.find('\\') == std::string::npos;
    if (!readable) {
        if (numbers.error() != zk::NumberError::MissingPrefix) std::abort();
        const char first = numbers.quote().empty() ? 0 : numbers.quote()[0];
        if (first != (name ? 'u' : '\\')) std::abort();
        return 0;
    }
    std::string expect(reinterpret_cast<const char*>(bytes), n);
    expect.resize(items * static_cast<std::size_t>(layout.item_size), '\0');
    if (numbers.failed() || back != expect) std::abort();
    return 0;
}
