// zkchecksum: recomputes the checksum of one calculator variable file and
// patches the stored value in place when it differs. Everything after the
// banner goes to standard error.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>

static constexpr const zk::ToolId& kId = zk::tool("zkchecksum");

static constexpr const char kUsage[] =
    "Usage: zkchecksum <infile>\n"
    "\n"
    "       corrects the checksum of 89z/89s/89y/9xz/9xs/9xy calculator files.\n"
    "\n"
    "       NOTE: if the embedded filelength doesn't match the real filelength\n"
    "             (for example: caused by an invalid FTP transfer) the file\n"
    "             cannot be corrected.\n";

// Writes checksum into the last two bytes of the file, low byte first;
// false when the bytes did not reach the file.
bool patch_checksum(std::FILE* file, std::uint16_t checksum)
{
    if (std::fseek(file, -2, SEEK_END) != 0) return false;
    std::putc(checksum & 0xFF, file);
    std::putc(checksum >> 8, file);
    return std::fflush(file) == 0 && !std::ferror(file);
}

static int run(const char* name)
{
    zk::File file = zk::open_file(name, "rb+");
    if (!file) {
        zk::eprint("ERROR: cannot open inputfile %s\n", name);
        return 1;
    }
    zk::CalcHeader h;
    if (!zk::read_calc_header(file.get(), h)) {
        zk::eprint("ERROR: cannot read TI fileheader from %s\n", name);
        return 1;
    }
    if (!h.signature().starts_with("**TI")) {
        zk::eprint("ERROR: file doesn't start with '**TI'\n");
        return 1;
    }
    zk::CalcTrailer t;
    if (!zk::read_calc_trailer(file.get(), t)) {
        zk::eprint("ERROR: cannot seek to filetype\n");
        return 1;
    }
    const unsigned long size = h.size();
    if (static_cast<long>(size) != t.file_length) {
        zk::eprint("FATAL: embedded len (%lu) doesn't match real length (%lu).\nCannot correct this file.\n",
                     size, static_cast<unsigned long>(t.file_length));
        return 1;
    }
    zk::eprint("length=%lu type=%02x checksum=%u (0x%02x%02x)\n", size, t.filetype,
                 static_cast<unsigned>(t.stored_checksum), t.checksum_low, t.checksum_high);
    if (!zk::calc_type_name(t.filetype)) {
        zk::eprint("ERROR: file neither STR, ASM nor OTH type\n");
        return 1;
    }
    std::optional<std::uint16_t> computed = zk::calc_checksum(file.get(), h.size());
    if (!computed) {
        zk::eprint("ERROR: cannot read the data of %s\n", name);
        return 1;
    }
    if (*computed == t.stored_checksum) {
        zk::eprint("checksum already ok. will not patch.\n");
        return 0;
    }
    zk::eprint("checksum wrong. correcting it to %u (0x%02x%02x)\n", static_cast<unsigned>(*computed),
                 *computed & 0xFF, *computed >> 8);
    if (!patch_checksum(file.get(), *computed) || !zk::close_checked(file)) {
        zk::eprint("ERROR: cannot write the checksum to %s\n", name);
        return 1;
    }
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
