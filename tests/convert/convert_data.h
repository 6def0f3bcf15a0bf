// Inputs and expected texts shared by the tests of the conversion tools
// and their libraries.
#pragma once

#include "cli.h"
#include "item_text.h"

#include <string>

namespace zktest {

// The item lines of zkbin2hex, without head and closing.
struct ItemText {
    int item_size = 1;
    int per_line = 10;
    int break_period = 0;
    bool slash = false;
    std::size_t start_skip = 0;
    std::size_t end_skip = 0;
};

// The item text of input, made item by item with the formats of the items.
std::string item_text(const Bytes& input, const ItemText& layout);

// The whole text of data made by the item text library, with the head and
// the closing of an array when name is given; the data are put in blocks
// of block bytes.
std::string library_text(const Bytes& data, const zk::ItemLayout& layout, const char* name = nullptr,
                         std::size_t block = 5);

}  // namespace zktest
