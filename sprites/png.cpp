#include "png.h"

#include "bytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

// The size of the last allocation the stb code could not have, so that the
// tool can name it.
static thread_local std::size_t stb_failed_allocation = 0;

static void* stb_malloc(std::size_t size)
{
    void* p = std::malloc(size);
    if (!p) stb_failed_allocation = size;
    return p;
}

static void* stb_realloc(void* old, std::size_t size)
{
    void* p = std::realloc(old, size);
    if (!p) stb_failed_allocation = size;
    return p;
}

// The writer's arrays grow without looking at what realloc gave them: a
// failed growth would be written past. Its allocations throw instead, and
// encode turns that into NoMemory; what stb held by then is not freed, as
// the tool ends on that error.
static void* stbiw_malloc(std::size_t size)
{
    void* p = stb_malloc(size);
    if (!p) throw std::bad_alloc();
    return p;
}

static void* stbiw_realloc(void* old, std::size_t size)
{
    void* p = stb_realloc(old, size);
    if (!p) throw std::bad_alloc();
    return p;
}

// The stb headers, for PNG alone, with their functions private to this file.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 65535
#define STBI_MALLOC(size) stb_malloc(size)
#define STBI_REALLOC(p, size) stb_realloc(p, size)
#define STBI_FREE(p) std::free(p)
#include <stb_image.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STBIW_MALLOC(size) stbiw_malloc(size)
#define STBIW_REALLOC(p, size) stbiw_realloc(p, size)
#define STBIW_FREE(p) std::free(p)
#include <stb_image_write.h>

static_assert(zk::png::kMaxSide == STBI_MAX_DIMENSIONS);

namespace zk::png {

void Image::Free::operator()(std::uint8_t* p) const { stbi_image_free(p); }
void Encoded::Free::operator()(std::uint8_t* p) const { STBIW_FREE(p); }

int Image::channels() const
{
    switch (layout) {
    case Layout::GreyAlpha: return 2;
    case Layout::Rgb: return 3;
    case Layout::Rgba: return 4;
    default: return 1;
    }
}

// ---------------------------------------------------------------------------
// The file's structure

static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

static constexpr std::size_t kChunkFraming = 12;  // length, type and CRC
static constexpr std::size_t kHeaderLength = 13;
static constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

static constexpr std::uint32_t chunk_type(const char (&name)[5])
{
    return static_cast<std::uint32_t>(name[0]) << 24 | static_cast<std::uint32_t>(name[1]) << 16 |
           static_cast<std::uint32_t>(name[2]) << 8 | static_cast<std::uint32_t>(name[3]);
}

static constexpr std::uint32_t kIHDR = chunk_type("IHDR");
static constexpr std::uint32_t kPLTE = chunk_type("PLTE");
static constexpr std::uint32_t kIDAT = chunk_type("IDAT");
static constexpr std::uint32_t kIEND = chunk_type("IEND");
static constexpr std::uint32_t ktRNS = chunk_type("tRNS");

static std::uint32_t be32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

static void put_be32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// CRC-32 as PNG defines it: polynomial 0xEDB88320, reflected, starting and
// ending inverted.
static constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

static std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Adler-32, the checksum that ends a zlib stream.
static std::uint32_t adler32(std::span<const std::uint8_t> bytes)
{
    // 5552 bytes is the longest run whose sums cannot pass 32 bits.
    constexpr std::size_t kRun = 5552;
    std::uint32_t a = 1, b = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.size(), at + kRun);
        for (; at < end; ++at) {
            a += bytes[at];
            b += a;
        }
        a %= 65521;
        b %= 65521;
    }
    return b << 16 | a;
}

// Samples per pixel of a colour type.
static int samples_per_pixel(std::uint8_t colour_type)
{
    switch (colour_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
    }
}

