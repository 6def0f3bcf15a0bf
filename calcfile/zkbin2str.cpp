// zkbin2str: wraps the bytes of any file into a string variable file for
// the TI-89 or the TI-92 Plus, named after the variable.
#include "calcfile.h"
#include "frame.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2str");

static constexpr const char kUsage[] =
    "Usage: zkbin2str <-s89 | -s92> <infile> <name> [folder]\n"
    "\n"
    "       -s89  ....  generate TI89 string\n"
    "       -s92  ....  generate TI92 string\n"
    "       -f    ....  don't print a warning if the string contains at least one 0x00\n"
    "       (strings containing 0x00 may prove problematic to transfer using TI-Connect)\n"
    "\n"
    "       enwraps any file into a TI89 or TI92 string variable\n";

struct Settings {
    const char* infile = nullptr;
    const char* varname = nullptr;
    const char* folder = nullptr;  // none: the variable goes to "main"
    std::optional<zk::CalcKind> kind;  // -s89 or -s92
    bool allow_zero = false;
};

static constexpr const char kZeroWarning[] = "WARNING: string contains 0x00: TI-Connect may truncate the string\n";

static int run(const Settings& s)
{
    std::string outfile;
    if (!zk::output_named_after(s.varname, zk::calc_extension(*s.kind, 's'), outfile)) return 1;
    zk::Buffer text;
    std::optional<zk::FileId> input;
    switch (zk::read_input(s.infile, zk::kCalcMaxStringLength, text, input)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: inputfile %s is too long for a string (more than %d bytes)\n", s.infile,
                        static_cast<int>(zk::kCalcMaxStringLength));
    default:
        return 1;
    }
    const std::span<const std::uint8_t> content(text.data(), text.size());
    const std::string_view folder = s.folder ? s.folder : zk::kCalcDefaultFolder;
    zk::Buffer file;
    if (zk::build_string_file(*s.kind, folder, zk::base_name(s.varname), content, file) != zk::CalcBuild::Ok)  // the length fits
        return zk::fail("ERROR: cannot allocate memory (%d bytes)\n",
                        static_cast<int>(content.size()) + zk::kCalcStringOverhead);

    if (zk::output_is_input(input, outfile.c_str())) return 1;
    zk::OutputFile out;
    if (!zk::open_output(out, outfile.c_str(), "wb")) return 1;
    if (!s.allow_zero && std::ranges::find(content, 0) != content.end()) zk::eprint(kZeroWarning);
    std::fwrite(file.data(), 1, file.size(), out.get());
    if (!out.commit()) return zk::fail_output(outfile.c_str());
    zk::enote("%d bytes written to %s\n", static_cast<int>(file.size()), outfile.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc < 4) {
        return zk::finish_with_usage(kId, kUsage);
    }
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (const std::optional<zk::CalcKind> kind = zk::calc_kind_of_flag(arg)) {
            s.kind = kind;
        } else if (std::strcmp(arg, "-f") == 0) {
            s.allow_zero = true;
        } else if (arg[0] == '-') {
            zk::eprint("ERROR: invalid option %s", arg);
            return zk::finish(1);
        } else if (!s.infile) {
            s.infile = arg;
        } else if (!s.varname) {
            s.varname = arg;
        } else if (!s.folder) {
            s.folder = arg;
        } else {
            return zk::finish_with_usage(kId, kUsage);
        }
    }
    if (!s.infile || !s.varname || !s.kind) {
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(s));
}
