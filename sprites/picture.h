// Pictures and the bitmaps zktiler cuts: a PNG's pixels turned into one
// plane (black and white) or two (four grey levels), a bitmap drawn back
// into pixels, with the tiles zktiler would cut framed on request, and the
// calculator's picture variable.
//
// Contract: bytes in memory in, bytes out; nothing here prints or opens a
// file. A plane is `height` rows of (width + 7) / 8 bytes, the most
// significant bit of a byte its leftmost pixel, the bits right of the
// width clear. Two planes lie back to back: plane 1 the light one, plane 2
// the dark one, so that zktiler's two-plane array holds the light plane at
// index 0. A failed allocation is a result, never an exception.
#pragma once

#include "bytes.h"
#include "calcfile.h"
#include "png.h"
#include "tiles.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zk::picture {

// ---------------------------------------------------------------------------
// From pixels to levels

// A pixel's colour laid over white by its alpha, per channel.
constexpr std::uint8_t over_white(unsigned c, unsigned a)
{
    return static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

// Its lightness, 0 black to 255 white.
constexpr std::uint8_t lightness(unsigned r, unsigned g, unsigned b)
{
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

// The lightness and alpha of an image's pixels, row by row; inverted
// (255 - lightness) on request.
class Lightness {
public:
    Lightness(const png::Image& image, bool invert);
    // width bytes each; alpha may be null.
    void row(std::uint32_t y, std::uint8_t* light, std::uint8_t* alpha) const;

private:
    const png::Image& image_;
    bool invert_;
    std::array<std::uint8_t, 256> palette_light_{};  // Indexed: each entry's lightness, laid over white
};

enum class Planes { Mono, Gray4 };

inline constexpr int kDefaultThreshold = 128;
inline constexpr int kMaskAlpha = 128;  // a mask's bit is set from this alpha up

// Levels of gray4 by lightness: up to 42 black (both planes), up to 127
// dark grey (plane 2), up to 212 light grey (plane 1), white above.
inline constexpr int kBlackUpTo = 42;
inline constexpr int kDarkUpTo = 127;
inline constexpr int kLightUpTo = 212;

// And back: the lightness drawn for each level.
inline constexpr std::uint8_t kBlack = 0, kDark = 85, kLight = 170, kWhite = 255;

struct Levels {
    Planes planes = Planes::Mono;
    bool invert = false;
    int threshold = kDefaultThreshold;  // mono: a pixel is set (black) below it, 1 to 255
};

// One plane or two, as zktiler reads them, of a picture of width x height.
struct Bitmap {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Planes planes = Planes::Mono;
    Buffer bytes;

    std::size_t row_bytes() const { return (std::size_t{width} + 7) / 8; }
    std::uint32_t stored_width() const { return static_cast<std::uint32_t>(row_bytes() * 8); }
    std::size_t plane_size() const { return row_bytes() * height; }
};

// The planes of an image, and its mask when one is asked for: one plane
// whose bit is set where alpha is kMaskAlpha or more. False when memory
// cannot be had, needed then telling how much.
bool to_bitmap(const png::Image& image, const Levels& levels, Bitmap& bitmap, Bitmap* mask, std::size_t& needed);

// ---------------------------------------------------------------------------
// From bitmaps to pixels

// A bitmap to draw: one plane or two of `height` rows of row_bytes.
struct BitmapView {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t row_bytes = 0;
    const std::uint8_t* plane1 = nullptr;
    const std::uint8_t* plane2 = nullptr;  // null for one plane
};

// A raw bitmap of zktiler's, its planes decided by its size.
BitmapView raw_bitmap(const tiles::Geometry& g, tiles::Mode mode, std::span<const std::uint8_t> bytes);

// 8-bit samples, grey or RGB, rows without gaps.
struct Canvas {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 1;
    Buffer samples;
};

inline constexpr std::array<std::uint8_t, 3> kGridColour = {255, 0, 0};
inline constexpr int kMaxScale = 16;

// The size of a drawing: each pixel a scale x scale block; with a grid
// only zktiler's whole tiles, each framed by 1-pixel lines: hcount x
// (t_width * scale + 1) + 1 wide and vcount x (t_height * scale + 1) + 1 high.
struct Size {
    std::uint64_t width;
    std::uint64_t height;
};
Size drawing_size(std::uint32_t width, std::uint32_t height, int scale, const tiles::Geometry* grid);

// The drawing of a bitmap: grey without a grid, RGB with one (the tile at
// column c, row r beginning at x = 1 + c * (t_width * scale + 1),
// y = 1 + r * (t_height * scale + 1)). Set bits of one plane are black;
// of two, plane 1 alone light grey, plane 2 alone dark grey, both black.
// False when memory cannot be had, needed then telling how much.
bool draw(const BitmapView& bitmap, int scale, const tiles::Geometry* grid, Canvas& canvas, std::size_t& needed);

// ---------------------------------------------------------------------------
// Picture variables

// A picture variable's data: height and width (16 bits each, big-endian;
// the width in pixels), height rows of (width + 7) / 8 bytes, the tag.
inline constexpr std::uint8_t kPictureTypeId = 0x10;
inline constexpr std::uint8_t kPictureTag = 0xDF;
inline constexpr std::size_t kPictureSizeBytes = 4;

// Whether a picture's data and tag fit the data size word.
bool picture_fits(std::uint64_t width, std::uint64_t height);

// The variable file of a one-plane bitmap; TooLong when it does not fit.
CalcBuild build_picture_file(CalcKind kind, std::string_view folder, std::string_view name, const Bitmap& mono,
                             Buffer& out);

enum class PictureRead {
    Ok,
    NotPicture,  // not a picture variable of either calculator: signature, type identifier or tag
    BadSize,     // the data size word, or a size whose rows do not fill the data exactly, or no pixel
};

// The picture of a variable file whose lengths and checksum are checked
// (check_calc_file): its size and the rows in file.
struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::span<const std::uint8_t> rows;
};
PictureRead read_picture(std::span<const std::uint8_t> file, Picture& picture);

BitmapView picture_bitmap(const Picture& picture);

}  // namespace zk::picture
