#include "tiles.h"

#include "bytes.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <initializer_list>

namespace zk::tiles {

// ---------------------------------------------------------------------------
// Geometry

static bool passes(Rule rule, int value, const std::array<int, kNumbers>& values)
{
    switch (rule) {
    case Rule::Parses:
        return true;
    case Rule::MultipleOf8:
        return value % kPixelsPerByte == 0;
    case Rule::Positive:
        return value > 0;
    case Rule::AtMost32:
        return value <= kMaxTileWidth;
    case Rule::AtMostWidth:
        return value <= values[static_cast<std::size_t>(Number::Width)];
    case Rule::AtMostHeight:
        return value <= values[static_cast<std::size_t>(Number::Height)];
    case Rule::OneTo20:
        return value >= 1 && value <= kMaxEntries;
    }
    return false;
}

// Appends the text of a printf format to text.
static void append_formatted(std::string& text, const char* format, std::va_list args)
{
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, again);
    va_end(again);
    if (length <= 0) return;
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data() + at, static_cast<std::size_t>(length) + 1, format, args);
    text.resize(at + static_cast<std::size_t>(length));
}

static int destwidth_for(int tilewidth)
{
    return tilewidth <= 8 ? 8 : tilewidth <= 16 ? 16 : 32;
}

// The low destwidth bits set, except the lowest padding bits, which hold
// no pixel of the tile.
static std::uint32_t paddmask_for(int destwidth, int padding)
{
    const std::uint64_t row = (std::uint64_t{1} << destwidth) - 1;
    const std::uint64_t pad = (std::uint64_t{1} << padding) - 1;
    return static_cast<std::uint32_t>(row & ~pad);
}

// The checks of the numbers in `checked`, in their order, over their
// texts; values holds the numbers known already.
static GeometryResult check_numbers(std::initializer_list<Number> checked,
                                    const std::array<const char*, kNumbers>& numbers, std::array<int, kNumbers> values)
{
    GeometryResult result;
    for (const NumberCheck& check : kNumberChecks) {
        if (std::ranges::find(checked, check.number) == checked.end()) continue;
        const auto n = static_cast<std::size_t>(check.number);
        bool passed;
        if (check.rule == Rule::Parses) {
            const std::optional<std::int64_t> value = parse_integer(numbers[n], INT_MIN, INT_MAX, Overflow::Refuse);
            passed = value.has_value();
            values[n] = static_cast<int>(value.value_or(0));
        } else {
            passed = passes(check.rule, values[n], values);
        }
        if (!passed) {
            result.failure = GeometryFailure{check, values[n]};
            return result;
        }
    }
    Geometry& g = result.geometry;
    g.width = values[static_cast<std::size_t>(Number::Width)];
    g.height = values[static_cast<std::size_t>(Number::Height)];
    g.tilewidth = values[static_cast<std::size_t>(Number::TileWidth)];
    g.tileheight = values[static_cast<std::size_t>(Number::TileHeight)];
    g.entries = values[static_cast<std::size_t>(Number::Entries)];
    g.hcount = g.width / g.tilewidth;
    g.vcount = g.height / g.tileheight;
    g.destwidth = destwidth_for(g.tilewidth);
    g.padding = g.destwidth - g.tilewidth;
    g.paddmask = paddmask_for(g.destwidth, g.padding);
    return result;
}

GeometryResult make_geometry(const std::array<const char*, kNumbers>& numbers)
{
    return check_numbers({Number::Width, Number::Height, Number::TileWidth, Number::TileHeight, Number::Entries},
                         numbers, {});
}

GeometryResult make_tile_geometry(int width, int height, const char* tilewidth, const char* tileheight)
{
    return check_numbers({Number::TileWidth, Number::TileHeight}, {nullptr, nullptr, tilewidth, tileheight, nullptr},
                         {width, height, 0, 0, 1});
}

std::optional<Mode> mode_for_size(const Geometry& g, std::int64_t filesize)
{
    // width is a positive multiple of 8, so both sizes are whole, and the
    // product of two ints fits 64 bits.
    const std::int64_t pixels = static_cast<std::int64_t>(g.width) * g.height;
    if (filesize == pixels / kPixelsPerByte) return Mode::Mono;
    if (filesize == pixels / kPixelsPerByte * 2) return Mode::Gray4;
    return std::nullopt;
}

// The bytes that can reach a row value: the one holding pixel x and the
// four after it (a 32-bit row that starts inside a byte).
static constexpr std::size_t kRowBytes = 5;

