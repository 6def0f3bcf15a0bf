// zkppggen: programs packed into ppg variables and restored, the names they
// go under, and every input it refuses. The packed stream in each written
// file is decoded here by the decoder library, apart from the tool's own -x;
// the packed programs given to -x come from the tests' own encoder.
#include "cli.h"
#include "pack_inputs.h"
#include "unpack.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zktest;

namespace {

const std::string kBanner = banner("ZKPPGGen", "1.0");
constexpr std::uint8_t kTypeIdAsm = 0x21;
constexpr char kNameRule[] = "(1 to 8 characters: a letter, then letters, digits or _)\n";

// An assembly program's file: its code and the tag 0xF3 under the type identifier 0x21.
Bytes program_file(const Bytes& code, const std::string& sig = kSig89, const std::string& folder = "main",
                   const std::string& name = "prog")
{
    Bytes data = code;
    data.push_back(0xF3);
    return calc_file(data, sig, folder, name, kTypeIdAsm);
}

// A packed program's file: the stream, 0x00, "ppg", 0x00 and 0xF8 under the type identifier 0x1C.
Bytes ppg_file(const Bytes& stream, const std::string& sig = kSig89, const std::string& folder = "main",
               const std::string& name = "prog")
{
    return calc_file(other_data(stream, "ppg"), sig, folder, name, kTypeIdOther);
}

// What lies between the data size word and the checksum, or between the
// data size word and the type that follows a packed program's stream.
Bytes image_of(const Bytes& file) { return Bytes(file.begin() + 86, file.end() - 2); }
Bytes stream_of(const Bytes& ppg) { return ppg.size() < 96 ? Bytes{} : Bytes(ppg.begin() + 88, ppg.end() - 8); }

Bytes unpacked(const Bytes& stream)
{
    if (stream.size() < zk::kPackHeaderSize || zk::pack_csize(stream.data()) != stream.size()) return {};
    Bytes out(zk::pack_orig_size(stream.data()));
    if (zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size()) != zk::kUnpackOk) return {};
    return out;
}

// A packed program made by the tests' own encoder from a memory image.
Bytes ppg_of_image(const Bytes& image, const std::string& sig = kSig89, const std::string& name = "prog")
{
    std::mt19937 rng(5);
    return ppg_file(pack_random(image, {}, rng), sig, "main", name);
}

std::string packed_line(std::size_t image, std::size_t stream, std::size_t file, const std::string& name)
{
    return std::to_string(image) + " bytes packed into " + std::to_string(stream) + " bytes, " +
           std::to_string(file) + " bytes written to " + name + (stream < image ? "\n" : " (not smaller)\n");
}

// Code with the repeats of a real program.
Bytes typical_code()
{
    Bytes code;
    for (int i = 0; i < 200; ++i) {
        const Bytes op = {0x4E, 0x56, 0x00, static_cast<std::uint8_t>(i % 9), 0x20, 0x3C, 0x00, 0x00, 0x4E, 0x75};
        code.insert(code.end(), op.begin(), op.end());
    }
    const Bytes text = bytes_of("Press ESC to quit");
    code.insert(code.end(), text.begin(), text.end());
    return code;
}

// Status 1, exactly err, and nothing written beside the inputs.
void expect_refused(const RunResult& r, const std::string& err, const TempDir& dir,
                    const std::vector<std::string>& files)
{
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, err);
    EXPECT_EQ(dir.list(), files);
}

}  // namespace

TEST(ZkPpgGenArgs, UsageAndInvalidOptionsCreateNothing)
{
    TempDir dir;
    expect_usage("zkppggen", dir, kBanner + run_tool("zkppggen", {"--help"}, dir).out,
                 {{}, {"-quiet", "-best"}, {"-x", "p.89y", "-best"}, {"p.89z", "name", "folder", "more"}});
    expect_refused(run_tool("zkppggen", {"p.89z", "-X"}, dir), "ERROR: invalid option -X\n", dir, {});
}

