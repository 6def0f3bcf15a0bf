// zkunarchive: lists the entries of a ZKArchive held in a calculator
// variable file, or extracts one entry, unpacking it when it is packed.
#include "calcfile.h"
#include "frame.h"
#include "unpack.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>

static constexpr const zk::ToolId& kId = zk::tool("zkunarchive");

static constexpr const char kUsage[] =
    "Usage: zkunarchive <infile> [<entry_number> <outfile>]\n"
    "\n"
    "       extracts one entry of an ZKArchive into a file\n"
    "       (entry_number starts with 0). If no entry number\n"
    "       and outfile are given, zkunarchive lists only\n"
    "       the contents of the ZKArchive\n"
    "\n";

// The archive lies in the variable's memory image, which runs from the
// end of the header up to the two checksum bytes. Its numbers are big-endian:
//   0  datasize (the variable's own length word)
//   2  "zka\0"
//   6  nr_entries
//   8  nr_entries records of 16 bytes: entry_offset, archive_size, 12 unused
//   then the data area, which entry_offset counts from.
static constexpr long kImageOffset = zk::kCalcImageOffset;
static constexpr long kFramingSize = zk::kCalcHeaderSize;  // all but the image: header and checksum
static constexpr std::size_t kTableOffset = 8;
static constexpr std::size_t kRecordSize = 16;

struct Settings {
    const char* infile = nullptr;
    const char* entry_text = nullptr;
    const char* outfile = nullptr;
};

struct Archive {
    std::unique_ptr<std::uint8_t[]> image;
    std::size_t size = 0;        // of the image
    std::int16_t nr_entries = 0; // signed where it is counted and compared
    std::size_t data_area = 0;   // where the unsigned count puts the data area
};

struct Entry {
    std::size_t start;           // image offset of the entry's data
    unsigned archive_size;
    bool packed;
    unsigned orig_size;          // unpacked length
    bool inside;                 // every byte the entry claims lies in the image
};

static unsigned be16(const std::uint8_t* p) { return p[0] << 8 | p[1]; }

// The entry number is read as atoi would and kept to 16 bits, so that
// 65536 names entry 0 and 40000 is negative.
static std::int16_t entry_number(const char* text)
{
    long v = std::strtol(text, nullptr, 10);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long>(v)));
}

// Entry i of a loaded archive, i below a positive nr_entries.
static Entry entry_at(const Archive& a, int i)
{
    const std::uint8_t* record = a.image.get() + kTableOffset + kRecordSize * static_cast<unsigned>(i);
    const std::size_t size = a.size;
    Entry e;
    e.start = a.data_area + be16(record);
    e.archive_size = be16(record + 2);
    e.packed = e.start <= size && size - e.start >= 4 && zk::pack_has_magic(a.image.get() + e.start);
    if (e.packed) {
        // A packed stream is bounded by the image when it is decoded.
        e.orig_size = zk::pack_orig_size(a.image.get() + e.start);
        e.inside = true;
    } else {
        e.orig_size = e.archive_size;
        e.inside = e.start <= size && size - e.start >= e.archive_size;
    }
    return e;
}

// The bytes of a stored entry that lies inside the image.
static std::span<const std::uint8_t> stored_bytes(const Archive& a, const Entry& e)
{
    return {a.image.get() + e.start, e.archive_size};
}

// Decodes a packed entry into output, which holds e.orig_size bytes. The
// stream is what its csize claims, cut at the end of the image. Returns
// the decoder's code.
static int unpack_entry(const Archive& a, const Entry& e, std::uint8_t* output)
{
    const std::uint8_t* data = a.image.get() + e.start;
    const std::size_t left = a.size - e.start;
    const std::size_t stream_len = left < 6 ? left : std::min<std::size_t>(zk::pack_csize(data), left);
    return zk::unpack_stream(data, stream_len, output, e.orig_size);
}

enum class LoadResult { Ok, CannotOpen, CannotAllocate, CannotRead, NotArchive };

// Checks the magic of the image in a and that a positive count of records
// fits in it; sets the count and the start of the data area.
static LoadResult check_archive(Archive& a)
{
    const std::uint8_t* img = a.image.get();
    if (a.size < kTableOffset || std::memcmp(img + 2, "zka\0", 4) != 0) return LoadResult::NotArchive;
    const unsigned count = be16(img + 6);
    a.nr_entries = static_cast<std::int16_t>(count);
    a.data_area = kTableOffset + kRecordSize * count;
    // Only the records of a positive count are ever read.
    if (a.nr_entries > 0 && a.data_area > a.size) return LoadResult::NotArchive;
    return LoadResult::Ok;
}

