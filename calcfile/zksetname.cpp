// zksetname: sets the variable name, and the folder when one is given, that
// the calculator shows for a calculator variable file, in place. The names
// lie in the header, outside the checksum, which stays valid.
#include "calc_messages.h"
#include "calcfile.h"
#include "frame.h"

#include <cstdint>
#include <optional>
#include <string>

static constexpr const zk::ToolId& kId = zk::tool("zksetname");

static constexpr const char kUsage[] =
    "Usage: zksetname <infile> <name> [folder]\n"
    "\n"
    "       sets the variable name (and the folder) that the calculator\n"
    "       shows for a 89z/89s/89y/9xz/9xs/9xy file, in place; a name is\n"
    "       1 to 8 characters: a letter, then letters, digits or _\n";

struct Settings {
    const char* file = nullptr;
    const char* name = nullptr;
    const char* folder = nullptr;  // none: the folder stays
};

static int run(const Settings& s)
{
    const std::optional<std::string> varname = zk::calc_stored_name(s.name);
    if (!varname) return zk::fail("ERROR: invalid variable name %s (%s)\n", s.name, zk::kCalcNameRule);
    std::optional<std::string> folder;
    if (s.folder && !(folder = zk::calc_stored_name(s.folder)))
        return zk::fail("ERROR: invalid folder name %s (%s)\n", s.folder, zk::kCalcNameRule);

    // Opened for update, a FIFO would be waited on for ever and a device
    // holds no file to rename.
    const std::optional<zk::FileKind> kind = zk::file_kind(s.file);
    if (kind && kind != zk::FileKind::Regular) return zk::fail("ERROR: inputfile %s is not a regular file\n", s.file);
    zk::File f = zk::open_file(s.file, "rb+");
    if (!f) return zk::fail("ERROR: cannot open inputfile %s\n", s.file);
    const zk::CalcCheckResult checked = zk::check_calc_file(f.get());
    if (zk::fail_calc_check(checked, s.file) != 0) return 1;
    zk::CalcHeader h = checked.header;

    // Both name fields lie in the header's first sector, the folder at 10
    // and the variable name at 64: the new names go back in one write of the
    // range from the first field changed to the end of the variable name,
    // over bytes the file already has, so that the file holds the old names
    // or the new ones, never a mix, as far as the system writes one short
    // range as a whole.
    if (folder) h.set_folder(*folder);
    h.set_varname(*varname);
    const std::size_t first = folder ? zk::kCalcFolderOffset : zk::kCalcVarnameOffset;
    const std::size_t end = zk::kCalcVarnameOffset + zk::kCalcNameSize;
    if (!zk::seek(f.get(), static_cast<std::int64_t>(first), SEEK_SET) ||
        std::fwrite(h.bytes + first, 1, end - first, f.get()) != end - first || !zk::close_checked(f))
        return zk::fail("ERROR: cannot write the name to %s\n", s.file);

    if (folder)
        zk::note("%s: name set to %s\\%s\n", s.file, folder->c_str(), varname->c_str());
    else
        zk::note("%s: name set to %s\n", s.file, varname->c_str());
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    Settings s;
    zk::ArgScan args(argc, argv);
    while (args.next()) args.positional({&s.file, &s.name, &s.folder});
    const zk::Scan scan = args.result(s.name);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    return zk::finish(run(s));
}
