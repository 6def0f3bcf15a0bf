// The tile library in process: the checks of the numbers in their order,
// the geometry and the mode, and the C text.
#include "test_zktiler.h"
#include "tiles.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace zktest;
using namespace zktiler_test;
namespace tiles = zk::tiles;

namespace {

using tiles::Number;
using tiles::Rule;

// The first failed check of the numbers width, height, t_width, t_height,
// entries, and the number it read.
std::optional<tiles::GeometryFailure> check_error(const std::array<const char*, 5>& numbers)
{
    return tiles::make_geometry(numbers).failure;
}

tiles::GeometryFailure failed(Number number, Rule rule, int value = 0)
{
    return {{number, rule}, value};
}

tiles::Geometry geometry(const std::array<const char*, 5>& numbers)
{
    const tiles::GeometryResult r = tiles::make_geometry(numbers);
    EXPECT_EQ(r.failure, std::nullopt);
    return r.geometry;
}

}  // namespace

TEST(TilesGeometry, NumbersAreCheckedInTheirOrder)
{
    // Number checks in their order.
    {
        struct Case {
            std::array<const char*, 5> numbers;  // width height t_width t_height entries
            tiles::GeometryFailure failure;
        };
        const std::vector<Case> cases = {
            {{"abc", "x", "x", "x", "x"}, failed(Number::Width, Rule::Parses)},
            {{"-4", "x", "x", "x", "x"}, failed(Number::Width, Rule::MultipleOf8, -4)},
            {{"20", "x", "x", "x", "x"}, failed(Number::Width, Rule::MultipleOf8, 20)},
            {{"0", "x", "x", "x", "x"}, failed(Number::Width, Rule::Positive, 0)},
            {{"-8", "x", "x", "x", "x"}, failed(Number::Width, Rule::Positive, -8)},
            {{"16", "high", "x", "x", "x"}, failed(Number::Height, Rule::Parses)},
            {{"16", "-3", "x", "x", "x"}, failed(Number::Height, Rule::Positive, -3)},
            {{"16", "2", "", "x", "x"}, failed(Number::TileWidth, Rule::Parses)},
            {{"16", "2", "0", "x", "x"}, failed(Number::TileWidth, Rule::Positive, 0)},
            {{"64", "2", "33", "x", "x"}, failed(Number::TileWidth, Rule::AtMost32, 33)},
            {{"16", "2", "24", "x", "x"}, failed(Number::TileWidth, Rule::AtMostWidth, 24)},
            {{"16", "2", "6", "x", "x"}, failed(Number::TileHeight, Rule::Parses)},
            {{"16", "2", "6", "-1", "x"}, failed(Number::TileHeight, Rule::Positive, -1)},
            {{"16", "2", "6", "3", "x"}, failed(Number::TileHeight, Rule::AtMostHeight, 3)},
            {{"16", "2", "6", "2", "many"}, failed(Number::Entries, Rule::Parses)},
            {{"16", "2", "6", "2", "0"}, failed(Number::Entries, Rule::OneTo20, 0)},
            {{"16", "2", "6", "2", "21"}, failed(Number::Entries, Rule::OneTo20, 21)},
            {{"16", "2", "6", "2", "-1"}, failed(Number::Entries, Rule::OneTo20, -1)},
        };
        for (const Case& c : cases) EXPECT_EQ(check_error(c.numbers), c.failure);
        EXPECT_EQ(check_error({"16", "2", "6", "2", "20"}), std::nullopt);
    }

    // Numbers are read from the start of the argument.
    {
        // Leading white space and a sign are accepted; what follows the digits
        // is ignored; "0x10" reads as 0.
        const tiles::Geometry g = geometry({" +16px", "\t2", "6 wide", "2.5", "20"});
        EXPECT_EQ(g.width, 16);
        EXPECT_EQ(g.height, 2);
        EXPECT_EQ(g.tilewidth, 6);
        EXPECT_EQ(g.tileheight, 2);
        EXPECT_EQ(g.entries, 20);
        EXPECT_EQ(check_error({"0x10", "2", "6", "2", "2"}), failed(Number::Width, Rule::Positive, 0));
        EXPECT_EQ(check_error({"16", "- 2", "6", "2", "2"}), failed(Number::Height, Rule::Parses));
    }

    // Numbers beyond 32 bits do not parse.
    {
        EXPECT_EQ(check_error({"4294967312", "2", "6", "2", "2"}), failed(Number::Width, Rule::Parses));
        EXPECT_EQ(check_error({"2147483648", "4", "8", "4", "1"}), failed(Number::Width, Rule::Parses));
        EXPECT_EQ(check_error({"16", "99999999999999999999", "8", "4", "1"}),
                  failed(Number::Height, Rule::Parses));
        EXPECT_EQ(check_error({"16", "2", "6", "2", "-99999999999999999999999"}),
                  failed(Number::Entries, Rule::Parses));
        // The bounds of 32 bits themselves parse and meet the range checks.
        EXPECT_EQ(check_error({"16", "4", "-2147483648", "4", "1"}),
                  failed(Number::TileWidth, Rule::Positive, -2147483647 - 1));
        EXPECT_EQ(check_error({"16", "4", "8", "4", "2147483647"}),
                  failed(Number::Entries, Rule::OneTo20, 2147483647));
    }
}

