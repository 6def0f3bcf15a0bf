// zkinfo: prints the header fields, the type and the stored checksum of one
// calculator variable file, without judging them.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>

static constexpr const zk::ToolId& kId = zk::tool("zkinfo");

static constexpr const char kUsage[] =
    "Usage: zkinfo <infile>\n"
    "\n"
    "       prints infos about a 89z/89s/89y/9xz/9xs/9xy file\n";

// A field of the header as "%.*s" takes it.
static int width(std::string_view field) { return static_cast<int>(field.size()); }

static int run(const char* infile)
{
    zk::File in = zk::open_input(infile);
    if (!in) return 1;
    zk::CalcHeader h;
    if (!zk::read_calc_header(in.get(), h)) return zk::fail("ERROR: file is too short\n");
    if (!h.is_ti()) return zk::fail("ERROR: file doesn't start with '**TI'\n");
    zk::CalcTrailer t;
    if (!zk::read_calc_trailer(in.get(), t)) return zk::fail("ERROR: cannot seek to filetype\n");
    const char* type_name = zk::calc_type_name(t.filetype);
    if (!type_name) return zk::fail("ERROR: file neither of STR nor of OTH type\n");
    const bool show_extension = t.filetype == zk::kCalcTagOther;
    if (show_extension && !t.has_extension) return zk::fail("ERROR: cannot seek to filetype\n");
    in.reset();

    const std::uint8_t* size = h.bytes + zk::kCalcSizeOffset;
    const std::uint8_t* datasize = h.bytes + zk::kCalcImageOffset;
    std::printf("filename:  %s\n", infile);
    std::printf("filesize:  %lld bytes\n", static_cast<long long>(t.file_length));
    std::printf("filetype:  %s (0x%02x)\n", type_name, t.filetype);
    if (show_extension) std::printf("extension: %c%c%c\n", t.extension[0], t.extension[1], t.extension[2]);
    std::printf("signature: %.*s\n", width(h.signature()), h.signature().data());
    std::printf("folder:    %.*s\n", width(h.folder()), h.folder().data());
    std::printf("varname:   %.*s\n", width(h.varname()), h.varname().data());
    std::printf("desc:      %.*s\n", width(h.desc()), h.desc().data());
    std::printf("size:      %lu (0x%02x%02x%02x%02x)\n", static_cast<unsigned long>(h.size()), size[0], size[1],
                size[2], size[3]);
    std::printf("datasize:  %lu (0x%02x%02x)\n", static_cast<unsigned long>(h.datasize()), datasize[0],
                datasize[1]);
    std::printf("checksum:  %u (0x%02x%02x)\n\n", static_cast<unsigned>(t.stored_checksum), t.checksum_low,
                t.checksum_high);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc != 2) {
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(argv[1]));
}
