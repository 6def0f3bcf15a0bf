// zkstrip: writes the memory image of a calculator variable file, the bytes
// from the data size word through the type tag, without header and checksum.
#include "calcfile.h"
#include "frame.h"

#include <algorithm>
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
    bool quiet = false;
};

// Copies count bytes from in to out; false when the input ends early or
// fails. Write failures are left to the check of the closed output.
bool copy_bytes(std::FILE* in, std::FILE* out, long count)
{
    char chunk[1 << 15];
    while (count > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<long>(count, sizeof chunk));
        if (std::fread(chunk, 1, want, in) != want) return false;
        std::fwrite(chunk, 1, want, out);
        count -= static_cast<long>(want);
    }
    return true;
}

static int run(const Settings& s)
{
    zk::File in = zk::open_file(s.infile, "rb");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
        return 1;
    }
    char signature[9] = {};
    std::fread(signature, 1, 8, in.get());
    long length = -1;
    if (!std::ferror(in.get()) && std::fseek(in.get(), 0, SEEK_END) == 0) length = std::ftell(in.get());
    if (length < 0 || std::fseek(in.get(), static_cast<long>(zk::kCalcImageOffset), SEEK_SET) != 0) {
        zk::eprint("ERROR: cannot read inputfile %s\n", s.infile);
        return 1;
    }
    const long image_length = length - static_cast<long>(zk::kCalcHeaderSize);
    if (image_length < 0) {
        zk::eprint("ERROR: inputfile %s is too short (%ld bytes, the header needs 88)\n", s.infile, length);
        return 1;
    }
    if (std::strcmp(signature, "**TI89**") != 0 && std::strcmp(signature, "**TI92P*") != 0)
        zk::eprint("WARNING: neither TI89 nor TI92 inputfile\n");

    if (zk::output_is_input(in.get(), s.outfile)) return 1;
    zk::File out = zk::open_file(s.outfile, "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outputfile %s\n", s.outfile);
        return 1;
    }
    if (!copy_bytes(in.get(), out.get(), image_length)) {
        zk::eprint("ERROR: cannot read inputfile %s\n", s.infile);
        return 1;
    }
    in.reset();
    if (!zk::close_checked(out)) return zk::fail_output(s.outfile);
    if (!s.quiet) std::printf("%ld bytes written to %s\n", image_length, s.outfile);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    if (argc < 3) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
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
            zk::print_usage(kId, kUsage);
            return zk::finish(1);
        }
    }
    if (!s.outfile) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
