// The item text zkbin2hex writes, made in memory by the tool's own routines
// (compiled in a separate object, see bin2hex_text.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Bin2HexOptions {
    int item_size = 1;             // -b1, -b2, -b4
    int per_line = 10;             // -c
    std::int64_t break_period = 0; // -lb
    bool slash = false;            // -slash
    const char* array_name = nullptr;  // -a
    std::size_t block_size = 4;        // bytes read at a time, a multiple of 4
};

// The text of the whole output for these input bytes; false if the tool's
// routine reports a failure on the memory streams.
bool bin2hex_text(const std::uint8_t* data, std::size_t size, const Bin2HexOptions& options, std::string& text);
