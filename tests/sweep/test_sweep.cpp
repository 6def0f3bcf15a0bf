// The sweep over every tool: inputs that are missing, directories,
// empty or a single byte; outputs that cannot be written; a standard output
// that is closed or full. Each case names the message the tool documents.
#include "calc_builder.h"
#include "cli.h"
#include "pack_encoder.h"
#include "png_builder.h"
#include "sweep.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

using namespace zktest;
using namespace zksweep;

namespace {

// Arguments with "@IN" standing for the input's name.
std::vector<std::string> with_input(std::vector<std::string> args, const std::string& in)
{
    for (std::string& a : args)
        if (a == "@IN") a = in;
    return args;
}

struct Expect {
    int status = 1;
    std::string err;        // standard error, exactly
    bool any_error = false; // instead: one line that begins "ERROR: "
};

struct InputCase {
    const char* tool;
    std::vector<std::string> args;
    std::string in;  // the input's name
    Expect missing, directory, empty, one_byte;
    std::function<void(const TempDir&)> setup = [](const TempDir&) {};
    bool directory_known = false;  // refused as a directory before it is opened, on every system
};

Expect ok(std::string err = "") { return {.status = 0, .err = std::move(err)}; }
Expect error(std::string err) { return {.status = 1, .err = std::move(err)}; }
Expect some_error() { return {.status = 1, .any_error = true}; }

const std::string kSplitShort =
    "using prefix    = [in]\nusing extension = [.bin]\n"
    "extracting to inp000.bin from start=0 (length=4)\n"
    "ERROR: cannot read more data from inputfile\n"
    "generated ONLY 0 out of 2 files\n";

std::vector<InputCase> input_cases()
{
    const Expect too_short = error("ERROR: file is too short\n");
    const Expect no_header = error("ERROR: cannot read TI fileheader from in.89s\n");
    const Expect no_archive = error("ERROR: in.89y is not a valid archive\n");
    const Expect no_token = error("ERROR: position of start token not found\n");
    return {
        {"zkinfo", {"@IN"}, "in.89s", error("ERROR: cannot open inputfile in.89s\n"), too_short, too_short,
         too_short},
        {"zkchecksum", {"@IN"}, "in.89s", error("ERROR: cannot open inputfile in.89s\n"),
         error("ERROR: cannot open inputfile in.89s\n"), no_header, no_header},
        {"zkstrip", {"@IN", "out"}, "in.89s", error("ERROR: cannot open inputfile in.89s\n"),
         error("ERROR: cannot read inputfile in.89s\n"),
         error("ERROR: inputfile in.89s is too short (0 bytes, the header needs 88)\n"),
         error("ERROR: inputfile in.89s is too short (1 bytes, the header needs 88)\n")},
        {"zkbin2bin", {"@IN"}, "in.89s", error("ERROR: cannot open inputfile in.89s\n"),
         error("ERROR: cannot read 8 characters from inputfile in.89s\n"),
         error("ERROR: cannot read 8 characters from inputfile in.89s\n"),
         error("ERROR: cannot read 8 characters from inputfile in.89s\n")},
        {"zkbin2str", {"-s89", "@IN", "v"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), ok("93 bytes written to v.89s\n"),
         ok("94 bytes written to v.89s\n")},
        {"zkunpack", {"@IN", "out"}, "in.bin", error("ERROR: cannot open input file in.bin\n"),
         error("ERROR: cannot read input file in.bin\n"),
         error("ERROR: inputdata is too short (0 bytes, the header needs 16)\n"),
         error("ERROR: inputdata is too short (1 bytes, the header needs 16)\n")},
        {"zkunarchive", {"@IN"}, "in.89y", error("ERROR: cannot open input file in.89y\n"), some_error(),
         no_archive, no_archive},
        {"zkunarchive", {"@IN", "0", "out"}, "in.89y", error("ERROR: cannot open input file in.89y\n"),
         some_error(), no_archive, no_archive},
        {"zkbin2hex", {"@IN", "out"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), ok(), ok()},
        {"zkhex2bin", {"@IN", "out"}, "in.txt", error("ERROR: cannot open inputfile in.txt\n"),
         error("ERROR: cannot read inputfile in.txt\n"), ok(),
         error("ERROR: missing prefix \"0x\" of hexnumber at: A\n")},
        {"zkextract", {"@IN", "out", "BEGIN"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), no_token, no_token},
        {"zktiler", {"-h", "@IN", "8", "8", "8", "8", "1", "out.c"}, "in.bin",
         error("ERROR: cannot open inputfile in.bin\n"), some_error(),
         error("ERROR: filesize (0) doesn't correspond with height/width\n"),
         error("ERROR: filesize (1) doesn't correspond with height/width\n")},
        {"zksplit", {"-b", "offsets", "@IN"}, "in.bin",
         error("ERROR: cannot open inputfile in.bin\ngenerated ONLY 0 out of 2 files\n"), error(kSplitShort),
         error(kSplitShort), error(kSplitShort), [](const TempDir& d) { d.write("offsets", "4\n"); }},
        {"zksplit", {"-t", "-s", "TAG", "@IN"}, "in.bin",
         error("ERROR: cannot open inputfile in.bin\nERROR: splitting inputfile in.bin failed\n"),
         error("ERROR: cannot read more data from inputfile\nERROR: splitting inputfile in.bin failed\n"),
         ok(), ok()},
        {"zkpack", {"@IN", "out"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), ok(), ok()},
        {"zkarchive", {"-s89", "v", "@IN"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), ok(), ok()},
        {"zkbin2oth", {"-s89", "@IN", "v", "dat"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"), ok(), ok()},
        {"zksetname", {"@IN", "name"}, "in.89s", error("ERROR: cannot open inputfile in.89s\n"),
         error("ERROR: inputfile in.89s is not a regular file\n"), no_header, no_header, [](const TempDir&) {},
         true},
        {"zkppggen", {"@IN"}, "in.89z", error("ERROR: cannot open inputfile in.89z\n"),
         error("ERROR: cannot read inputfile in.89z\n"), error("ERROR: cannot read TI fileheader from in.89z\n"),
         error("ERROR: cannot read TI fileheader from in.89z\n")},
        {"zkppggen", {"-x", "@IN"}, "in.89y", error("ERROR: cannot open inputfile in.89y\n"),
         error("ERROR: cannot read inputfile in.89y\n"), error("ERROR: cannot read TI fileheader from in.89y\n"),
         error("ERROR: cannot read TI fileheader from in.89y\n")},
        {"zkpng2bin", {"@IN", "out.bin"}, "in.png", error("ERROR: cannot open inputfile in.png\n"),
         error("ERROR: cannot read inputfile in.png\n"), error("ERROR: in.png is not a PNG file\n"),
         error("ERROR: in.png is not a PNG file\n")},
        {"zkbin2png", {"@IN", "8", "1", "out.png"}, "in.bin", error("ERROR: cannot open inputfile in.bin\n"),
         error("ERROR: cannot read inputfile in.bin\n"),
         error("ERROR: filesize (0) doesn't correspond with height/width\n"), ok()},
        {"zkbin2png", {"@IN", "out.png"}, "in.89i", error("ERROR: cannot open inputfile in.89i\n"),
         error("ERROR: cannot read TI fileheader from in.89i\n"),
         error("ERROR: cannot read TI fileheader from in.89i\n"),
         error("ERROR: cannot read TI fileheader from in.89i\n")},
        // The offset file is an input too; an empty one ends the run without a word.
        {"zksplit", {"-b", "@IN", "data"}, "offsets", error("ERROR: cannot open offsetfile offsets\n"),
         error("ERROR: parsing offset[0] from offsets failed\n"), error(""),
         error("ERROR: parsing offset[0] from offsets failed\n"), [](const TempDir& d) { d.write("data", "x"); }},
    };
}

void check(const RunResult& r, const Expect& e, const std::string& what)
{
    SCOPED_TRACE(what);
    expect_clean(r);
    EXPECT_EQ(r.status, e.status);
    if (e.any_error) {
        EXPECT_EQ(r.err.rfind("ERROR: ", 0), 0u) << r.err;
        EXPECT_EQ(lines_starting(r.err, "ERROR: "), 1) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    } else {
        EXPECT_EQ(r.err, e.err);
    }
}

}  // namespace

TEST(SweepInputs, MissingFileGivesTheOpenMessage)
{
    for (const InputCase& c : input_cases()) {
        TempDir dir;
        c.setup(dir);
        check(run_tool(c.tool, with_input(c.args, c.in), dir), c.missing, std::string(c.tool) + " missing");
    }
}

TEST(SweepInputs, DirectoryGivenAsFileIsNeverReadAsData)
{
    for (const InputCase& c : input_cases()) {
        TempDir dir;
        c.setup(dir);
        std::filesystem::create_directory(dir.path() / c.in);
        RunResult r = run_tool(c.tool, with_input(c.args, c.in), dir);
        // Windows cannot open a directory as a file: it is then as missing.
        check(r, windows_tools() && !c.directory_known ? c.missing : c.directory, std::string(c.tool) + " directory");
    }
}

TEST(SweepInputs, EmptyFile)
{
    for (const InputCase& c : input_cases()) {
        TempDir dir;
        c.setup(dir);
        dir.write(c.in, Bytes{});
        check(run_tool(c.tool, with_input(c.args, c.in), dir), c.empty, std::string(c.tool) + " empty");
    }
}

TEST(SweepInputs, OneByteFile)
{
    for (const InputCase& c : input_cases()) {
        TempDir dir;
        c.setup(dir);
        dir.write(c.in, "A");
        check(run_tool(c.tool, with_input(c.args, c.in), dir), c.one_byte, std::string(c.tool) + " one byte");
    }
}

// A refused input leaves no file that could pass for a result.
TEST(SweepInputs, RefusedInputsLeaveNoResult)
{
    TempDir dir;
    dir.write("in.89s", Bytes{});
    dir.write("in.bin", Bytes{});
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"zkstrip", "in.89s", "out"}, {"zkunpack", "in.bin", "out"}, {"zkextract", "in.bin", "out", "BEGIN"},
             {"zktiler", "-h", "in.bin", "8", "8", "8", "8", "1", "out"}}) {
        RunResult r = run_tool(args[0], std::vector<std::string>(args.begin() + 1, args.end()), dir);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_FALSE(dir.exists("out")) << args[0];
    }
}

