// PNG files: every valid PNG read into 8-bit samples, and pictures of 8-bit
// grey or RGB samples written.
//
// Contract: bytes in memory in, samples or bytes out; nothing here prints
// or opens a file. The deflate coding, the row filters, interlacing and the
// scaling of samples are those of the stb headers (libstb-dev), which only
// png.cpp includes. What stb does not check, or does not do exactly as PNG
// defines it, is done there too: the CRC and the place of every chunk, the
// size limit read from the header before anything is decoded, the zlib
// stream's Adler-32 (read from the image data's last four bytes), that it
// inflates to exactly the image's length, every row's filter type, palette
// indices beyond the palette, and the transparent colour compared on whole
// samples.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zk::png {

// The largest image read or written: 2^24 pixels, 65535 on a side.
inline constexpr std::uint32_t kMaxSide = 65535;
inline constexpr std::uint64_t kMaxPixels = 16777216;

constexpr bool fits(std::uint64_t width, std::uint64_t height)
{
    return width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

// The header chunk, IHDR.
struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t depth = 0;        // bits per sample: 1, 2, 4, 8 or 16
    std::uint8_t colour_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGB and alpha
    bool interlaced = false;       // Adam7
};

enum class Status {
    Ok,
    NotPng,      // no PNG signature
    Truncated,   // the file ends inside its signature, inside a chunk or before IEND
    BadCrc,      // a chunk's CRC is wrong
    BadHeader,   // the first chunk is not a valid IHDR
    BadChunk,    // a chunk repeated, out of place, missing, of a wrong length, or critical and unknown
    BadData,     // the image data do not inflate to exactly the image's rows, or a row's filter type is unknown
    BadPalette,  // a pixel's palette index lies beyond the palette
    TooLarge,    // more than kMaxPixels pixels, or a side beyond kMaxSide
    NoMemory,
};

struct Result {
    Status status = Status::Ok;
    Header header;                // read from TooLarge on, and for the failures of decode
    std::array<char, 5> chunk{};  // the type of the chunk a BadCrc or BadChunk names, '?' for a byte not a letter
    std::size_t allocation = 0;   // the size that could not be had (NoMemory)
};

// Where the pieces of a checked file lie.
struct Chunks {
    Header header;
    std::span<const std::uint8_t> palette;       // the data of PLTE, RGB triples; empty without one
    std::span<const std::uint8_t> transparency;  // the data of tRNS; empty without one
    std::size_t image_begin = 0;                 // the IDAT chunks, which follow one another: the first's offset,
    std::size_t image_end = 0;                   // the offset after the last,
    std::size_t image_size = 0;                  // and the length of their data together
};

// The signature and every chunk up to IEND (bytes after it are not part of
// the PNG): CRCs, order and lengths, the header's fields; TooLarge as soon
// as the header is read, so that a small file claiming a huge image costs
// nothing.
Result check(std::span<const std::uint8_t> file, Chunks& chunks);

// How the samples of a pixel lie in a decoded image.
enum class Layout {
    Grey,       // 1 byte
    GreyAlpha,  // 2
    Rgb,        // 3
    Rgba,       // 4
    Indexed,    // 1: an index into the palette
};

struct Rgba {
    std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

// A decoded image: 8-bit samples, rows top to bottom without gaps. A
// sample of 1, 2 or 4 bits is scaled to 8 (x255, x85, x17); of 16 bits it
// keeps its high byte. A grey or RGB image with a transparent colour has
// an alpha sample (0 where the pixel's samples equal it, else 255).
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Layout layout = Layout::Grey;
    std::array<Rgba, 256> palette{};  // Indexed: the colours, alpha 255 where tRNS gives none
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> samples;

    int channels() const;
    const std::uint8_t* row(std::uint32_t y) const
    {
        return samples.get() + static_cast<std::size_t>(y) * width * static_cast<std::size_t>(channels());
    }
};

// The pixels of a file that check passed, with the pieces it found.
Result decode(std::span<const std::uint8_t> file, const Chunks& chunks, Image& image);

// A written PNG, in memory.
struct Encoded {
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> bytes;
    std::size_t size = 0;
};

// A PNG of 8-bit samples, grey (channels 1) or RGB (channels 3), rows
// without gaps: signature, IHDR, one IDAT and IEND. Ok or NoMemory; the
// size must fit (fits), at least 1 x 1.
Result encode(const std::uint8_t* samples, std::uint32_t width, std::uint32_t height, int channels, Encoded& out);

}  // namespace zk::png
