// zkstrip: writes the memory image of a calculator variable file, the bytes
// from the data size word through the type tag, without header and checksum.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
#include <cstring>

static constexpr const zk::ToolId& kId = zk::tool("zkstrip");

static constexpr const char kUsage[] =
    "Usage: zkstrip [-quiet] <infile> <outfile>\n"
    "\n"
    "       -quiet ... don't output standard messages\n"
    "\n"
    "       extracts the raw binary content of a TI file by stripping\n"
    "       the header and trailing checksum which are only necessary\n"
    "       for the link software to send the data to the calc.\n"
    "       NOTE: after stripping these informations it is no longer\n"
    "       possible to distinguish between a TI89 and a TI92p file.\n"
    "       So be careful!\n"
    "\n";

struct Settings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    bool quiet = zk::quiet_environment();  // "-quiet", or ZKTOOLS_QUIET
};

static int run(const Settings& s)
{
    zk::File in = zk::open_input(s.infile);
    if (!in) return 1;
    std::uint8_t signature[zk::kCalcSignatureSize];
    const std::size_t got = std::fread(signature, 1, sizeof signature, in.get());
    const std::optional<std::int64_t> length = std::ferror(in.get()) ? std::nullopt : zk::file_size(in.get());
    if (!length) return zk::fail("ERROR: cannot read inputfile %s\n", s.infile);
    const std::optional<zk::CalcRange> image = zk::calc_image_range(*length);
    if (!image)
        return zk::fail("ERROR: inputfile %s is too short (%lld bytes, the header needs %zu)\n", s.infile,
                        static_cast<long long>(*length), zk::kCalcHeaderSize);
    if (!zk::calc_kind(std::span(signature, got))) zk::eprint("WARNING: neither TI89 nor TI92 inputfile\n");

    if (zk::output_is_input(in.get(), s.outfile)) return 1;
    zk::OutputFile out;
    if (!zk::open_output(out, s.outfile, "wb")) return 1;
    const zk::Copy copied = zk::copy_range(in.get(), image->offset, image->length, out.get());
    if (copied == zk::Copy::InputEnded || copied == zk::Copy::ReadError)
        return zk::fail("ERROR: cannot read inputfile %s\n", s.infile);
    in.reset();
    if (copied == zk::Copy::WriteError || !out.commit()) return zk::fail_output(s.outfile);
    if (!s.quiet) std::printf("%lld bytes written to %s\n", static_cast<long long>(image->length), s.outfile);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    if (argc < 3) {
        return zk::finish_with_usage(kId, kUsage);
    }
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-quiet") == 0) {
            s.quiet = true;
        } else if (arg[0] == '-') {
            zk::eprint("ERROR: invalid option %s", arg);
            return zk::finish(1);
        } else if (!s.infile) {
            s.infile = arg;
        } else if (!s.outfile) {
            s.outfile = arg;
        } else {
            return zk::finish_with_usage(kId, kUsage);
        }
    }
    if (!s.outfile) {
        return zk::finish_with_usage(kId, kUsage);
    }
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
