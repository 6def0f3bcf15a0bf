// C initializer text of binary data, as zkbin2hex writes it: hexadecimal
// items of 1, 2 or 4 bytes ("0x" and two lower-case digits per byte, the
// bytes in input order), a comma after every item but the last, a fixed
// number of items to a line, optionally an extra line end every so many
// items, optionally a backslash before every line end; around them, for an
// array, a declaration head and a closing line.
//
// Contract: routines over bytes in memory that write text into the
// caller's buffers and strings. Nothing is read from or written to a file
// or the console; a layout outside its stated ranges is the caller's
// error, not checked here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zk {

inline constexpr int kMaxItemsPerLine = 200;

// How the items are laid out on lines.
struct ItemLayout {
    int item_size = 1;              // 1, 2 or 4
    int per_line = 10;              // 1 .. kMaxItemsPerLine
    std::int64_t break_period = 0;  // an extra line end after every item whose number is a multiple; 0: none
    bool slash = false;             // a backslash before every line end of the items and the head
};

// The length of the data between the skips, or none when the skips
// leave no room (a data length of 0 is data).
std::optional<std::int64_t> data_length(std::int64_t input_size, std::int64_t start_skip, std::int64_t end_skip);

// The items of data_length bytes: the full ones, and one more for a rest
// that does not fill an item.
std::int64_t item_count(std::int64_t data_length, int item_size);

// The declaration head line of an array of item_count items named name.
std::string array_head(int item_size, const char* name, std::int64_t item_count, bool slash);

// The closing line of an array; it never takes a backslash.
inline constexpr char kArrayClosing[] = "};\n";

// Writes the item text of a known number of data bytes that arrive in
// blocks of any size: put() the blocks in order, then finish(). A rest
// of fewer bytes than an item, left at the end, becomes a last item
// filled with zero bytes on the right, with a line end and no comma.
class ItemWriter {
public:
    ItemWriter(const ItemLayout& layout, std::int64_t data_length);

    // The most text that put() of size bytes, or finish(), writes.
    static constexpr std::size_t text_room(std::size_t size) { return (size + 1) * kMaxItemText; }

    // Writes the text of the items that these bytes complete to out, which
    // has room for text_room(size) characters; returns the end of the text.
    // The data bytes put in all must not exceed the data length.
    char* put(const std::uint8_t* bytes, std::size_t size, char* out);

    // The last, zero-filled item when a rest is left; returns the end of
    // the text.
    char* finish(char* out);

private:
    // "0x", eight digits, a comma and two line ends with their backslashes.
    static constexpr std::size_t kMaxItemText = 2 + 8 + 1 + 2 * 2;

    template <int Size>
    char* put_items(const std::uint8_t* bytes, std::size_t count, char* out);
    char* put_full_items(const std::uint8_t* bytes, std::size_t count, char* out);

    ItemLayout layout_;
    std::uint64_t break_every_;    // the break period's absolute value
    std::int64_t items_left_;      // full items not yet written
    bool rest_follows_;            // a zero-filled last item comes after them
    int on_line_ = 0;              // items on the current line
    std::uint64_t to_break_;       // items until the next extra line end
    std::uint8_t pending_[4] = {}; // bytes of an item not yet complete
    int pending_size_ = 0;
};

}  // namespace zk
