#include "picture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace zk::picture {

// ---------------------------------------------------------------------------
// From pixels to levels

Lightness::Lightness(const png::Image& image, bool invert) : image_(image), invert_(invert)
{
    if (image.layout != png::Layout::Indexed) return;
    for (std::size_t i = 0; i < palette_light_.size(); ++i) {
        const png::Rgba& c = image.palette[i];
        palette_light_[i] = lightness(over_white(c.r, c.a), over_white(c.g, c.a), over_white(c.b, c.a));
    }
}

void Lightness::row(std::uint32_t y, std::uint8_t* light, std::uint8_t* alpha) const
{
    const std::uint8_t* p = image_.row(y);
    const std::uint32_t w = image_.width;
    switch (image_.layout) {
    case png::Layout::Grey:
        std::memcpy(light, p, w);
        if (alpha) std::memset(alpha, 255, w);
        break;
    case png::Layout::GreyAlpha:
        for (std::uint32_t x = 0; x < w; ++x, p += 2) {
            light[x] = over_white(p[0], p[1]);
            if (alpha) alpha[x] = p[1];
        }
        break;
    case png::Layout::Rgb:
        for (std::uint32_t x = 0; x < w; ++x, p += 3) light[x] = lightness(p[0], p[1], p[2]);
        if (alpha) std::memset(alpha, 255, w);
        break;
    case png::Layout::Rgba:
        for (std::uint32_t x = 0; x < w; ++x, p += 4) {
            light[x] = lightness(over_white(p[0], p[3]), over_white(p[1], p[3]), over_white(p[2], p[3]));
            if (alpha) alpha[x] = p[3];
        }
        break;
    case png::Layout::Indexed:
        for (std::uint32_t x = 0; x < w; ++x) {
            light[x] = palette_light_[p[x]];
            if (alpha) alpha[x] = image_.palette[p[x]].a;
        }
        break;
    }
    if (invert_)
        for (std::uint32_t x = 0; x < w; ++x) light[x] = static_cast<std::uint8_t>(255 - light[x]);
}

// A pixel's bits by its lightness: bit 0 for plane 1, bit 1 for plane 2.
static std::array<std::uint8_t, 256> plane_bits(const Levels& levels)
{
    std::array<std::uint8_t, 256> bits{};
    for (int y = 0; y < 256; ++y) {
        if (levels.planes == Planes::Mono)
            bits[y] = y < levels.threshold;
        else
            bits[y] = y <= kBlackUpTo ? 3 : y <= kDarkUpTo ? 2 : y <= kLightUpTo ? 1 : 0;
    }
    return bits;
}

// Bit `bit` of each pixel's code, packed into one row of a plane.
static void pack_row(const std::uint8_t* codes, std::uint32_t width, int bit, std::uint8_t* row)
{
    for (std::uint32_t x = 0; x < width; x += 8) {
        unsigned byte = 0;
        const std::uint32_t n = std::min<std::uint32_t>(8, width - x);
        for (std::uint32_t k = 0; k < n; ++k) byte |= (codes[x + k] >> bit & 1u) << (7 - k);
        row[x / 8] = static_cast<std::uint8_t>(byte);
    }
}

static bool shape(Bitmap& b, std::uint32_t width, std::uint32_t height, Planes planes, std::size_t& needed)
{
    b.width = width;
    b.height = height;
    b.planes = planes;
    needed = b.plane_size() * (planes == Planes::Gray4 ? 2 : 1);
    return b.bytes.resize(needed);
}

