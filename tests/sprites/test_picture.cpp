// The picture library in process: PNG files of every kind read to the
// levels the rules give, the refusals, planes and masks, drawings with and
// without the grid, and picture variables through the calculator file
// library's reader and checksum.
#include "calc_builder.h"
#include "picture.h"
#include "png_builder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace zktest;
namespace png = zk::png;
namespace picture = zk::picture;

namespace {

png::Result read_png(const PngBytes& file, png::Image& image)
{
    png::Chunks chunks;
    const png::Result checked = png::check(file, chunks);
    return checked.status == png::Status::Ok ? png::decode(file, chunks, image) : checked;
}

// Random samples for every pixel of s, as its depth holds them.
void fill(PngRecipe& s, unsigned seed, unsigned entries = 0)
{
    std::mt19937 rng(seed);
    s.samples.resize(std::size_t{s.width} * s.height * png_channels(s.colour_type));
    const unsigned limit = entries ? entries : 1u << s.depth;
    for (unsigned& v : s.samples) v = rng() % limit;
}

Bytes bytes_of(const zk::Buffer& b) { return Bytes(b.data(), b.data() + b.size()); }

// The bitmap of one row of 8-bit grey lightnesses.
Bytes bitmap_of(const std::vector<unsigned>& light, const picture::Levels& levels, Bytes* mask = nullptr)
{
    png::Image image;
    EXPECT_EQ(read_png(grey_row_png(light), image).status, png::Status::Ok);
    picture::Bitmap bitmap, mask_bitmap;
    std::size_t needed = 0;
    EXPECT_TRUE(picture::to_bitmap(image, levels, bitmap, mask ? &mask_bitmap : nullptr, needed));
    if (mask) *mask = bytes_of(mask_bitmap.bytes);
    return bytes_of(bitmap.bytes);
}

}  // namespace

