// zktiler's tile rows under random geometry: every stored row holds exactly
// the tile's pixels, read from a buffer of the bitmap's exact size.
#include "../../tiler/zktiler.cpp"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    TilerSettings s;
    s.width = 8 * (data[0] % 12 + 1);
    s.height = data[1] % 24 + 1;
    s.tilewidth = std::min(data[2] % 32 + 1, s.width);
    s.tileheight = data[3] % s.height + 1;
    s.mode = data[4] & 1 ? Mode::Gray4 : Mode::Mono;
    s.direction = data[4] & 2 ? Direction::Vertical : Direction::Horizontal;
    s.destwidth = destwidth_for(s.tilewidth);
    s.padding = s.destwidth - s.tilewidth;
    s.paddmask = paddmask_for(s.tilewidth);
    s.hcount = s.width / s.tilewidth;
    s.vcount = s.height / s.tileheight;
    const std::size_t plane_size = static_cast<std::size_t>(s.width / 8 * s.height);
    s.filesize = static_cast<long>(plane_size * (s.mode == Mode::Gray4 ? 2 : 1));

    std::vector<std::uint8_t> bitmap(static_cast<std::size_t>(s.filesize));
    for (std::size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = 5 + i < size ? data[5 + i] : 0;
    const std::span<const std::uint8_t> view(bitmap);

    auto pixel = [&](std::size_t plane, long long x, long long y) -> unsigned {
        std::size_t at = plane + static_cast<std::size_t>(y * (s.width / 8) + x / 8);
        return at < bitmap.size() ? bitmap[at] >> (7 - x % 8) & 1 : 0;
    };
    std::vector<bool> seen(static_cast<std::size_t>(s.tilecount()));
    for (std::size_t plane : {std::size_t{0}, plane_size}) {
        if (plane && s.mode == Mode::Mono) break;
        walk_tiles(s, [&](long long nr, long long x, long long y) {
            if (nr < 0 || nr >= s.tilecount() || x + s.tilewidth > s.width || y + s.tileheight > s.height)
                std::abort();
            seen[static_cast<std::size_t>(nr)] = true;
            for (int k = 0; k < s.tileheight; ++k) {
                std::uint32_t expect = 0;
                for (int i = 0; i < s.tilewidth; ++i)
                    expect |= static_cast<std::uint32_t>(pixel(plane, x + i, y + k)) << (s.destwidth - 1 - i);
                if (tile_row_value(s, view, plane, x, y + k) != expect) std::abort();
            }
        });
    }
    for (bool b : seen)
        if (!b) std::abort();
    return 0;
}
