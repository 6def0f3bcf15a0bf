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

// The three characters of a custom type's extension, which lie 7, 6 and 5
// bytes before the end of an OTH file.
bool read_type_extension(std::FILE* in, char extension[3])
{
    if (std::fseek(in, -7, SEEK_END) != 0) return false;
    for (int i = 0; i < 3; ++i) {
        int c = std::getc(in);
        if (c == EOF) return false;
        extension[i] = static_cast<char>(c);
    }
    return true;
}

static int run(const char* infile)
{
    zk::File in = zk::open_file(infile, "rb");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", infile);
        return 1;
    }
    zk::CalcHeader h;
    if (!zk::read_calc_header(in.get(), h)) {
        zk::eprint("ERROR: file is too short\n");
        return 1;
    }
    if (!h.signature().starts_with("**TI")) {
        zk::eprint("ERROR: file doesn't start with '**TI'\n");
        return 1;
    }
    zk::CalcTrailer t;
    if (!zk::read_calc_trailer(in.get(), t)) {
        zk::eprint("ERROR: cannot seek to filetype\n");
        return 1;
    }
    const char* type_name = zk::calc_type_name(t.filetype);
    if (!type_name) {
        zk::eprint("ERROR: file neither of STR nor of OTH type\n");
        return 1;
    }
    char extension[3];
    const bool has_extension = t.filetype == zk::kCalcTagOther;
    if (has_extension && !read_type_extension(in.get(), extension)) {
        zk::eprint("ERROR: cannot seek to filetype\n");
        return 1;
    }
    in.reset();

    const std::uint8_t* b = h.bytes;
    auto field = [](std::string_view text) { return static_cast<int>(text.size()); };
    std::printf("filename:  %s\n", infile);
    std::printf("filesize:  %ld bytes\n", t.file_length);
    std::printf("filetype:  %s (0x%02x)\n", type_name, t.filetype);
    if (has_extension) std::printf("extension: %c%c%c\n", extension[0], extension[1], extension[2]);
    std::printf("signature: %.*s\n", field(h.signature()), h.signature().data());
    std::printf("folder:    %.*s\n", field(h.folder()), h.folder().data());
    std::printf("varname:   %.*s\n", field(h.varname()), h.varname().data());
    std::printf("desc:      %.*s\n", field(h.desc()), h.desc().data());
    std::printf("size:      %lu (0x%02x%02x%02x%02x)\n", static_cast<unsigned long>(h.size()), b[76], b[77],
                b[78], b[79]);
    std::printf("datasize:  %lu (0x%02x%02x)\n", static_cast<unsigned long>(h.datasize()), b[86], b[87]);
    std::printf("checksum:  %u (0x%02x%02x)\n\n", static_cast<unsigned>(t.stored_checksum), t.checksum_low,
                t.checksum_high);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc != 2) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(argv[1]));
}
