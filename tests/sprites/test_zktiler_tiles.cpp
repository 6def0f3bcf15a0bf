// The pixels that the tiles carry: row values checked against the bitmap
// pixel by pixel, and the C text compiled by the system's C compiler into
// programs that rebuild the bitmap from it.
#include "test_zktiler.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

using namespace zktest;
using namespace zktiler_test;

namespace {

int destwidth_of(int tilewidth) { return tilewidth <= 8 ? 8 : tilewidth <= 16 ? 16 : 32; }

// planes, each a list of tiles in the order written, each a list of rows.
using Tiles = std::vector<std::vector<std::vector<std::uint32_t>>>;

// Reads the array back from the C text: "// tile N" lines open a tile (N
// counting from 0 in each plane), the plane 2 comment opens a plane, and
// every 0x item is a row of the current tile.
Tiles parse_tiles(const std::string& text)
{
    Tiles planes;
    std::istringstream in(text.substr(text.find("] = {")));
    std::string line;
    std::getline(in, line);
    planes.emplace_back();
    while (std::getline(in, line)) {
        if (line == "// ---- plane 2 ----") {
            planes.emplace_back();
        } else if (line.rfind("// tile ", 0) == 0) {
            EXPECT_EQ(line, "// tile " + std::to_string(planes.back().size()));
            planes.back().emplace_back();
        } else {
            for (std::size_t at = line.find("0x"); at != std::string::npos; at = line.find("0x", at + 2))
                planes.back().back().push_back(static_cast<std::uint32_t>(std::stoul(line.substr(at), nullptr, 16)));
        }
    }
    return planes;
}

// The tiles as the pixels of the bitmap give them, in the walk order.
Tiles expected_tiles(const Bytes& bitmap, const Geometry& g, int planes, bool vertical)
{
    const int hcount = g.width / g.tilewidth, vcount = g.height / g.tileheight;
    const int destwidth = destwidth_of(g.tilewidth);
    Tiles tiles(static_cast<std::size_t>(planes));
    for (int p = 0; p < planes; ++p)
        for (int outer = 0; outer < (vertical ? hcount : vcount); ++outer)
            for (int inner = 0; inner < (vertical ? vcount : hcount); ++inner) {
                const int c = vertical ? outer : inner, r = vertical ? inner : outer;
                std::vector<std::uint32_t> rows;
                for (int k = 0; k < g.tileheight; ++k) {
                    std::uint32_t v = 0;
                    for (int j = 0; j < g.tilewidth; ++j)
                        if (pixel(bitmap, g, p, c * g.tilewidth + j, r * g.tileheight + k))
                            v |= std::uint32_t{1} << (destwidth - 1 - j);
                    rows.push_back(v);
                }
                tiles[static_cast<std::size_t>(p)].push_back(rows);
            }
    return tiles;
}

// The C text of the bitmap, with the test program on request.
std::string text_of(const Bytes& bitmap, const Geometry& g, bool vertical, bool test_program = false,
                    const std::string& arrayname = "data")
{
    const std::vector<std::string> args = tiler_args(vertical ? "-v" : "-h", "in", g, "out");
    return tiles_text(bitmap, {args.begin() + 2, args.begin() + 7}, args[0] + (test_program ? "t" : ""), arrayname);
}

}  // namespace

TEST(TilesRows, HoldExactlyTheTilePixels)
{
    // Rows across byte boundaries for every tile width.
    {
        // 80 x 7 pixels and 3 pixel rows a tile: the last pixel row, and the
        // columns right of the last whole tile, belong to no tile.
        for (int tilewidth = 1; tilewidth <= 32; ++tilewidth) {
            const Geometry g{80, 7, tilewidth, 3, 5};
            const int planes = tilewidth % 2 ? 2 : 1;
            const bool vertical = tilewidth / 2 % 2;
            const Bytes bitmap = random_bitmap(g, planes, static_cast<unsigned>(tilewidth));
            const std::string text = text_of(bitmap, g, vertical);
            EXPECT_EQ(parse_tiles(text), expected_tiles(bitmap, g, planes, vertical))
                << "tilewidth " << tilewidth << (vertical ? " vertical " : " horizontal ") << planes << " planes\n"
                << text;
        }
    }

    // Tiles at the end of the data read nothing beyond it.
    {
        // The bottom-right tile's row ends with the data, held in a buffer of
        // its exact size; the sanitizer build fails on any byte read after it.
        for (const Geometry& g : {Geometry{8, 1, 8, 1}, Geometry{8, 2, 3, 1}, Geometry{16, 1, 16, 1},
                                  Geometry{16, 3, 9, 3}, Geometry{24, 1, 24, 1}, Geometry{32, 2, 32, 1},
                                  Geometry{40, 1, 17, 1}, Geometry{32, 1, 31, 1}})
            for (int planes : {1, 2}) {
                const Bytes bitmap = random_bitmap(g, planes, static_cast<unsigned>(g.width + g.tilewidth));
                EXPECT_EQ(parse_tiles(text_of(bitmap, g, false)), expected_tiles(bitmap, g, planes, false))
                    << g.width << "x" << g.height << " tile " << g.tilewidth << ", " << planes << " planes";
            }
    }
}

