// Builders shared by the zktiler tests: command lines, bitmaps and the
// pixels a tile must carry.
#pragma once

#include "cli.h"
#include "tiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zktiler_test {

using zktest::Bytes;

inline const std::string kBanner = zktest::banner("ZKTiler", "1.7");

inline const std::string& usage() { return zktest::usage_text("zktiler"); }

// The worked example: bitmap bytes AB CD 12 34, 16 x 2 pixels, tiles of
// 6 x 2, two values to a line, array "spr", tiled horizontally.
inline const Bytes kExample = {0xAB, 0xCD, 0x12, 0x34};

inline const std::string kExampleText =
    "// number of tiles in array spr\n"
    "#define TILENUMBER_SPR 2\n"
    "\n"
    "// height of one tile in array spr\n"
    "#define TILEHEIGHT_SPR 2\n"
    "\n"
    "// macro returns the address of tile nr from array spr\n"
    "#define TILEADDR_SPR(nr) &(spr[TILEHEIGHT_SPR*(nr)])\n"
    "\n"
    "unsigned char spr[TILENUMBER_SPR*TILEHEIGHT_SPR] = {\n"
    "// tile 0\n"
    "0xa8,0x10,\n"
    "// tile 1\n"
    "0xf0,0x8c\n"
    "};\n";

// The geometry of one run, as its command line gives it.
struct Geometry {
    int width;
    int height;
    int tilewidth;
    int tileheight;
    int entries = 4;
};

inline std::vector<std::string> tiler_args(const std::string& flag, const std::string& infile, const Geometry& g,
                                           const std::string& outfile, const std::string& arrayname = "")
{
    std::vector<std::string> args{flag,
                                  infile,
                                  std::to_string(g.width),
                                  std::to_string(g.height),
                                  std::to_string(g.tilewidth),
                                  std::to_string(g.tileheight),
                                  std::to_string(g.entries),
                                  outfile};
    if (!arrayname.empty()) args.push_back(arrayname);
    return args;
}

// A bitmap of one or two planes with random pixels.
inline Bytes random_bitmap(const Geometry& g, int planes, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(static_cast<std::size_t>(g.width / 8 * g.height * planes));
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

// The C text of bitmap, as zktiler writes it for the flag, the five numbers
// (width height t_width t_height entries) and the array name.
inline std::string tiles_text(const Bytes& bitmap, const std::vector<std::string>& numbers,
                              const std::string& flag = "-h", const std::string& arrayname = "data")
{
    namespace tiles = zk::tiles;
    tiles::Tiling t;
    const tiles::GeometryResult geometry = tiles::make_geometry(
        {numbers[0].c_str(), numbers[1].c_str(), numbers[2].c_str(), numbers[3].c_str(), numbers[4].c_str()});
    EXPECT_EQ(geometry.failure, std::nullopt);
    t.geometry = geometry.geometry;
    t.direction = flag[1] == 'v' ? tiles::Direction::Vertical : tiles::Direction::Horizontal;
    t.test_program = flag.size() == 3;
    t.arrayname = arrayname;
    const std::optional<tiles::Mode> mode = tiles::mode_for_size(t.geometry, static_cast<std::int64_t>(bitmap.size()));
    EXPECT_TRUE(mode);
    t.mode = mode.value_or(tiles::Mode::Mono);
    return tiles::c_text(t, bitmap);
}

// Pixel (x, y) of plane p: the most significant bit of a byte is its
// leftmost pixel.
inline bool pixel(const Bytes& bitmap, const Geometry& g, int p, int x, int y)
{
    std::size_t plane_size = static_cast<std::size_t>(g.width / 8 * g.height);
    std::uint8_t byte = bitmap[p * plane_size + static_cast<std::size_t>(y * (g.width / 8) + x / 8)];
    return (byte >> (7 - x % 8)) & 1;
}

// What the calculator shows of a bitmap once every tile is drawn in its
// place: the pixels inside the tiled area, nothing outside it.
inline Bytes tiled_area(const Bytes& bitmap, const Geometry& g, int planes)
{
    Bytes shown(bitmap.size());
    const int covered_w = g.width / g.tilewidth * g.tilewidth;
    const int covered_h = g.height / g.tileheight * g.tileheight;
    const std::size_t plane_size = static_cast<std::size_t>(g.width / 8 * g.height);
    for (int p = 0; p < planes; ++p)
        for (int y = 0; y < covered_h; ++y)
            for (int x = 0; x < covered_w; ++x)
                if (pixel(bitmap, g, p, x, y))
                    shown[p * plane_size + static_cast<std::size_t>(y * (g.width / 8) + x / 8)] |=
                        static_cast<std::uint8_t>(0x80 >> (x % 8));
    return shown;
}

}  // namespace zktiler_test
