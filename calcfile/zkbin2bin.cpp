// zkbin2bin: moves a calculator variable file from the TI-89 to the TI-92
// Plus or back by rewriting its signature; the checksum does not cover the
// signature, so every other byte is copied unchanged.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
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
    bool quiet = zk::quiet_environment();  // "-quiet", or ZKTOOLS_QUIET
};

// The input name with its calculator prefix swapped: prog.89z gives prog.9xz.
static std::string converted_name(std::string_view name, zk::CalcKind to)
{
    std::string out(name.substr(0, name.size() - (zk::kCalcExtensionSize - 1)));  // up to the dot
    out += zk::calc_name_prefix(to);
    out += name.back();
    return out;
}

static int run(const Settings& s)
{
    const std::string_view name = s.infile;
    if (name.size() <= zk::kCalcExtensionSize) return zk::fail("ERROR: inputfile name too short\n");
    const std::optional<zk::CalcKind> from = zk::calc_kind_of_name(name);
    if (!from) return zk::fail("ERROR: no extension or not starting with '.89' or '.9x'\n");
    const zk::CalcKind to = *from == zk::CalcKind::Ti89 ? zk::CalcKind::Ti92Plus : zk::CalcKind::Ti89;

    zk::File in = zk::open_input(s.infile);
    if (!in) return 1;
    std::uint8_t signature[zk::kCalcSignatureSize];
    if (std::fread(signature, 1, sizeof signature, in.get()) != sizeof signature)
        return zk::fail("ERROR: cannot read 8 characters from inputfile %s\n", s.infile);
    if (zk::calc_kind(signature) != from) return zk::fail("ERROR: calctype signature does not match\n");

    const std::string outfile = converted_name(name, to);
    if (zk::output_is_input(in.get(), outfile.c_str())) return 1;
    zk::OutputFile out;
    if (!zk::open_output(out, outfile.c_str(), "wb", "ERROR: cannot open outfile %s\n")) return 1;
    std::fwrite(zk::calc_signature(to).data(), 1, zk::kCalcSignatureSize, out.get());
    if (zk::copy_rest(in.get(), out.get()) == zk::Copy::ReadError)
        return zk::fail("ERROR: cannot read inputfile %s\n", s.infile);
    const std::int64_t written = zk::tell(out.get());
    in.reset();
    if (!out.commit()) return zk::fail("ERROR: problem while writing to outfile %s\n", outfile.c_str());
    if (!s.quiet)
        std::printf("%lld bytes written to outputfile %s.\n", static_cast<long long>(written), outfile.c_str());
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
        return zk::finish_with_usage(kId, kUsage);
    }
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