// Each program comes back from its packed program byte for byte, the file
// and its memory image; the stream in between decodes to the image.
TEST(ZkPpgGenRoundTrip, BothCalculatorsSmallTypicalAndIncompressible)
{
    struct Case {
        std::string sig, ext, name;
        Bytes code;
    };
    for (const Case& c : std::vector<Case>{{kSig89, "89", "nothing", {}},
                                           {kSig92, "9x", "tiny", {0x4E, 0x75}},
                                           {kSig89, "89", "typical", typical_code()},
                                           {kSig92, "9x", "noise", random_bytes(3000, 3)}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Bytes program = program_file(c.code, c.sig, "games", c.name);
        dir.write("in." + c.ext + "z", program);
        RunResult r = run_tool("zkppggen", {"in." + c.ext + "z"}, dir);
        const std::string packed = c.name + "." + c.ext + "y";
        const Bytes ppg = dir.read(packed);
        const Bytes stream = stream_of(ppg);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(normalized(r.out), kBanner + packed_line(program.size() - 88, stream.size(), ppg.size(), packed));
        EXPECT_EQ(ppg, ppg_file(stream, c.sig, "games", c.name));
        EXPECT_EQ(unpacked(stream), image_of(program));

        r = run_tool("zkppggen", {"-x", "-quiet", packed}, dir);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out + r.err, "");
        EXPECT_EQ(dir.read(c.name + "." + c.ext + "z"), program);
    }
}

// The suite's readers take the packed program, the summary of -x, and
// -best reaches the packer.
TEST(ZkPpgGenRoundTrip, ReadersSummaryOfRestoringAndBest)
{
    TempDir dir;
    const Bytes program = program_file(typical_code());
    dir.write("in.89z", program);
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "in.89z"}, dir).status, 0);
    EXPECT_NE(run_tool("zkinfo", {"prog.89y"}, dir).out.find("filetype:  OTH (0xf8)\nextension: ppg\n"),
              std::string::npos);
    EXPECT_NE(run_tool("zkchecksum", {"prog.89y"}, dir).err.find("checksum already ok"), std::string::npos);

    RunResult r = run_tool("zkppggen", {"-x", "prog.89y"}, dir);
    const std::size_t stream = dir.read("prog.89y").size() - 96;
    EXPECT_EQ(normalized(r.out), kBanner + std::to_string(program.size() - 88) + " bytes unpacked from " +
                                     std::to_string(stream) + " bytes, " + std::to_string(program.size()) +
                                     " bytes written to prog.89z\n");
    EXPECT_EQ(dir.read("prog.89z"), program);

    ASSERT_EQ(run_tool("zkppggen", {"in.89z", "-best", "best", "-quiet"}, dir).status, 0);
    const Bytes best = stream_of(dir.read("best.89y"));
    EXPECT_LE(best.size(), stream);
    EXPECT_EQ(unpacked(best), image_of(program));
}

// A memory image of 65535 bytes is the most a stream holds; one that
// barely packs is refused for its stream, which a ppg variable holds only
// up to 65529 bytes.
TEST(ZkPpgGenRoundTrip, LimitsOfTheStream)
{
    TempDir dir;
    Bytes code(65532);
    for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i * 7 + i / 300);
    const Bytes most = program_file(code, kSig92);
    dir.write("most.9xz", most);
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "most.9xz", "most"}, dir).status, 0);
    EXPECT_EQ(unpacked(stream_of(dir.read("most.9xy"))), image_of(most));
    ASSERT_EQ(run_tool("zkppggen", {"-x", "-quiet", "most.9xy", "back"}, dir).status, 0);
    EXPECT_EQ(image_of(dir.read("back.9xz")), image_of(most));

    dir.write("over.9xz", program_file(Bytes(65533, 0x4E), kSig92));
    expect_refused(run_tool("zkppggen", {"over.9xz", "over"}, dir),
                   "ERROR: program over.9xz is too long to pack (65536 bytes, at most 65535)\n", dir,
                   {"back.9xz", "most.9xy", "most.9xz", "over.9xz"});
    dir.write("noise.9xz", program_file(random_bytes(65532, 9), kSig92));
    expect_refused(run_tool("zkppggen", {"-quiet", "noise.9xz", "noise"}, dir),
                   "ERROR: packed program of noise.9xz would be longer than 65529 bytes\n", dir,
                   {"back.9xz", "most.9xy", "most.9xz", "noise.9xz", "over.9xz"});
}

