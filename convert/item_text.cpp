#include "item_text.h"

#include <algorithm>
#include <cstring>

namespace zk {

std::optional<std::int64_t> data_length(std::int64_t input_size, std::int64_t start_skip, std::int64_t end_skip)
{
    if (start_skip < 0 || end_skip < 0 || start_skip > input_size || end_skip > input_size - start_skip)
        return std::nullopt;
    return input_size - start_skip - end_skip;
}

std::int64_t item_count(std::int64_t data_length, int item_size)
{
    return data_length / item_size + (data_length % item_size != 0);
}

static const char* head_type(int item_size)
{
    switch (item_size) {
    case 2: return "unsigned short";
    case 4: return "unsigned long";
    default: return "unsigned char";
    }
}

std::string array_head(int item_size, const char* name, std::int64_t item_count, bool slash)
{
    return std::string(head_type(item_size)) + " " + name + "[" + std::to_string(item_count) + "] = {" +
           (slash ? "\\" : " ") + "\n";
}

namespace {

struct HexPairs {
    char pair[256][2];
};

constexpr HexPairs make_hex_pairs()
{
    constexpr char digits[] = "0123456789abcdef";
    HexPairs t{};
    for (int b = 0; b < 256; ++b) {
        t.pair[b][0] = digits[b >> 4];
        t.pair[b][1] = digits[b & 15];
    }
    return t;
}

constexpr HexPairs kHexPairs = make_hex_pairs();

}  // namespace

static char* put_line_end(bool slash, char* out)
{
    if (slash) *out++ = '\\';
    *out++ = '\n';
    return out;
}

template <int Size>
static char* put_item(const std::uint8_t* bytes, char* out)
{
    out[0] = '0';
    out[1] = 'x';
    out += 2;
    for (int i = 0; i < Size; ++i, out += 2) std::memcpy(out, kHexPairs.pair[bytes[i]], 2);
    return out;
}

ItemWriter::ItemWriter(const ItemLayout& layout, std::int64_t data_length)
    : layout_(layout),
      // The absolute value, also of the most negative period.
      break_every_(layout.break_period < 0 ? 0 - static_cast<std::uint64_t>(layout.break_period)
                                           : static_cast<std::uint64_t>(layout.break_period)),
      items_left_(data_length / layout.item_size),
      rest_follows_(data_length % layout.item_size != 0),
      to_break_(break_every_)
{
}

template <int Size>
char* ItemWriter::put_items(const std::uint8_t* bytes, std::size_t count, char* out)
{
    for (std::size_t i = 0; i < count; ++i, bytes += Size) {
        out = put_item<Size>(bytes, out);
        if (--items_left_ > 0 || rest_follows_) *out++ = ',';
        if (++on_line_ == layout_.per_line) {
            out = put_line_end(layout_.slash, out);
            on_line_ = 0;
        }
        if (break_every_ != 0 && --to_break_ == 0) {
            out = put_line_end(layout_.slash, out);
            on_line_ = 0;
            to_break_ = break_every_;
        }
    }
    return out;
}

char* ItemWriter::put_full_items(const std::uint8_t* bytes, std::size_t count, char* out)
{
    switch (layout_.item_size) {
    case 2: return put_items<2>(bytes, count, out);
    case 4: return put_items<4>(bytes, count, out);
    default: return put_items<1>(bytes, count, out);
    }
}

char* ItemWriter::put(const std::uint8_t* bytes, std::size_t size, char* out)
{
    if (size == 0) return out;
    const std::size_t item_size = static_cast<std::size_t>(layout_.item_size);
    if (pending_size_ > 0) {
        const std::size_t take = std::min(item_size - static_cast<std::size_t>(pending_size_), size);
        std::memcpy(pending_ + pending_size_, bytes, take);
        pending_size_ += static_cast<int>(take);
        bytes += take;
        size -= take;
        if (static_cast<std::size_t>(pending_size_) < item_size) return out;
        out = put_full_items(pending_, 1, out);
        pending_size_ = 0;
    }
    const std::size_t full = size / item_size;
    out = put_full_items(bytes, full, out);
    pending_size_ = static_cast<int>(size - full * item_size);
    if (pending_size_ > 0) std::memcpy(pending_, bytes + full * item_size, static_cast<std::size_t>(pending_size_));
    return out;
}

char* ItemWriter::finish(char* out)
{
    if (pending_size_ == 0) return out;
    std::memset(pending_ + pending_size_, 0, sizeof pending_ - static_cast<std::size_t>(pending_size_));
    pending_size_ = 0;
    out = layout_.item_size == 2 ? put_item<2>(pending_, out) : put_item<4>(pending_, out);
    return put_line_end(layout_.slash, out);
}

}  // namespace zk