TEST(TilesGeometry, SizesFollowFromTheNumbers)
{
    // Paddmask for every stored width.
    {
        struct Row {
            int tilewidth, destwidth, padding;
            std::uint32_t paddmask;
        };
        const Row rows[] = {{1, 8, 7, 0x80},      {7, 8, 1, 0xfe},      {8, 8, 0, 0xff},
                            {9, 16, 7, 0xff80},   {12, 16, 4, 0xfff0},  {16, 16, 0, 0xffff},
                            {17, 32, 15, 0xffff8000}, {24, 32, 8, 0xffffff00}, {32, 32, 0, 0xffffffff}};
        const Bytes ones(4, 0xFF);
        for (const Row& row : rows) {
            const std::string tilewidth = std::to_string(row.tilewidth);
            const tiles::Geometry g = geometry({"32", "1", tilewidth.c_str(), "1", "1"});
            EXPECT_EQ(g.destwidth, row.destwidth) << row.tilewidth;
            EXPECT_EQ(g.padding, row.padding) << row.tilewidth;
            EXPECT_EQ(g.paddmask, row.paddmask) << row.tilewidth;
            // An all-ones row shows the mask itself as the first tile's value.
            EXPECT_EQ(tiles::tile_row_value(g, ones, 0, 0, 0), row.paddmask) << row.tilewidth;
        }
    }

    // Counts drop the pixels of no whole tile.
    {
        EXPECT_EQ(geometry({"24", "5", "8", "2", "1"}).hcount, 3);
        const tiles::Geometry g = geometry({"24", "5", "10", "2", "1"});
        EXPECT_EQ(g.hcount, 2);
        EXPECT_EQ(g.vcount, 2);
        EXPECT_EQ(g.tilecount(), 4);
        // More tiles than 32 bits count.
        EXPECT_EQ(geometry({"2147483640", "2147483647", "1", "1", "1"}).tilecount(), 2147483640LL * 2147483647LL);
    }

    // Mode follows the file size.
    {
        // 16 x 4 pixels: 8 bytes for one plane, 16 for two, nothing else.
        const tiles::Geometry g = geometry({"16", "4", "12", "3", "5"});
        for (std::int64_t n = 0; n <= 17; ++n) {
            const std::optional<tiles::Mode> mode = tiles::mode_for_size(g, n);
            if (n == 8)
                EXPECT_EQ(mode, tiles::Mode::Mono);
            else if (n == 16)
                EXPECT_EQ(mode, tiles::Mode::Gray4);
            else
                EXPECT_FALSE(mode) << n;
        }
        // Sizes whose products pass 32 bits are compared whole: width x height
        // / 8 wraps to 4 in 32 bits.
        EXPECT_FALSE(tiles::mode_for_size(geometry({"65536", "65536", "8", "1", "1"}), 4));
        EXPECT_FALSE(tiles::mode_for_size(geometry({"2147483640", "2147483647", "32", "2147483647", "20"}), 4));
        EXPECT_FALSE(tiles::mode_for_size(geometry({"2147483640", "2147483647", "32", "2147483647", "20"}), 8));
        EXPECT_FALSE(tiles::mode_for_size(geometry({"8", "2147483647", "1", "1", "1"}), 8));
        EXPECT_EQ(tiles::mode_for_size(geometry({"2147483640", "8", "32", "1", "1"}), 2147483640LL * 2),
                  tiles::Mode::Gray4);
    }
}

