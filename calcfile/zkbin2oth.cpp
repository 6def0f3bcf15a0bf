// zkbin2oth: wraps the bytes of any file into a variable of a custom type
// (an OTH variable) for the TI-89 or the TI-92 Plus, named after the
// variable.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2oth");

static constexpr const char kUsage[] =
    "Usage: zkbin2oth <-s89 | -s92> <infile> <name> <type> [folder]\n"
    "\n"
    "       -s89  ....  generate TI89 variable\n"
    "       -s92  ....  generate TI92 variable\n"
    "\n"
    "       enwraps any file into a TI89 or TI92 variable of the custom\n"
    "       type <type> (1 to 4 letters or digits), written to <name>.89y\n"
    "       or <name>.9xy\n";

struct Settings {
    const char* infile = nullptr;
    const char* varname = nullptr;
    const char* type = nullptr;
    const char* folder = nullptr;  // none: the variable goes to "main"
    std::optional<zk::CalcKind> kind;  // -s89 or -s92
};

static int run(const Settings& s)
{
    std::string outfile;
    if (!zk::output_named_after(s.varname, zk::calc_extension(*s.kind, 'y'), outfile)) return 1;
    if (!zk::calc_other_type_valid(s.type))
        return zk::fail("ERROR: invalid type %s (1 to 4 letters or digits)\n", s.type);
    const std::size_t limit = zk::calc_max_other_content(std::strlen(s.type));

    zk::Buffer content;
    std::optional<zk::FileId> input;
    switch (zk::read_input(s.infile, limit, content, input)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: inputfile %s is too long for a variable of type %s (more than %zu bytes)\n", s.infile,
                        s.type, limit);
    default:
        return 1;
    }
    const std::string_view folder = s.folder ? s.folder : zk::kCalcDefaultFolder;
    zk::Buffer file;
    if (zk::build_other_file(*s.kind, folder, zk::base_name(s.varname), s.type, {content.data(), content.size()}, file) !=
        zk::CalcBuild::Ok)  // the length fits
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n",
                        zk::calc_other_file_size(content.size(), std::strlen(s.type)));

    if (zk::output_is_input(input, outfile.c_str())) return 1;
    if (!zk::write_whole_file(outfile.c_str(), {file.data(), file.size()})) return 1;
    zk::note("%zu bytes written to %s\n", file.size(), outfile.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc < 5) {
        return zk::finish_with_usage(kId, kUsage);
    }
    Settings s;
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        if (const std::optional<zk::CalcKind> kind = zk::calc_kind_of_flag(args.word()))
            s.kind = kind;
        else
            args.positional({&s.infile, &s.varname, &s.type, &s.folder});
    }
    const zk::Scan scan = args.result(s.type && s.kind);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    return zk::finish(run(s));
}
