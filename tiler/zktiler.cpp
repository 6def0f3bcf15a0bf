// zktiler: cuts a raw bitmap of one plane (black and white) or two planes
// (four grey levels) into equal tiles and writes every tile as a sprite in
// C source, with macros that give the tile count, the tile height and the
// address of a tile, and on request a test program that draws every tile.
#include "frame.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>

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

enum class Direction { Horizontal, Vertical };
enum class Mode { Mono, Gray4 };

struct TilerSettings {
    Direction direction = Direction::Horizontal;
    bool test_program = false;
    const char* infile = nullptr;
    int width = 0;
    int height = 0;
    int tilewidth = 0;
    int tileheight = 0;
    int entries = 0;
    int hcount = 0;
    int vcount = 0;
    int destwidth = 0;       // bits of one stored sprite row: 8, 16 or 32
    int padding = 0;         // bits on the right of a stored row outside the tile
    std::uint32_t paddmask = 0;
    Mode mode = Mode::Mono;
    long filesize = 0;
    const char* outfile = nullptr;
    const char* arrayname = "data";

    // 64-bit: a large enough bitmap of one-pixel tiles has more tiles than
    // a 32-bit count holds.
    long long tilecount() const { return static_cast<long long>(hcount) * vcount; }
};

// A signed decimal number at the start of text, after optional white space
// and sign; what follows the digits is ignored. False when text does not
// begin with a number or the number does not fit an int.
bool parse_number(const char* text, int& value)
{
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || n < INT_MIN || n > INT_MAX) return false;
    value = static_cast<int>(n);
    return true;
}

int destwidth_for(int tilewidth)
{
    return tilewidth <= 8 ? 8 : tilewidth <= 16 ? 16 : 32;
}

// The low destwidth bits set, except the lowest padding bits, which hold
// no pixel of the tile.
std::uint32_t paddmask_for(int tilewidth)
{
    const int destwidth = destwidth_for(tilewidth);
    const int padding = destwidth - tilewidth;
    const std::uint64_t row = (std::uint64_t{1} << destwidth) - 1;
    const std::uint64_t pad = (std::uint64_t{1} << padding) - 1;
    return static_cast<std::uint32_t>(row & ~pad);
}

// The stored row of a tile: the destwidth bits of pixel row y of the plane
// that begins at byte plane, starting at pixel x (the most significant bit
// of a byte is its leftmost pixel), with the padding bits cleared. The
// bytes that can reach the value are the one holding pixel x and the four
// after it; those past the end of the data count as 0.
std::uint32_t tile_row_value(const TilerSettings& s, std::span<const std::uint8_t> data,
                             std::size_t plane, long long x, long long y)
{
    const std::size_t row_bytes = static_cast<std::size_t>(s.width / 8);
    const std::size_t first = plane + static_cast<std::size_t>(y) * row_bytes + static_cast<std::size_t>(x / 8);
    std::uint64_t bits = 0;
    for (std::size_t i = first; i < first + 5; ++i) bits = bits << 8 | (i < data.size() ? data[i] : 0u);
    const int skip = static_cast<int>(x % 8);
    return static_cast<std::uint32_t>(bits >> (40 - s.destwidth - skip)) & s.paddmask;
}

// Calls visit(nr, x, y) for every tile of a plane in the order of the
// direction, with the tile's number and its top-left pixel.
template <typename Visit>
void walk_tiles(const TilerSettings& s, Visit visit)
{
    const long long hcount = s.hcount, vcount = s.vcount;
    if (s.direction == Direction::Horizontal) {
        for (long long r = 0; r < vcount; ++r)
            for (long long c = 0; c < hcount; ++c) visit(r * hcount + c, c * s.tilewidth, r * s.tileheight);
    } else {
        for (long long c = 0; c < hcount; ++c)
            for (long long r = 0; r < vcount; ++r) visit(c * vcount + r, c * s.tilewidth, r * s.tileheight);
    }
}

struct MacroNames {
    std::string number;  // tile count
    std::string height;  // tile height
    std::string address; // address of a tile
};