static LoadResult load_archive(const char* name, Archive& a, long& image_size)
{
    zk::File in = zk::open_file(name, "rb");
    if (!in) return LoadResult::CannotOpen;
    image_size = 0;
    if (std::fseek(in.get(), 0, SEEK_END) != 0) return LoadResult::CannotRead;
    long length = std::ftell(in.get());
    if (length < 0) return LoadResult::CannotRead;
    // The prefix, the magic, the count and the checksum take 96 bytes.
    if (length < kFramingSize + static_cast<long>(kTableOffset)) return LoadResult::NotArchive;
    image_size = length - kFramingSize;
    if (std::fseek(in.get(), kImageOffset, SEEK_SET) != 0) return LoadResult::CannotRead;
    // A directory opens and seeks but yields a meaningless length: read a
    // byte before trusting it with an allocation.
    if (std::fgetc(in.get()) == EOF || std::fseek(in.get(), kImageOffset, SEEK_SET) != 0)
        return LoadResult::CannotRead;
    a.size = static_cast<std::size_t>(image_size);
    a.image.reset(new (std::nothrow) std::uint8_t[a.size]);
    if (!a.image) return LoadResult::CannotAllocate;
    if (std::fread(a.image.get(), 1, a.size, in.get()) != a.size) return LoadResult::CannotRead;
    return check_archive(a);
}

static int refuse_entry(int i, const char* infile)
{
    zk::eprint("ERROR: entry %d lies outside the archive %s\n", i, infile);
    return 1;
}

// Writes the listing to out up to the first entry that lies outside the
// image, and returns that entry's number, or -1 when every entry is listed.
static int write_listing(std::FILE* out, const char* infile, const Archive& a)
{
    std::fprintf(out, "Archive: %s\n", infile);
    std::fprintf(out, "Entries: %d\n", a.nr_entries);
    for (int i = 0; i < a.nr_entries; ++i) {
        Entry e = entry_at(a, i);
        if (!e.inside) return i;
        std::fprintf(out, "Entry[%02d]: archive_size=%05u orig_size=%05u\n", i, e.archive_size, e.orig_size);
    }
    return -1;
}

static int list(const Settings& s, const Archive& a)
{
    const int outside = write_listing(stdout, s.infile, a);
    return outside < 0 ? 0 : refuse_entry(outside, s.infile);
}

static int extract(const Settings& s, const Archive& a, int number)
{
    if (number >= a.nr_entries) {
        zk::eprint("ERROR: entry number (%d) too large (nr_entries=%d)\n", number, a.nr_entries);
        return 1;
    }
    Entry e = entry_at(a, number);
    if (!e.inside) return refuse_entry(number, s.infile);

    zk::File out = zk::open_file(s.outfile, "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open output file %s\n", s.outfile);
        return 1;
    }
    std::size_t written;
    if (e.packed) {
        std::printf("processing compressed entry %d ...\n", number);
        std::unique_ptr<std::uint8_t[]> output(new (std::nothrow) std::uint8_t[e.orig_size]());
        if (!output) {
            zk::eprint("ERROR: cannot allocate %d bytes for output buffer\n", static_cast<int>(e.orig_size));
            return 1;
        }
        int code = unpack_entry(a, e, output.get());
        written = code == zk::kUnpackOk ? std::fwrite(output.get(), 1, e.orig_size, out.get()) : 0;
        if (code != zk::kUnpackOk || written != e.orig_size) {
            zk::eprint("ERROR: cannot decompress (code %03d)\n", code);
            return 1;
        }
    } else {
        std::printf("processing uncompressed entry %d ...\n", number);
        std::span<const std::uint8_t> data = stored_bytes(a, e);
        written = std::fwrite(data.data(), 1, data.size(), out.get());
        if (written != e.archive_size) {
            zk::eprint("ERROR: cannot write uncompressed entry to file\n");
            return 1;
        }
    }
    if (!zk::close_checked(out)) return zk::fail_output(s.outfile);
    std::printf("%d bytes written to %s\n", static_cast<int>(written), s.outfile);
    return 0;
}

static int run(const Settings& s)
{
    std::int16_t number = 0;
    if (s.entry_text) {
        number = entry_number(s.entry_text);
        if (number < 0) {
            zk::eprint("ERROR: negative entry numbers are not valid (%s)\n", s.entry_text);
            return 1;
        }
    }
    Archive a;
    long image_size = 0;
    switch (load_archive(s.infile, a, image_size)) {
    case LoadResult::Ok:
        break;
    case LoadResult::CannotOpen:
        zk::eprint("ERROR: cannot open input file %s\n", s.infile);
        return 1;
    case LoadResult::CannotAllocate:
        zk::eprint("ERROR: cannot allocate buffer\n");
        return 1;
    case LoadResult::CannotRead:
        zk::eprint("ERROR: cannot read %ld bytes from %s\n", image_size, s.infile);
        return 1;
    case LoadResult::NotArchive:
        zk::eprint("ERROR: %s is not a valid archive\n", s.infile);
        return 1;
    }
    return s.entry_text ? extract(s, a, number) : list(s, a);
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
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