// ---------------------------------------------------------------------------
// C text

TEST(TilesText, ArrayValuesAndTheirLines)
{
    // Worked example.
    {
        EXPECT_EQ(tiles_text(kExample, {"16", "2", "6", "2", "2"}, "-h", "spr"), kExampleText);
        // vcount 1: the vertical walk meets the tiles in the horizontal order.
        EXPECT_EQ(tiles_text(kExample, {"16", "2", "6", "2", "2"}, "-v", "spr"), kExampleText);
    }

    // Entries one and entries beyond the tile height.
    {
        std::string one = tiles_text(kExample, {"16", "2", "6", "2", "1"}, "-h", "spr");
        EXPECT_NE(one.find("// tile 0\n0xa8,\n0x10,\n// tile 1\n0xf0,\n0x8c\n};\n"), std::string::npos) << one;

        // 16 x 5 bitmap, 8 x 4 tiles: four values per tile.
        Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
        EXPECT_NE(tiles_text(b, {"16", "5", "8", "4", "20"})
                      .find("= {\n// tile 0\n0x01,0x03,0x05,0x07,\n// tile 1\n0x02,0x04,0x06,0x08\n};\n"),
                  std::string::npos);
        // Three values to a line: the count starts again with every tile.
        EXPECT_NE(tiles_text(b, {"16", "5", "8", "4", "3"})
                      .find("= {\n// tile 0\n0x01,0x03,0x05,\n0x07,\n// tile 1\n0x02,0x04,0x06,\n0x08\n};\n"),
                  std::string::npos);
        // Tile height a multiple of entries: the separator comma ends the line.
        EXPECT_NE(tiles_text(b, {"16", "5", "8", "4", "2"})
                      .find("= {\n// tile 0\n0x01,0x03,\n0x05,0x07,\n// tile 1\n0x02,0x04,\n0x06,0x08\n};\n"),
                  std::string::npos);
    }

    // Wide values keep their digits.
    {
        Bytes b = {0xFF, 0xFF, 0xFF, 0x00};
        EXPECT_NE(tiles_text(b, {"32", "1", "24", "1", "1"}).find("unsigned long data[TILENUMBER_DATA*TILEHEIGHT_DATA] = "
                                                              "{\n// tile 0\n0xffffff00\n};\n"),
                  std::string::npos);
        EXPECT_NE(tiles_text({0x00, 0x0F}, {"16", "1", "12", "1", "1"})
                      .find("unsigned short data[TILENUMBER_DATA*TILEHEIGHT_DATA] = {\n// tile 0\n0x0000\n};\n"),
                  std::string::npos);
    }

    // Directions number the tiles differently.
    {
        // 16 x 2 pixels, 8 x 1 tiles: bytes are tiles (0,0) (1,0) (0,1) (1,1).
        Bytes b = {0xA0, 0xB0, 0xC0, 0xD0};
        std::string h = tiles_text(b, {"16", "2", "8", "1", "1"}, "-h");
        std::string v = tiles_text(b, {"16", "2", "8", "1", "1"}, "-v");
        EXPECT_NE(h.find("// tile 0\n0xa0,\n// tile 1\n0xb0,\n// tile 2\n0xc0,\n// tile 3\n0xd0\n};"),
                  std::string::npos);
        EXPECT_NE(v.find("// tile 0\n0xa0,\n// tile 1\n0xc0,\n// tile 2\n0xb0,\n// tile 3\n0xd0\n};"),
                  std::string::npos);
    }

    // Gray planes one after the other.
    {
        // 8 x 2 pixels, two planes, 8 x 1 tiles.
        EXPECT_EQ(tiles_text({0x11, 0x22, 0x33, 0x44}, {"8", "2", "8", "1", "4"}, "-h", "g"),
                  "// number of tiles in array g\n"
                  "#define TILENUMBER_G 2\n"
                  "\n"
                  "// height of one tile in array g\n"
                  "#define TILEHEIGHT_G 1\n"
                  "\n"
                  "// macro returns the address of tile nr of plane p from array g\n"
                  "#define TILEADDR_G(p,nr) &(g[p][TILEHEIGHT_G*(nr)])\n"
                  "\n"
                  "unsigned char g[2][TILENUMBER_G*TILEHEIGHT_G] = {{\n"
                  "// tile 0\n"
                  "0x11,\n"
                  "// tile 1\n"
                  "0x22\n"
                  "},\n"
                  "// ---- plane 2 ----\n"
                  "{\n"
                  "// tile 0\n"
                  "0x33,\n"
                  "// tile 1\n"
                  "0x44\n"
                  "}};\n");
        // One tile per plane.
        EXPECT_NE(tiles_text({0x80, 0x01}, {"8", "1", "8", "1", "1"})
                      .find("{{\n// tile 0\n0x80\n},\n// ---- plane 2 ----\n{\n// tile 0\n0x01\n}};\n"),
                  std::string::npos);
    }
}