namespace {

// An assembly program, and its packed program made by the tests' own encoder.
void write_program(const TempDir& d) { d.write("in.89z", calc_file(Bytes{0x4E, 0x75, 0xF3}, kSig89, "main", "x", 0x21)); }
void write_packed_program(const TempDir& d)
{
    std::mt19937 rng(7);
    d.write("in.89y", calc_file(other_data(pack_random(Bytes{0, 3, 0x4E, 0x75, 0xF3}, {}, rng), "ppg"), kSig89, "main",
                                "x", kTypeIdOther));
}

// A successful run of every tool, writing its console lines to standard output.
struct GoodRun {
    const char* tool;
    std::vector<std::string> args;
    std::function<void(const TempDir&)> setup;
};

std::vector<GoodRun> good_runs()
{
    auto calc = [](const TempDir& d) { d.write("in.89s", calc_file(string_data(bytes_of("abc")))); };
    auto raw = [](const TempDir& d) { d.write("in.bin", bytes_of("xxBEGINdata")); };
    auto packed = [](const TempDir& d) {
        std::mt19937 rng(7);
        d.write("in.bin", pack_random(bytes_of("hello hello hello"), {}, rng));
    };
    auto archive = [](const TempDir& d) { d.write("in.89y", calc_file(Bytes{'z', 'k', 'a', 0, 0, 0})); };
    auto bitmap = [](const TempDir& d) { d.write("in.bin", Bytes(8, 0x5A)); };
    auto split = [](const TempDir& d) {
        d.write("offsets", "4\n");
        d.write("in.bin", bytes_of("12345678"));
    };
    auto png = [](const TempDir& d) { d.write("in.png", grey_row_png({0, 255, 128})); };
    return {
        {"zkhelp", {}, [](const TempDir&) {}},
        {"zkinfo", {"in.89s"}, calc},
        {"zkchecksum", {"in.89s"}, calc},
        {"zkstrip", {"in.89s", "out"}, calc},
        {"zkbin2bin", {"in.89s"}, calc},
        {"zkbin2str", {"-s89", "in.bin", "v"}, raw},
        {"zkunpack", {"in.bin", "out"}, packed},
        {"zkunpack", {"-t", "in.bin"}, packed},
        {"zkunarchive", {"in.89y"}, archive},
        {"zkbin2hex", {"in.bin", "out"}, raw},
        {"zkbin2hex", {"in.bin", "-"}, raw},
        {"zkhex2bin", {"-", "out"}, raw},
        {"zkextract", {"in.bin", "out", "BEGIN"}, raw},
        {"zktiler", {"-h", "in.bin", "8", "8", "8", "8", "1", "out.c"}, bitmap},
        {"zktiler", {"-h", "in.bin", "8", "8", "8", "8", "1", "-"}, bitmap},
        {"zksplit", {"-b", "offsets", "in.bin"}, split},
        {"zkpack", {"in.bin", "out"}, raw},
        {"zkarchive", {"-s89", "v", "in.bin"}, raw},
        {"zkbin2oth", {"-s89", "in.bin", "v", "dat"}, raw},
        {"zksetname", {"in.89s", "name"}, calc},
        {"zkppggen", {"in.89z"}, write_program},
        {"zkppggen", {"-x", "in.89y"}, write_packed_program},
        {"zkpng2bin", {"in.png", "out.bin"}, png},
        {"zkbin2png", {"in.bin", "8", "8", "out.png"}, bitmap},
    };
}

}  // namespace

