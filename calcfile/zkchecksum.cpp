// zkchecksum: recomputes the checksum of one calculator variable file and
// patches the stored value in place when it differs; with -c it only
// checks the file, for a build that must not change what it checks, and
// tells the result by its exit status. Everything after the banner goes to
// standard error.
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
#include <cstring>
#include <optional>

static constexpr const zk::ToolId& kId = zk::tool("zkchecksum");

static constexpr const char kUsage[] =
    "Usage: zkchecksum [-c] <infile>\n"
    "\n"
    "       corrects the checksum of 89z/89s/89y/9xz/9xs/9xy calculator files.\n"
    "       -c ... only checks the file, never writes it: exit status 1 unless\n"
    "              it is a valid calculator file with the right checksum\n"
    "\n"
    "       NOTE: if the embedded filelength doesn't match the real filelength\n"
    "             (for example: caused by an invalid FTP transfer) the file\n"
    "             cannot be corrected.\n";

static int repair(const char* name)
{
    // Opened for update, a FIFO or a pipe would have a writer of its own
    // and be waited on for ever; a device has no checksum to patch. (A
    // directory cannot be opened for update at all.)
    if (zk::file_kind(name) == zk::FileKind::Other)
        return zk::fail("ERROR: inputfile %s is not a regular file\n", name);
    zk::File file = zk::open_file(name, "rb+");
    if (!file) return zk::fail("ERROR: cannot open inputfile %s\n", name);

    const zk::CalcCheckResult c = zk::check_calc_file(file.get());
    switch (c.status) {
    case zk::CalcCheck::NoHeader:
        return zk::fail("ERROR: cannot read TI fileheader from %s\n", name);
    case zk::CalcCheck::NotTi:
        return zk::fail("ERROR: file doesn't start with '**TI'\n");
    case zk::CalcCheck::NoTrailer:
        return zk::fail("ERROR: cannot seek to filetype\n");
    case zk::CalcCheck::LengthMismatch:
        return zk::fail("FATAL: embedded len (%lu) doesn't match real length (%llu).\nCannot correct this file.\n",
                        static_cast<unsigned long>(c.header.size()),
                        static_cast<unsigned long long>(c.trailer.file_length));
    default:
        break;
    }
    const zk::CalcTrailer& t = c.trailer;
    zk::enote("length=%lu type=%02x checksum=%u (0x%02x%02x)\n", static_cast<unsigned long>(c.header.size()),
               t.filetype, static_cast<unsigned>(t.stored_checksum), t.checksum_low, t.checksum_high);
    switch (c.status) {
    case zk::CalcCheck::UnknownType:
        return zk::fail("ERROR: file neither STR, ASM nor OTH type\n");
    case zk::CalcCheck::ReadError:
        return zk::fail("ERROR: cannot read the data of %s\n", name);
    case zk::CalcCheck::Ok:
        zk::enote("checksum already ok. will not patch.\n");
        return 0;
    default:
        break;
    }
    const std::uint16_t computed = c.computed;
    zk::enote("checksum wrong. correcting it to %u (0x%02x%02x)\n", static_cast<unsigned>(computed),
               computed & 0xFF, computed >> 8);
    if (!zk::write_calc_checksum(file.get(), computed) || !zk::close_checked(file))
        return zk::fail("ERROR: cannot write the checksum to %s\n", name);
    return 0;
}

// The checks of repair, on a file opened for reading only; every refusal
// names the file, so that a build that checks many shows which one failed.
static int check(const char* name)
{
    // A FIFO or a terminal would be waited on for ever, a device read for ever.
    const std::optional<zk::FileKind> kind = zk::file_kind(name);
    if (kind && *kind != zk::FileKind::Regular)
        return zk::fail("ERROR: inputfile %s is not a regular file\n", name);
    zk::File file = zk::open_file(name, "rb");
    if (!file) return zk::fail("ERROR: cannot open inputfile %s\n", name);

    const zk::CalcCheckResult c = zk::check_calc_file(file.get());
    const zk::CalcTrailer& t = c.trailer;
    switch (c.status) {
    case zk::CalcCheck::Ok:
        zk::enote("%s: checksum ok\n", name);
        return 0;
    case zk::CalcCheck::NoHeader:
        return zk::fail("ERROR: cannot read TI fileheader from %s\n", name);
    case zk::CalcCheck::NotTi:
        return zk::fail("ERROR: %s doesn't start with '**TI'\n", name);
    case zk::CalcCheck::NoTrailer:
        return zk::fail("ERROR: cannot read the end of %s\n", name);
    case zk::CalcCheck::LengthMismatch:
        return zk::fail("ERROR: embedded len (%lu) of %s doesn't match real length (%llu)\n",
                        static_cast<unsigned long>(c.header.size()), name,
                        static_cast<unsigned long long>(t.file_length));
    case zk::CalcCheck::UnknownType:
        return zk::fail("ERROR: %s is neither STR, ASM nor OTH type (tag %02x)\n", name, t.filetype);
    case zk::CalcCheck::ReadError:
        return zk::fail("ERROR: cannot read the data of %s\n", name);
    case zk::CalcCheck::WrongChecksum:
        break;
    }
    return zk::fail("ERROR: wrong checksum in %s: stored %u (0x%02x%02x), computed %u (0x%02x%02x)\n", name,
                    static_cast<unsigned>(t.stored_checksum), t.checksum_low, t.checksum_high,
                    static_cast<unsigned>(c.computed), c.computed & 0xFF, c.computed >> 8);
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    if (argc == 3 && std::strcmp(argv[1], "-c") == 0) return zk::finish(check(argv[2]));
    // A single argument is the file to repair, whatever it looks like, "-c" too.
    if (argc != 2) return zk::finish_with_usage(kId, kUsage);
    return zk::finish(repair(argv[1]));
}