// The variable keeps the program's header, names as spelt, description,
// attribute and all, unless other names are given, which are stored as the
// calculator stores them; a folder it lacks stays lacking.
TEST(ZkPpgGenNames, TheProgramsOwnOrTheArguments)
{
    TempDir dir;
    const Bytes code = typical_code();
    dir.write("in.89z", program_file(code, kSig89, "Games", "Tetris"));
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "in.89z"}, dir).status, 0);
    const Bytes stream = stream_of(dir.read("tetris.89y"));
    EXPECT_EQ(dir.read("tetris.89y"), ppg_file(stream, kSig89, "Games", "Tetris"));

    Bytes own = program_file(code, kSig89, "Games", "Blocks");
    const Bytes desc = bytes_of("Falling blocks");
    std::copy(desc.begin(), desc.end(), own.begin() + 18);
    own[58] = 7;  // an entry count and an attribute of another tool's
    own[73] = 0x02;
    own[71] = 'z';  // after the name's 0x00
    dir.write("own.89z", own);
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "own.89z"}, dir).status, 0);
    Bytes carried = ppg_file(stream, kSig89);
    std::copy(own.begin(), own.begin() + 72, carried.begin());
    carried[73] = 0x02;
    EXPECT_EQ(dir.read("blocks.89y"), carried);
    ASSERT_EQ(run_tool("zkppggen", {"-x", "-quiet", "blocks.89y"}, dir).status, 0);
    EXPECT_EQ(dir.read("blocks.89z"), own);

    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "in.89z", "Tp"}, dir).status, 0);
    EXPECT_EQ(dir.read("Tp.89y"), ppg_file(stream, kSig89, "Games", "tp"));
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "in.89z", "tp2", "Arcade"}, dir).status, 0);
    EXPECT_EQ(dir.read("tp2.89y"), ppg_file(stream, kSig89, "arcade", "tp2"));

    const Bytes loose = program_file(code, kSig92, "", "loose");
    dir.write("loose.9xz", loose);
    ASSERT_EQ(run_tool("zkppggen", {"-quiet", "loose.9xz", "packed"}, dir).status, 0);
    EXPECT_EQ(dir.read("packed.9xy"), ppg_file(stream, kSig92, "", "packed"));
    ASSERT_EQ(run_tool("zkppggen", {"-x", "-quiet", "packed.9xy", "loose"}, dir).status, 0);
    EXPECT_EQ(dir.read("loose.9xz"), loose);
    ASSERT_EQ(run_tool("zkppggen", {"-x", "-quiet", "tp2.89y", "back", "main"}, dir).status, 0);
    EXPECT_EQ(dir.read("back.89z"), program_file(code, kSig89, "main", "back"));

    const std::vector<std::string> files = dir.list();
    for (const auto& [args, err] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"in.89z", "2nd"}, "ERROR: invalid variable name 2nd "},
             {{"-x", "tp2.89y", "ok", "a-b"}, "ERROR: invalid folder name a-b "},
         })
        expect_refused(run_tool("zkppggen", args, dir), err + kNameRule, dir, files);
    dir.write("noname.89z", program_file(code, kSig89, "main", ""));
    dir.write("badfold.89z", program_file(code, kSig89, "my games", "x"));
    std::vector<std::string> more = dir.list();
    expect_refused(run_tool("zkppggen", {"noname.89z"}, dir),
                   std::string("ERROR: noname.89z holds no valid variable name: give one ") + kNameRule, dir, more);
    expect_refused(run_tool("zkppggen", {"badfold.89z"}, dir),
                   std::string("ERROR: badfold.89z holds no valid folder name: give one ") + kNameRule, dir, more);
}

