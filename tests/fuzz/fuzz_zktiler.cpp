// zktiler's tile rows under random geometry: every stored row holds exactly
// the tile's pixels, read from a buffer of the bitmap's exact size, and the
// walk meets every tile once, inside the bitmap.
#include "tiles.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace tiles = zk::tiles;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    const int width = 8 * (data[0] % 12 + 1);
    const int height = data[1] % 24 + 1;
    const std::string numbers[] = {std::to_string(width), std::to_string(height),
                                   std::to_string(std::min(data[2] % 32 + 1, width)),
                                   std::to_string(data[3] % height + 1), "1"};
    const tiles::GeometryResult made = tiles::make_geometry(
        {numbers[0].c_str(), numbers[1].c_str(), numbers[2].c_str(), numbers[3].c_str(), numbers[4].c_str()});
    if (made.failure) std::abort();
    const tiles::Geometry& g = made.geometry;
    const bool gray = data[4] & 1;
    const tiles::Direction direction = data[4] & 2 ? tiles::Direction::Vertical : tiles::Direction::Horizontal;
    const std::size_t plane_size = static_cast<std::size_t>(width / 8 * height);

    std::vector<std::uint8_t> bitmap(plane_size * (gray ? 2 : 1));
    for (std::size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = 5 + i < size ? data[5 + i] : 0;
    if (tiles::mode_for_size(g, static_cast<std::int64_t>(bitmap.size())) !=
        (gray ? tiles::Mode::Gray4 : tiles::Mode::Mono))
        std::abort();
    const std::span<const std::uint8_t> view(bitmap);

    auto pixel = [&](std::size_t plane, long long x, long long y) -> unsigned {
        std::size_t at = plane + static_cast<std::size_t>(y * (width / 8) + x / 8);
        return at < bitmap.size() ? bitmap[at] >> (7 - x % 8) & 1 : 0;
    };
    std::vector<bool> seen(static_cast<std::size_t>(g.tilecount()));
    for (std::size_t plane : {std::size_t{0}, plane_size}) {
        if (plane && !gray) break;
        for (long long nr = 0; nr < g.tilecount(); ++nr) {
            const tiles::TileOrigin at = tiles::tile_origin(g, direction, nr);
            if (at.x % g.tilewidth || at.y % g.tileheight || at.x + g.tilewidth > width || at.y + g.tileheight > height)
                std::abort();
            const long long c = at.x / g.tilewidth, r = at.y / g.tileheight;
            const std::size_t index = static_cast<std::size_t>(r * g.hcount + c);
            if (plane == 0 && seen[index]) std::abort();
            seen[index] = true;
            for (int k = 0; k < g.tileheight; ++k) {
                std::uint32_t expect = 0;
                for (int i = 0; i < g.tilewidth; ++i)
                    expect |= static_cast<std::uint32_t>(pixel(plane, at.x + i, at.y + k)) << (g.destwidth - 1 - i);
                if (tiles::tile_row_value(g, view, plane, at.x, at.y + k) != expect) std::abort();
            }
        }
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) std::abort();
    return 0;
}
