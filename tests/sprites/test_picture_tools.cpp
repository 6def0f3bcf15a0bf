// zkpng2bin and zkbin2png as processes: their command lines, the files they
// write with their summaries, the round trips between them, and each
// refusal as the user reads it.
#include "calc_builder.h"
#include "cli.h"
#include "png_builder.h"

#include <gtest/gtest.h>

#include <random>

using namespace zktest;

namespace {

const std::string kPngBanner = banner("ZKPng2Bin", "1.0");
const std::string kBinBanner = banner("ZKBin2Png", "1.0");

// 10 x 1 grey and alpha: black, lightness 100, 180, white, four black,
// transparent, black at alpha 128 (lightness 127 over white).
const PngBytes kStrip = png_file({.width = 10,
                                  .colour_type = 4,
                                  .samples = {0, 255, 100, 255, 180, 255, 255, 255, 0, 255, 0, 255, 0, 255, 0, 255,
                                              255, 0, 0, 128}});

void expect_run(const RunResult& r, const std::string& out, const std::string& err = "", int status = 0)
{
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(normalized(r.out), out);
    EXPECT_EQ(r.err, err);
}

void expect_refused(const RunResult& r, const std::string& err) { expect_run(r, "", err, 1); }

Bytes random_bytes_of(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& v : b) v = static_cast<std::uint8_t>(rng());
    return b;
}

// A run of zkbin2png that drew name, and its summary.
void expect_drawn(const RunResult& r, const TempDir& dir, const std::string& name, const std::string& pixels)
{
    expect_run(r, kBinBanner + std::to_string(dir.read(name).size()) + " bytes written to " + name + " (" + pixels +
                      " pixels)\n");
}

}  // namespace

TEST(ZkPng2BinArgs, UsageAndRefusedValues)
{
    TempDir dir;
    expect_usage("zkpng2bin", dir, kPngBanner + run_tool("zkpng2bin", {"--help"}, dir).out,
                 {{},
                  {"in.png"},
                  {"a", "b", "c"},
                  {"a", "b", "-mask"},
                  {"-quiet", "-gray4", "-threshold", "9", "a", "b"},
                  {"-s89", "-gray4", "a", "b"},
                  {"-s92", "-mask", "m", "a", "b"},
                  {"-s89", "a"},
                  {"-s89", "a", "b", "c", "d"}});
    expect_refused(run_tool("zkpng2bin", {"-threshold", "256", "a", "b"}, dir),
                   "ERROR: invalid value 256 for option -threshold (must be >=1 and <=255)\n");
    expect_refused(run_tool("zkpng2bin", {"-threshold", "0x10", "a", "b"}, dir),
                   "ERROR: invalid value 0x10 for option -threshold (must be >=1 and <=255)\n");
    expect_refused(run_tool("zkpng2bin", {"a", "-black", "b"}, dir), "ERROR: invalid option -black\n");
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkPng2BinBitmap, PlanesMaskAndSummaries)
{
    TempDir dir;
    dir.write("in.png", kStrip);
    expect_run(run_tool("zkpng2bin", {"in.png", "out.bin"}, dir),
               kPngBanner + "2 bytes written to out.bin (width 16, height 1, mono)\n");
    EXPECT_EQ(dir.read("out.bin"), (Bytes{0xCF, 0x40}));

    expect_run(run_tool("zkpng2bin", {"-gray4", "in.png", "-mask", "mask.bin", "gray.bin"}, dir),
               kPngBanner + "4 bytes written to gray.bin (width 16, height 1, gray4)\n"
                            "2 bytes written to mask.bin (mask)\n");
    EXPECT_EQ(dir.read("gray.bin"), (Bytes{0xAF, 0x00, 0xCF, 0x40}));
    EXPECT_EQ(dir.read("mask.bin"), (Bytes{0xFF, 0x40}));

    expect_run(run_tool("zkpng2bin", {"-quiet", "-invert", "-threshold", "200", "in.png", "out.bin"}, dir), "");
    EXPECT_EQ(dir.read("out.bin"), (Bytes{0x70, 0xC0}));
}

