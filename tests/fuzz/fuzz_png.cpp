// The PNG reading path on any bytes (first byte odd), and on PNG files built
// from the input (first byte even) in every colour type, depth, filter
// type and interlacing, damaged on request. A file is refused with a
// status, or read to pixels that fit its header; a file built whole is
// read, to exactly the lightness and alpha the rules give; the planes and
// the mask of what was read fill their geometry with the padding clear.
#include "picture.h"
#include "png_builder.h"

#include <cstdlib>

namespace png = zk::png;
namespace picture = zk::picture;

namespace {

void require(bool holds)
{
    if (!holds) std::abort();
}

// A PNG described by the input: type, depth, size, interlacing, palette and
// transparent colour, then the samples, taken from the input in turn.
zktest::PngRecipe recipe_of(const std::uint8_t* data, std::size_t size)
{
    static const int kTypes[] = {0, 2, 3, 4, 6};
    static const std::vector<int> kDepths[] = {{1, 2, 4, 8, 16}, {8, 16}, {1, 2, 4, 8}, {8, 16}, {8, 16}};
    const int t = data[1] % 5;
    zktest::PngRecipe s;
    s.colour_type = kTypes[t];
    s.depth = kDepths[t][data[2] % kDepths[t].size()];
    s.width = data[3] % 24 + 1;
    s.height = data[4] % 12 + 1;
    s.interlaced = data[5] & 1;
    const unsigned entries = std::min(1u << s.depth, data[5] / 2u % 16 + 1);
    std::size_t at = 8;
    auto next = [&]() -> unsigned { return at < size ? data[at++] : 0; };
    s.samples.resize(std::size_t{s.width} * s.height * zktest::png_channels(s.colour_type));
    for (unsigned& v : s.samples) {
        v = s.depth == 16 ? next() << 8 | next() : next();
        v %= s.colour_type == 3 ? entries : 1u << s.depth;
    }
    if (s.colour_type == 3)
        for (unsigned i = 0; i < 3 * entries; ++i) s.palette.push_back(static_cast<std::uint8_t>(next()));
    if (data[6] & 1) {
        if (s.colour_type == 3) {
            for (unsigned i = 0; i < data[6] / 2u % (entries + 1); ++i) s.transparency.push_back(next());
        } else if (s.colour_type == 0 || s.colour_type == 2) {
            // The first pixel's colour, or any value.
            for (int c = 0; c < zktest::png_channels(s.colour_type); ++c) {
                const unsigned v = data[6] & 2 ? s.samples[c] : next() << 8 | next();
                s.transparency.push_back(static_cast<std::uint8_t>(v >> 8));
                s.transparency.push_back(static_cast<std::uint8_t>(v));
            }
        }
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8) return 0;
    zktest::PngRecipe recipe;
    const bool built = !(data[0] & 1);
    const bool damaged = built && data[7] != 0;
    std::vector<std::uint8_t> file;
    if (built) {
        recipe = recipe_of(data, size);
        file = zktest::png_file(recipe);
        if (damaged) file[(data[7] * 7919u + data[size - 1]) % file.size()] ^= data[7];
    } else {
        file.assign(data + 1, data + size);
    }

    png::Chunks chunks;
    png::Result r = png::check(file, chunks);
    png::Image image;
    if (r.status == png::Status::Ok) r = png::decode(file, chunks, image);
    require(r.status == png::Status::Ok || !built || damaged);
    if (r.status != png::Status::Ok) return 0;
    require(image.width == chunks.header.width && image.height == chunks.header.height);
    require(png::fits(image.width, image.height));

    const picture::Lightness lightness(image, false);
    std::vector<std::uint8_t> light(image.width), alpha(image.width);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        lightness.row(y, light.data(), alpha.data());
        if (!built || damaged) continue;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const zktest::PngPixel want = zktest::reference_pixel(recipe, x, y);
            require(light[x] == want.light && alpha[x] == want.alpha);
        }
    }

    for (picture::Planes planes : {picture::Planes::Mono, picture::Planes::Gray4}) {
        picture::Bitmap bitmap, mask;
        std::size_t needed = 0;
        if (!picture::to_bitmap(image, {.planes = planes, .threshold = data[1] | 1}, bitmap, &mask, needed)) return 0;
        const std::size_t row_bytes = (std::size_t{image.width} + 7) / 8;
        require(bitmap.bytes.size() == row_bytes * image.height * (planes == picture::Planes::Gray4 ? 2 : 1));
        require(mask.bytes.size() == row_bytes * image.height);
        const std::uint8_t padding = static_cast<std::uint8_t>(0xFF >> (image.width % 8 ? image.width % 8 : 8));
        for (const picture::Bitmap* b : {&bitmap, &mask})
            for (std::size_t i = row_bytes - 1; i < b->bytes.size(); i += row_bytes)
                require(!(b->bytes.data()[i] & padding));
    }
    return 0;
}
