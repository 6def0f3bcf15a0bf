// The picture variable reader on any bytes (first byte odd): a file that
// passes the calculator file checks for the picture's tag is read, or
// refused as no picture or of a bad size; a picture read has exactly its
// rows, and is drawn at the size its grid gives, frames red and pixels
// black or white. And the writer (first byte even): any one-plane bitmap
// built into a variable passes those checks and comes back unchanged.
#include "calcfile.h"
#include "picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace picture = zk::picture;

namespace {

void require(bool holds)
{
    if (!holds) std::abort();
}

zk::CalcCheck checked(std::vector<std::uint8_t>& file)
{
    if (file.empty()) return zk::CalcCheck::NoHeader;
    std::FILE* f = fmemopen(file.data(), file.size(), "rb");
    const zk::CalcCheck status = zk::check_calc_file(f, picture::kPictureTag).status;
    std::fclose(f);
    return status;
}

// The drawing of a picture at a scale and with a grid from the input.
void check_drawing(const picture::Picture& pic, const std::uint8_t* data)
{
    const int scale = data[2] % 3 + 1;
    const std::string tw = std::to_string(data[3] % 34), th = std::to_string(data[4] % (pic.height + 1));
    const int width = static_cast<int>(pic.width), height = static_cast<int>(pic.height);
    const zk::tiles::GeometryResult g = zk::tiles::make_tile_geometry(width, height, tw.c_str(), th.c_str());
    const zk::tiles::Geometry* grid = data[1] & 2 && !g.failure ? &g.geometry : nullptr;
    const picture::Size size = picture::drawing_size(pic.width, pic.height, scale, grid);
    if (!zk::png::fits(size.width, size.height)) return;
    picture::Canvas canvas;
    std::size_t needed = 0;
    if (!picture::draw(picture::picture_bitmap(pic), scale, grid, canvas, needed)) return;
    require(canvas.width == size.width && canvas.height == size.height);
    const std::size_t row_bytes = (std::size_t{pic.width} + 7) / 8;
    for (std::uint32_t y = 0; y < canvas.height; ++y)
        for (std::uint32_t x = 0; x < canvas.width; ++x) {
            const std::uint8_t* p = canvas.samples.data() + (std::size_t{y} * canvas.width + x) * canvas.channels;
            std::uint32_t px = x / scale, py = y / scale;
            if (grid) {
                const std::uint32_t cell_w = grid->tilewidth * scale + 1, cell_h = grid->tileheight * scale + 1;
                if (x % cell_w == 0 || y % cell_h == 0) {
                    require(p[0] == 255 && p[1] == 0 && p[2] == 0);
                    continue;
                }
                px = x / cell_w * grid->tilewidth + (x % cell_w - 1) / scale;
                py = y / cell_h * grid->tileheight + (y % cell_h - 1) / scale;
            }
            const std::uint8_t want = pic.rows[py * row_bytes + px / 8] >> (7 - px % 8) & 1 ? 0 : 255;
            for (int c = 0; c < canvas.channels; ++c) require(p[c] == want);
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    if (data[0] & 1) {
        std::vector<std::uint8_t> file(data + 5, data + size);
        if (checked(file) != zk::CalcCheck::Ok) return 0;
        picture::Picture pic;
        if (picture::read_picture(file, pic) != picture::PictureRead::Ok) return 0;
        require(pic.width && pic.height && pic.rows.size() == pic.height * ((std::size_t{pic.width} + 7) / 8));
        require(pic.rows.data() == file.data() + zk::kCalcDataStart + picture::kPictureSizeBytes);
        check_drawing(pic, data);
        return 0;
    }
    // A bitmap of the input's size, its padding cleared as the tools leave it.
    picture::Bitmap mono;
    mono.width = data[1] % 300 + 1;
    mono.height = data[2] % 40 + 1;
    if (!mono.bytes.resize(mono.plane_size())) return 0;
    for (std::size_t i = 0; i < mono.plane_size(); ++i) {
        std::uint8_t b = 5 + i < size ? data[5 + i] : static_cast<std::uint8_t>(i);
        if (i % mono.row_bytes() == mono.row_bytes() - 1 && mono.width % 8)
            b &= static_cast<std::uint8_t>(0xFF00 >> (mono.width % 8));
        mono.bytes.data()[i] = b;
    }
    zk::Buffer built;
    if (picture::build_picture_file(data[3] & 1 ? zk::CalcKind::Ti89 : zk::CalcKind::Ti92Plus, "main", "pic", mono,
                                    built) != zk::CalcBuild::Ok)
        return 0;
    std::vector<std::uint8_t> file(built.data(), built.data() + built.size());
    require(checked(file) == zk::CalcCheck::Ok);
    picture::Picture pic;
    require(picture::read_picture(file, pic) == picture::PictureRead::Ok);
    require(pic.width == mono.width && pic.height == mono.height);
    require(std::equal(pic.rows.begin(), pic.rows.end(), mono.bytes.data(), mono.bytes.data() + mono.plane_size()));
    check_drawing(pic, data);
    return 0;
}