TEST(ZkPng2BinPicture, NamedAfterTheVariable)
{
    TempDir dir;
    dir.write("in.png", kStrip);
    expect_run(run_tool("zkpng2bin", {"-s89", "in.png", "Logo", "Games"}, dir),
               kPngBanner + "97 bytes written to Logo.89i\n");
    EXPECT_EQ(dir.read("Logo.89i"), calc_file({0, 1, 0, 10, 0xCF, 0x40, 0xDF}, kSig89, "games", "logo", 0x10));
    expect_run(run_tool("zkpng2bin", {"-quiet", "-invert", "-threshold", "200", "-s92", "in.png", "pic"}, dir), "");
    EXPECT_EQ(dir.read("pic.9xi"), calc_file({0, 1, 0, 10, 0x70, 0xC0, 0xDF}, kSig92, "main", "pic", 0x10));

    const std::string rule = " (1 to 8 characters: a letter, then letters, digits or _)\n";
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-s89", "in.png", "9lives"}, dir),
                   "ERROR: invalid variable name 9lives" + rule);
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-s89", "in.png", "pic", "my-dir"}, dir),
                   "ERROR: invalid folder name my-dir" + rule);
    // 4 + 2185 rows of 30 bytes + the tag pass 65535 bytes.
    dir.write("big.png", png_file({.width = 240, .height = 2185, .depth = 1,
                                   .samples = std::vector<unsigned>(240 * 2185)}));
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-s89", "big.png", "big"}, dir),
                   "ERROR: big.png is too large for a picture variable (240 x 2185 pixels, more than 65535 bytes of "
                   "data)\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"Logo.89i", "big.png", "in.png", "pic.9xi"}));
}

