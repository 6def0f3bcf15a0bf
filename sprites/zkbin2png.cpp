// zkbin2png: draws a raw bitmap of zktiler's (one plane or two) or a picture
// variable as a PNG, each pixel as a block on request, or only the tiles
// zktiler would cut, framed in red.
#include "calc_messages.h"
#include "frame.h"
#include "picture.h"
#include "tile_messages.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2png");

static constexpr const char kUsage[] =
    "Usage: zkbin2png [-quiet] [-scale <n>] [-grid <t_width> <t_height>] <infile> <width> <height> <outfile>\n"
    "       zkbin2png [-quiet] [-scale <n>] [-grid <t_width> <t_height>] <infile> <outfile>\n"
    "\n"
    "       -quiet     ... don't output standard messages\n"
    "       -scale <n> ... draw each pixel as an n x n block (1..16)\n"
    "       -grid <t_width> <t_height>\n"
    "                  ... draw only the tiles zktiler cuts, framed in red\n"
    "       infile     ... a raw bitmap as zktiler reads it, one plane or two\n"
    "                      by its size; with no width and height a picture\n"
    "                      variable (89i/9xi)\n";

struct Settings {
    std::vector<const char*> files;  // infile width height outfile, or infile outfile
    bool quiet = zk::quiet_environment();
    int scale = 1;
    const char* tilewidth = nullptr;  // -grid
    const char* tileheight = nullptr;
};

namespace tiles = zk::tiles;

// The tiles of zktiler's checks, or the line of the first that fails.
static std::optional<tiles::Geometry> checked(const tiles::GeometryResult& made,
                                              const std::array<const char*, tiles::kNumbers>& numbers)
{
    if (!made.failure) return made.geometry;
    tiles::fail_number(*made.failure, numbers);
    return std::nullopt;
}

// A raw bitmap read whole, one plane or two by its size as zktiler decides.
static int load_raw(const char* infile, const tiles::Geometry& g, zk::Buffer& bytes, tiles::Mode& mode,
                    std::optional<zk::FileId>& input_id)
{
    zk::File in = zk::open_input(infile);
    if (!in) return 1;
    input_id = zk::file_id(in.get());
    const std::optional<std::int64_t> size = zk::file_size(in.get());
    if (size && !tiles::mode_for_size(g, *size)) return tiles::fail_bitmap_size(*size);
    const auto largest = static_cast<std::size_t>(static_cast<std::int64_t>(g.width) * g.height / 4);
    switch (zk::read_all(in.get(), largest, bytes)) {
    case zk::ReadAll::Ok:
    case zk::ReadAll::TooLong:
        break;
    case zk::ReadAll::ReadError:
        return zk::fail("ERROR: cannot read inputfile %s\n", infile);
    case zk::ReadAll::NoMemory:
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", largest + 1);
    }
    const std::optional<tiles::Mode> read_mode = tiles::mode_for_size(g, static_cast<std::int64_t>(bytes.size()));
    if (!read_mode) return tiles::fail_bitmap_size(static_cast<long long>(bytes.size()));
    mode = *read_mode;
    return 0;
}

// A picture variable read whole, checked as zkchecksum checks a file but
// for the picture's tag.
static int load_picture(const char* infile, zk::Buffer& bytes, zk::picture::Picture& picture,
                        std::optional<zk::FileId>& input_id)
{
    zk::File in = zk::open_input(infile);
    if (!in) return 1;
    input_id = zk::file_id(in.get());
    const zk::CalcCheckResult c = zk::check_calc_file(in.get(), zk::picture::kPictureTag);
    switch (c.status) {
    case zk::CalcCheck::NotTi:
    case zk::CalcCheck::UnknownType:
        return zk::fail("ERROR: %s is not a picture variable\n", infile);
    case zk::CalcCheck::WrongChecksum:
        // zkchecksum, which refuses pictures, cannot repair it.
        return zk::fail("ERROR: %s has a wrong checksum (%u, not %u)\n", infile,
                        static_cast<unsigned>(c.trailer.stored_checksum), static_cast<unsigned>(c.computed));
    default:
        if (zk::fail_calc_check(c, infile) != 0) return 1;
    }
    const std::uint32_t size = c.header.size();
    if (size > zk::kCalcFraming + zk::kCalcMaxDataSize)
        return zk::fail("ERROR: %s is a damaged picture: its size does not match its data\n", infile);
    if (!zk::seek(in.get(), 0, SEEK_SET) || zk::read_all(in.get(), size, bytes) != zk::ReadAll::Ok ||
        bytes.size() != size)
        return zk::fail("ERROR: cannot read the data of %s\n", infile);
    switch (zk::picture::read_picture({bytes.data(), bytes.size()}, picture)) {
    case zk::picture::PictureRead::Ok:
        return 0;
    case zk::picture::PictureRead::NotPicture:
        return zk::fail("ERROR: %s is not a picture variable\n", infile);
    case zk::picture::PictureRead::BadSize:
        break;
    }
    return zk::fail("ERROR: %s is a damaged picture: its size does not match its data\n", infile);
}

