// Inputs of zkunpack and zkunarchive built by the tests themselves,
// independently of the libraries under test: a short packed stream, hex
// text, and ZKArchives: the image (the variable's length word, "zka\0",
// the count, the records, the data area) and the calculator variable file
// around it.
#pragma once

#include "calc_builder.h"
#include "pack_encoder.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace zktest {

inline void put_be16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

inline void put_le16(Bytes& b, std::size_t at, unsigned v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Data with repeats and runs, and the same stream of them every time.
inline const Bytes kSampleData = bytes_of("sweep sweep sweep: repeats, repeats and runs       .");

inline Bytes sample_stream(const Bytes& data = kSampleData)
{
    std::mt19937 rng(11);
    return pack_random(data, {.run_table = {0x20, 0x65}}, rng);
}

// The bytes 0, 1, 2 and on.
inline Bytes counting(unsigned n)
{
    Bytes b;
    for (unsigned i = 0; i < n; ++i) b.push_back(static_cast<std::uint8_t>(i));
    return b;
}

// Hex text as a person might write it: "0xAB, " for each byte.
inline std::string hex_items(const Bytes& b)
{
    std::string t;
    char item[8];
    for (std::uint8_t v : b) {
        std::snprintf(item, sizeof item, "0x%02X, ", v);
        t += item;
    }
    return t;
}

// File offsets of the count and of the first record.
inline constexpr std::size_t kFileCountAt = 92;
inline constexpr std::size_t kFileTableAt = 94;

struct BuiltEntry {
    Bytes data;  // as it lies in the archive
    unsigned archive_size;
    unsigned offset;  // from the start of the data area
};

// The image with its record count field set to count_field.
inline Bytes archive_image(const std::vector<BuiltEntry>& entries, unsigned count_field)
{
    Bytes img(8 + 16 * entries.size(), 0);
    std::copy_n("zka", 4, img.begin() + 2);
    put_be16(img, 6, count_field);
    const std::size_t area = img.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        put_be16(img, 8 + 16 * i, entries[i].offset);
        put_be16(img, 8 + 16 * i + 2, entries[i].archive_size);
        std::fill_n(img.begin() + static_cast<long>(8 + 16 * i + 4), 12, 0xCC);  // not interpreted
        if (img.size() < area + entries[i].offset + entries[i].data.size())
            img.resize(area + entries[i].offset + entries[i].data.size());
        std::copy(entries[i].data.begin(), entries[i].data.end(),
                  img.begin() + static_cast<long>(area + entries[i].offset));
    }
    return img;
}

// A calculator variable file around the image, whose first two bytes are
// the variable's length word that the file builder writes itself.
inline Bytes archive_file(const Bytes& image)
{
    return calc_file(Bytes(image.begin() + 2, image.end()));
}

// Stored entries laid out one after another.
inline std::vector<BuiltEntry> laid_out(const std::vector<Bytes>& blobs)
{
    std::vector<BuiltEntry> entries;
    unsigned at = 0;
    for (const Bytes& b : blobs) {
        entries.push_back({b, static_cast<unsigned>(b.size()), at});
        at += static_cast<unsigned>(b.size());
    }
    return entries;
}

// The file of an archive that holds blobs one after another.
inline Bytes archive_of(const std::vector<Bytes>& blobs)
{
    return archive_file(archive_image(laid_out(blobs), static_cast<unsigned>(blobs.size())));
}

}  // namespace zktest
