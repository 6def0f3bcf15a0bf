// zkbin2bin: moves a calculator variable file from the TI-89 to the TI-92
// Plus or back by rewriting its signature; the checksum does not cover the
// signature, so every other byte is copied unchanged.
#include "calcfile.h"
#include "frame.h"

#include <cstring>
#include <optional>
#include <string>
#include <string_view>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2bin");

static constexpr const char kUsage[] =
    "Usage: zkbin2bin [-quiet] <infile>\n"
    "\n"
    "       quiet  ... don't output standard messages\n"
    "\n"
    "       converts TI89 binary to TI92p binary or TI92p binary to TI89 binary\n"
    "       by just patching the header information. the generated outputfile\n"
    "       will have the same name, but a different extension.\n"
    "       NOTE1: this should be only applied to datafiles or executables\n"
    "              which uses no compiled in calc depending constants\n"
    "       NOTE2: the program auto-detects the infile type by the extension\n"
    "              if the extension starts with '.89' it will treated as \n"
    "              TI89 inputfile. if it starts with '.9x' it will be treated\n"
    "              as TI92p inputfile.\n"
    "\n";

struct Settings {
    const char* infile = nullptr;
    bool quiet = false;
};

// The calculator a file name's four-character extension names: ".89?" or
// ".9x?", exactly; empty for any other name.
std::optional<zk::CalcKind> kind_from_name(std::string_view name)
{
    if (name.size() <= 4) return std::nullopt;
    std::string_view extension = name.substr(name.size() - 4);
    if (extension.starts_with(".89")) return zk::CalcKind::Ti89;
    if (extension.starts_with(".9x")) return zk::CalcKind::Ti92Plus;
    return std::nullopt;
}

// The input name with its calculator prefix swapped: prog.89z gives prog.9xz.
std::string converted_name(std::string_view name, zk::CalcKind from)
{
    std::string out(name.substr(0, name.size() - 3));
    out += from == zk::CalcKind::Ti89 ? "9x" : "89";
    out += name.back();
    return out;
}

// Copies the rest of in to out; false when reading fails. Write failures
// are left to the check of the closed output.
bool copy_rest(std::FILE* in, std::FILE* out)
{
    char chunk[1 << 15];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) std::fwrite(chunk, 1, got, out);
    return !std::ferror(in);
}

static int run(const Settings& s)
{
    const std::string_view name = s.infile;
    if (name.size() <= 4) {
        zk::eprint("ERROR: inputfile name too short\n");
        return 1;
    }
    const std::optional<zk::CalcKind> from = kind_from_name(name);
    if (!from) {
        zk::eprint("ERROR: no extension or not starting with '.89' or '.9x'\n");
        return 1;
    }
    const zk::CalcKind to = *from == zk::CalcKind::Ti89 ? zk::CalcKind::Ti92Plus : zk::CalcKind::Ti89;

    zk::File in = zk::open_file(s.infile, "rb");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
        return 1;
    }
    char signature[8];
    if (std::fread(signature, 1, sizeof signature, in.get()) != sizeof signature) {
        zk::eprint("ERROR: cannot read 8 characters from inputfile %s\n", s.infile);
        return 1;
    }
    if (std::string_view(signature, sizeof signature) != zk::calc_signature(*from)) {
        zk::eprint("ERROR: calctype signature does not match\n");
        return 1;
    }

    const std::string outfile = converted_name(name, *from);
    zk::File out = zk::open_file(outfile.c_str(), "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outfile %s\n", outfile.c_str());
        return 1;
    }
    std::fwrite(zk::calc_signature(to).data(), 1, 8, out.get());
    if (!copy_rest(in.get(), out.get())) {
        zk::eprint("ERROR: cannot read inputfile %s\n", s.infile);
        return 1;
    }
    const long written = std::ftell(out.get());
    in.reset();
    if (!zk::close_checked(out)) {
        zk::eprint("ERROR: problem while writing to outfile %s\n", outfile.c_str());
        return 1;
    }
    if (!s.quiet) std::printf("%ld bytes written to outputfile %s.\n", written, outfile.c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    if (argc == 2) {
        s.infile = argv[1];
    } else if (argc == 3 && std::strcmp(argv[1], "-quiet") == 0) {
        s.infile = argv[2];
        s.quiet = true;
    } else {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
