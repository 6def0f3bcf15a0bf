// zkbin2hex: turns a binary file, or a byte range of it, into C initializer
// text (item_text.h): hexadecimal items of 1, 2 or 4 bytes, optionally
// inside an array declaration and with a backslash before every line end.
#include "frame.h"
#include "item_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

static constexpr const zk::ToolId& kId = zk::tool("zkbin2hex");

static constexpr const char kUsage[] =
    "Usage: zkbin2hex [flags] <infile> <outfile>\n"
    "\n"
    "       -quiet      ....  don't output standard messages\n"
    "       -slash      ....  append backslash at end of line\n"
    "       -c <count>  ....  number of items per line\n"
    "       -b1         ....  generate unsigned char array\n"
    "       -b2         ....  generate unsigned int  array\n"
    "       -b4         ....  generate unsigned long array\n"
    "       -a <name>   ....  generate an array with given name\n"
    "       -ss <nr>    ....  skip number of bytes at begin of inputfile\n"
    "       -se <nr>    ....  skip number of bytes at end of inputfile\n"
    "       -lb <nr>    ....  insert an additionally linebreak every nr items\n"
    "       infile      ....  name of infile\n"
    "       outfile     ....  name of outfile (use \"-\" for stdout)\n"
    "\n"
    "       converts binary file to C array data\n"
    "\n";

struct Settings {
    int item_size = 1;
    std::int64_t per_line = 10;
    std::int64_t start_skip = 0;
    std::int64_t end_skip = 0;
    std::int64_t break_period = 0;  // 0: no extra line breaks
    const char* array_name = nullptr;
    bool slash = false;
    bool quiet = zk::quiet_environment();  // "-quiet", or ZKTOOLS_QUIET
    const char* infile = nullptr;
    const char* outfile = nullptr;
};

// Streams the length bytes at the input's position through the text, so
// that one block of input and its text are all that is held; false on a
// read error. A write error stops the work; the close reports it.
static bool write_text(std::FILE* in, std::FILE* out, const Settings& s, std::int64_t length)
{
    static constexpr std::size_t kBlock = 128 * 1024;
    const std::int64_t items = zk::item_count(length, s.item_size);
    if (s.array_name) std::fputs(zk::array_head(s.item_size, s.array_name, items, s.slash).c_str(), out);
    zk::ItemWriter writer({.item_size = s.item_size,
                           .per_line = static_cast<int>(s.per_line),
                           .break_period = s.break_period,
                           .slash = s.slash},
                          length);
    auto block = std::make_unique<std::uint8_t[]>(kBlock);
    auto text = std::make_unique<char[]>(zk::ItemWriter::text_room(kBlock));
    for (std::int64_t left = length; left > 0 && !std::ferror(out);) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock));
        if (std::fread(block.get(), 1, n, in) != n) return false;
        std::fwrite(text.get(), 1, static_cast<std::size_t>(writer.put(block.get(), n, text.get()) - text.get()), out);
        left -= static_cast<std::int64_t>(n);
    }
    std::fwrite(text.get(), 1, static_cast<std::size_t>(writer.finish(text.get()) - text.get()), out);
    if (s.array_name) std::fputs(zk::kArrayClosing, out);
    return true;
}

static int fail_read(const char* name)
{
    return zk::fail("ERROR: cannot read inputfile %s\n", name);
}

static int run(const Settings& s)
{
    zk::File in = zk::open_input(s.infile);
    if (!in) return 1;
    const bool to_stdout = std::strcmp(s.outfile, "-") == 0;
    if (!to_stdout && !s.quiet) zk::print_banner(kId);

    // The range is checked before the output is created, so that a refused
    // run leaves no file that a build could take for a result. Only a
    // regular file has the size the range is taken from: a directory, a
    // pipe or a device opens for reading, but has none.
    const std::optional<std::int64_t> input_size =
        zk::file_kind(in.get()) == zk::FileKind::Regular ? zk::file_size(in.get()) : std::nullopt;
    if (!input_size) return fail_read(s.infile);
    const std::optional<std::int64_t> length = zk::data_length(*input_size, s.start_skip, s.end_skip);
    if (!length) return zk::fail("ERROR: no bytes left to process\n");

    zk::OutputFile file;
    if (!to_stdout) {
        if (zk::output_is_input(in.get(), s.outfile)) return 1;
        if (!zk::open_output(file, s.outfile, "w")) return 1;
    }
    std::FILE* out = to_stdout ? stdout : file.get();
    if (!zk::seek(in.get(), s.start_skip, SEEK_SET)) return fail_read(s.infile);
    if (!write_text(in.get(), out, s, *length)) return fail_read(s.infile);

    if (to_stdout) return 0;  // a failed standard output is reported on the way out
    if (!file.commit()) return zk::fail_output(s.outfile);
    if (!s.quiet)
        std::printf("%lld items with %d byte(s) written to %s\n",
                    static_cast<long long>(zk::item_count(*length, s.item_size)), s.item_size, s.outfile);
    return 0;
}

enum class Scan { Ok, Usage, Refused };

// Reads the flags and the two names from left to right; a bad value stops
// the scan with its message before any later argument is looked at.
static Scan scan_arguments(int argc, char** argv, Settings& s)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        std::int64_t* number = nullptr;
        if (std::strcmp(arg, "-quiet") == 0) s.quiet = true;
        else if (std::strcmp(arg, "-slash") == 0) s.slash = true;
        else if (std::strcmp(arg, "-b1") == 0) s.item_size = 1;
        else if (std::strcmp(arg, "-b2") == 0) s.item_size = 2;
        else if (std::strcmp(arg, "-b4") == 0) s.item_size = 4;
        else if (std::strcmp(arg, "-c") == 0) number = &s.per_line;
        else if (std::strcmp(arg, "-ss") == 0) number = &s.start_skip;
        else if (std::strcmp(arg, "-se") == 0) number = &s.end_skip;
        else if (std::strcmp(arg, "-lb") == 0) number = &s.break_period;
        else if (std::strcmp(arg, "-a") == 0) {
            if (++i == argc) return Scan::Usage;
            s.array_name = argv[i];
        } else if (!s.infile) s.infile = arg;
        else if (!s.outfile) s.outfile = arg;
        else return Scan::Usage;
        if (!number) continue;
        // 64 bits wide, so that skips may pass 2 GiB; beyond, the nearest bound.
        const std::optional<std::int64_t> value =
            ++i == argc ? std::nullopt : zk::parse_integer(argv[i], INT64_MIN, INT64_MAX, zk::Overflow::Saturate);
        if (!value) return Scan::Usage;
        *number = *value;
        const char* refusal =
            number == &s.per_line && (s.per_line < 1 || s.per_line > zk::kMaxItemsPerLine)
                ? "ERROR: invalid size for items per line (must be >=1 and <=200)\n"
            : number == &s.start_skip && s.start_skip < 0 ? "ERROR: invalid count for option -ss\n"
            : number == &s.end_skip && s.end_skip < 0     ? "ERROR: invalid count for option -se\n"
                                                          : nullptr;
        if (refusal) {
            zk::eprint("%s", refusal);
            return Scan::Refused;
        }
    }
    return s.infile && s.outfile ? Scan::Ok : Scan::Usage;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    const Scan scan = argc < 3 ? Scan::Usage : scan_arguments(argc, argv, s);
    if (scan == Scan::Usage) zk::print_usage(kId, kUsage);
    if (scan != Scan::Ok) return zk::finish(1);
    return zk::finish(run(s));
}