TEST(ZkPng2BinRefusals, EachMessage)
{
    PngBytes bad_crc = kStrip;
    bad_crc[45] ^= 1;  // inside IDAT
    PngBytes bad_header_crc = kStrip;
    bad_header_crc[16] ^= 1;  // the width's high byte
    PngBytes too_wide = kPngSignature;
    const PngBytes header = png_chunk("IHDR", {0, 1, 0, 0, 0, 0, 0, 1, 8, 0, 0, 0, 0});
    too_wide.insert(too_wide.end(), header.begin(), header.end());
    PngRecipe palette{.width = 2, .colour_type = 3, .samples = {0, 1}, .palette = {1, 2, 3}};
    const struct {
        PngBytes file;
        std::string err;
    } cases[] = {
        {bytes_of("GIF89a"), "ERROR: in.png is not a PNG file\n"},
        {PngBytes(kStrip.begin(), kStrip.end() - 6), "ERROR: in.png is a damaged PNG file: it ends early\n"},
        {bad_crc, "ERROR: in.png is a damaged PNG file: chunk IDAT has a wrong CRC\n"},
        {bad_header_crc, "ERROR: in.png is a damaged PNG file: chunk IHDR has a wrong CRC\n"},
        {[] {
             PngBytes f = kPngSignature;
             const PngBytes h = png_chunk("IHDR", {0, 0, 0, 1, 0, 0, 0, 1, 3, 0, 0, 0, 0});
             f.insert(f.end(), h.begin(), h.end());
             return f;
         }(),
         "ERROR: in.png is a damaged PNG file: its header (IHDR) is invalid\n"},
        {png_file({.colour_type = 3, .samples = {0}}),
         "ERROR: in.png is a damaged PNG file: chunk PLTE is missing, invalid or out of place\n"},
        {[] {
             PngBytes f = kStrip;
             f[f.size() - 17] ^= 0xFF;  // in the Adler-32, the CRC mended
             const std::size_t idat = 33;
             const std::size_t length = f[idat] << 24 | f[idat + 1] << 16 | f[idat + 2] << 8 | f[idat + 3];
             const std::uint32_t crc = png_crc(f.data() + idat + 4, length + 4);
             for (int i = 0; i < 4; ++i) f[idat + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
             return f;
         }(),
         "ERROR: in.png is a damaged PNG file: its image data are corrupt\n"},
        {png_file(palette), "ERROR: in.png is a damaged PNG file: a pixel's index lies beyond its palette\n"},
        {too_wide, "ERROR: in.png is too large (65536 x 1 pixels; at most 16777216 pixels, 65535 on a side)\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("in.png", c.file);
        expect_refused(run_tool("zkpng2bin", {"-quiet", "in.png", "out.bin"}, dir), c.err);
        EXPECT_FALSE(dir.exists("out.bin"));
    }
    TempDir dir;
    dir.write("in.png", kStrip);
    expect_refused(run_tool("zkpng2bin", {"-quiet", "in.png", "in.png"}, dir),
                   "ERROR: outputfile in.png is the inputfile\n");
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-mask", "in.png", "in.png", "out.bin"}, dir),
                   "ERROR: outputfile in.png is the inputfile\n");
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-mask", "./out.bin", "in.png", "out.bin"}, dir),
                   "ERROR: maskfile ./out.bin is the outputfile\n");
    dir.link_to_full("full");
    expect_refused(run_tool("zkpng2bin", {"-quiet", "-mask", "full", "in.png", "out.bin"}, dir),
                   "ERROR: cannot write outputfile full\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"full", "in.png"}));
}

TEST(ZkBin2PngArgs, UsageAndRefusedValues)
{
    TempDir dir;
    expect_usage("zkbin2png", dir, kBinBanner + run_tool("zkbin2png", {"--help"}, dir).out,
                 {{}, {"in"}, {"in", "8", "out"}, {"-grid", "8", "in", "out"}, {"in", "out", "-grid", "8"},
                  {"-scale", "2", "a", "b", "c", "d", "e"}, {"a", "b", "-scale"}});
    expect_refused(run_tool("zkbin2png", {"-scale", "17", "a", "b"}, dir),
                   "ERROR: invalid value 17 for option -scale (must be >=1 and <=16)\n");
    expect_refused(run_tool("zkbin2png", {"a", "b", "-big"}, dir), "ERROR: invalid option -big\n");
    EXPECT_TRUE(dir.list().empty());
}

TEST(ZkBin2PngDraw, RawBitmapsComeBackThroughZkPng2Bin)
{
    for (int planes : {1, 2}) {
        TempDir dir;
        const Bytes bitmap = random_bytes_of(std::size_t{2} * 3 * planes, 7);
        dir.write("in.bin", bitmap);
        expect_drawn(run_tool("zkbin2png", {"in.bin", "16", "3", "out.png"}, dir), dir, "out.png", "16 x 3");
        std::vector<std::string> args = {"-quiet", "out.png", "back.bin"};
        if (planes == 2) args.push_back("-gray4");
        expect_run(run_tool("zkpng2bin", args, dir), "");
        EXPECT_EQ(dir.read("back.bin"), bitmap);

        expect_drawn(run_tool("zkbin2png", {"-scale", "3", "in.bin", "16", "3", "big.png"}, dir), dir, "big.png",
                     "48 x 9");
    }
}

TEST(ZkBin2PngDraw, PictureVariablesComeBackThroughZkPng2Bin)
{
    TempDir dir;
    PngRecipe s{.width = 13, .height = 7, .depth = 1};
    s.samples.resize(13 * 7);
    std::mt19937 rng(3);
    for (unsigned& v : s.samples) v = rng() & 1;
    dir.write("in.png", png_file(s));
    expect_run(run_tool("zkpng2bin", {"-quiet", "-s89", "in.png", "pic"}, dir), "");
    expect_drawn(run_tool("zkbin2png", {"pic.89i", "pic.png"}, dir), dir, "pic.png", "13 x 7");
    const Bytes first = dir.read("pic.89i");
    expect_run(run_tool("zkpng2bin", {"-quiet", "-s89", "pic.png", "pic"}, dir), "");
    EXPECT_EQ(dir.read("pic.89i"), first);
}

TEST(ZkBin2PngDraw, GridOfZktilersTiles)
{
    TempDir dir;
    dir.write("in.bin", random_bytes_of(30, 5));
    // 24 x 10, tiles of 7 x 4 at scale 2: 3 x (14 + 1) + 1 by 2 x (8 + 1) + 1.
    expect_drawn(run_tool("zkbin2png", {"-grid", "7", "4", "-scale", "2", "in.bin", "24", "10", "grid.png"}, dir), dir,
                 "grid.png", "46 x 19");
    EXPECT_EQ(dir.read("grid.png")[25], 2);  // RGB
    expect_refused(run_tool("zkbin2png", {"-quiet", "-grid", "33", "4", "in.bin", "24", "10", "g.png"}, dir),
                   "ERROR: tilewidth larger than 32 not allowed (tilewidth=33)\n");
    expect_refused(run_tool("zkbin2png", {"-quiet", "-grid", "8", "x", "in.bin", "24", "10", "g.png"}, dir),
                   "ERROR: cannot parse tileheight=x\n");
    // A picture's own width and height bound its tiles.
    dir.write("pic.89i", calc_file({0, 2, 0, 10, 0xFF, 0xC0, 0x00, 0x00, 0xDF}, kSig89, "main", "pic", 0x10));
    expect_run(run_tool("zkbin2png", {"-quiet", "-grid", "5", "1", "pic.89i", "pic.png"}, dir), "");
    expect_refused(run_tool("zkbin2png", {"-quiet", "-grid", "11", "1", "pic.89i", "g.png"}, dir),
                   "ERROR: tilewidth larger than width\n");
    expect_refused(run_tool("zkbin2png", {"-quiet", "-grid", "5", "3", "pic.89i", "g.png"}, dir),
                   "ERROR: tileheight larger than height\n");
    EXPECT_FALSE(dir.exists("g.png"));
}

TEST(ZkBin2PngRefusals, EachMessage)
{
    TempDir dir;
    dir.write("in.bin", Bytes(5));
    dir.write("in.89s", calc_file(string_data(bytes_of("abc"))));
    Bytes wrong_sum = calc_file({0, 1, 0, 8, 0xFF, 0xDF}, kSig89, "main", "pic", 0x10);
    wrong_sum.back() ^= 1;
    const unsigned stored = checksum_of(wrong_sum) ^ 256;
    dir.write("sum.89i", wrong_sum);
    dir.write("size.89i", calc_file({0, 2, 0, 8, 0xFF, 0xDF}, kSig89, "main", "pic", 0x10));
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"in.bin", "8", "4", "out.png"}, "ERROR: filesize (5) doesn't correspond with height/width\n"},
        {{"in.bin", "12", "4", "out.png"}, "ERROR: width not multiple of 8 (width=12)\n"},
        {{"-scale", "16", "none.bin", "4096", "4096", "out.png"},
         "ERROR: the drawing of none.bin would be 65536 x 65536 pixels (at most 16777216 pixels, 65535 on a side)\n"},
        {{"none.bin", "8", "1", "out.png"}, "ERROR: cannot open inputfile none.bin\n"},
        {{"in.bin", "out.png"}, "ERROR: cannot read TI fileheader from in.bin\n"},
        {{"in.89s", "out.png"}, "ERROR: in.89s is not a picture variable\n"},
        {{"sum.89i", "out.png"}, "ERROR: sum.89i has a wrong checksum (" + std::to_string(stored) + ", not " +
                                     std::to_string(checksum_of(wrong_sum)) + ")\n"},
        {{"size.89i", "out.png"}, "ERROR: size.89i is a damaged picture: its size does not match its data\n"},
        {{"in.bin", "8", "5", "in.bin"}, "ERROR: outputfile in.bin is the inputfile\n"},
    };
    for (const auto& [args, err] : cases) {
        std::vector<std::string> quiet = {"-quiet"};
        quiet.insert(quiet.end(), args.begin(), args.end());
        expect_refused(run_tool("zkbin2png", quiet, dir), err);
    }
    EXPECT_FALSE(dir.exists("out.png"));
}
