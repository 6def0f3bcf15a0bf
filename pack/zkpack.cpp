// zkpack: packs one file of at most 65535 bytes into a packed stream, raw or
// written as the hex text that zkunpack reads with -hti.
#include "frame.h"
#include "hextext.h"
#include "pack.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkpack");

static constexpr const char kUsage[] =
    "Usage: zkpack [-<flags>] <infile> <outfile>\n"
    "       -quiet    don't output standard messages\n"
    "       -hto      generate hex-text output\n"
    "       -best     search longer for a smaller stream\n"
    "       -E <n>    use n escape bits (0..8)\n"
    "       -G <n>    use gamma limit n (5..7)\n"
    "       -X <n>    use n extra offset bits (0..4)\n"
    "       parameters not given are chosen for each input\n";

struct Settings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    bool quiet = zk::quiet_environment();
    bool hex_out = false;
    zk::PackOptions pack;
};

static int run(const Settings& s)
{
    zk::Buffer input;
    std::optional<zk::FileId> input_id;
    switch (zk::read_input(s.infile, zk::kPackMaxOrigSize, input, input_id)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: inputfile %s is too long (more than %zu bytes)\n", s.infile, zk::kPackMaxOrigSize);
    default:
        return 1;
    }
    if (zk::output_is_input(input_id, s.outfile)) return 1;

    std::vector<std::uint8_t> stream;
    zk::PackChoice choice;
    switch (zk::pack_stream(input.data(), input.size(), s.pack, stream, &choice)) {
    case zk::PackResult::Ok:
        break;
    case zk::PackResult::NoMemory:
        return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", zk::pack_working_memory(input.size()));
    default:
        // The options were checked by the scan, so only the stream's length remains.
        return zk::fail("ERROR: packed stream of %s would be longer than %zu bytes\n", s.infile,
                        zk::kPackMaxStreamSize);
    }

    std::string text;
    const auto bytes = zk::raw_or_hex_text(stream, s.hex_out, text);
    if (!bytes) return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", zk::hex_text_size(stream.size()));
    if (!zk::write_whole_file(s.outfile, *bytes)) return 1;
    if (!s.quiet)
        std::printf("%zu bytes packed into %zu bytes (E=%u G=%u X=%u, %u run table entries)\n", input.size(),
                    stream.size(), choice.escape_bits, choice.gamma_limit, choice.extra_offset_bits,
                    choice.run_table_size);
    return 0;
}

static zk::Scan scan_arguments(int argc, char** argv, Settings& s)
{
    struct Parameter {
        const char* flag;
        int lo, hi;
        int zk::PackOptions::*field;
    };
    static constexpr Parameter kParameters[] = {
        {"-E", 0, zk::kPackMaxEscapeBits, &zk::PackOptions::escape_bits},
        {"-G", zk::kPackMinGammaLimit, zk::kPackMaxGammaLimit, &zk::PackOptions::gamma_limit},
        {"-X", 0, zk::kPackMaxExtraOffsetBits, &zk::PackOptions::extra_offset_bits},
    };
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        bool parameter = false;
        for (const Parameter& p : kParameters)
            if (!parameter) parameter = args.number(p.flag, p.lo, p.hi, s.pack.*p.field);
        if (parameter) continue;
        if (args.flag("-quiet"))
            s.quiet = true;
        else if (args.flag("-hto"))
            s.hex_out = true;
        else if (args.flag("-best"))
            s.pack.effort = zk::PackEffort::Best;
        else
            args.positional({&s.infile, &s.outfile});
    }
    return args.result(s.infile && s.outfile);
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    const zk::Scan scan = scan_arguments(argc, argv, s);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    if (!s.quiet) zk::print_banner(kId);
    return zk::finish(run(s));
}
