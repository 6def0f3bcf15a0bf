// zktiler: cuts a raw bitmap of one plane (black and white) or two planes
// (four grey levels) into equal tiles and writes every tile as a sprite in
// C source, with macros that give the tile count, the tile height and the
// address of a tile, and on request a test program that draws every tile.
#include "frame.h"
#include "tile_messages.h"
#include "tiles.h"

#include <cstring>

static constexpr const zk::ToolId& kId = zk::tool("zktiler");

static constexpr const char kUsage[] =
    "Usage: zktiler [-h|-v|-ht|-vt] <infile> <width> <height> <t_width> <t_height> <entries> <outfile> (array_name)\n"
    "       -h         ... tile from left to right and up to down\n"
    "       -v         ... tile from up   to down  and left to right\n"
    "       -ht        ... like -h, but generates complete test program\n"
    "       -vt        ... like -v, but generates complete test program\n"
    "       infile     ... binary image file generated with Rastello\n"
    "       width      ... width  of infile in pixel\n"
    "       height     ... height of infile in pixel\n"
    "       t_width    ... width  of one tile in pixel (<=32)\n"
    "       t_height   ... height of one tile in pixel\n"
    "       entries    ... number of data fields per line (0<entries<=20)\n"
    "       outfile    ... output filename (use - as name for output to stdout)\n"
    "       array_name ... optional name of array to generate\n"
    "\n"
    "       splits binary image file generated with Rastello in single\n"
    "       sprites (tiles) and generates C source code\n"
    "       including the necessary macros to access them.\n"
    "\n"
    "NOTE:  only 8, 16 and 32 pixel wide tiles are generated.\n"
    "       If the tilewidth is not exactly one of these widths,\n"
    "       the sprites are filled up to the right with empty pixels\n"
    "NOTE2: the width of the input file have to be a multiple of 8\n"
    "       otherwise Rastello and zktiler will not treat it correctly\n"
    "\n";

using zk::tiles::Direction;
using zk::tiles::Mode;

struct TilerSettings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    std::int64_t filesize = 0;
    zk::tiles::Tiling tiling;  // direction, test program, geometry, mode, array name
};

// Every error of this tool is its line on standard error, then the usage
// text: return with_usage(zk::fail(...)).
static int with_usage(int status)
{
    zk::print_usage(kId, kUsage);
    return status;
}

static void print_listing(const TilerSettings& s)
{
    const zk::tiles::Tiling& t = s.tiling;
    const zk::tiles::Geometry& g = t.geometry;
    std::printf("infile     = %s\n", s.infile);
    std::printf("filesize   = %lld\n", static_cast<long long>(s.filesize));
    std::printf("direction  = %s\n", t.direction == Direction::Horizontal ? "HORIZONTAL" : "VERTICAL");
    std::printf("mode       = %s\n", t.mode == Mode::Mono ? "MONO" : "GRAY4");
    std::printf("width      = %d\n", g.width);
    std::printf("height     = %d\n", g.height);
    std::printf("tilewidth  = %d\n", g.tilewidth);
    std::printf("tileheight = %d\n", g.tileheight);
    std::printf("hcount     = %d\n", g.hcount);
    std::printf("vcount     = %d\n", g.vcount);
    std::printf("tilecount  = %lld\n", g.tilecount());
    std::printf("destwidth  = %d\n", g.destwidth);
    std::printf("padding    = %d\n", g.padding);
    std::printf("paddmask   = 0x%08x\n", g.paddmask);
    std::printf("outfile    = %s\n", s.outfile);
    std::printf("arrayname  = %.*s\n", static_cast<int>(t.arrayname.size()), t.arrayname.data());
}

// The whole bitmap, whose size decides the mode; the input's identity for
// the check of the output name.
static int load(TilerSettings& s, zk::Buffer& bitmap, std::optional<zk::FileId>& input_id)
{
    zk::File in = zk::open_input(s.infile);
    if (!in) return with_usage(1);
    if (!zk::seek(in.get(), 0, SEEK_END))
        return with_usage(zk::fail("ERROR: cannot find end of inputfile %s\n", s.infile));
    s.filesize = zk::tell(in.get());
    if (s.filesize < 0) return with_usage(zk::fail("ERROR: cannot evaluate size of inputfile %s\n", s.infile));
    std::rewind(in.get());
    const long long filesize = s.filesize;
    const std::optional<Mode> mode = zk::tiles::mode_for_size(s.tiling.geometry, s.filesize);
    if (!mode) return with_usage(zk::tiles::fail_bitmap_size(filesize));
    s.tiling.mode = *mode;
    const std::size_t size = static_cast<std::size_t>(s.filesize);
    if (!bitmap.resize(size))
        return with_usage(zk::fail("ERROR: cannot allocate %lld bytes for input data\n", filesize));
    if (std::fread(bitmap.data(), 1, size, in.get()) != size)
        return with_usage(zk::fail("ERROR: cannot read %lld bytes from inputfile %s\n", filesize, s.infile));
    input_id = zk::file_id(in.get());
    return 0;
}

static int run(TilerSettings& s)
{
    zk::Buffer bitmap;
    std::optional<zk::FileId> input_id;
    if (load(s, bitmap, input_id) != 0) return 1;

    const bool to_stdout = std::strcmp(s.outfile, "-") == 0;
    zk::OutputFile file;
    if (!to_stdout) {
        if (zk::output_is_input(input_id, s.outfile)) return with_usage(1);
        if (!zk::open_output(file, s.outfile, "w")) return with_usage(1);
        if (!zk::quiet_environment()) print_listing(s);
    }
    zk::tiles::write_c_text(to_stdout ? stdout : file.get(), s.tiling, {bitmap.data(), bitmap.size()});
    if (!to_stdout && !file.commit()) return with_usage(zk::fail_output(s.outfile));
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    const int nargs = argc - 1;
    if (!(nargs >= 8 && std::strcmp(argv[8], "-") == 0)) zk::print_banner(kId);
    if (nargs == 0) return zk::finish(with_usage(1));
    if (nargs != 8 && nargs != 9) return zk::finish(with_usage(zk::fail("ERROR: invalid number of parameters\n")));

    TilerSettings s;
    zk::tiles::Tiling& t = s.tiling;
    const char* flag = argv[1];
    if (std::strcmp(flag, "-h") == 0 || std::strcmp(flag, "-ht") == 0)
        t.direction = Direction::Horizontal;
    else if (std::strcmp(flag, "-v") == 0 || std::strcmp(flag, "-vt") == 0)
        t.direction = Direction::Vertical;
    else
        return zk::finish(with_usage(zk::fail("ERROR: neither -h nor -v and neither -ht nor -vt specified\n")));
    t.test_program = flag[2] == 't';
    s.infile = argv[2];
    s.outfile = argv[8];
    if (nargs == 9) t.arrayname = argv[9];

    const zk::tiles::GeometryResult geometry = zk::tiles::make_geometry({argv[3], argv[4], argv[5], argv[6], argv[7]});
    if (geometry.failure)
        return zk::finish(with_usage(
            zk::tiles::fail_number(*geometry.failure, {argv[3], argv[4], argv[5], argv[6], argv[7]})));
    t.geometry = geometry.geometry;
    return zk::finish(run(s));
}