TEST(SweepStdout, ClosedStandardOutputIsReported)
{
    for (const GoodRun& g : good_runs()) {
        SCOPED_TRACE(g.tool);
        TempDir dir;
        g.setup(dir);
        expect_stdout_failure(run_tool(g.tool, g.args, dir, {.stdout_closed = true}));
    }
}

TEST(SweepStdout, FullStandardOutputIsReported)
{
    for (const GoodRun& g : good_runs()) {
        SCOPED_TRACE(g.tool);
        TempDir dir;
        g.setup(dir);
        dir.link_to_full("console");
        expect_stdout_failure(run_tool(g.tool, g.args, dir, {.stdout_to = "console"}));
    }
}

// With "-quiet" nothing goes to standard output, so there is nothing to lose.
TEST(SweepStdout, QuietRunsDoNotTouchIt)
{
    TempDir dir;
    dir.write("in.89s", calc_file(string_data(bytes_of("abc"))));
    dir.write("in.bin", bytes_of("xxBEGINdata"));
    dir.write("in.txt", "0x12\n");
    write_program(dir);
    for (const auto& args : std::vector<std::vector<std::string>>{{"zkstrip", "-quiet", "in.89s", "out"},
                                                                   {"zkbin2bin", "-quiet", "in.89s"},
                                                                   {"zkbin2hex", "-quiet", "in.bin", "out"},
                                                                   {"zkhex2bin", "-quiet", "in.txt", "out"},
                                                                   {"zkextract", "-quiet", "in.bin", "out", "BEGIN"},
                                                                   {"zkppggen", "-quiet", "in.89z"}}) {
        RunResult r = run_tool(args[0], std::vector<std::string>(args.begin() + 1, args.end()), dir,
                               {.stdout_closed = true});
        expect_clean(r);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.err, "") << args[0];
    }
}

