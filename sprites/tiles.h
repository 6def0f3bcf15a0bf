// Sprite tiles cut from a raw bitmap, and the C source that carries them.
//
// Contract: numbers and bytes in memory in, numbers and text out. The
// geometry comes from the five numbers of zktiler's command line, checked
// in a fixed order that decides which failure is reported. A bitmap is one
// plane (black and white) or two planes back to back (four grey levels);
// a plane is `height` rows of width / 8 bytes, the most significant bit of
// a byte its leftmost pixel. Nothing is read past the bitmap's span. The C
// text goes to a stream or a string that the caller hands in; nothing here
// prints to the console or opens a file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zk::tiles {

enum class Direction { Horizontal, Vertical };  // tile rows first, or tile columns first
enum class Mode { Mono, Gray4 };                // one plane, or two

inline constexpr int kMaxTileWidth = 32;
inline constexpr int kMaxEntries = 20;
inline constexpr int kPixelsPerByte = 8;

// The five numbers and what follows from them.
struct Geometry {
    int width = 0;
    int height = 0;
    int tilewidth = 0;
    int tileheight = 0;
    int entries = 0;  // values per line of the C text
    int hcount = 0;   // tiles per tile row
    int vcount = 0;   // tiles per tile column
    int destwidth = 0;  // bits of one stored sprite row: 8, 16 or 32
    int padding = 0;    // bits on the right of a stored row outside the tile
    std::uint32_t paddmask = 0;

    // 64-bit: a large bitmap of one-pixel tiles has more tiles than 32 bits count.
    long long tilecount() const { return static_cast<long long>(hcount) * vcount; }
};

// The numbers in their command-line order.
enum class Number { Width, Height, TileWidth, TileHeight, Entries };
inline constexpr std::size_t kNumbers = 5;

enum class Rule { Parses, MultipleOf8, Positive, AtMost32, AtMostWidth, AtMostHeight, OneTo20 };

// One check of one number.
struct NumberCheck {
    Number number;
    Rule rule;
    bool operator==(const NumberCheck&) const = default;
};

// Every check in its order; the first that fails is the one reported.
inline constexpr NumberCheck kNumberChecks[] = {
    {Number::Width, Rule::Parses},          {Number::Width, Rule::MultipleOf8},
    {Number::Width, Rule::Positive},        {Number::Height, Rule::Parses},
    {Number::Height, Rule::Positive},       {Number::TileWidth, Rule::Parses},
    {Number::TileWidth, Rule::Positive},    {Number::TileWidth, Rule::AtMost32},
    {Number::TileWidth, Rule::AtMostWidth}, {Number::TileHeight, Rule::Parses},
    {Number::TileHeight, Rule::Positive},   {Number::TileHeight, Rule::AtMostHeight},
    {Number::Entries, Rule::Parses},        {Number::Entries, Rule::OneTo20},
};

// The first check that failed, and the number it read (0 for Parses).
struct GeometryFailure {
    NumberCheck check;
    int value = 0;
    bool operator==(const GeometryFailure&) const = default;
};

struct GeometryResult {
    Geometry geometry;
    std::optional<GeometryFailure> failure;  // empty when every check passed
};

// The geometry from the numbers' texts, each read as "%d" reads a number
// (a value beyond 32 bits does not parse), or the first check they fail.
GeometryResult make_geometry(const std::array<const char*, kNumbers>& numbers);

// The tiles of a bitmap whose width and height are known already (any
// width, a picture's own): only the checks of t_width and t_height, in
// their order, and one value per line.
GeometryResult make_tile_geometry(int width, int height, const char* tilewidth, const char* tileheight);

// The mode whose bitmap has exactly filesize bytes, if any.
std::optional<Mode> mode_for_size(const Geometry& g, std::int64_t filesize);

// The stored row of a tile: the destwidth bits of pixel row y of the plane
// that begins at byte plane, starting at pixel x, the padding bits
// cleared. Bytes past the end of bitmap count as 0.
std::uint32_t tile_row_value(const Geometry& g, std::span<const std::uint8_t> bitmap, std::size_t plane,
                             long long x, long long y);

// The top-left pixel of tile nr in the walk order of the direction: tile
// rows first (Horizontal) or tile columns first (Vertical).
struct TileOrigin {
    long long x;
    long long y;
};
TileOrigin tile_origin(const Geometry& g, Direction direction, long long nr);

// Everything the C text is written from besides the bitmap.
struct Tiling {
    Geometry geometry;
    Direction direction = Direction::Horizontal;
    Mode mode = Mode::Mono;
    bool test_program = false;  // a complete calculator program around the array
    std::string_view arrayname = "data";
};

// The C text: the test program's head (on request), the three macros, the
// array of every tile of one plane or both, the test program's _main (on
// request). Write errors are left in the stream for its closer to see.
void write_c_text(std::FILE* out, const Tiling& tiling, std::span<const std::uint8_t> bitmap);
std::string c_text(const Tiling& tiling, std::span<const std::uint8_t> bitmap);

}  // namespace zk::tiles
