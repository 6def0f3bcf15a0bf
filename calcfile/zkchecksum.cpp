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

static int run(const char* name)
{
    // Opened for update, a FIFO or a pipe would have a writer of its own
    // and be waited on for ever; a device has no checksum to patch. (A
    // directory cannot be opened for update at all.)
    if (zk::file_kind(name) == zk::FileKind::Other)
        return zk::fail("ERROR: inputfile %s is not a regular file\n", name);
    zk::File file = zk::open_file(name, "rb+");
    if (!file) return zk::fail("ERROR: cannot open inputfile %s\n", name);

    zk::CalcHeader h;
    if (!zk::read_calc_header(file.get(), h)) return zk::fail("ERROR: cannot read TI fileheader from %s\n", name);
    if (!h.is_ti()) return zk::fail("ERROR: file doesn't start with '**TI'\n");
    zk::CalcTrailer t;
    if (!zk::read_calc_trailer(file.get(), t)) return zk::fail("ERROR: cannot seek to filetype\n");
    const unsigned long size = h.size();
    if (static_cast<std::int64_t>(size) != t.file_length)
        return zk::fail("FATAL: embedded len (%lu) doesn't match real length (%llu).\nCannot correct this file.\n",
                        size, static_cast<unsigned long long>(t.file_length));
    zk::eprint("length=%lu type=%02x checksum=%u (0x%02x%02x)\n", size, t.filetype,
               static_cast<unsigned>(t.stored_checksum), t.checksum_low, t.checksum_high);
    if (!zk::calc_type_name(t.filetype)) return zk::fail("ERROR: file neither STR, ASM nor OTH type\n");

    const std::optional<std::uint16_t> computed = zk::calc_checksum(file.get(), h.size());
    if (!computed) return zk::fail("ERROR: cannot read the data of %s\n", name);
    if (*computed == t.stored_checksum) {
        zk::eprint("checksum already ok. will not patch.\n");
        return 0;
    }
    zk::eprint("checksum wrong. correcting it to %u (0x%02x%02x)\n", static_cast<unsigned>(*computed),
               *computed & 0xFF, *computed >> 8);
    if (!zk::write_calc_checksum(file.get(), *computed) || !zk::close_checked(file))
        return zk::fail("ERROR: cannot write the checksum to %s\n", name);
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
