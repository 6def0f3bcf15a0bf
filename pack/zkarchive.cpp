// zkarchive: bundles files into a ZKArchive, an OTH variable of the type
// "zka" for the TI-89 or the TI-92 Plus, each entry packed when that makes
// it smaller and stored as it is otherwise.
#include "archive.h"
#include "calcfile.h"
#include "frame.h"
#include "pack.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkarchive");

static constexpr const char kUsage[] =
    "Usage: zkarchive <-s89 | -s92> [-store] <name> <infile>...\n"
    "\n"
    "       -s89    ....  generate TI89 archive\n"
    "       -s92    ....  generate TI92 archive\n"
    "       -store  ....  store the entries unpacked (an entry whose bytes 2\n"
    "                     and 3 are \"ZP\" is packed all the same)\n"
    "\n"
    "       bundles the infiles, in their order, into a ZKArchive written to\n"
    "       <name>.89y or <name>.9xy for zkunarchive; each entry is packed if\n"
    "       that makes it smaller, and its record keeps the infile's name\n"
    "       without folders and extension, cut to 8 characters\n";

static constexpr std::string_view kArchiveType = "zka";

struct Settings {
    const char* name = nullptr;
    std::vector<const char*> infiles;
    std::optional<zk::CalcKind> kind;  // -s89 or -s92
    bool store = false;
};

// One input as it goes into the archive.
struct Entry {
    zk::PreparedEntry laid_out;
    unsigned orig_size = 0;
    std::optional<zk::FileId> file;
};

static int fail_memory(std::size_t size)
{
    return zk::fail("ERROR: cannot allocate memory (%zu bytes)\n", size);
}

static int read_entry(const char* infile, bool store, Entry& e)
{
    zk::Buffer input;
    switch (zk::read_input(infile, zk::kPackMaxOrigSize, input, e.file)) {
    case zk::ReadAll::Ok:
        break;
    case zk::ReadAll::TooLong:
        return zk::fail("ERROR: inputfile %s is too long (more than %zu bytes)\n", infile, zk::kPackMaxOrigSize);
    default:
        return 1;
    }
    e.orig_size = static_cast<unsigned>(input.size());
    switch (zk::prepare_entry({input.data(), input.size()}, store, e.laid_out)) {
    case zk::Prepare::Ok:
        return 0;
    case zk::Prepare::Unpackable:
        return zk::fail("ERROR: inputfile %s begins like a packed stream (\"ZP\" at offset 2) and cannot be packed\n",
                        infile);
    case zk::Prepare::NoMemory:
        break;
    }
    return fail_memory(zk::pack_working_memory(input.size()));
}

static int run(const Settings& s)
{
    const std::size_t count = s.infiles.size();
    if (count > zk::kArchiveMaxEntries)
        return zk::fail("ERROR: inputfile %s is entry %zu: an archive holds at most %zu entries\n",
                        s.infiles[zk::kArchiveMaxEntries], zk::kArchiveMaxEntries, zk::kArchiveMaxEntries);
    std::string outfile;
    if (!zk::output_named_after(s.name, zk::calc_extension(*s.kind, 'y'), outfile)) return 1;

    // Each entry is refused as soon as the archive outgrows its variable,
    // so that no more inputs are read, packed and held than can fit.
    const std::size_t limit = zk::calc_max_other_content(kArchiveType.size());
    std::vector<Entry> entries(count);
    std::vector<zk::ArchiveItem> items(count);
    std::size_t size = zk::kArchiveHeadSize;
    std::size_t total_input = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (read_entry(s.infiles[i], s.store, entries[i]) != 0) return 1;
        items[i] = {entries[i].laid_out.bytes, entries[i].laid_out.packed, zk::archive_entry_name(s.infiles[i])};
        size += zk::archive_entry_cost(items[i]);
        if (size > limit)
            return zk::fail("ERROR: archive %s would be too large with inputfile %s (more than %zu bytes)\n",
                            outfile.c_str(), s.infiles[i], limit);
        total_input += entries[i].orig_size;
    }
    std::vector<std::uint8_t> archive;
    zk::Buffer file;
    // The writer refuses nothing that the checks above let through; what
    // is left to fail is memory.
    if (zk::build_archive(items, limit, archive).status != zk::ArchiveBuild::Ok ||
        zk::build_other_file(*s.kind, zk::kCalcDefaultFolder, zk::base_name(s.name), kArchiveType, archive, file) != zk::CalcBuild::Ok)
        return fail_memory(zk::calc_other_file_size(size, kArchiveType.size()));

    for (const Entry& e : entries)
        if (zk::output_is_input(e.file, outfile.c_str())) return 1;
    if (!zk::write_whole_file(outfile.c_str(), {file.data(), file.size()})) return 1;
    for (std::size_t i = 0; i < count; ++i)
        zk::note("Entry[%02zu]: archive_size=%05zu orig_size=%05u %s %s\n", i, entries[i].laid_out.bytes.size(),
                    entries[i].orig_size, entries[i].laid_out.packed ? "packed" : "stored", s.infiles[i]);
    zk::note("%zu bytes written to %s (%zu entries of %zu bytes)\n", file.size(), outfile.c_str(), count,
                total_input);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    Settings s;
    zk::ArgScan args(argc, argv);
    while (args.next()) {
        if (const std::optional<zk::CalcKind> kind = zk::calc_kind_of_flag(args.word()))
            s.kind = kind;
        else if (args.flag("-store"))
            s.store = true;
        else if (!s.name)
            args.positional({&s.name});
        else
            args.positional(s.infiles);
    }
    const zk::Scan scan = args.result(!s.infiles.empty() && s.kind);
    if (scan != zk::Scan::Ok) return zk::finish_scan(kId, kUsage, scan);
    return zk::finish(run(s));
}