TEST(TilesText, TestProgram)
{
    // Test program mono horizontal.
    {
        // The program ends with an empty line, as its head does.
        EXPECT_EQ(tiles_text(kExample, {"16", "2", "6", "2", "2"}, "-ht", "spr"),
                  "#define SAVE_SCREEN\n"
                  "#include <tigcclib.h>\n"
                  "short _ti89,_ti92plus;\n"
                  "\n"
                  "\n" +
                      kExampleText +
                      "\n"
                      "\n"
                      "void _main(void) {\n"
                      "    short x,y;\n"
                      "    short tilewidth  = 6;\n"
                      "    short vcount     = 1;\n"
                      "    short hcount     = 2;\n"
                      "    memset(LCD_MEM,0,LCD_SIZE);\n"
                      "    for (y=0;y<vcount;y++) {\n"
                      "        for (x=0;x<hcount;x++) { \n"
                      "            short nr = y*hcount+x;\n"
                      "            Sprite8(x*tilewidth,y*TILEHEIGHT_SPR,TILEHEIGHT_SPR,TILEADDR_SPR(nr),LCD_MEM,SPRT_OR);\n"
                      "        }\n"
                      "    }\n"
                      "    ngetchx();\n"
                      "}\n"
                      "\n");
    }

    // Test program gray vertical.
    {
        const std::string text = tiles_text(Bytes(32 * 3 / 4, 0), {"32", "3", "17", "1", "1"}, "-vt", "g");
        const std::string head = "#define SAVE_SCREEN\n#include <tigcclib.h>\nshort _ti89,_ti92plus;\n\n\n";
        EXPECT_EQ(text.substr(0, head.size()), head);
        const std::string main_text =
            "}};\n"
            "\n"
            "\n"
            "void _main(void) {\n"
            "    short x,y;\n"
            "    short tilewidth  = 17;\n"
            "    short vcount     = 3;\n"
            "    short hcount     = 1;\n"
            "    short i;\n"
            "    if (!GrayOn()) return;\n"
            "    memset(GetPlane(0),0,LCD_SIZE);\n"
            "    memset(GetPlane(1),0,LCD_SIZE);\n"
            "    for (x=0;x<hcount;x++) {\n"
            "        for (y=0;y<vcount;y++) { \n"
            "            short nr = x*vcount+y;\n"
            "            for (i=0;i<2;i++) {\n"
            "                Sprite32(x*tilewidth,y*TILEHEIGHT_G,TILEHEIGHT_G,TILEADDR_G(i,nr),GetPlane(i),SPRT_OR);\n"
            "            }\n"
            "        }\n"
            "    }\n"
            "    ngetchx();\n"
            "    GrayOff();\n"
            "}\n"
            "\n";
        ASSERT_GE(text.size(), main_text.size());
        EXPECT_EQ(text.substr(text.size() - main_text.size()), main_text);
        EXPECT_NE(text.find("\nunsigned long g[2][TILENUMBER_G*TILEHEIGHT_G] = {{\n"), std::string::npos);
    }

    // Test program loops follow the flag.
    {
        Bytes b(4, 0);
        const std::string gray_h = tiles_text(Bytes(8, 0), {"16", "2", "8", "1", "1"}, "-ht");
        EXPECT_NE(gray_h.find("    for (y=0;y<vcount;y++) {\n        for (x=0;x<hcount;x++) { \n"
                              "            short nr = y*hcount+x;\n            for (i=0;i<2;i++) {\n"),
                  std::string::npos);
        const std::string mono_v = tiles_text(b, {"16", "2", "16", "1", "1"}, "-vt");
        EXPECT_NE(mono_v.find("    for (x=0;x<hcount;x++) {\n        for (y=0;y<vcount;y++) { \n"
                              "            short nr = x*vcount+y;\n"
                              "            Sprite16(x*tilewidth,y*TILEHEIGHT_DATA,TILEHEIGHT_DATA,TILEADDR_DATA(nr),"
                              "LCD_MEM,SPRT_OR);\n"),
                  std::string::npos);
        EXPECT_EQ(mono_v.find("GrayOff"), std::string::npos);
        // Without the test program the text is the macros and the array only.
        const std::string plain = tiles_text(b, {"16", "2", "16", "1", "1"}, "-v");
        EXPECT_EQ(plain.rfind("// number of tiles in array data\n", 0), 0u);
        EXPECT_EQ(plain.substr(plain.size() - 4), "\n};\n");
    }
}