// ---- the C compiler as a client of the text ----

namespace {

bool have_c_compiler() { return std::system("command -v cc >/dev/null 2>&1") == 0; }

// Runs a shell command in dir; its status.
int shell(const TempDir& dir, const std::string& command)
{
    int status = std::system(("cd '" + dir.path().string() + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Rebuilds the bitmap's tiled area from the array alone, through the
// macros, and writes it in the bitmap's own layout. Included once per case,
// after the case's sprites and its numbers, as the function REBUILD.
const char kArrayClient[] = R"(#ifdef GRAY
#define PLANES 2
#define TILE(p, nr) TILEADDR_SPR(p, nr)
#else
#define PLANES 1
#define TILE(p, nr) TILEADDR_SPR(nr)
#endif

static int REBUILD(FILE *out)
{
    static unsigned char shown[PLANES][HEIGHT][WIDTH / 8];
    long p, c, r, k, j;
    if (TILENUMBER_SPR != HCOUNT * VCOUNT || TILEHEIGHT_SPR != TH) return 2;
    for (p = 0; p < PLANES; ++p)
        for (c = 0; c < HCOUNT; ++c)
            for (r = 0; r < VCOUNT; ++r) {
#ifdef VERTICAL
                long nr = c * VCOUNT + r;
#else
                long nr = r * HCOUNT + c;
#endif
                for (k = 0; k < TILEHEIGHT_SPR; ++k) {
                    unsigned long row = (TILE(p, nr))[k];
                    if (row >> (DESTWIDTH - 1) >> 1) return 3;
                    for (j = 0; j < DESTWIDTH; ++j) {
                        long x = c * TW + j, y = r * TH + k;
                        if (!(row >> (DESTWIDTH - 1 - j) & 1)) continue;
                        if (j >= TW) return 4;
                        shown[p][y][x / 8] |= (unsigned char)(0x80 >> (x % 8));
                    }
                }
            }
    fwrite(shown, 1, sizeof shown, out);
    return 0;
}

#undef PLANES
#undef TILE
)";

// The calculator library calls of the test program, drawing into two
// 256 x 256 planes.
const char kStubHeader[] = R"(#ifndef TIGCCLIB_STUB
#define TIGCCLIB_STUB
#include <string.h>
#define SCREEN_ROW_BYTES 32
#define SCREEN_ROWS 256
#define LCD_SIZE (SCREEN_ROW_BYTES * SCREEN_ROWS)
#define LCD_MEM ((void *)zk_screen[0])
#define SPRT_OR 1
extern unsigned char zk_screen[2][LCD_SIZE];
short GrayOn(void);
void GrayOff(void);
void *GetPlane(short plane);
void Sprite8(short x, short y, short h, const unsigned char *sprite, void *plane, short mode);
void Sprite16(short x, short y, short h, const unsigned short *sprite, void *plane, short mode);
void Sprite32(short x, short y, short h, const unsigned long *sprite, void *plane, short mode);
short ngetchx(void);
void _main(void);
#endif
)";

// Runs every test program, each on a clear screen, and writes what each
// drew to screen<n>.bin.
const char kStubDriver[] = R"(#include <stdio.h>
#include <stdlib.h>
#include "tigcclib.h"

extern void (*const zk_programs[])(void);
extern const int zk_program_count;

unsigned char zk_screen[2][LCD_SIZE];
static int gray_on, gray_used, keys_read, drawn_after_key;

short GrayOn(void) { gray_on = gray_used = 1; return 1; }
void GrayOff(void) { gray_on = 0; }
void *GetPlane(short plane) { return zk_screen[plane]; }
short ngetchx(void) { ++keys_read; return 13; }

static void draw_row(short x, short y, int bits, unsigned long row, void *plane, short mode)
{
    unsigned char *screen = plane;
    int j;
    if (mode != SPRT_OR || keys_read) drawn_after_key = 1;
    if (plane == zk_screen[1] && !gray_on) exit(5);
    for (j = 0; j < bits; ++j) {
        int px = x + j;
        if (!(row >> (bits - 1 - j) & 1)) continue;
        if (px < 0 || px >= SCREEN_ROW_BYTES * 8 || y < 0 || y >= SCREEN_ROWS) exit(6);
        screen[y * SCREEN_ROW_BYTES + px / 8] |= (unsigned char)(0x80 >> (px % 8));
    }
}

void Sprite8(short x, short y, short h, const unsigned char *sprite, void *plane, short mode)
{
    short k;
    for (k = 0; k < h; ++k) draw_row(x, y + k, 8, sprite[k], plane, mode);
}

void Sprite16(short x, short y, short h, const unsigned short *sprite, void *plane, short mode)
{
    short k;
    for (k = 0; k < h; ++k) draw_row(x, y + k, 16, sprite[k], plane, mode);
}

void Sprite32(short x, short y, short h, const unsigned long *sprite, void *plane, short mode)
{
    short k;
    for (k = 0; k < h; ++k) draw_row(x, y + k, 32, sprite[k] & 0xFFFFFFFFul, plane, mode);
}

int main(void)
{
    int i;
    for (i = 0; i < zk_program_count; ++i) {
        char name[32];
        FILE *f;
        memset(zk_screen, 0, sizeof zk_screen);
        gray_on = gray_used = keys_read = drawn_after_key = 0;
        zk_programs[i]();
        if (keys_read != 1 || drawn_after_key || gray_on) return 7;
        sprintf(name, "screen%d.bin", i);
        if (!(f = fopen(name, "wb"))) return 8;
        fwrite(zk_screen, 1, gray_used ? sizeof zk_screen : sizeof zk_screen[0], f);
        fclose(f);
    }
    return 0;
}
)";

struct ClientCase {
    Geometry g;
    int planes;
    bool vertical;
};

const ClientCase kClientCases[] = {
    {{48, 20, 5, 3, 7}, 1, false},    {{48, 20, 12, 4, 3}, 2, true},  {{64, 9, 24, 2, 20}, 1, true},
    {{72, 17, 32, 5, 2}, 2, false},   {{16, 16, 8, 16, 1}, 1, true},  {{200, 130, 11, 13, 4}, 2, false},
};

std::string describe(const ClientCase& c)
{
    return std::to_string(c.g.width) + "x" + std::to_string(c.g.height) + " tile " +
           std::to_string(c.g.tilewidth) + "x" + std::to_string(c.g.tileheight) + ", " +
           std::to_string(c.planes) + (c.vertical ? " planes, vertical" : " planes, horizontal");
}

std::string define(const std::string& name, long value)
{
    return "#define " + name + " " + std::to_string(value) + "\n";
}

}  // namespace