bool to_bitmap(const png::Image& image, const Levels& levels, Bitmap& bitmap, Bitmap* mask, std::size_t& needed)
{
    const std::uint32_t w = image.width;
    if (!shape(bitmap, w, image.height, levels.planes, needed)) return false;
    if (mask && !shape(*mask, w, image.height, Planes::Mono, needed)) return false;
    // Lightness, alpha, and the codes of a row.
    needed = 3 * std::size_t{w};
    const std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[needed]);
    if (!rows) return false;
    std::uint8_t* light = rows.get();
    std::uint8_t* alpha = light + w;
    std::uint8_t* codes = alpha + w;

    const std::array<std::uint8_t, 256> bits = plane_bits(levels);
    const Lightness source(image, levels.invert);
    const std::size_t row_bytes = bitmap.row_bytes();
    for (std::uint32_t y = 0; y < image.height; ++y) {
        source.row(y, light, mask ? alpha : nullptr);
        for (std::uint32_t x = 0; x < w; ++x) codes[x] = bits[light[x]];
        std::uint8_t* row = bitmap.bytes.data() + y * row_bytes;
        pack_row(codes, w, 0, row);
        if (levels.planes == Planes::Gray4) pack_row(codes, w, 1, row + bitmap.plane_size());
        if (mask) {
            for (std::uint32_t x = 0; x < w; ++x) codes[x] = alpha[x] >= kMaskAlpha;
            pack_row(codes, w, 0, mask->bytes.data() + y * row_bytes);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// From bitmaps to pixels

BitmapView raw_bitmap(const tiles::Geometry& g, tiles::Mode mode, std::span<const std::uint8_t> bytes)
{
    BitmapView v;
    v.width = static_cast<std::uint32_t>(g.width);
    v.height = static_cast<std::uint32_t>(g.height);
    v.row_bytes = v.width / 8;
    v.plane1 = bytes.data();
    if (mode == tiles::Mode::Gray4) v.plane2 = bytes.data() + bytes.size() / 2;
    return v;
}

// The lightness of each pixel of bitmap row y.
static void bitmap_row(const BitmapView& b, std::uint32_t y, std::uint8_t* light)
{
    static constexpr std::uint8_t kByPlanes[4] = {kWhite, kLight, kDark, kBlack};  // index: plane 2, plane 1 bits
    const std::uint8_t* p1 = b.plane1 + y * b.row_bytes;
    const std::uint8_t* p2 = b.plane2 ? b.plane2 + y * b.row_bytes : nullptr;
    for (std::uint32_t x = 0; x < b.width; ++x) {
        const unsigned shift = 7 - x % 8;
        const unsigned bit1 = p1[x / 8] >> shift & 1u;
        const unsigned bit2 = p2 ? p2[x / 8] >> shift & 1u : bit1;
        light[x] = kByPlanes[bit2 << 1 | bit1];
    }
}

Size drawing_size(std::uint32_t width, std::uint32_t height, int scale, const tiles::Geometry* grid)
{
    const auto n = static_cast<std::uint64_t>(scale);
    if (!grid) return {width * n, height * n};
    return {static_cast<std::uint64_t>(grid->hcount) * (grid->tilewidth * n + 1) + 1,
            static_cast<std::uint64_t>(grid->vcount) * (grid->tileheight * n + 1) + 1};
}

bool draw(const BitmapView& bitmap, int scale, const tiles::Geometry* grid, Canvas& canvas, std::size_t& needed)
{
    const Size size = drawing_size(bitmap.width, bitmap.height, scale, grid);
    canvas.width = static_cast<std::uint32_t>(size.width);
    canvas.height = static_cast<std::uint32_t>(size.height);
    canvas.channels = grid ? 3 : 1;
    const std::size_t stride = std::size_t{canvas.width} * static_cast<std::size_t>(canvas.channels);
    needed = stride * canvas.height;
    if (!canvas.samples.resize(needed)) return false;
    needed = bitmap.width;
    const std::unique_ptr<std::uint8_t[]> light(new (std::nothrow) std::uint8_t[needed]);
    if (!light) return false;
    const auto n = static_cast<std::size_t>(scale);
    std::uint8_t* out = canvas.samples.data();

    if (!grid) {
        for (std::uint32_t y = 0; y < bitmap.height; ++y) {
            bitmap_row(bitmap, y, light.get());
            std::uint8_t* first = out + y * n * stride;
            for (std::uint32_t x = 0; x < bitmap.width; ++x) std::memset(first + x * n, light[x], n);
            for (std::size_t k = 1; k < n; ++k) std::memcpy(first + k * stride, first, stride);
        }
        return true;
    }

    // Red everywhere, then every tile over it: what is left are the frames.
    for (std::size_t i = 0; i < std::size_t{canvas.width} * canvas.height; ++i)
        std::memcpy(out + 3 * i, kGridColour.data(), 3);
    const auto tile_w = static_cast<std::size_t>(grid->tilewidth);
    const auto tile_h = static_cast<std::size_t>(grid->tileheight);
    const auto hcount = static_cast<std::size_t>(grid->hcount);
    const auto vcount = static_cast<std::size_t>(grid->vcount);
    for (std::size_t r = 0; r < vcount; ++r) {
        for (std::size_t ty = 0; ty < tile_h; ++ty) {
            bitmap_row(bitmap, static_cast<std::uint32_t>(r * tile_h + ty), light.get());
            const std::size_t y0 = 1 + r * (tile_h * n + 1) + ty * n;
            std::uint8_t* first = out + y0 * stride;
            for (std::size_t c = 0; c < hcount; ++c) {
                const std::size_t x0 = 1 + c * (tile_w * n + 1);
                for (std::size_t tx = 0; tx < tile_w; ++tx) {
                    const std::uint8_t l = light[c * tile_w + tx];
                    std::memset(first + 3 * (x0 + tx * n), l, 3 * n);
                }
            }
            // The rows of the blocks below repeat this one inside the tiles;
            // the frame lines between them are the same in every row.
            for (std::size_t k = 1; k < n; ++k) std::memcpy(first + k * stride, first, stride);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Picture variables

static std::uint64_t picture_data_size(std::uint64_t width, std::uint64_t height)
{
    return kPictureSizeBytes + height * ((width + 7) / 8);
}

bool picture_fits(std::uint64_t width, std::uint64_t height)
{
    return width <= 0xFFFF && height <= 0xFFFF && picture_data_size(width, height) + 1 <= kCalcMaxDataSize;
}

CalcBuild build_picture_file(CalcKind kind, std::string_view folder, std::string_view name, const Bitmap& mono,
                             Buffer& out)
{
    if (!picture_fits(mono.width, mono.height)) {
        out.resize(0);
        return CalcBuild::TooLong;
    }
    const std::uint8_t size[kPictureSizeBytes] = {
        static_cast<std::uint8_t>(mono.height >> 8), static_cast<std::uint8_t>(mono.height),
        static_cast<std::uint8_t>(mono.width >> 8), static_cast<std::uint8_t>(mono.width)};
    const std::span<const std::uint8_t> data[] = {size, {mono.bytes.data(), mono.plane_size()}};
    return build_calc_file({kind, folder, name, kPictureTypeId, data, kPictureTag}, out);
}

PictureRead read_picture(std::span<const std::uint8_t> file, Picture& picture)
{
    const std::optional<CalcHeader> h = calc_header(file);
    if (!h || !calc_kind(file) || h->bytes[kCalcTypeIdOffset] != kPictureTypeId || file.size() < kCalcFraming + 1 ||
        file[file.size() - kCalcTrailerSize] != kPictureTag)
        return PictureRead::NotPicture;
    const std::size_t datasize = h->datasize();
    if (datasize != file.size() - kCalcFraming || datasize < kPictureSizeBytes + 1) return PictureRead::BadSize;
    const std::uint8_t* data = file.data() + kCalcDataStart;
    picture.height = static_cast<std::uint32_t>(data[0] << 8 | data[1]);
    picture.width = static_cast<std::uint32_t>(data[2] << 8 | data[3]);
    if (picture.width == 0 || picture.height == 0 ||
        picture_data_size(picture.width, picture.height) + 1 != datasize)
        return PictureRead::BadSize;
    picture.rows = file.subspan(kCalcDataStart + kPictureSizeBytes, datasize - kPictureSizeBytes - 1);
    return PictureRead::Ok;
}

BitmapView picture_bitmap(const Picture& picture)
{
    return {picture.width, picture.height, (std::size_t{picture.width} + 7) / 8, picture.rows.data(), nullptr};
}

}  // namespace zk::picture