TEST(PngRead, EveryColourTypeDepthAndInterlacing)
{
    struct Kind {
        int colour_type;
        std::vector<int> depths;
    };
    const Kind kinds[] = {{0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    unsigned seed = 1;
    for (const Kind& k : kinds)
        for (int depth : k.depths)
            for (bool interlaced : {false, true})
                for (bool transparency : {false, true}) {
                    if (transparency && (k.colour_type == 4 || k.colour_type == 6)) continue;
                    SCOPED_TRACE(testing::Message() << "type " << k.colour_type << " depth " << depth << " interlaced "
                                                    << interlaced << " tRNS " << transparency);
                    // 13 x 11: every pass of Adam7 holds pixels, and no row fills its last byte.
                    PngRecipe s{.width = 13, .height = 11, .depth = depth, .colour_type = k.colour_type,
                              .interlaced = interlaced};
                    const unsigned entries = k.colour_type == 3 ? std::min(5u, 1u << depth) : 0;
                    fill(s, seed++, entries);
                    if (k.colour_type == 3) {
                        s.palette = {0, 0, 0, 255, 255, 255, 200, 10, 40, 12, 99, 240, 128, 128, 128};
                        s.palette.resize(3 * entries);
                        if (transparency) {
                            // Fewer entries than the palette: the last one is opaque.
                            s.transparency = {0, 128, 255, 77};
                            s.transparency.resize(entries - 1);
                        }
                    } else if (transparency) {
                        // The first pixel's own samples: at least that one is transparent.
                        for (int c = 0; c < png_channels(k.colour_type); ++c)
                            s.transparency.insert(s.transparency.end(), {static_cast<std::uint8_t>(s.samples[c] >> 8),
                                                                         static_cast<std::uint8_t>(s.samples[c])});
                    }
                    png::Image image;
                    ASSERT_EQ(read_png(png_file(s), image).status, png::Status::Ok);
                    ASSERT_EQ(image.width, 13u);
                    ASSERT_EQ(image.height, 11u);
                    const picture::Lightness lightness(image, false);
                    std::uint8_t light[13], alpha[13];
                    for (std::uint32_t y = 0; y < 11; ++y) {
                        lightness.row(y, light, alpha);
                        for (std::uint32_t x = 0; x < 13; ++x) {
                            const PngPixel want = reference_pixel(s, x, y);
                            ASSERT_EQ(light[x], want.light) << x << "," << y;
                            ASSERT_EQ(alpha[x], want.alpha) << x << "," << y;
                        }
                    }
                }
}

TEST(PngRead, TransparentColourIsComparedOnWholeSamples)
{
    // 16 bits: 0x12FF has the high byte of the transparent 0x1234, and stays.
    PngRecipe s{.width = 2, .depth = 16, .samples = {0x1234, 0x12FF}, .transparency = {0x12, 0x34}};
    png::Image image;
    ASSERT_EQ(read_png(png_file(s), image).status, png::Status::Ok);
    ASSERT_EQ(image.layout, png::Layout::GreyAlpha);
    EXPECT_EQ(image.row(0)[1], 0);
    EXPECT_EQ(image.row(0)[3], 255);
    // Beyond the depth (8 bits: 0x0100; 2 bits: 5), it equals no sample.
    for (const PngRecipe& beyond : {PngRecipe{.width = 2, .samples = {0, 1}, .transparency = {1, 0}},
                                  PngRecipe{.width = 2, .depth = 2, .samples = {1, 3}, .transparency = {0, 5}}}) {
        png::Image opaque;
        ASSERT_EQ(read_png(png_file(beyond), opaque).status, png::Status::Ok);
        EXPECT_EQ(opaque.layout, png::Layout::Grey);
    }
}

TEST(PngRead, Refusals)
{
    PngRecipe s{.width = 3, .height = 2, .colour_type = 3, .samples = {0, 1, 0, 1, 1, 0}, .palette = {0, 0, 0, 9, 9, 9}};
    const PngBytes good = png_file(s);
    const PngBytes head(good.begin(), good.begin() + 33);  // signature and IHDR
    const PngBytes plte = png_chunk("PLTE", s.palette), iend = png_chunk("IEND", {});
    const PngBytes idat = png_chunk("IDAT", zlib_stored(png_rows(s)));
    auto file = [](std::initializer_list<PngBytes> parts) {
        PngBytes f;
        for (const PngBytes& p : parts) f.insert(f.end(), p.begin(), p.end());
        return f;
    };
    auto header = [&](auto change) {
        PngBytes h = png_header(s);
        change(h);
        return file({kPngSignature, png_chunk("IHDR", h)});
    };
    auto data = [&](PngBytes rows, std::size_t cut = 0, std::uint8_t adler_error = 0) {
        PngBytes z = zlib_stored(rows);
        z.resize(z.size() - cut);
        z.back() ^= adler_error;
        return file({head, plte, png_chunk("IDAT", z), iend});
    };
    PngBytes rows = png_rows(s);
    PngBytes bad_filter = rows;
    bad_filter[0] = 5;
    PngBytes bad_index = rows;
    bad_index[1] = 2;  // the first pixel's index, beyond a palette of two

    const std::pair<png::Status, PngBytes> cases[] = {
        {png::Status::Ok, good},
        {png::Status::Ok, file({good, {'j', 'u', 'n', 'k'}})},  // after IEND, not part of the PNG
        {png::Status::Ok, file({head, plte, png_chunk("tEXt", {'a', 0, 'b'}), idat, iend})},
        {png::Status::NotPng, {}},
        {png::Status::NotPng, PngBytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
        {png::Status::Truncated, PngBytes(kPngSignature.begin(), kPngSignature.begin() + 5)},
        {png::Status::Truncated, PngBytes(good.begin(), good.end() - 1)},
        {png::Status::Truncated, file({head, plte, idat})},
        {png::Status::BadCrc, file({kPngSignature, png_chunk("IHDR", png_header(s), 1), plte, idat, iend})},
        {png::Status::BadCrc, file({head, plte, png_chunk("zzZz", {}, 0x100), idat, iend})},
        {png::Status::BadHeader, file({kPngSignature, plte, head, idat, iend})},
        {png::Status::BadHeader, header([](PngBytes& h) { h[8] = 16; })},  // no 16-bit palette
        {png::Status::BadHeader, header([](PngBytes& h) { h[12] = 2; })},
        {png::Status::BadHeader, header([](PngBytes& h) { h[3] = 0; })},   // width 0
        {png::Status::BadChunk, file({head, idat, iend})},                  // no PLTE
        {png::Status::BadChunk, file({head, plte, idat, plte, iend})},
        {png::Status::BadChunk, file({head, plte, png_chunk("tRNS", {1, 2, 3}), idat, iend})},  // 3 of 2 entries
        {png::Status::BadChunk, file({head, plte, idat, png_chunk("tEXt", {}), idat, iend})},
        {png::Status::BadChunk, file({head, plte, png_chunk("ABCD", {}), idat, iend})},
        {png::Status::BadChunk, file({head, plte, png_chunk("a1cd", {}), idat, iend})},
        {png::Status::BadChunk, file({head, plte, iend})},
        {png::Status::BadChunk, file({head, plte, idat, png_chunk("IEND", {0})})},
        {png::Status::BadData, data(rows, 0, 1)},
        {png::Status::BadData, data(PngBytes(rows.begin(), rows.end() - 1))},
        {png::Status::BadData, data(file({rows, {0}}))},  // a byte more than the rows
        {png::Status::BadData, data(bad_filter)},
        {png::Status::BadPalette, data(bad_index)},
        // Decided from the header, before the missing data are looked for.
        {png::Status::TooLarge, header([](PngBytes& h) { h = {0, 1, 0, 0, 0, 0, 0, 1, 8, 0, 0, 0, 0}; })},
        {png::Status::TooLarge, header([](PngBytes& h) { h = {0, 0, 16, 1, 0, 0, 16, 0, 1, 0, 0, 0, 0}; })},
    };
    for (const auto& [status, bytes] : cases) {
        png::Image image;
        const png::Result r = read_png(bytes, image);
        EXPECT_EQ(r.status, status) << &bytes - &cases[0].second;
    }
    png::Chunks chunks;
    EXPECT_STREQ(png::check(cases[9].second, chunks).chunk.data(), "zzZz");
    EXPECT_STREQ(png::check(cases[14].second, chunks).chunk.data(), "PLTE");
    EXPECT_STREQ(png::check(cases[19].second, chunks).chunk.data(), "a?cd");
    const png::Result large = png::check(cases[28].second, chunks);
    EXPECT_EQ(large.header.width, 4097u);
    EXPECT_EQ(large.header.height, 4096u);
}

TEST(PngWrite, GreyAndColourReadBack)
{
    for (int channels : {1, 3}) {
        std::vector<std::uint8_t> samples(std::size_t{7} * 5 * channels);
        for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 37);
        png::Encoded encoded;
        ASSERT_EQ(png::encode(samples.data(), 7, 5, channels, encoded).status, png::Status::Ok);
        png::Image image;
        ASSERT_EQ(read_png(PngBytes(encoded.bytes.get(), encoded.bytes.get() + encoded.size), image).status,
                  png::Status::Ok);
        EXPECT_EQ(image.layout, channels == 1 ? png::Layout::Grey : png::Layout::Rgb);
        EXPECT_EQ(std::vector<std::uint8_t>(image.samples.get(), image.samples.get() + samples.size()), samples);
    }
}

TEST(PictureLevels, RulesAndBoundaries)
{
    EXPECT_EQ(picture::over_white(0, 128), 127);  // (0 + 255 * 127 + 127) / 255
    EXPECT_EQ(picture::over_white(200, 255), 200);
    EXPECT_EQ(picture::over_white(0, 0), 255);
    EXPECT_EQ(picture::lightness(255, 0, 0), 76);  // (299 * 255 + 500) / 1000
    EXPECT_EQ(picture::lightness(0, 255, 255), 179);

    const std::vector<unsigned> light = {0, 42, 43, 127, 128, 212, 213, 255};
    EXPECT_EQ(bitmap_of(light, {}), Bytes{0xF0});
    EXPECT_EQ(bitmap_of(light, {.invert = true}), Bytes{0x0F});
    EXPECT_EQ(bitmap_of(light, {.threshold = 43}), Bytes{0xC0});
    EXPECT_EQ(bitmap_of(light, {.threshold = 1}), Bytes{0x80});
    EXPECT_EQ(bitmap_of(light, {.threshold = 255}), Bytes{0xFE});
    // Plane 1 (light) first: black sets both, dark grey plane 2, light grey plane 1.
    EXPECT_EQ(bitmap_of(light, {.planes = picture::Planes::Gray4}), (Bytes{0xCC, 0xF0}));
}

TEST(PictureLevels, OddWidthsArePaddedAndMasksFollowAlpha)
{
    Bytes mask;
    EXPECT_EQ(bitmap_of(std::vector<unsigned>(13, 0), {}, &mask), (Bytes{0xFF, 0xF8}));
    EXPECT_EQ(mask, (Bytes{0xFF, 0xF8}));

    // Alpha 127 and 128 either side of the mask's boundary; inverting leaves the mask.
    PngRecipe s{.width = 3, .colour_type = 4, .samples = {0, 127, 0, 128, 255, 0}};
    png::Image image;
    ASSERT_EQ(read_png(png_file(s), image).status, png::Status::Ok);
    picture::Bitmap bitmap, mask_bitmap;
    std::size_t needed = 0;
    ASSERT_TRUE(picture::to_bitmap(image, {.invert = true}, bitmap, &mask_bitmap, needed));
    // Lightness 128, 127 and white over white, inverted: 127, 128 and 0.
    EXPECT_EQ(bytes_of(bitmap.bytes), Bytes{0xA0});
    EXPECT_EQ(bytes_of(mask_bitmap.bytes), Bytes{0x40});
    EXPECT_EQ(bitmap.stored_width(), 8u);
}

TEST(PictureDraw, LevelsAndScale)
{
    // 8 x 1 in two planes: plane 1 0b0101..., plane 2 0b0011...
    const Bytes planes = {0x55, 0x33};
    const zk::tiles::GeometryResult g = zk::tiles::make_geometry({"8", "1", "1", "1", "1"});
    picture::Canvas canvas;
    std::size_t needed = 0;
    ASSERT_TRUE(picture::draw(picture::raw_bitmap(g.geometry, zk::tiles::Mode::Gray4, planes), 2, nullptr, canvas,
                              needed));
    EXPECT_EQ(canvas.width, 16u);
    EXPECT_EQ(canvas.height, 2u);
    EXPECT_EQ(canvas.channels, 1);
    const std::vector<std::uint8_t> row = {255, 255, 170, 170, 85, 85, 0, 0};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(canvas.samples.data()[y * 16 + x], row[x]);

    ASSERT_TRUE(picture::draw(picture::raw_bitmap(g.geometry, zk::tiles::Mode::Mono, {planes.data(), 1}), 1, nullptr,
                              canvas, needed));
    EXPECT_EQ(std::vector<std::uint8_t>(canvas.samples.data(), canvas.samples.data() + 4),
              (std::vector<std::uint8_t>{255, 0, 255, 0}));
}

TEST(PictureDraw, GridGeometry)
{
    // 24 x 10 pixels, tiles of 7 x 4 at scale 2: 3 x 2 whole tiles; the
    // last 3 columns and 2 rows belong to none.
    const zk::tiles::GeometryResult g = zk::tiles::make_geometry({"24", "10", "7", "4", "1"});
    ASSERT_FALSE(g.failure);
    Bytes bitmap(30);
    for (std::size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<std::uint8_t>(i * 73 + 5);
    const picture::BitmapView view = picture::raw_bitmap(g.geometry, zk::tiles::Mode::Mono, bitmap);
    picture::Canvas canvas;
    std::size_t needed = 0;
    ASSERT_TRUE(picture::draw(view, 2, &g.geometry, canvas, needed));
    ASSERT_EQ(canvas.width, 3u * (7 * 2 + 1) + 1);
    ASSERT_EQ(canvas.height, 2u * (4 * 2 + 1) + 1);
    ASSERT_EQ(canvas.channels, 3);
    for (std::uint32_t y = 0; y < canvas.height; ++y)
        for (std::uint32_t x = 0; x < canvas.width; ++x) {
            const std::uint8_t* p = canvas.samples.data() + 3 * (std::size_t{y} * canvas.width + x);
            const bool line = x % 15 == 0 || y % 9 == 0;
            std::array<std::uint8_t, 3> want = picture::kGridColour;
            if (!line) {
                // Tile (c, r) begins at 1 + c * 15, 1 + r * 9.
                const std::uint32_t px = x / 15 * 7 + (x % 15 - 1) / 2, py = y / 9 * 4 + (y % 9 - 1) / 2;
                const std::uint8_t l = bitmap[py * 3 + px / 8] >> (7 - px % 8) & 1 ? 0 : 255;
                want = {l, l, l};
            }
            ASSERT_EQ((std::array<std::uint8_t, 3>{p[0], p[1], p[2]}), want) << x << "," << y;
        }
    // The tile sizes of a picture's own width, which need not be a multiple of 8.
    const zk::tiles::GeometryResult own = zk::tiles::make_tile_geometry(13, 5, "6", "5");
    EXPECT_EQ(own.geometry.hcount, 2);
    EXPECT_EQ(own.geometry.vcount, 1);
    const zk::tiles::GeometryResult wide = zk::tiles::make_tile_geometry(13, 5, "14", "5");
    ASSERT_TRUE(wide.failure);
    EXPECT_EQ(wide.failure->check, (zk::tiles::NumberCheck{zk::tiles::Number::TileWidth, zk::tiles::Rule::AtMostWidth}));
}

TEST(PictureVariable, WrittenAndReadThroughTheCalculatorFileLibrary)
{
    png::Image image;
    ASSERT_EQ(read_png(grey_row_png({0, 255, 0, 0, 255, 255, 255, 255, 0, 0, 0}), image).status, png::Status::Ok);
    picture::Bitmap mono;
    std::size_t needed = 0;
    ASSERT_TRUE(picture::to_bitmap(image, {}, mono, nullptr, needed));
    zk::Buffer built;
    ASSERT_EQ(picture::build_picture_file(zk::CalcKind::Ti92Plus, "games", "logo", mono, built), zk::CalcBuild::Ok);
    const Bytes file = bytes_of(built);
    EXPECT_EQ(file, calc_file({0, 1, 0, 11, 0xB0, 0xE0, 0xDF}, kSig92, "games", "logo", 0x10));

    Bytes copy = file;
    std::FILE* f = fmemopen(copy.data(), copy.size(), "rb");
    EXPECT_EQ(zk::check_calc_file(f, picture::kPictureTag).status, zk::CalcCheck::Ok);
    EXPECT_EQ(zk::check_calc_file(f).status, zk::CalcCheck::UnknownType);  // zkinfo and zkchecksum refuse it
    std::fclose(f);

    picture::Picture pic;
    ASSERT_EQ(picture::read_picture(file, pic), picture::PictureRead::Ok);
    EXPECT_EQ(pic.width, 11u);
    EXPECT_EQ(pic.height, 1u);
    EXPECT_EQ(Bytes(pic.rows.begin(), pic.rows.end()), (Bytes{0xB0, 0xE0}));

    EXPECT_EQ(picture::read_picture(calc_file({0, 1, 0, 11, 0xB0, 0xE0, 0xDF}, kSig89, "main", "x", 0x0C), pic),
              picture::PictureRead::NotPicture);
    EXPECT_EQ(picture::read_picture(calc_file({0, 1, 0, 11, 0xB0, 0xE0, 0x2D}, kSig89, "main", "x", 0x10), pic),
              picture::PictureRead::NotPicture);
    EXPECT_EQ(picture::read_picture(calc_file({0, 1, 0, 17, 0xB0, 0xE0, 0xDF}, kSig89, "main", "x", 0x10), pic),
              picture::PictureRead::BadSize);
    EXPECT_EQ(picture::read_picture(calc_file({0, 0, 0, 0, 0xDF}, kSig89, "main", "x", 0x10), pic),
              picture::PictureRead::BadSize);

    // 4 + 2184 rows of 30 bytes + the tag is 65525 bytes; a row more passes 65535.
    EXPECT_TRUE(picture::picture_fits(240, 2184));
    EXPECT_FALSE(picture::picture_fits(240, 2185));
}
