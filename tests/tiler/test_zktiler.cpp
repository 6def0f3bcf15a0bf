// zktiler's command line, checks, listing and C text.
#include "test_zktiler.h"

#include <gtest/gtest.h>

using namespace zktest;
using namespace zktiler_test;

namespace {

const Bytes kExample = {0xAB, 0xCD, 0x12, 0x34};

const std::string kExampleText =
    "// number of tiles in array spr\n"
    "#define TILENUMBER_SPR 2\n"
    "\n"
    "// height of one tile in array spr\n"
    "#define TILEHEIGHT_SPR 2\n"
    "\n"
    "// macro returns the address of tile nr from array spr\n"
    "#define TILEADDR_SPR(nr) &(spr[TILEHEIGHT_SPR*nr])\n"
    "\n"
    "unsigned char spr[TILENUMBER_SPR*TILEHEIGHT_SPR] = {\n"
    "// tile 0\n"
    "0xa8,0x10,\n"
    "// tile 1\n"
    "0xf0,0x8c\n"
    "};\n";

std::string listing(const std::vector<std::pair<std::string, std::string>>& lines)
{
    std::string text;
    for (const auto& [label, value] : lines) text += label + " = " + value + "\n";
    return text;
}

// Runs zktiler on bitmap with C text to standard output and returns it.
std::string c_text(const Bytes& bitmap, const std::vector<std::string>& args_after_infile,
                   const std::string& flag = "-h")
{
    TempDir dir;
    dir.write("in.bin", bitmap);
    std::vector<std::string> args{flag, "in.bin"};
    args.insert(args.end(), args_after_infile.begin(), args_after_infile.end());
    RunResult r = run_tool("zktiler", args, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
}

}  // namespace

TEST(ZkTilerArgs, NoArgumentsGiveBannerAndUsageOnly)
{
    TempDir dir;
    RunResult r = run_tool("zktiler", {}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + kUsage);
    EXPECT_EQ(r.err, "");
}

TEST(ZkTilerArgs, WrongCountIsReportedBeforeTheUsage)
{
    TempDir dir;
    for (std::size_t n : {1u, 7u, 10u}) {
        std::vector<std::string> args(n, "x");
        RunResult r = run_tool("zktiler", args, dir);
        EXPECT_EQ(r.status, 1) << n;
        EXPECT_EQ(normalized(r.out), kBanner + kUsage) << n;
        EXPECT_EQ(r.err, "ERROR: invalid number of parameters\n") << n;
    }
    // An 8th argument "-" suppresses the banner even when the count is wrong.
    RunResult r = run_tool("zktiler", {"-h", "a", "8", "8", "8", "8", "1", "-", "n", "extra"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "ERROR: invalid number of parameters\n");
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkTilerArgs, FlagIsComparedExactly)
{
    TempDir dir;
    for (const char* flag : {"-H", "-hv", "h", "-t", "-", "-vtt", "-V"}) {
        RunResult r = run_tool("zktiler", {flag, "in", "8", "8", "8", "8", "1", "out"}, dir);
        EXPECT_EQ(r.status, 1) << flag;
        EXPECT_EQ(normalized(r.out), kBanner + kUsage) << flag;
        EXPECT_EQ(r.err, "ERROR: neither -h nor -v and neither -ht nor -vt specified\n") << flag;
    }
}

TEST(ZkTilerArgs, NumberChecksInTheirOrder)
{
    struct Case {
        std::vector<std::string> numbers;  // width height t_width t_height entries
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"abc", "x", "x", "x", "x"}, "ERROR: cannot parse width=abc\n"},
        {{"-4", "x", "x", "x", "x"}, "ERROR: width not multiple of 8 (width=-4)\n"},
        {{"20", "x", "x", "x", "x"}, "ERROR: width not multiple of 8 (width=20)\n"},
        {{"0", "x", "x", "x", "x"}, "ERROR: negative or zero width not allowed (width=0)\n"},
        {{"-8", "x", "x", "x", "x"}, "ERROR: negative or zero width not allowed (width=-8)\n"},
        {{"16", "high", "x", "x", "x"}, "ERROR: cannot parse height=high\n"},
        {{"16", "-3", "x", "x", "x"}, "ERROR: negative or zero height not allowed (height=-3)\n"},
        {{"16", "2", "", "x", "x"}, "ERROR: cannot parse tilewidth=\n"},
        {{"16", "2", "0", "x", "x"}, "ERROR: negative or zero tilewidth not allowed (tilewidth=0)\n"},
        {{"64", "2", "33", "x", "x"}, "ERROR: tilewidth larger than 32 not allowed (tilewidth=33)\n"},
        {{"16", "2", "24", "x", "x"}, "ERROR: tilewidth larger than width\n"},
        {{"16", "2", "6", "x", "x"}, "ERROR: cannot parse tileheight=x\n"},
        {{"16", "2", "6", "-1", "x"}, "ERROR: negative or zero tileheight not allowed (tileheight=-1)\n"},
        {{"16", "2", "6", "3", "x"}, "ERROR: tileheight larger than height\n"},
        {{"16", "2", "6", "2", "many"}, "ERROR: cannot parse entries=many\n"},
        {{"16", "2", "6", "2", "0"}, "ERROR: invalid value for entries (entries=0)\n"},
        {{"16", "2", "6", "2", "21"}, "ERROR: invalid value for entries (entries=21)\n"},
        {{"16", "2", "6", "2", "-1"}, "ERROR: invalid value for entries (entries=-1)\n"},
    };
    TempDir dir;
    dir.write("in", kExample);
    for (const Case& c : cases) {
        std::vector<std::string> args{"-h", "in"};
        args.insert(args.end(), c.numbers.begin(), c.numbers.end());
        args.push_back("out");
        RunResult r = run_tool("zktiler", args, dir);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(normalized(r.out), kBanner + kUsage) << c.message;
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in"});
}

TEST(ZkTilerArgs, NumbersAreReadFromTheStartOfTheArgument)
{
    // Leading white space and a sign are accepted; what follows the digits
    // is ignored; "0x10" reads as 0.
    std::string text = c_text(kExample, {" +16px", "\t2", "6 wide", "2.5", "20", "-", "spr"});
    EXPECT_NE(text.find("#define TILENUMBER_SPR 2\n"), std::string::npos);

    TempDir dir;
    RunResult r = run_tool("zktiler", {"-h", "in", "0x10", "2", "6", "2", "2", "out"}, dir);
    EXPECT_EQ(r.err, "ERROR: negative or zero width not allowed (width=0)\n");
    r = run_tool("zktiler", {"-h", "in", "16", "- 2", "6", "2", "2", "out"}, dir);
    EXPECT_EQ(r.err, "ERROR: cannot parse height=- 2\n");
}

TEST(ZkTilerArgs, NumbersBeyondThirtyTwoBitsDoNotParse)
{
    TempDir dir;
    RunResult r = run_tool("zktiler", {"-h", "in", "4294967312", "2", "6", "2", "2", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot parse width=4294967312\n");
    r = run_tool("zktiler", {"-h", "in", "16", "2", "6", "2", "-99999999999999999999999", "out"}, dir);
    EXPECT_EQ(r.err, "ERROR: cannot parse entries=-99999999999999999999999\n");
}

TEST(ZkTilerArgs, ErrorsOfAStandardOutputRunStillPrintTheUsage)
{
    TempDir dir;
    RunResult r = run_tool("zktiler", {"-x", "in", "8", "8", "8", "8", "1", "-"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "ERROR: neither -h nor -v and neither -ht nor -vt specified\n");

    r = run_tool("zktiler", {"-h", "missing", "8", "8", "8", "8", "1", "-"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");
}

TEST(ZkTilerLoad, ModeFollowsTheFileSize)
{
    TempDir dir;
    dir.write("mono", Bytes(4, 0));
    dir.write("gray", Bytes(8, 0));
    dir.write("odd", Bytes(6, 0));
    RunResult r = run_tool("zktiler", {"-h", "mono", "16", "2", "8", "2", "1", "m.c"}, dir);
    EXPECT_NE(r.out.find("mode       = MONO\n"), std::string::npos);
    r = run_tool("zktiler", {"-h", "gray", "16", "2", "8", "2", "1", "g.c"}, dir);
    EXPECT_NE(r.out.find("mode       = GRAY4\n"), std::string::npos);
    r = run_tool("zktiler", {"-h", "odd", "16", "2", "8", "2", "1", "o.c"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + kUsage);
    EXPECT_EQ(r.err, "ERROR: filesize (6) doesn't correspond with height/width\n");
    EXPECT_FALSE(dir.exists("o.c"));
}

TEST(ZkTilerLoad, HugeSizesAreAMismatchNotAnOverflow)
{
    // width x height / 8 wraps to 4 in 32 bits.
    TempDir dir;
    dir.write("in", Bytes(4, 0));
    RunResult r = run_tool("zktiler", {"-h", "in", "65536", "65536", "8", "1", "1", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: filesize (4) doesn't correspond with height/width\n");
    r = run_tool("zktiler", {"-h", "in", "2147483640", "2147483647", "32", "2147483647", "20", "out"}, dir);
    EXPECT_EQ(r.err, "ERROR: filesize (4) doesn't correspond with height/width\n");
    EXPECT_FALSE(dir.exists("out"));
}

TEST(ZkTilerLoad, UnreadableInputsLeaveNoOutput)
{
    TempDir dir;
    RunResult r = run_tool("zktiler", {"-h", "missing", "16", "2", "8", "2", "1", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + kUsage);
    EXPECT_EQ(r.err, "ERROR: cannot open inputfile missing\n");

    // A directory never yields a bitmap, whatever size it reports.
    std::filesystem::create_directory(dir.path() / "sub");
    r = run_tool("zktiler", {"-h", "sub", "16", "2", "8", "2", "1", "out"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
    EXPECT_EQ(normalized(r.out), kBanner + kUsage);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"sub"});
}

TEST(ZkTilerListing, SixteenLinesThenTheTextInTheFile)
{
    TempDir dir;
    dir.write("in.bin", kExample);
    RunResult r = run_tool("zktiler", {"-v", "in.bin", "16", "2", "6", "2", "2", "out.c", "spr"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(normalized(r.out), kBanner + listing({{"infile    ", "in.bin"},
                                                    {"filesize  ", "4"},
                                                    {"direction ", "VERTICAL"},
                                                    {"mode      ", "MONO"},
                                                    {"width     ", "16"},
                                                    {"height    ", "2"},
                                                    {"tilewidth ", "6"},
                                                    {"tileheight", "2"},
                                                    {"hcount    ", "2"},
                                                    {"vcount    ", "1"},
                                                    {"tilecount ", "2"},
                                                    {"destwidth ", "8"},
                                                    {"padding   ", "2"},
                                                    {"paddmask  ", "0x000000fc"},
                                                    {"outfile   ", "out.c"},
                                                    {"arrayname ", "spr"}}));
    // vcount 1: the vertical walk meets the tiles in the horizontal order.
    EXPECT_EQ(dir.read_text("out.c"), kExampleText);
}

TEST(ZkTilerListing, DefaultNameAndHorizontalGray)
{
    TempDir dir;
    dir.write("in.bin", Bytes(24 * 3 / 4, 0));
    RunResult r = run_tool("zktiler", {"-ht", "in.bin", "24", "3", "10", "2", "1", "out.c"}, dir);
    EXPECT_EQ(r.status, 0);
    const std::string out = normalized(r.out);
    EXPECT_NE(out.find("direction  = HORIZONTAL\nmode       = GRAY4\n"), std::string::npos);
    EXPECT_NE(out.find("hcount     = 2\nvcount     = 1\ntilecount  = 2\n"), std::string::npos);
    const std::string end = "outfile    = out.c\narrayname  = data\n";
    ASSERT_GE(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end);
}

TEST(ZkTilerListing, PaddmaskForEveryStoredWidth)
{
    struct Row {
        int tilewidth, destwidth, padding;
        const char* paddmask;
    };
    const Row rows[] = {{1, 8, 7, "0x00000080"},  {7, 8, 1, "0x000000fe"},  {8, 8, 0, "0x000000ff"},
                        {9, 16, 7, "0x0000ff80"}, {12, 16, 4, "0x0000fff0"}, {16, 16, 0, "0x0000ffff"},
                        {17, 32, 15, "0xffff8000"}, {24, 32, 8, "0xffffff00"}, {32, 32, 0, "0xffffffff"}};
    TempDir dir;
    dir.write("in.bin", Bytes(4, 0xFF));
    for (const Row& row : rows) {
        RunResult r = run_tool("zktiler", {"-h", "in.bin", "32", "1", std::to_string(row.tilewidth), "1", "1", "o"},
                               dir);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string expected = listing({{"destwidth ", std::to_string(row.destwidth)},
                                              {"padding   ", std::to_string(row.padding)},
                                              {"paddmask  ", row.paddmask}});
        EXPECT_NE(r.out.find(expected), std::string::npos) << row.tilewidth << "\n" << r.out;
        // An all-ones row shows the mask itself as the first tile's value.
        const std::string mask = row.paddmask;
        const std::string value = "0x" + mask.substr(10 - row.destwidth / 4);
        EXPECT_NE(dir.read_text("o").find("// tile 0\n" + value), std::string::npos) << dir.read_text("o");
    }
}

TEST(ZkTilerText, WorkedExampleOnStandardOutputWithoutBanner)
{
    EXPECT_EQ(c_text(kExample, {"16", "2", "6", "2", "2", "-", "spr"}), kExampleText);
}

TEST(ZkTilerText, EntriesOneAndEntriesBeyondTheTileHeight)
{
    std::string one = c_text(kExample, {"16", "2", "6", "2", "1", "-", "spr"});
    EXPECT_NE(one.find("// tile 0\n0xa8,\n0x10,\n// tile 1\n0xf0,\n0x8c\n};\n"), std::string::npos) << one;

    // 16 x 5 bitmap, 8 x 4 tiles: four values per tile.
    Bytes b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    EXPECT_NE(c_text(b, {"16", "5", "8", "4", "20", "-"})
                  .find("= {\n// tile 0\n0x01,0x03,0x05,0x07,\n// tile 1\n0x02,0x04,0x06,0x08\n};\n"),
              std::string::npos);
    // Three values to a line: the count starts again with every tile.
    EXPECT_NE(c_text(b, {"16", "5", "8", "4", "3", "-"})
                  .find("= {\n// tile 0\n0x01,0x03,0x05,\n0x07,\n// tile 1\n0x02,0x04,0x06,\n0x08\n};\n"),
              std::string::npos);
    // Tile height a multiple of entries: the separator comma ends the line.
    EXPECT_NE(c_text(b, {"16", "5", "8", "4", "2", "-"})
                  .find("= {\n// tile 0\n0x01,0x03,\n0x05,0x07,\n// tile 1\n0x02,0x04,\n0x06,0x08\n};\n"),
              std::string::npos);
}

TEST(ZkTilerText, WideValuesKeepTheirDigits)
{
    Bytes b = {0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_NE(c_text(b, {"32", "1", "24", "1", "1", "-"}).find("unsigned long data[TILENUMBER_DATA*TILEHEIGHT_DATA] = "
                                                               "{\n// tile 0\n0xffffff00\n};\n"),
              std::string::npos);
    EXPECT_NE(c_text({0x00, 0x0F}, {"16", "1", "12", "1", "1", "-"})
                  .find("unsigned short data[TILENUMBER_DATA*TILEHEIGHT_DATA] = {\n// tile 0\n0x0000\n};\n"),
              std::string::npos);
}

TEST(ZkTilerText, GrayPlanesOneAfterTheOther)
{
    // 8 x 2 pixels, two planes, 8 x 1 tiles.
    EXPECT_EQ(c_text({0x11, 0x22, 0x33, 0x44}, {"8", "2", "8", "1", "4", "-", "g"}),
              "// number of tiles in array g\n"
              "#define TILENUMBER_G 2\n"
              "\n"
              "// height of one tile in array g\n"
              "#define TILEHEIGHT_G 1\n"
              "\n"
              "// macro returns the address of tile nr of plane p from array g\n"
              "#define TILEADDR_G(p,nr) &(g[p][TILEHEIGHT_G*nr])\n"
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
    EXPECT_NE(c_text({0x80, 0x01}, {"8", "1", "8", "1", "1", "-"})
                  .find("{{\n// tile 0\n0x80\n},\n// ---- plane 2 ----\n{\n// tile 0\n0x01\n}};\n"),
              std::string::npos);
}

TEST(ZkTilerText, TestProgramMonoHorizontal)
{
    EXPECT_EQ(c_text(kExample, {"16", "2", "6", "2", "2", "-", "spr"}, "-ht"),
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
                  "}\n");
}

TEST(ZkTilerText, TestProgramGrayVertical)
{
    const std::string text = c_text(Bytes(32 * 3 / 4, 0), {"32", "3", "17", "1", "1", "-", "g"}, "-vt");
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
        "}\n";
    ASSERT_GE(text.size(), main_text.size());
    EXPECT_EQ(text.substr(text.size() - main_text.size()), main_text);
    EXPECT_NE(text.find("\nunsigned long g[2][TILENUMBER_G*TILEHEIGHT_G] = {{\n"), std::string::npos);
}

TEST(ZkTilerText, TestProgramLoopsFollowTheFlag)
{
    Bytes b(4, 0);
    const std::string gray_h = c_text(Bytes(8, 0), {"16", "2", "8", "1", "1", "-"}, "-ht");
    EXPECT_NE(gray_h.find("    for (y=0;y<vcount;y++) {\n        for (x=0;x<hcount;x++) { \n"
                          "            short nr = y*hcount+x;\n            for (i=0;i<2;i++) {\n"),
              std::string::npos);
    const std::string mono_v = c_text(b, {"16", "2", "16", "1", "1", "-"}, "-vt");
    EXPECT_NE(mono_v.find("    for (x=0;x<hcount;x++) {\n        for (y=0;y<vcount;y++) { \n"
                          "            short nr = x*vcount+y;\n"
                          "            Sprite16(x*tilewidth,y*TILEHEIGHT_DATA,TILEHEIGHT_DATA,TILEADDR_DATA(nr),"
                          "LCD_MEM,SPRT_OR);\n"),
              std::string::npos);
    EXPECT_EQ(mono_v.find("GrayOff"), std::string::npos);
    // Without the test program the text is the macros and the array only.
    const std::string plain = c_text(b, {"16", "2", "16", "1", "1", "-"}, "-v");
    EXPECT_EQ(plain.rfind("// number of tiles in array data\n", 0), 0u);
    EXPECT_EQ(plain.substr(plain.size() - 4), "\n};\n");
}

TEST(ZkTilerText, MacroNamesAreUpperCasedArrayNames)
{
    Bytes b(2, 0);
    std::string text = c_text(b, {"8", "2", "8", "1", "1", "-", "mySprites"});
    EXPECT_NE(text.find("#define TILEHEIGHT_MYSPRITES 1\n"), std::string::npos);
    EXPECT_NE(text.find("#define TILEADDR_MYSPRITES(nr) &(mySprites[TILEHEIGHT_MYSPRITES*nr])\n"),
              std::string::npos);
    EXPECT_NE(text.find("unsigned char mySprites[TILENUMBER_MYSPRITES*TILEHEIGHT_MYSPRITES] = {\n"),
              std::string::npos);

    text = c_text(b, {"8", "2", "8", "1", "1", "-", "tiles_2"});
    EXPECT_NE(text.find("#define TILEADDR_TILES_2(nr)"), std::string::npos);

    // Bytes beyond 7-bit ASCII pass unchanged.
    text = c_text(b, {"8", "2", "8", "1", "1", "-", "z\xE9\xC3\xA9x"});
    EXPECT_NE(text.find("#define TILENUMBER_Z\xE9\xC3\xA9X 2\n"), std::string::npos);

    // Names of any length make macros of any length.
    const std::string name(400, 'q');
    const std::string upper(400, 'Q');
    text = c_text(b, {"8", "2", "8", "1", "1", "-", name});
    EXPECT_NE(text.find("#define TILEADDR_" + upper + "(nr) &(" + name + "[TILEHEIGHT_" + upper + "*nr])\n"),
              std::string::npos);
}

TEST(ZkTilerText, DirectionsNumberTheTilesDifferently)
{
    // 16 x 2 pixels, 8 x 1 tiles: bytes are tiles (0,0) (1,0) (0,1) (1,1).
    Bytes b = {0xA0, 0xB0, 0xC0, 0xD0};
    std::string h = c_text(b, {"16", "2", "8", "1", "1", "-"}, "-h");
    std::string v = c_text(b, {"16", "2", "8", "1", "1", "-"}, "-v");
    EXPECT_NE(h.find("// tile 0\n0xa0,\n// tile 1\n0xb0,\n// tile 2\n0xc0,\n// tile 3\n0xd0\n};"),
              std::string::npos);
    EXPECT_NE(v.find("// tile 0\n0xa0,\n// tile 1\n0xc0,\n// tile 2\n0xb0,\n// tile 3\n0xd0\n};"),
              std::string::npos);
}

TEST(ZkTilerOutput, UnwritableOutputFile)
{
    TempDir dir;
    dir.write("in.bin", kExample);
    dir.link_to_full("full");
    RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "full"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write outputfile full\n");
    EXPECT_NE(r.out.find("arrayname  = data\n" + kUsage), std::string::npos);

    r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "no/such/dir"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(normalized(r.out), kBanner + kUsage);
    EXPECT_EQ(r.err, "ERROR: cannot open outputfile no/such/dir\n");
}

TEST(ZkTilerOutput, UnwritableStandardOutput)
{
    TempDir dir;
    dir.write("in.bin", kExample);
    dir.link_to_full("full");
    RunResult r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "-"}, dir, {.stdout_to = "full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");

    r = run_tool("zktiler", {"-h", "in.bin", "16", "2", "6", "2", "2", "out.c"}, dir, {.stdout_closed = true});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ERROR: cannot write to stdout\n");
    EXPECT_EQ(dir.read_text("out.c"), c_text(kExample, {"16", "2", "6", "2", "2", "-"}));
}