// One program holds every case, each with its own array spr<n>, so that
// the compiler runs once.
TEST(TilesClient, ArrayRebuildsTheBitmapThroughItsMacros)
{
    if (!have_c_compiler()) GTEST_SKIP() << "no C compiler";
    TempDir dir;
    std::vector<Bytes> bitmaps;
    std::string program = "#include <stdio.h>\n";
    std::string calls;
    for (std::size_t n = 0; n < std::size(kClientCases); ++n) {
        const ClientCase& c = kClientCases[n];
        const Geometry& g = c.g;
        bitmaps.push_back(random_bitmap(g, c.planes, static_cast<unsigned>(g.width * g.tilewidth)));
        const std::string id = std::to_string(n);
        dir.write("sprites" + id + ".h", text_of(bitmaps.back(), g, c.vertical, false, "spr" + id));
        program += "#include \"sprites" + id + ".h\"\n" + define("WIDTH", g.width) + define("HEIGHT", g.height) +
                   define("TW", g.tilewidth) + define("TH", g.tileheight) + define("HCOUNT", g.width / g.tilewidth) +
                   define("VCOUNT", g.height / g.tileheight) + define("DESTWIDTH", destwidth_of(g.tilewidth)) +
                   (c.planes == 2 ? "#define GRAY\n" : "") + (c.vertical ? "#define VERTICAL\n" : "") +
                   "#define TILENUMBER_SPR TILENUMBER_SPR" + id + "\n#define TILEHEIGHT_SPR TILEHEIGHT_SPR" + id +
                   "\n#define TILEADDR_SPR TILEADDR_SPR" + id + "\n#define REBUILD rebuild" + id + "\n" +
                   kArrayClient +
                   "#undef WIDTH\n#undef HEIGHT\n#undef TW\n#undef TH\n#undef HCOUNT\n#undef VCOUNT\n"
                   "#undef DESTWIDTH\n#undef GRAY\n#undef VERTICAL\n#undef TILENUMBER_SPR\n#undef TILEHEIGHT_SPR\n"
                   "#undef TILEADDR_SPR\n#undef REBUILD\n\n";
        calls += "    if (!(f = fopen(\"shown" + id + ".bin\", \"wb\")) || (status = rebuild" + id +
                 "(f)) != 0) return status ? status : 8;\n    fclose(f);\n";
    }
    dir.write("client.c",
              program + "int main(void)\n{\n    FILE *f;\n    int status = 0;\n" + calls + "    return 0;\n}\n");
    ASSERT_EQ(shell(dir, "cc -std=c99 -Wall -Werror -pedantic-errors -o client client.c"), 0);
    ASSERT_EQ(shell(dir, "./client"), 0);
    for (std::size_t n = 0; n < std::size(kClientCases); ++n) {
        const ClientCase& c = kClientCases[n];
        EXPECT_EQ(dir.read("shown" + std::to_string(n) + ".bin"), tiled_area(bitmaps[n], c.g, c.planes))
            << describe(c);
    }
}