// What is drawn: a bitmap read whole, and zktiler's tiles of it.
struct Source {
    zk::Buffer bytes;
    std::optional<zk::FileId> input_id;
    zk::picture::BitmapView bitmap;
    tiles::Geometry tiles;
};

// The grid's tile sizes, "1" when there is no grid: they then pass every check.
static const char* grid_number(const char* text) { return text ? text : "1"; }

// True, after its line, for a drawing too large to be read back.
static bool too_large(const char* infile, const Settings& s, const Source& src)
{
    const zk::picture::Size size =
        zk::picture::drawing_size(src.bitmap.width, src.bitmap.height, s.scale, s.tilewidth ? &src.tiles : nullptr);
    if (zk::png::fits(size.width, size.height)) return false;
    zk::fail("ERROR: the drawing of %s would be %llu x %llu pixels (at most %llu pixels, %u on a side)\n", infile,
             static_cast<unsigned long long>(size.width), static_cast<unsigned long long>(size.height),
             static_cast<unsigned long long>(zk::png::kMaxPixels), static_cast<unsigned>(zk::png::kMaxSide));
    return true;
}

// A raw bitmap: its numbers checked as zktiler checks them, and a drawing
// too large refused, before the file is read.
static int load_raw_source(const Settings& s, Source& src)
{
    const char* infile = s.files[0];
    const std::array<const char*, tiles::kNumbers> numbers = {s.files[1], s.files[2], grid_number(s.tilewidth),
                                                               grid_number(s.tileheight), "1"};
    const std::optional<tiles::Geometry> g = checked(tiles::make_geometry(numbers), numbers);
    if (!g) return 1;
    src.tiles = *g;
    src.bitmap.width = static_cast<std::uint32_t>(g->width);
    src.bitmap.height = static_cast<std::uint32_t>(g->height);
    if (too_large(infile, s, src)) return 1;
    tiles::Mode mode = tiles::Mode::Mono;
    if (load_raw(infile, *g, src.bytes, mode, src.input_id) != 0) return 1;
    src.bitmap = zk::picture::raw_bitmap(*g, mode, {src.bytes.data(), src.bytes.size()});
    return 0;
}

// A picture variable: its own width and height bound the tiles.
static int load_picture_source(const Settings& s, Source& src)
{
    const char* infile = s.files[0];
    zk::picture::Picture picture;
    if (load_picture(infile, src.bytes, picture, src.input_id) != 0) return 1;
    src.bitmap = zk::picture::picture_bitmap(picture);
    const char* tw = grid_number(s.tilewidth);
    const char* th = grid_number(s.tileheight);
    const std::optional<tiles::Geometry> g = checked(
        tiles::make_tile_geometry(static_cast<int>(picture.width), static_cast<int>(picture.height), tw, th),
        {nullptr, nullptr, tw, th, nullptr});
    if (!g) return 1;
    src.tiles = *g;
    return too_large(infile, s, src) ? 1 : 0;
}

static int run(const Settings& s)
{
    const char* outfile = s.files.back();
    Source src;
    if ((s.files.size() == 4 ? load_raw_source(s, src) : load_picture_source(s, src)) != 0) return 1;

    zk::picture::Canvas canvas;
    std::size_t needed = 0;
    if (!zk::picture::draw(src.bitmap, s.scale, s.tilewidth ? &src.tiles : nullptr, canvas, needed))
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", needed);
    zk::png::Encoded png;
    const zk::png::Result encoded =
        zk::png::encode(canvas.samples.data(), canvas.width, canvas.height, canvas.channels, png);
    if (encoded.status != zk::png::Status::Ok)
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", encoded.allocation);

    if (zk::output_is_input(src.input_id, outfile)) return 1;
    if (!zk::write_whole_file(outfile, {png.bytes.get(), png.size})) return 1;
    if (!s.quiet)
        zk::note("%zu bytes written to %s (%u x %u pixels)\n", png.size, outfile, static_cast<unsigned>(canvas.width),
                 static_cast<unsigned>(canvas.height));
    return 0;
}

static zk::Scan scan_arguments(int argc, char** argv, Settings& s)
{
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        if (args.flag("-quiet")) {
            s.quiet = true;
        } else if (args.value("-grid", s.tilewidth)) {
            // The second value: the word after the first, whatever it is.
            if (s.tilewidth && args.next()) s.tileheight = args.word();
        } else if (!args.number("-scale", 1, zk::picture::kMaxScale, s.scale)) {
            args.positional(s.files);
        }
    }
    const bool grid_whole = (s.tilewidth == nullptr) == (s.tileheight == nullptr);
    return args.result((s.files.size() == 2 || s.files.size() == 4) && grid_whole);
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    const zk::Scan scan = scan_arguments(argc, argv, s);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