static bool depth_allowed(std::uint8_t colour_type, std::uint8_t depth)
{
    switch (colour_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

static bool is_letter(std::uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static bool letters(const std::uint8_t* type)
{
    return is_letter(type[0]) && is_letter(type[1]) && is_letter(type[2]) && is_letter(type[3]);
}

static void name_chunk(std::array<char, 5>& name, const std::uint8_t* type)
{
    for (int i = 0; i < 4; ++i) name[i] = is_letter(type[i]) ? static_cast<char>(type[i]) : '?';
    name[4] = '\0';
}

static void name_chunk(std::array<char, 5>& name, const char (&text)[5])
{
    std::memcpy(name.data(), text, 5);
}

// The header's fields, or false when a field holds a value PNG does not allow.
static bool read_header(std::span<const std::uint8_t> data, Header& h)
{
    h.width = be32(data.data());
    h.height = be32(data.data() + 4);
    h.depth = data[8];
    h.colour_type = data[9];
    h.interlaced = data[12] == 1;
    return h.width >= 1 && h.width <= kMaxChunkLength && h.height >= 1 && h.height <= kMaxChunkLength &&
           depth_allowed(h.colour_type, h.depth) && data[10] == 0 && data[11] == 0 && data[12] <= 1;
}

Result check(std::span<const std::uint8_t> file, Chunks& chunks)
{
    Result r;
    auto stop = [&r](Status status) {
        r.status = status;
        return r;
    };
    chunks = Chunks{};
    const std::size_t head = std::min(file.size(), sizeof kSignature);
    if (head == 0 || std::memcmp(file.data(), kSignature, head) != 0) return stop(Status::NotPng);
    if (head < sizeof kSignature) return stop(Status::Truncated);

    bool have_header = false, have_palette = false, have_transparency = false;
    bool in_image = false, after_image = false;
    for (std::size_t at = sizeof kSignature;;) {
        if (file.size() - at < 8) return stop(Status::Truncated);
        const std::uint32_t length = be32(file.data() + at);
        const std::uint8_t* type = file.data() + at + 4;
        name_chunk(r.chunk, type);
        if (length > kMaxChunkLength) return stop(Status::BadChunk);
        if (file.size() - at - 8 < std::size_t{length} + 4) return stop(Status::Truncated);
        const std::span<const std::uint8_t> data = file.subspan(at + 8, length);
        if (crc32(file.subspan(at + 4, std::size_t{length} + 4)) != be32(data.data() + length))
            return stop(Status::BadCrc);
        if (!letters(type)) return stop(Status::BadChunk);
        const std::size_t begin = at;
        at += kChunkFraming + length;
        const std::uint32_t t = be32(type);

        if (!have_header) {
            if (t != kIHDR || length != kHeaderLength || !read_header(data, r.header)) return stop(Status::BadHeader);
            chunks.header = r.header;
            if (!fits(r.header.width, r.header.height)) return stop(Status::TooLarge);
            have_header = true;
            continue;
        }
        const Header& h = r.header;
        if (in_image && t != kIDAT) {
            in_image = false;
            after_image = true;
        }
        const bool image_seen = in_image || after_image;
        if (t == kIHDR) return stop(Status::BadChunk);
        if (t == kPLTE) {
            if (have_palette || image_seen || h.colour_type == 0 || h.colour_type == 4 || length == 0 ||
                length % 3 != 0 || length > 256 * 3)
                return stop(Status::BadChunk);
            have_palette = true;
            chunks.palette = data;
        } else if (t == ktRNS) {
            const bool fits_type = h.colour_type == 0   ? length == 2
                                   : h.colour_type == 2 ? length == 6
                                   : h.colour_type == 3 ? have_palette && length <= chunks.palette.size() / 3
                                                        : false;
            if (have_transparency || image_seen || !fits_type) return stop(Status::BadChunk);
            have_transparency = true;
            chunks.transparency = data;
        } else if (t == kIDAT) {
            if (after_image) return stop(Status::BadChunk);
            if (h.colour_type == 3 && !have_palette) {
                name_chunk(r.chunk, "PLTE");
                return stop(Status::BadChunk);
            }
            if (!in_image) chunks.image_begin = begin;
            in_image = true;
            chunks.image_end = at;
            chunks.image_size += length;
        } else if (t == kIEND) {
            if (length != 0) return stop(Status::BadChunk);
            if (!image_seen) {
                name_chunk(r.chunk, "IDAT");
                return stop(Status::BadChunk);
            }
            r.chunk = {};
            return r;
        } else if (!(type[0] & 0x20)) {
            return stop(Status::BadChunk);  // critical, and unknown: the image cannot be understood without it
        }
    }
}

// ---------------------------------------------------------------------------
// Decoding

// The seven passes of Adam7, and the one pass of an image without it.
struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
static constexpr Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
static constexpr Pass kWhole[] = {{0, 0, 1, 1}};

// Calls row(bytes) for every row of every pass, in the order of the
// inflated data: bytes of the row after its filter type byte.
template <typename F>
static void for_each_row(const Header& h, F row)
{
    const std::span<const Pass> passes = h.interlaced ? std::span<const Pass>(kAdam7) : std::span<const Pass>(kWhole);
    const std::uint64_t bits_per_pixel = static_cast<std::uint64_t>(h.depth) * samples_per_pixel(h.colour_type);
    for (const Pass& p : passes) {
        if (h.width <= p.x0 || h.height <= p.y0) continue;
        const std::uint64_t columns = (h.width - p.x0 + p.dx - 1) / p.dx;
        const std::uint64_t rows = (h.height - p.y0 + p.dy - 1) / p.dy;
        for (std::uint64_t y = 0; y < rows; ++y) row((columns * bits_per_pixel + 7) / 8);
    }
}

// The length the image data inflate to: every row of every pass with its
// filter type byte.
static std::size_t inflated_size(const Header& h)
{
    std::size_t size = 0;
    for_each_row(h, [&size](std::uint64_t bytes) { size += 1 + static_cast<std::size_t>(bytes); });
    return size;
}

// The zlib stream of the image data inflates to exactly the rows, with the
// right Adler-32, and every row begins with a filter type PNG knows (0 to
// 4). stb checks neither the length nor the checksum: it zero-fills a
// stream cut short and ignores what a stream holds beyond the rows. With
// the filter types checked here too, what stb may still refuse is memory.
static Status check_image_data(const Header& h, std::span<const std::uint8_t> zlib, std::size_t& allocation)
{
    const std::size_t size = inflated_size(h);
    Buffer rows;
    if (!rows.resize(size)) {
        allocation = size;
        return Status::NoMemory;
    }
    if (zlib.size() < 4 ||
        stbi_zlib_decode_buffer(reinterpret_cast<char*>(rows.data()), static_cast<int>(size),
                                reinterpret_cast<const char*>(zlib.data()), static_cast<int>(zlib.size())) !=
            static_cast<int>(size) ||
        adler32({rows.data(), size}) != be32(zlib.data() + zlib.size() - 4))
        return Status::BadData;
    bool filters_known = true;
    std::size_t at = 0;
    for_each_row(h, [&](std::uint64_t bytes) {
        filters_known = filters_known && rows.data()[at] <= 4;
        at += 1 + static_cast<std::size_t>(bytes);
    });
    return filters_known ? Status::Ok : Status::BadData;
}

// Whether a grey or RGB transparent colour can equal a pixel: each of its
// samples within the bit depth. stb compares only the low byte.
static bool transparency_reachable(const Chunks& c)
{
    if (c.transparency.empty()) return false;
    for (std::size_t i = 0; i + 1 < c.transparency.size(); i += 2) {
        const unsigned value = c.transparency[i] << 8 | c.transparency[i + 1];
        if (c.header.depth < 16 && value >= 1u << c.header.depth) return false;
    }
    return true;
}

// Appends a chunk to the stream stb decodes. Its CRC is left 0: stb does
// not read CRCs, and the file's own were checked.
static std::uint8_t* put_chunk(std::uint8_t* at, std::uint32_t type, std::span<const std::uint8_t> data)
{
    put_be32(at, static_cast<std::uint32_t>(data.size()));
    put_be32(at + 4, type);
    if (!data.empty()) std::memcpy(at + 8, data.data(), data.size());
    put_be32(at + 8 + data.size(), 0);
    return at + kChunkFraming + data.size();
}

// Turns the samples of a palette image, decoded as grey of its depth and so
// scaled to 8 bits, back into indices; false for an index beyond the palette.
static bool indices_from_grey(Image& image, const Chunks& c)
{
    const unsigned scale = 255u / ((1u << c.header.depth) - 1);
    const std::size_t entries = c.palette.size() / 3;
    std::uint8_t* p = image.samples.get();
    const std::size_t count = static_cast<std::size_t>(image.width) * image.height;
    bool inside = true;
    for (std::size_t i = 0; i < count; ++i) {
        p[i] = static_cast<std::uint8_t>(p[i] / scale);
        inside &= p[i] < entries;
    }
    return inside;
}

Result decode(std::span<const std::uint8_t> file, const Chunks& chunks, Image& image)
{
    Result r;
    r.header = chunks.header;
    auto stop = [&r](Status status) {
        r.status = status;
        return r;
    };
    const Header& h = chunks.header;
    const bool palette = h.colour_type == 3;
    const bool transparency = !palette && transparency_reachable(chunks);

    // What stb is given: the signature, the header (a palette image as grey
    // of its depth, so that its indices come out as they are), the
    // transparent colour when a pixel can have it, and the image data as
    // one chunk. Everything else is read here.
    const std::size_t stream_size = sizeof kSignature + kChunkFraming + kHeaderLength +
                                    (transparency ? kChunkFraming + chunks.transparency.size() : 0) +
                                    kChunkFraming + chunks.image_size + kChunkFraming;
    Buffer stream;
    if (!stream.resize(stream_size)) {
        r.allocation = stream_size;
        return stop(Status::NoMemory);
    }
    std::uint8_t* at = stream.data();
    std::memcpy(at, kSignature, sizeof kSignature);
    std::uint8_t header[kHeaderLength];
    std::memcpy(header, file.data() + sizeof kSignature + 8, kHeaderLength);
    if (palette) header[9] = 0;
    at = put_chunk(at + sizeof kSignature, kIHDR, header);
    if (transparency) at = put_chunk(at, ktRNS, chunks.transparency);
    put_be32(at, static_cast<std::uint32_t>(chunks.image_size));
    put_be32(at + 4, kIDAT);
    std::uint8_t* const image_data = at + 8;
    std::uint8_t* data_at = image_data;
    for (std::size_t c = chunks.image_begin; c < chunks.image_end;) {
        const std::uint32_t length = be32(file.data() + c);
        if (length) std::memcpy(data_at, file.data() + c + 8, length);
        data_at += length;
        c += kChunkFraming + length;
    }
    put_be32(data_at, 0);
    put_chunk(data_at + 4, kIEND, {});

    const Status data = check_image_data(h, {image_data, chunks.image_size}, r.allocation);
    if (data != Status::Ok) return stop(data);

    stb_failed_allocation = 0;
    int width = 0, height = 0, channels = 0;
    std::uint8_t* samples =
        stbi_load_from_memory(stream.data(), static_cast<int>(stream_size), &width, &height, &channels, 0);
    if (!samples) {
        // What is left for stb to refuse, once the checks above passed, is memory.
        r.allocation = stb_failed_allocation;
        return stop(stb_failed_allocation ? Status::NoMemory : Status::BadData);
    }
    image.samples.reset(samples);
    image.width = h.width;
    image.height = h.height;
    static constexpr Layout kByChannels[] = {Layout::Grey, Layout::Grey, Layout::GreyAlpha, Layout::Rgb, Layout::Rgba};
    image.layout = palette ? Layout::Indexed : kByChannels[channels];
    if (palette) {
        for (std::size_t i = 0; i < chunks.palette.size() / 3; ++i) {
            const std::uint8_t* rgb = chunks.palette.data() + 3 * i;
            image.palette[i] = {rgb[0], rgb[1], rgb[2], i < chunks.transparency.size() ? chunks.transparency[i]
                                                                                        : std::uint8_t{255}};
        }
        if (!indices_from_grey(image, chunks)) return stop(Status::BadPalette);
    }
    return r;
}

// ---------------------------------------------------------------------------
// Writing

Result encode(const std::uint8_t* samples, std::uint32_t width, std::uint32_t height, int channels, Encoded& out)
{
    Result r;
    stb_failed_allocation = 0;
    int size = 0;
    try {
        out.bytes.reset(stbi_write_png_to_mem(samples, 0, static_cast<int>(width), static_cast<int>(height),
                                              channels, &size));
    } catch (const std::bad_alloc&) {
        out.bytes.reset();
    }
    if (!out.bytes) {
        r.status = Status::NoMemory;
        r.allocation = stb_failed_allocation;
        return r;
    }
    out.size = static_cast<std::size_t>(size);
    return r;
}

}  // namespace zk::png