// Every test program is compiled under names of its own (main<n>, and its
// array spr<n>) into one program that runs them one after the other.
TEST(TilesClient, TestProgramDrawsEveryTileWhereItWasCut)
{
    if (!have_c_compiler()) GTEST_SKIP() << "no C compiler";
    TempDir dir;
    std::vector<Bytes> bitmaps;
    std::string programs, list;
    for (std::size_t n = 0; n < std::size(kClientCases); ++n) {
        const ClientCase& c = kClientCases[n];
        const Geometry& g = c.g;
        bitmaps.push_back(random_bitmap(g, c.planes, static_cast<unsigned>(g.height * g.tileheight)));
        const std::string id = std::to_string(n);
        dir.write("test" + id + ".c", text_of(bitmaps.back(), g, c.vertical, true, "spr" + id));
        programs += "#define _main main" + id + "\n#define _ti89 ti89_" + id + "\n#define _ti92plus ti92plus_" + id +
                    "\n#include \"test" + id + ".c\"\n#undef _main\n#undef _ti89\n#undef _ti92plus\n";
        list += (n ? ", main" : "main") + id;
    }
    programs += "void (*const zk_programs[])(void) = {" + list + "};\nconst int zk_program_count = " +
                std::to_string(std::size(kClientCases)) + ";\n";
    dir.write("programs.c", programs);
    dir.write("tigcclib.h", std::string(kStubHeader));
    dir.write("driver.c", std::string(kStubDriver));
    ASSERT_EQ(shell(dir, "cc -std=c99 -Wall -Werror -I. -o program programs.c driver.c"), 0);
    ASSERT_EQ(shell(dir, "./program"), 0);

    for (std::size_t n = 0; n < std::size(kClientCases); ++n) {
        // The screen shows the tiled area at the top left, nothing else.
        const ClientCase& c = kClientCases[n];
        const Geometry& g = c.g;
        const Bytes area = tiled_area(bitmaps[n], g, c.planes);
        const std::size_t row_bytes = static_cast<std::size_t>(g.width / 8);
        const std::size_t plane_bytes = row_bytes * static_cast<std::size_t>(g.height);
        Bytes screen(static_cast<std::size_t>(c.planes) * 32 * 256);
        for (int p = 0; p < c.planes; ++p)
            for (std::size_t y = 0; y < static_cast<std::size_t>(g.height); ++y)
                std::copy_n(area.begin() + static_cast<long>(p * plane_bytes + y * row_bytes), row_bytes,
                            screen.begin() + static_cast<long>((p * 256 + y) * 32));
        EXPECT_EQ(dir.read("screen" + std::to_string(n) + ".bin"), screen) << describe(c);
    }
}
