#include "convert_data.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace zktest {

std::string item_text(const Bytes& input, const ItemText& t)
{
    const long length = static_cast<long>(input.size() - t.start_skip - t.end_skip);
    const std::uint8_t* data = input.data() + t.start_skip;
    const long full_items = length / t.item_size;
    const int rest = static_cast<int>(length % t.item_size);
    std::string text;
    auto line_end = [&] { text += t.slash ? "\\\n" : "\n"; };
    auto item = [&](const std::uint8_t* b) {
        char buf[16];
        if (t.item_size == 1) std::snprintf(buf, sizeof buf, "0x%02x", b[0]);
        if (t.item_size == 2) std::snprintf(buf, sizeof buf, "0x%02x%02x", b[0], b[1]);
        if (t.item_size == 4) std::snprintf(buf, sizeof buf, "0x%02x%02x%02x%02x", b[0], b[1], b[2], b[3]);
        text += buf;
    };
    int on_line = 0;
    for (long k = 1; k <= full_items; ++k) {
        item(data + (k - 1) * t.item_size);
        if (k * t.item_size < length) text += ',';
        if (++on_line == t.per_line) {
            line_end();
            on_line = 0;
        }
        if (t.break_period != 0 && k % t.break_period == 0) {
            line_end();
            on_line = 0;
        }
    }
    if (rest != 0) {
        std::uint8_t last[4] = {};
        for (int i = 0; i < rest; ++i) last[i] = data[full_items * t.item_size + i];
        item(last);
        line_end();
    }
    return text;
}

}  // namespace zktest

namespace zktest {

std::string library_text(const Bytes& data, const zk::ItemLayout& layout, const char* name, std::size_t block)
{
    const std::int64_t length = static_cast<std::int64_t>(data.size());
    std::string text;
    if (name) text = zk::array_head(layout.item_size, name, zk::item_count(length, layout.item_size), layout.slash);
    zk::ItemWriter writer(layout, length);
    std::string room(zk::ItemWriter::text_room(block), '\0');
    for (std::size_t at = 0; at < data.size(); at += block) {
        const std::size_t n = std::min(block, data.size() - at);
        text.append(room.data(), writer.put(data.data() + at, n, room.data()));
    }
    text.append(room.data(), writer.finish(room.data()));
    if (name) text += zk::kArrayClosing;
    return text;
}

}  // namespace zktest