std::uint32_t tile_row_value(const Geometry& g, std::span<const std::uint8_t> bitmap, std::size_t plane,
                             long long x, long long y)
{
    const std::size_t row_bytes = static_cast<std::size_t>(g.width / kPixelsPerByte);
    const std::size_t first =
        plane + static_cast<std::size_t>(y) * row_bytes + static_cast<std::size_t>(x / kPixelsPerByte);
    std::uint64_t bits = 0;
    for (std::size_t i = first; i < first + kRowBytes; ++i) bits = bits << 8 | (i < bitmap.size() ? bitmap[i] : 0u);
    const int skip = static_cast<int>(x % kPixelsPerByte);
    return static_cast<std::uint32_t>(bits >> (kRowBytes * 8 - static_cast<std::size_t>(g.destwidth + skip))) &
           g.paddmask;
}

TileOrigin tile_origin(const Geometry& g, Direction direction, long long nr)
{
    const long long column = direction == Direction::Horizontal ? nr % g.hcount : nr / g.vcount;
    const long long row = direction == Direction::Horizontal ? nr / g.hcount : nr % g.vcount;
    return {column * g.tilewidth, row * g.tileheight};
}

// ---------------------------------------------------------------------------
// C text

namespace {

// The text as it is made: kept whole for a string, handed to the stream in
// blocks for a file.
class TextOut {
public:
    explicit TextOut(std::FILE* file) : file_(file) {}

    void put(std::string_view s)
    {
        text_.append(s);
        if (file_ && text_.size() >= kBlock) flush();
    }

    [[gnu::format(printf, 2, 3)]] void format(const char* format, ...)
    {
        std::va_list args;
        va_start(args, format);
        append_formatted(text_, format, args);
        va_end(args);
        if (file_ && text_.size() >= kBlock) flush();
    }

    // "0x" and digits hexadecimal digits of value, in lower case.
    void put_value(std::uint32_t value, int digits)
    {
        char item[2 + 8] = {'0', 'x'};
        for (int i = digits - 1; i >= 0; --i, value >>= 4) item[2 + i] = "0123456789abcdef"[value & 0xF];
        put({item, static_cast<std::size_t>(2 + digits)});
    }

    void flush()
    {
        std::fwrite(text_.data(), 1, text_.size(), file_);
        text_.clear();
    }

    std::string& text() { return text_; }

private:
    static constexpr std::size_t kBlock = 64 * 1024;
    std::FILE* file_;
    std::string text_;
};

struct MacroNames {
    std::string number;   // tile count
    std::string height;   // tile height
    std::string address;  // address of a tile
};

}  // namespace