TEST(TilesText, MacroNamesAreUpperCasedArrayNames)
{
    Bytes b(2, 0);
    std::string text = tiles_text(b, {"8", "2", "8", "1", "1"}, "-h", "mySprites");
    EXPECT_NE(text.find("#define TILEHEIGHT_MYSPRITES 1\n"), std::string::npos);
    EXPECT_NE(text.find("#define TILEADDR_MYSPRITES(nr) &(mySprites[TILEHEIGHT_MYSPRITES*(nr)])\n"),
              std::string::npos);
    EXPECT_NE(text.find("unsigned char mySprites[TILENUMBER_MYSPRITES*TILEHEIGHT_MYSPRITES] = {\n"),
              std::string::npos);

    text = tiles_text(b, {"8", "2", "8", "1", "1"}, "-h", "tiles_2");
    EXPECT_NE(text.find("#define TILEADDR_TILES_2(nr)"), std::string::npos);

    // Bytes beyond 7-bit ASCII pass unchanged.
    text = tiles_text(b, {"8", "2", "8", "1", "1"}, "-h", "z\xE9\xC3\xA9x");
    EXPECT_NE(text.find("#define TILENUMBER_Z\xE9\xC3\xA9X 2\n"), std::string::npos);

    // Names of any length make macros of any length.
    for (std::size_t length : {400, 100000}) {
        const std::string name(length, 'q');
        const std::string upper(length, 'Q');
        text = tiles_text(b, {"8", "2", "8", "1", "1"}, "-h", name);
        EXPECT_NE(text.find("#define TILEADDR_" + upper + "(nr) &(" + name + "[TILEHEIGHT_" + upper + "*(nr)])\n"),
                  std::string::npos);
    }
}

TEST(TilesText, StreamGetsTheSameTextAsTheString)
{
    // Large enough to reach the stream in several blocks.
    const Bytes bitmap = random_bitmap({256, 256, 3, 1}, 2, 5);
    tiles::Tiling t;
    t.geometry = geometry({"256", "256", "3", "1", "1"});
    t.mode = tiles::Mode::Gray4;
    t.test_program = true;
    const std::string expected = tiles::c_text(t, bitmap);
    ASSERT_GT(expected.size(), 3u * 64 * 1024);
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    tiles::write_c_text(f, t, bitmap);
    std::rewind(f);
    std::string written(expected.size() + 1, '\0');
    written.resize(std::fread(written.data(), 1, written.size(), f));
    std::fclose(f);
    EXPECT_EQ(written, expected);
}