TEST(ZkPpgGenRefusals, InputsThatAreNoSoundProgram)
{
    const Bytes program = program_file(typical_code());
    Bytes wrong_sum = program;
    wrong_sum.back() ^= 1;
    Bytes wrong_datasize = program;
    wrong_datasize[87] -= 1;
    const unsigned sum = checksum_of(wrong_datasize);
    wrong_datasize[wrong_datasize.size() - 2] = static_cast<std::uint8_t>(sum);
    wrong_datasize[wrong_datasize.size() - 1] = static_cast<std::uint8_t>(sum >> 8);
    const Bytes unknown_tag = calc_file({0x4E, 0x75, 0x12}, kSig89, "main", "x", kTypeIdAsm);
    Bytes too_long = program_file(Bytes(65534));
    too_long.push_back(0);

    const std::string size = std::to_string(program.size());
    const std::string tail = " is not an assembly program (type ";
    for (const auto& [input, err] : std::vector<std::pair<Bytes, std::string>>{
             {bytes_of(std::string(100, 'x')), "ERROR: in.89z doesn't start with '**TI'\n"},
             {Bytes(program.begin(), program.end() - 1),
              "ERROR: in.89z: embedded length (" + size + ") doesn't match real length (" +
                  std::to_string(program.size() - 1) + ")\n"},
             {wrong_sum, "ERROR: in.89z has a wrong checksum (" + std::to_string(checksum_of(program) ^ 256) +
                             ", not " + std::to_string(checksum_of(program)) +
                             "): repair it with zkchecksum first\n"},
             {unknown_tag, "ERROR: in.89z is neither of STR, ASM nor OTH type\n"},
             {program_file(typical_code(), "**TI92**"), "ERROR: in.89z is neither a TI89 nor a TI92p file\n"},
             {wrong_datasize, "ERROR: in.89z: data size (" + std::to_string(program.size() - 91) +
                                  ") doesn't match embedded length (" + size + ")\n"},
             {too_long, "ERROR: in.89z is too long for a variable file (more than 65625 bytes)\n"},
             {calc_file(string_data(bytes_of("abc"))), "ERROR: in.89z" + tail + "STR, type identifier 0x0C)\n"},
             {ppg_of_image(image_of(program)), "ERROR: in.89z" + tail + "OTH, type identifier 0x1C)\n"},
             {calc_file({0x4E, 0x75, 0xF3}), "ERROR: in.89z" + tail + "ASM, type identifier 0x0C)\n"},
         }) {
        SCOPED_TRACE(err);
        TempDir dir;
        dir.write("in.89z", input);
        expect_refused(run_tool("zkppggen", {"in.89z", "out"}, dir), err, dir, {"in.89z"});
    }
}

TEST(ZkPpgGenRefusals, PackedProgramsThatDoNotRestore)
{
    const Bytes image = image_of(program_file(typical_code()));
    std::mt19937 rng(5);
    const Bytes stream = pack_random(image, {}, rng);
    Bytes longer = stream;
    longer.push_back(0);
    Bytes claims_less = stream;
    put_le16(claims_less, 0, static_cast<unsigned>(image.size() - 1));
    Bytes bad_escape = stream;
    bad_escape[9] = 9;
    Bytes wrong_word = image;
    wrong_word[1] ^= 2;
    Bytes no_tag = image;
    no_tag.back() = 0x75;

    const std::string no_ppg = "ERROR: in.89y is not a packed program (a variable of type ppg)\n";
    const std::string no_stream = "ERROR: in.89y does not hold one packed stream\n";
    const std::string no_program = "ERROR: in.89y does not unpack to an assembly program\n";
    for (const auto& [input, err] : std::vector<std::pair<Bytes, std::string>>{
             {program_file(typical_code()), no_ppg},
             {calc_file(other_data(stream, "zka"), kSig89, "main", "x", kTypeIdOther), no_ppg},
             {calc_file(other_data(stream, "ppg")), no_ppg},  // the type identifier of a string
             {ppg_file(bytes_of("no stream at all")), no_stream},
             {ppg_file(longer), no_stream},
             {ppg_file(Bytes(stream.begin(), stream.end() - 1)), no_stream},
             {ppg_file(claims_less), "ERROR: cannot unpack in.89y (code 254)\n"},
             {ppg_file(bad_escape), "ERROR: cannot unpack in.89y (code 249)\n"},
             {ppg_of_image(no_tag), no_program},
             {ppg_of_image(wrong_word), no_program},
             {ppg_of_image({0x00, 0x00}), no_program},
         }) {
        SCOPED_TRACE(err);
        TempDir dir;
        dir.write("in.89y", input);
        expect_refused(run_tool("zkppggen", {"-x", "in.89y", "out"}, dir), err, dir, {"in.89y"});
    }
}

// Whichever way round, an output named as the input is refused before it
// is written, and the input stays.
TEST(ZkPpgGenRefusals, OutputThatIsTheInput)
{
    TempDir dir;
    const Bytes program = program_file(typical_code());
    const Bytes ppg = ppg_of_image(image_of(program));
    dir.write("p.89y", program);
    dir.write("q.89z", ppg);
    expect_refused(run_tool("zkppggen", {"p.89y", "p"}, dir), "ERROR: outputfile p.89y is the inputfile\n", dir,
                   {"p.89y", "q.89z"});
    expect_refused(run_tool("zkppggen", {"-x", "q.89z", "q"}, dir), "ERROR: outputfile q.89z is the inputfile\n",
                   dir, {"p.89y", "q.89z"});
    EXPECT_EQ(dir.read("p.89y"), program);
    EXPECT_EQ(dir.read("q.89z"), ppg);
}