namespace {

// A run whose output cannot be written: once as a link to a full device,
// once as a path that cannot be created.
struct OutputCase {
    const char* tool;
    std::vector<std::string> args;          // "@OUT" stands for the output
    std::string full_name;                  // the output that becomes the full device
    std::string full_err;                   // standard error then
    std::string blocked_out;                // an output path that cannot be created ("" for the full name made a directory)
    std::string blocked_err;
    std::function<void(const TempDir&)> setup;
};

std::vector<OutputCase> output_cases()
{
    auto calc = [](const TempDir& d) { d.write("in.89s", calc_file(string_data(bytes_of("abc")))); };
    auto raw = [](const TempDir& d) { d.write("in.bin", bytes_of("xxBEGINdata")); };
    auto packed = [](const TempDir& d) {
        std::mt19937 rng(7);
        d.write("in.bin", pack_random(bytes_of("hello hello hello"), {}, rng));
    };
    auto archive = [](const TempDir& d) {
        // One stored entry of three bytes at the start of the data area.
        d.write("in.89y", calc_file(Bytes{'z', 'k', 'a', 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0, 'a', 'b', 'c'}));
    };
    auto packed_archive = [](const TempDir& d) {
        std::mt19937 rng(7);
        Bytes stream = pack_random(bytes_of("hello hello hello"), {}, rng);
        Bytes data{'z', 'k', 'a', 0, 0, 1, 0, 0, 0, static_cast<std::uint8_t>(stream.size())};
        data.resize(22, 0);
        data.insert(data.end(), stream.begin(), stream.end());
        d.write("in.89y", calc_file(data));
    };
    auto hex = [](const TempDir& d) { d.write("in.txt", "0x12,0x34\n"); };
    auto bitmap = [](const TempDir& d) { d.write("in.bin", Bytes(8, 0x5A)); };
    auto split = [](const TempDir& d) {
        d.write("offsets", "4\n");
        d.write("in.bin", bytes_of("1234\n5678\nTAG\nxyz\n"));
    };
    auto png = [](const TempDir& d) { d.write("in.png", grey_row_png({0, 255, 128})); };
    const std::string split_head = "using prefix    = [in]\nusing extension = [.bin]\n";
    return {
        {"zkstrip", {"in.89s", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n", calc},
        {"zkpack", {"in.bin", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n", raw},
        {"zkarchive", {"-s89", "@OUT", "in.bin"}, "v.89y", "ERROR: cannot write outputfile v.89y\n", "nodir/v.89y",
         "ERROR: cannot open outputfile nodir/v.89y\n", raw},
        {"zkbin2oth", {"-s89", "in.bin", "@OUT", "dat"}, "v.89y", "ERROR: cannot write outputfile v.89y\n",
         "nodir/v.89y", "ERROR: cannot open outputfile nodir/v.89y\n", raw},
        {"zkbin2bin", {"in.89z"}, "in.9xz", "ERROR: problem while writing to outfile in.9xz\n", "",
         "ERROR: cannot open outfile in.9xz\n",
         [](const TempDir& d) { d.write("in.89z", calc_file(string_data(bytes_of("abc")))); }},
        {"zkbin2str", {"-s92", "in.bin", "@OUT"}, "v.9xs", "ERROR: cannot write outputfile v.9xs\n", "nodir/v.9xs",
         "ERROR: cannot open outputfile nodir/v.9xs\n", raw},
        {"zkunpack", {"in.bin", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n\n", packed},
        {"zkunpack", {"-hto", "in.bin", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n\n", packed},
        {"zkunarchive", {"in.89y", "0", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open output file nodir/out\n", archive},
        {"zkunarchive", {"in.89y", "0", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open output file nodir/out\n", packed_archive},
        {"zkbin2hex", {"in.bin", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n", raw},
        {"zkhex2bin", {"in.txt", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n", hex},
        {"zkextract", {"in.bin", "@OUT", "BEGIN"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outfile nodir/out\n", raw},
        {"zktiler", {"-h", "in.bin", "8", "8", "8", "8", "1", "@OUT"}, "out.c",
         "ERROR: cannot write outputfile out.c\n", "nodir/out.c", "ERROR: cannot open outputfile nodir/out.c\n",
         bitmap},
        {"zksplit", {"-b", "offsets", "in.bin"}, "inp000.bin",
         split_head + "extracting to inp000.bin from start=0 (length=4)\n"
                      "ERROR: cannot read write data to outputfile\ngenerated ONLY 0 out of 2 files\n",
         "", split_head + "extracting to inp000.bin from start=0 (length=4)\n"
                          "ERROR: cannot open output filename inp000.bin\ngenerated ONLY 0 out of 2 files\n",
         split},
        {"zksplit", {"-t", "offsets", "in.bin"}, "inp001.bin",
         split_head + "ERROR: cannot write more lines to file inp001.bin\ngenerated ONLY 1 out of 2 files\n", "",
         split_head + "ERROR: cannot open outputfile inp001.bin\ngenerated ONLY 1 out of 2 files\n",
         [](const TempDir& d) {
             d.write("offsets", "2\n");
             d.write("in.bin", bytes_of("1234\n5678\nTAG\nxyz\n"));
         }},
        {"zksplit", {"-t", "-s", "TAG", "in.bin"}, "inp000.bin",
         "ERROR: cannot write more lines to file inp000.bin\nERROR: splitting inputfile in.bin failed\n", "",
         "ERROR: cannot open outputfile inp000.bin\nERROR: splitting inputfile in.bin failed\n", split},
        {"zksplit", {"-t", "-s", "TAG", "in.bin"}, "inp001.bin",
         "ERROR: cannot write more lines to file inp001.bin\nERROR: splitting inputfile in.bin failed\n", "",
         "ERROR: cannot open outputfile inp001.bin\nERROR: splitting inputfile in.bin failed\n", split},
        {"zkppggen", {"in.89z", "@OUT"}, "v.89y", "ERROR: cannot write outputfile v.89y\n", "nodir/v.89y",
         "ERROR: cannot open outputfile nodir/v.89y\n", write_program},
        {"zkppggen", {"-x", "in.89y", "@OUT"}, "v.89z", "ERROR: cannot write outputfile v.89z\n", "nodir/v.89z",
         "ERROR: cannot open outputfile nodir/v.89z\n", write_packed_program},
        {"zkpng2bin", {"in.png", "@OUT"}, "out", "ERROR: cannot write outputfile out\n", "nodir/out",
         "ERROR: cannot open outputfile nodir/out\n", png},
        {"zkpng2bin", {"-s89", "in.png", "@OUT"}, "v.89i", "ERROR: cannot write outputfile v.89i\n", "nodir/v.89i",
         "ERROR: cannot open outputfile nodir/v.89i\n", png},
        {"zkbin2png", {"in.bin", "8", "8", "@OUT"}, "out.png", "ERROR: cannot write outputfile out.png\n",
         "nodir/out.png", "ERROR: cannot open outputfile nodir/out.png\n", bitmap},
    };
}

std::vector<std::string> with_output(std::vector<std::string> args, const std::string& out)
{
    for (std::string& a : args)
        if (a == "@OUT") a = out;
    return args;
}

// The name a tool is given for an output that it names itself from an
// argument (the writers of variables add the extension).
std::string output_argument(const OutputCase& c, const std::string& out)
{
    const std::string tool = c.tool;
    for (const char* writer : {"zkbin2str", "zkbin2oth", "zkarchive", "zkppggen"})
        if (tool == writer) return out.substr(0, out.size() - 4);
    if (tool == "zkpng2bin" && c.args[0] == "-s89") return out.substr(0, out.size() - 4);
    return out;
}

}  // namespace

TEST(SweepOutputs, FullDeviceIsReported)
{
    for (const OutputCase& c : output_cases()) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.full_name);
        TempDir dir;
        c.setup(dir);
        dir.link_to_full(c.full_name);
        RunResult r = run_tool(c.tool, with_output(c.args, output_argument(c, c.full_name)), dir);
        expect_refused(r, c.full_err);
        EXPECT_EQ(r.out.find("bytes written"), std::string::npos) << r.out;
    }
}

TEST(SweepOutputs, UncreatableOutputIsReported)
{
    for (const OutputCase& c : output_cases()) {
        SCOPED_TRACE(std::string(c.tool) + " " + c.blocked_out);
        TempDir dir;
        c.setup(dir);
        std::string out = c.blocked_out;
        if (out.empty()) {
            out = c.full_name;
            std::filesystem::create_directory(dir.path() / out);
        } else {
            out = output_argument(c, out);
        }
        RunResult r = run_tool(c.tool, with_output(c.args, out), dir);
        expect_refused(r, c.blocked_err);
        EXPECT_FALSE(dir.exists("nodir"));
    }
}

// The tools that stream their input would empty it by creating their
// output over it, and then report the empty result as a success.
TEST(SweepOutputs, OutputThatIsTheInputIsRefused)
{
    const Bytes calc = calc_file(string_data(bytes_of("abc")));
    struct Case {
        const char* tool;
        std::vector<std::string> args;  // the input is "in", the output "@OUT"
        Bytes input;
    };
    for (const Case& c : std::vector<Case>{
             {"zkstrip", {"-quiet", "in", "@OUT"}, calc},
             {"zkbin2hex", {"-quiet", "in", "@OUT"}, bytes_of("abcdef")},
             {"zkhex2bin", {"-quiet", "in", "@OUT"}, bytes_of("0x12,0x34\n")},
             {"zkhex2bin", {"-quiet", "-", "@OUT"}, bytes_of("0x12,0x34\n")},
             {"zkextract", {"-quiet", "in", "@OUT", "BEGIN"}, bytes_of("xxBEGINdata")},
             {"zkpack", {"-quiet", "in", "@OUT"}, bytes_of("abcabcabc")},
         }) {
        // The same name, and a second name of the same file.
        for (const std::string out : {"in", "again"}) {
            SCOPED_TRACE(std::string(c.tool) + " " + out);
            TempDir dir;
            dir.write("in", c.input);
            if (out != "in") std::filesystem::create_hard_link(dir.path() / "in", dir.path() / out);
            RunOptions opts;
            if (c.args[1] == "-") opts.stdin_data = string_of(c.input);
            RunResult r = run_tool(c.tool, with_output(c.args, out), dir, opts);
            if (c.args[1] == "-") {
                // Standard input is a copy here, so the file may be written.
                expect_clean(r);
                EXPECT_EQ(r.status, 0);
                continue;
            }
            expect_refused(r, "ERROR: outputfile " + out + " is the inputfile\n");
            EXPECT_EQ(dir.read("in"), c.input);
        }
    }
}
