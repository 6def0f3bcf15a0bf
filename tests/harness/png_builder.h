// PNG files built by the tests themselves, independently of the library
// under test: the rows filtered with every filter type in turn, Adam7 on
// request, compressed as stored deflate blocks, with correct CRCs and
// Adler-32. And each pixel's lightness and alpha by the conversion's
// rules, worked out again here.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zktest {

using PngBytes = std::vector<std::uint8_t>;

struct PngRecipe {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    int depth = 8;
    int colour_type = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool interlaced = false;
    std::vector<unsigned> samples;  // each pixel's samples in row order, as the depth holds them; indices for 3
    PngBytes palette;               // PLTE data
    PngBytes transparency;          // tRNS data
};

inline int png_channels(int colour_type)
{
    return colour_type == 2 ? 3 : colour_type == 4 ? 2 : colour_type == 6 ? 4 : 1;
}

inline void png_put32(PngBytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

inline std::uint32_t png_crc(const std::uint8_t* p, std::size_t n)
{
    std::uint32_t c = 0xFFFFFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
    }
    return ~c;
}

// A chunk: length, type, data and CRC (plus crc_error).
inline PngBytes png_chunk(const std::string& type, const PngBytes& data, std::uint32_t crc_error = 0)
{
    PngBytes c;
    png_put32(c, static_cast<std::uint32_t>(data.size()));
    c.insert(c.end(), type.begin(), type.end());
    c.insert(c.end(), data.begin(), data.end());
    png_put32(c, png_crc(c.data() + 4, c.size() - 4) ^ crc_error);
    return c;
}

// A zlib stream of stored blocks.
inline PngBytes zlib_stored(const PngBytes& raw)
{
    PngBytes z{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.insert(z.end(), {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                           static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<long>(at), raw.begin() + static_cast<long>(at + n));
        at += n;
    } while (at < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    png_put32(z, b << 16 | a);
    return z;
}

inline PngBytes png_header(const PngRecipe& s)
{
    PngBytes h;
    png_put32(h, s.width);
    png_put32(h, s.height);
    h.insert(h.end(), {static_cast<std::uint8_t>(s.depth), static_cast<std::uint8_t>(s.colour_type), 0, 0,
                       static_cast<std::uint8_t>(s.interlaced)});
    return h;
}

// The image data before compression: every row of every pass with its
// filter type, which cycles through 0 to 4 from row to row.
inline PngBytes png_rows(const PngRecipe& s)
{
    struct Pass {
        std::uint32_t x0, y0, dx, dy;
    };
    static const std::vector<Pass> adam7 = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                            {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    const std::vector<Pass> passes = s.interlaced ? adam7 : std::vector<Pass>{{0, 0, 1, 1}};
    const int channels = png_channels(s.colour_type);
    const std::size_t bpp = std::max<std::size_t>(1, static_cast<std::size_t>(channels * s.depth / 8));
    PngBytes out;
    int filter = 0;
    for (const Pass& p : passes) {
        if (s.width <= p.x0 || s.height <= p.y0) continue;
        PngBytes prior;
        for (std::uint32_t y = p.y0; y < s.height; y += p.dy) {
            PngBytes row;
            int bits = 0;
            for (std::uint32_t x = p.x0; x < s.width; x += p.dx)
                for (int c = 0; c < channels; ++c) {
                    const unsigned v = s.samples[(static_cast<std::size_t>(y) * s.width + x) * channels + c];
                    if (s.depth == 16) {
                        row.insert(row.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
                    } else {
                        if (bits % 8 == 0) row.push_back(0);
                        row.back() |= static_cast<std::uint8_t>(v << (8 - s.depth - bits % 8));
                        bits += s.depth;
                    }
                }
            if (prior.empty()) prior.assign(row.size(), 0);
            out.push_back(static_cast<std::uint8_t>(filter));
            for (std::size_t i = 0; i < row.size(); ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, b = prior[i], c = i >= bpp ? prior[i - bpp] : 0;
                const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
                const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                const int predicted[5] = {0, a, b, (a + b) / 2, paeth};
                out.push_back(static_cast<std::uint8_t>(row[i] - predicted[filter]));
            }
            prior = row;
            filter = (filter + 1) % 5;
        }
    }
    return out;
}

inline const PngBytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The whole file: signature, IHDR, PLTE and tRNS when given, one IDAT, IEND.
inline PngBytes png_file(const PngRecipe& s)
{
    PngBytes f = kPngSignature;
    auto add = [&f](const PngBytes& chunk) { f.insert(f.end(), chunk.begin(), chunk.end()); };
    add(png_chunk("IHDR", png_header(s)));
    if (!s.palette.empty()) add(png_chunk("PLTE", s.palette));
    if (!s.transparency.empty()) add(png_chunk("tRNS", s.transparency));
    add(png_chunk("IDAT", zlib_stored(png_rows(s))));
    add(png_chunk("IEND", {}));
    return f;
}

// An 8-bit grey image of one row holding these lightnesses.
inline PngBytes grey_row_png(const std::vector<unsigned>& light)
{
    PngRecipe s;
    s.width = static_cast<std::uint32_t>(light.size());
    s.samples = light;
    return png_file(s);
}

struct PngPixel {
    unsigned light;
    unsigned alpha;
};

// The lightness (laid over white) and alpha of pixel (x, y) by the rules.
inline PngPixel reference_pixel(const PngRecipe& s, std::uint32_t x, std::uint32_t y)
{
    const int channels = png_channels(s.colour_type);
    const unsigned* v = &s.samples[(static_cast<std::size_t>(y) * s.width + x) * channels];
    auto eight = [&s](unsigned sample) { return s.depth == 16 ? sample >> 8 : sample * 255 / ((1u << s.depth) - 1); };
    auto key = [&s](int i) { return static_cast<unsigned>(s.transparency[2 * i] << 8 | s.transparency[2 * i + 1]); };
    std::array<unsigned, 3> rgb{};
    unsigned alpha = 255;
    switch (s.colour_type) {
    case 0:
    case 4:
        rgb = {eight(v[0]), eight(v[0]), eight(v[0])};
        if (s.colour_type == 4) alpha = eight(v[1]);
        if (!s.transparency.empty() && v[0] == key(0)) alpha = 0;
        break;
    case 2:
    case 6:
        rgb = {eight(v[0]), eight(v[1]), eight(v[2])};
        if (s.colour_type == 6) alpha = eight(v[3]);
        if (!s.transparency.empty() && v[0] == key(0) && v[1] == key(1) && v[2] == key(2)) alpha = 0;
        break;
    case 3:
        rgb = {s.palette[3 * v[0]], s.palette[3 * v[0] + 1], s.palette[3 * v[0] + 2]};
        if (v[0] < s.transparency.size()) alpha = s.transparency[v[0]];
        break;
    }
    for (unsigned& c : rgb) c = (c * alpha + 255 * (255 - alpha) + 127) / 255;
    return {(299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2] + 500) / 1000, alpha};
}

}  // namespace zktest