// prefix and array name, with a to z turned to upper case; every other
// byte, those beyond 7-bit ASCII included, stays as it is.
std::string macro_name(const char* prefix, const char* arrayname)
{
    std::string name = std::string(prefix) + arrayname;
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

MacroNames macro_names(const char* arrayname)
{
    return {macro_name("TILENUMBER_", arrayname), macro_name("TILEHEIGHT_", arrayname),
            macro_name("TILEADDR_", arrayname)};
}

void write_test_head(std::FILE* out)
{
    std::fputs("#define SAVE_SCREEN\n"
               "#include <tigcclib.h>\n"
               "short _ti89,_ti92plus;\n"
               "\n"
               "\n",
               out);
}

void write_macros(std::FILE* out, const TilerSettings& s, const MacroNames& m)
{
    std::fprintf(out, "// number of tiles in array %s\n#define %s %lld\n\n", s.arrayname, m.number.c_str(),
                 s.tilecount());
    std::fprintf(out, "// height of one tile in array %s\n#define %s %d\n\n", s.arrayname, m.height.c_str(),
                 s.tileheight);
    if (s.mode == Mode::Mono)
        std::fprintf(out, "// macro returns the address of tile nr from array %s\n#define %s(nr) &(%s[%s*nr])\n\n",
                     s.arrayname, m.address.c_str(), s.arrayname, m.height.c_str());
    else
        std::fprintf(out,
                     "// macro returns the address of tile nr of plane p from array %s\n"
                     "#define %s(p,nr) &(%s[p][%s*nr])\n\n",
                     s.arrayname, m.address.c_str(), s.arrayname, m.height.c_str());
}

// Every tile of the plane that begins at byte plane: its comment line, then
// its rows, entries values to a line.
void write_plane(std::FILE* out, const TilerSettings& s, std::span<const std::uint8_t> data, std::size_t plane)
{
    const char* format = s.destwidth == 8 ? "0x%02x" : s.destwidth == 16 ? "0x%04x" : "0x%08x";
    const long long last_tile = s.tilecount() - 1;
    walk_tiles(s, [&](long long nr, long long x, long long y) {
        std::fprintf(out, "// tile %lld\n", nr);
        for (int k = 0; k < s.tileheight; ++k) {
            std::fprintf(out, format, tile_row_value(s, data, plane, x, y + k));
            if (k + 1 < s.tileheight) std::fputs((k + 1) % s.entries == 0 ? ",\n" : ",", out);
        }
        std::fputs(nr < last_tile ? ",\n" : "\n", out);
    });
}

void write_array(std::FILE* out, const TilerSettings& s, const MacroNames& m, std::span<const std::uint8_t> data)
{
    const char* type = s.destwidth == 8 ? "unsigned char" : s.destwidth == 16 ? "unsigned short" : "unsigned long";
    const bool gray = s.mode == Mode::Gray4;
    std::fprintf(out, gray ? "%s %s[2][%s*%s] = {{\n" : "%s %s[%s*%s] = {\n", type, s.arrayname, m.number.c_str(),
                 m.height.c_str());
    write_plane(out, s, data, 0);
    if (gray) {
        std::fputs("},\n// ---- plane 2 ----\n{\n", out);
        write_plane(out, s, data, static_cast<std::size_t>(s.filesize / 2));
        std::fputs("}", out);
    }
    std::fputs("};\n", out);
}

void write_test_main(std::FILE* out, const TilerSettings& s, const MacroNames& m)
{
    const bool gray = s.mode == Mode::Gray4;
    std::fprintf(out,
                 "\n"
                 "\n"
                 "void _main(void) {\n"
                 "    short x,y;\n"
                 "    short tilewidth  = %d;\n"
                 "    short vcount     = %d;\n"
                 "    short hcount     = %d;\n",
                 s.tilewidth, s.vcount, s.hcount);
    if (gray)
        std::fputs("    short i;\n"
                   "    if (!GrayOn()) return;\n"
                   "    memset(GetPlane(0),0,LCD_SIZE);\n"
                   "    memset(GetPlane(1),0,LCD_SIZE);\n",
                   out);
    else
        std::fputs("    memset(LCD_MEM,0,LCD_SIZE);\n", out);
    if (s.direction == Direction::Horizontal)
        std::fputs("    for (y=0;y<vcount;y++) {\n"
                   "        for (x=0;x<hcount;x++) { \n"
                   "            short nr = y*hcount+x;\n",
                   out);
    else
        std::fputs("    for (x=0;x<hcount;x++) {\n"
                   "        for (y=0;y<vcount;y++) { \n"
                   "            short nr = x*vcount+y;\n",
                   out);
    const char* height = m.height.c_str();
    if (gray)
        std::fprintf(out,
                     "            for (i=0;i<2;i++) {\n"
                     "                Sprite%d(x*tilewidth,y*%s,%s,%s(i,nr),GetPlane(i),SPRT_OR);\n"
                     "            }\n",
                     s.destwidth, height, height, m.address.c_str());
    else
        std::fprintf(out, "            Sprite%d(x*tilewidth,y*%s,%s,%s(nr),LCD_MEM,SPRT_OR);\n", s.destwidth, height,
                     height, m.address.c_str());
    std::fputs("        }\n"
               "    }\n"
               "    ngetchx();\n",
               out);
    if (gray) std::fputs("    GrayOff();\n", out);
    std::fputs("}\n", out);
}

// The whole C text in its order.
void write_c_text(std::FILE* out, const TilerSettings& s, std::span<const std::uint8_t> data)
{
    const MacroNames m = macro_names(s.arrayname);
    if (s.test_program) write_test_head(out);
    write_macros(out, s, m);
    write_array(out, s, m, data);
    if (s.test_program) write_test_main(out, s, m);
}

// Every error of this tool is one line on standard error followed by the
// usage text.
[[gnu::format(printf, 1, 2)]] static int fail(const char* format, ...)
{
    std::fflush(stdout);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    zk::print_usage(kId, kUsage);
    return 1;
}

// The checks of the five numbers in their order; the first failure prints
// its message and ends the scan.
static int scan_numbers(char** argv, TilerSettings& s)
{
    const char* width = argv[3];
    const char* height = argv[4];
    const char* tilewidth = argv[5];
    const char* tileheight = argv[6];
    const char* entries = argv[7];

    if (!parse_number(width, s.width)) return fail("ERROR: cannot parse width=%s\n", width);
    if (s.width % 8 != 0) return fail("ERROR: width not multiple of 8 (width=%d)\n", s.width);
    if (s.width <= 0) return fail("ERROR: negative or zero width not allowed (width=%d)\n", s.width);

    if (!parse_number(height, s.height)) return fail("ERROR: cannot parse height=%s\n", height);
    if (s.height <= 0) return fail("ERROR: negative or zero height not allowed (height=%d)\n", s.height);

    if (!parse_number(tilewidth, s.tilewidth)) return fail("ERROR: cannot parse tilewidth=%s\n", tilewidth);
    if (s.tilewidth <= 0)
        return fail("ERROR: negative or zero tilewidth not allowed (tilewidth=%d)\n", s.tilewidth);
    if (s.tilewidth > 32) return fail("ERROR: tilewidth larger than 32 not allowed (tilewidth=%d)\n", s.tilewidth);
    if (s.tilewidth > s.width) return fail("ERROR: tilewidth larger than width\n");
    s.destwidth = destwidth_for(s.tilewidth);
    s.padding = s.destwidth - s.tilewidth;
    s.paddmask = paddmask_for(s.tilewidth);

    if (!parse_number(tileheight, s.tileheight)) return fail("ERROR: cannot parse tileheight=%s\n", tileheight);
    if (s.tileheight <= 0)
        return fail("ERROR: negative or zero tileheight not allowed (tileheight=%d)\n", s.tileheight);
    if (s.tileheight > s.height) return fail("ERROR: tileheight larger than height\n");

    if (!parse_number(entries, s.entries)) return fail("ERROR: cannot parse entries=%s\n", entries);
    if (s.entries < 1 || s.entries > 20) return fail("ERROR: invalid value for entries (entries=%d)\n", s.entries);

    s.hcount = s.width / s.tilewidth;
    s.vcount = s.height / s.tileheight;
    return 0;
}

static void print_listing(const TilerSettings& s)
{
    std::printf("infile     = %s\n", s.infile);
    std::printf("filesize   = %ld\n", s.filesize);
    std::printf("direction  = %s\n", s.direction == Direction::Horizontal ? "HORIZONTAL" : "VERTICAL");
    std::printf("mode       = %s\n", s.mode == Mode::Mono ? "MONO" : "GRAY4");
    std::printf("width      = %d\n", s.width);
    std::printf("height     = %d\n", s.height);
    std::printf("tilewidth  = %d\n", s.tilewidth);
    std::printf("tileheight = %d\n", s.tileheight);
    std::printf("hcount     = %d\n", s.hcount);
    std::printf("vcount     = %d\n", s.vcount);
    std::printf("tilecount  = %lld\n", s.tilecount());
    std::printf("destwidth  = %d\n", s.destwidth);
    std::printf("padding    = %d\n", s.padding);
    std::printf("paddmask   = 0x%08x\n", s.paddmask);
    std::printf("outfile    = %s\n", s.outfile);
    std::printf("arrayname  = %s\n", s.arrayname);
}

struct FreeDeleter {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

static int run(TilerSettings& s)
{
    std::unique_ptr<std::uint8_t, FreeDeleter> buffer;
    {
        zk::File in = zk::open_file(s.infile, "rb");
        if (!in) return fail("ERROR: cannot open inputfile %s\n", s.infile);
        if (std::fseek(in.get(), 0, SEEK_END) != 0) return fail("ERROR: cannot find end of inputfile %s\n", s.infile);
        s.filesize = std::ftell(in.get());
        if (s.filesize < 0) return fail("ERROR: cannot evaluate size of inputfile %s\n", s.infile);
        std::rewind(in.get());

        // width is a positive multiple of 8, so both sizes are whole and
        // the product of two ints fits 64 bits.
        const long long pixels = static_cast<long long>(s.width) * s.height;
        if (s.filesize == pixels / 8)
            s.mode = Mode::Mono;
        else if (s.filesize == pixels / 4)
            s.mode = Mode::Gray4;
        else
            return fail("ERROR: filesize (%ld) doesn't correspond with height/width\n", s.filesize);

        const std::size_t size = static_cast<std::size_t>(s.filesize);
        buffer.reset(static_cast<std::uint8_t*>(std::malloc(size)));
        if (!buffer) return fail("ERROR: cannot allocate %ld bytes for input data\n", s.filesize);
        if (std::fread(buffer.get(), 1, size, in.get()) != size)
            return fail("ERROR: cannot read %ld bytes from inputfile %s\n", s.filesize, s.infile);
    }
    const std::span<const std::uint8_t> data(buffer.get(), static_cast<std::size_t>(s.filesize));

    const bool to_stdout = std::strcmp(s.outfile, "-") == 0;
    zk::File file;
    if (!to_stdout) {
        file = zk::open_file(s.outfile, "w");
        if (!file) return fail("ERROR: cannot open outputfile %s\n", s.outfile);
        print_listing(s);
    }
    write_c_text(to_stdout ? stdout : file.get(), s, data);
    if (!to_stdout && !zk::close_checked(file)) {
        zk::fail_output(s.outfile);
        zk::print_usage(kId, kUsage);
        return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    const int nargs = argc - 1;
    if (!(nargs >= 8 && std::strcmp(argv[8], "-") == 0)) zk::print_banner(kId);
    if (nargs == 0) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    if (nargs != 8 && nargs != 9) return zk::finish(fail("ERROR: invalid number of parameters\n"));

    TilerSettings s;
    const char* flag = argv[1];
    if (std::strcmp(flag, "-h") == 0 || std::strcmp(flag, "-ht") == 0)
        s.direction = Direction::Horizontal;
    else if (std::strcmp(flag, "-v") == 0 || std::strcmp(flag, "-vt") == 0)
        s.direction = Direction::Vertical;
    else
        return zk::finish(fail("ERROR: neither -h nor -v and neither -ht nor -vt specified\n"));
    s.test_program = flag[2] == 't';
    s.infile = argv[2];
    s.outfile = argv[8];
    if (nargs == 9) s.arrayname = argv[9];

    if (scan_numbers(argv, s) != 0) return zk::finish(1);
    return zk::finish(run(s));
}