// prefix and array name, with a to z turned to upper case; every other
// byte, those beyond 7-bit ASCII included, stays as it is.
static std::string macro_name(std::string_view prefix, std::string_view arrayname)
{
    std::string name = std::string(prefix).append(arrayname);
    for (char& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return name;
}

static void write_test_head(TextOut& out)
{
    out.put("#define SAVE_SCREEN\n"
            "#include <tigcclib.h>\n"
            "short _ti89,_ti92plus;\n"
            "\n"
            "\n");
}

static void write_macros(TextOut& out, const Tiling& t, const MacroNames& m)
{
    const int name_length = static_cast<int>(t.arrayname.size());
    const char* name = t.arrayname.data();
    out.format("// number of tiles in array %.*s\n#define %s %lld\n\n", name_length, name, m.number.c_str(),
               t.geometry.tilecount());
    out.format("// height of one tile in array %.*s\n#define %s %d\n\n", name_length, name, m.height.c_str(),
               t.geometry.tileheight);
    if (t.mode == Mode::Mono)
        out.format("// macro returns the address of tile nr from array %.*s\n#define %s(nr) &(%.*s[%s*(nr)])\n\n",
                   name_length, name, m.address.c_str(), name_length, name, m.height.c_str());
    else
        out.format("// macro returns the address of tile nr of plane p from array %.*s\n"
                   "#define %s(p,nr) &(%.*s[p][%s*(nr)])\n\n",
                   name_length, name, m.address.c_str(), name_length, name, m.height.c_str());
}

// Every tile of the plane that begins at byte plane: its comment line, then
// its rows, entries values to a line.
static void write_plane(TextOut& out, const Tiling& t, std::span<const std::uint8_t> bitmap, std::size_t plane)
{
    const Geometry& g = t.geometry;
    const int digits = g.destwidth / 4;
    const long long tilecount = g.tilecount();
    for (long long nr = 0; nr < tilecount; ++nr) {
        const TileOrigin at = tile_origin(g, t.direction, nr);
        out.format("// tile %lld\n", nr);
        for (int k = 0; k < g.tileheight; ++k) {
            out.put_value(tile_row_value(g, bitmap, plane, at.x, at.y + k), digits);
            if (k + 1 < g.tileheight) out.put((k + 1) % g.entries == 0 ? ",\n" : ",");
        }
        out.put(nr + 1 < tilecount ? ",\n" : "\n");
    }
}

static void write_array(TextOut& out, const Tiling& t, const MacroNames& m, std::span<const std::uint8_t> bitmap)
{
    const int destwidth = t.geometry.destwidth;
    const char* type = destwidth == 8 ? "unsigned char" : destwidth == 16 ? "unsigned short" : "unsigned long";
    const bool gray = t.mode == Mode::Gray4;
    out.format(gray ? "%s %.*s[2][%s*%s] = {{\n" : "%s %.*s[%s*%s] = {\n", type, static_cast<int>(t.arrayname.size()),
               t.arrayname.data(), m.number.c_str(), m.height.c_str());
    write_plane(out, t, bitmap, 0);
    if (gray) {
        out.put("},\n// ---- plane 2 ----\n{\n");
        write_plane(out, t, bitmap, bitmap.size() / 2);
        out.put("}");
    }
    out.put("};\n");
}

static void write_test_main(TextOut& out, const Tiling& t, const MacroNames& m)
{
    const Geometry& g = t.geometry;
    const bool gray = t.mode == Mode::Gray4;
    out.format("\n"
               "\n"
               "void _main(void) {\n"
               "    short x,y;\n"
               "    short tilewidth  = %d;\n"
               "    short vcount     = %d;\n"
               "    short hcount     = %d;\n",
               g.tilewidth, g.vcount, g.hcount);
    if (gray)
        out.put("    short i;\n"
                "    if (!GrayOn()) return;\n"
                "    memset(GetPlane(0),0,LCD_SIZE);\n"
                "    memset(GetPlane(1),0,LCD_SIZE);\n");
    else
        out.put("    memset(LCD_MEM,0,LCD_SIZE);\n");
    if (t.direction == Direction::Horizontal)
        out.put("    for (y=0;y<vcount;y++) {\n"
                "        for (x=0;x<hcount;x++) { \n"
                "            short nr = y*hcount+x;\n");
    else
        out.put("    for (x=0;x<hcount;x++) {\n"
                "        for (y=0;y<vcount;y++) { \n"
                "            short nr = x*vcount+y;\n");
    const char* height = m.height.c_str();
    if (gray)
        out.format("            for (i=0;i<2;i++) {\n"
                   "                Sprite%d(x*tilewidth,y*%s,%s,%s(i,nr),GetPlane(i),SPRT_OR);\n"
                   "            }\n",
                   g.destwidth, height, height, m.address.c_str());
    else
        out.format("            Sprite%d(x*tilewidth,y*%s,%s,%s(nr),LCD_MEM,SPRT_OR);\n", g.destwidth, height, height,
                   m.address.c_str());
    out.put("        }\n"
            "    }\n"
            "    ngetchx();\n");
    if (gray) out.put("    GrayOff();\n");
    // The program ends with an empty line, as its head does.
    out.put("}\n\n");
}

static void write_all(TextOut& out, const Tiling& t, std::span<const std::uint8_t> bitmap)
{
    const MacroNames m{macro_name("TILENUMBER_", t.arrayname), macro_name("TILEHEIGHT_", t.arrayname),
                       macro_name("TILEADDR_", t.arrayname)};
    if (t.test_program) write_test_head(out);
    write_macros(out, t, m);
    write_array(out, t, m, bitmap);
    if (t.test_program) write_test_main(out, t, m);
}

void write_c_text(std::FILE* out, const Tiling& tiling, std::span<const std::uint8_t> bitmap)
{
    TextOut text(out);
    write_all(text, tiling, bitmap);
    text.flush();
}

std::string c_text(const Tiling& tiling, std::span<const std::uint8_t> bitmap)
{
    TextOut text(nullptr);
    write_all(text, tiling, bitmap);
    return std::move(text.text());
}

}  // namespace zk::tiles
