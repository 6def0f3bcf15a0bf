// zkunarchive: lists the entries of a ZKArchive held in a calculator
// variable file, or extracts one entry, unpacking it when it is packed.
#include "archive.h"
#include "calcfile.h"
#include "frame.h"
#include "unpack.h"

#include <algorithm>
#include <cstdint>

static constexpr const zk::ToolId& kId = zk::tool("zkunarchive");

static constexpr const char kUsage[] =
    "Usage: zkunarchive <infile> [<entry_number> <outfile>]\n"
    "\n"
    "       extracts one entry of an ZKArchive into a file\n"
    "       (entry_number starts with 0). If no entry number\n"
    "       and outfile are given, zkunarchive lists only\n"
    "       the contents of the ZKArchive\n"
    "\n";

// The archive lies in the variable's memory image, which runs from the end
// of the file's header up to its two checksum bytes.
static constexpr std::int64_t kImageOffset = zk::kCalcImageOffset;
static constexpr std::int64_t kFramingSize = zk::kCalcHeaderSize;  // all but the image: header and checksum

struct Settings {
    const char* infile = nullptr;
    const char* entry_text = nullptr;
    const char* outfile = nullptr;
};

// The part of the image that the archive's numbers can reach, read from the file.
struct Loaded {
    zk::Buffer image;
    zk::Archive archive;
    std::optional<zk::FileId> file;
};

// The entry number is read as atoi would and kept to 16 bits, so that
// 65536 names entry 0 and 40000 is negative.
static std::int16_t entry_number(const char* text)
{
    const std::int64_t v = zk::parse_integer(text, INT64_MIN, INT64_MAX, zk::Overflow::Saturate).value_or(0);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

// Checks the magic in the first bytes of the image before anything is
// allocated, then reads no more of the image than the count lets the
// archive reach: a huge file costs neither memory nor a full read.
static int load(const char* name, Loaded& loaded)
{
    zk::File in = zk::open_input(name, "ERROR: cannot open input file %s\n");
    if (!in) return 1;
    loaded.file = zk::file_id(in.get());
    // A directory opens, and its end position is a meaningless length; its
    // head cannot be read, and nothing is allocated before that.
    const std::int64_t length = zk::seek(in.get(), 0, SEEK_END) ? zk::tell(in.get()) : -1;
    if (length < 0) return zk::fail("ERROR: cannot read 0 bytes from %s\n", name);
    if (length < kFramingSize + static_cast<std::int64_t>(zk::kArchiveTableOffset))
        return zk::fail("ERROR: %s is not a valid archive\n", name);
    const std::int64_t image_size = length - kFramingSize;

    std::uint8_t head[zk::kArchiveTableOffset];
    if (!zk::seek(in.get(), kImageOffset, SEEK_SET) || std::fread(head, 1, sizeof head, in.get()) != sizeof head)
        return zk::fail("ERROR: cannot read %lld bytes from %s\n", static_cast<long long>(image_size), name);
    const std::optional<std::uint16_t> count = zk::archive_count(head);
    if (!count) return zk::fail("ERROR: %s is not a valid archive\n", name);

    const std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(image_size, zk::archive_reach(*count)));
    if (!loaded.image.resize(size)) return zk::fail("ERROR: cannot allocate buffer\n");
    if (!zk::seek(in.get(), kImageOffset, SEEK_SET) || std::fread(loaded.image.data(), 1, size, in.get()) != size)
        return zk::fail("ERROR: cannot read %zu bytes from %s\n", size, name);
    const std::optional<zk::Archive> archive = zk::open_archive({loaded.image.data(), size});
    if (!archive) return zk::fail("ERROR: %s is not a valid archive\n", name);
    loaded.archive = *archive;
    return 0;
}

static int refuse_entry(int i, const char* infile)
{
    return zk::fail("ERROR: entry %d lies outside the archive %s\n", i, infile);
}

// Lists the entries up to the first that lies outside the image, which is refused.
static int list(const Settings& s, const zk::Archive& a)
{
    std::printf("Archive: %s\n", s.infile);
    std::printf("Entries: %d\n", a.nr_entries);
    for (int i = 0; i < a.nr_entries; ++i) {
        const zk::ArchiveEntry e = zk::archive_entry(a, i);
        if (!e.inside) return refuse_entry(i, s.infile);
        std::printf("Entry[%02d]: archive_size=%05u orig_size=%05u\n", i, e.archive_size, e.orig_size);
    }
    return 0;
}

static int extract(const Settings& s, const Loaded& loaded, int number)
{
    const zk::Archive& a = loaded.archive;
    if (number >= a.nr_entries)
        return zk::fail("ERROR: entry number (%d) too large (nr_entries=%d)\n", number, a.nr_entries);
    const zk::ArchiveEntry e = zk::archive_entry(a, number);
    if (!e.inside) return refuse_entry(number, s.infile);
    if (zk::output_is_input(loaded.file, s.outfile)) return 1;

    zk::OutputFile out;
    if (!zk::open_output(out, s.outfile, "wb", "ERROR: cannot open output file %s\n")) return 1;
    std::size_t written;
    if (e.packed) {
        zk::note("processing compressed entry %d ...\n", number);
        zk::Buffer output;
        if (!output.resize(e.orig_size))
            return zk::fail("ERROR: cannot allocate %d bytes for output buffer\n", static_cast<int>(e.orig_size));
        const int code = zk::unpack_entry(a, e, output.data());
        written = code == zk::kUnpackOk ? std::fwrite(output.data(), 1, e.orig_size, out.get()) : 0;
        if (code != zk::kUnpackOk || written != e.orig_size)
            return zk::fail("ERROR: cannot decompress (code %03d)\n", code);
    } else {
        zk::note("processing uncompressed entry %d ...\n", number);
        const std::span<const std::uint8_t> data = zk::stored_bytes(a, e);
        written = std::fwrite(data.data(), 1, data.size(), out.get());
        if (written != data.size()) return zk::fail("ERROR: cannot write uncompressed entry to file\n");
    }
    if (!out.commit()) return zk::fail_output(s.outfile);
    zk::note("%d bytes written to %s\n", static_cast<int>(written), s.outfile);
    return 0;
}

static int run(const Settings& s)
{
    std::int16_t number = 0;
    if (s.entry_text) {
        number = entry_number(s.entry_text);
        if (number < 0) return zk::fail("ERROR: negative entry numbers are not valid (%s)\n", s.entry_text);
    }
    Loaded loaded;
    if (load(s.infile, loaded) != 0) return 1;
    return s.entry_text ? extract(s, loaded, number) : list(s, loaded.archive);
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    Settings s;
    if (argc == 2) {
        s.infile = argv[1];
    } else if (argc == 4) {
        s.infile = argv[1];
        s.entry_text = argv[2];
        s.outfile = argv[3];
    } else {
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(s));
}
