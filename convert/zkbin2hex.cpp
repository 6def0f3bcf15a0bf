// zkbin2hex: turns a binary file, or a byte range of it, into C initializer
// text: comma-separated hexadecimal items of 1, 2 or 4 bytes, optionally
// inside an array declaration and with a backslash before every line end.
#include "frame.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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
    bool quiet = false;
    const char* infile = nullptr;
    const char* outfile = nullptr;
};

// Reads a number the way a "%d" scan does: leading white space, an optional
// sign, at least one digit, and nothing after the digits is looked at. The
// value is 64 bits wide, so that skips may pass 2 GiB; beyond that range it
// saturates.
bool read_number(const char* text, std::int64_t& value)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (*text < '0' || *text > '9') return false;
    std::uint64_t v = 0;
    constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(INT64_MAX) + 1;
    for (; *text >= '0' && *text <= '9'; ++text)
        v = v > kLimit / 10 ? kLimit : std::min(v * 10 + static_cast<std::uint64_t>(*text - '0'), kLimit);
    if (negative)
        value = v == kLimit ? INT64_MIN : -static_cast<std::int64_t>(v);
    else
        value = static_cast<std::int64_t>(std::min(v, kLimit - 1));
    return true;
}

// How the items are laid out on lines.
struct Layout {
    int item_size = 1;
    int per_line = 10;
    std::uint64_t break_every = 0;  // the break period's absolute value; 0: none
    bool slash = false;
};

// Where the item text stands between two blocks of input.
struct ItemLines {
    std::int64_t items_left = 0;   // full items not yet written
    bool partial_follows = false;  // a zero-filled last item comes after them
    int on_line = 0;               // items on the current line
    std::uint64_t to_break = 0;    // items until the next extra line break
};

// The longest text one item can take: "0x", eight digits, a comma and two
// line ends with their backslashes.
constexpr std::size_t kMaxItemText = 2 + 8 + 1 + 2 * 2;

struct HexPairs {
    char pair[256][2];
};

static constexpr HexPairs make_hex_pairs()
{
    constexpr char digits[] = "0123456789abcdef";
    HexPairs t{};
    for (int b = 0; b < 256; ++b) {
        t.pair[b][0] = digits[b >> 4];
        t.pair[b][1] = digits[b & 15];
    }
    return t;
}

static constexpr HexPairs kHexPairs = make_hex_pairs();

static char* put_line_end(bool slash, char* out)
{
    if (slash) *out++ = '\\';
    *out++ = '\n';
    return out;
}

// "0x" and two lower-case digits per byte, the bytes in input order.
template <int Size>
static char* put_item(const std::uint8_t* bytes, char* out)
{
    out[0] = '0';
    out[1] = 'x';
    out += 2;
    for (int i = 0; i < Size; ++i, out += 2) std::memcpy(out, kHexPairs.pair[bytes[i]], 2);
    return out;
}

template <int Size>
static char* put_items_of_size(const Layout& layout, ItemLines& lines, const std::uint8_t* bytes,
                               std::size_t count, char* out)
{
    for (std::size_t i = 0; i < count; ++i, bytes += Size) {
        out = put_item<Size>(bytes, out);
        if (--lines.items_left > 0 || lines.partial_follows) *out++ = ',';
        if (++lines.on_line == layout.per_line) {
            out = put_line_end(layout.slash, out);
            lines.on_line = 0;
        }
        if (layout.break_every != 0 && --lines.to_break == 0) {
            out = put_line_end(layout.slash, out);
            lines.on_line = 0;
            lines.to_break = layout.break_every;
        }
    }
    return out;
}

// Writes the text of count full items, taken from bytes, to out, which has
// room for count * kMaxItemText characters; returns the end of the text.
char* put_items(const Layout& layout, ItemLines& lines, const std::uint8_t* bytes, std::size_t count,
                char* out)
{
    switch (layout.item_size) {
    case 2: return put_items_of_size<2>(layout, lines, bytes, count, out);
    case 4: return put_items_of_size<4>(layout, lines, bytes, count, out);
    default: return put_items_of_size<1>(layout, lines, bytes, count, out);
    }
}

// The item made of the rest bytes left after the full items, filled with
// zero bytes on the right, and its line end; it never takes a comma.
char* put_last_item(const Layout& layout, const std::uint8_t* rest, int rest_size, char* out)
{
    std::uint8_t item[4] = {};
    std::memcpy(item, rest, static_cast<std::size_t>(rest_size));
    out = layout.item_size == 2 ? put_item<2>(item, out) : put_item<4>(item, out);
    return put_line_end(layout.slash, out);
}

static const char* head_type(int item_size)
{
    switch (item_size) {
    case 2: return "unsigned short";
    case 4: return "unsigned long";
    default: return "unsigned char";
    }
}

enum class Convert { Ok, ReadError, WriteError };

// A multiple of 4, so that no full item straddles two blocks.
static constexpr std::size_t kBlock = 128 * 1024;

// Streams the data_length bytes at the input's position through the item
// text; only one block of input (block_size bytes, a multiple of 4) and its
// text are held at any time.
static Convert write_items(std::FILE* in, std::FILE* out, const Layout& layout, std::int64_t data_length,
                           std::size_t block_size = kBlock)
{
    std::vector<std::uint8_t> block(block_size);
    std::vector<char> text(block_size * kMaxItemText);

    const std::int64_t full_items = data_length / layout.item_size;
    const int rest = static_cast<int>(data_length % layout.item_size);
    ItemLines lines{.items_left = full_items, .partial_follows = rest != 0, .to_break = layout.break_every};

    std::int64_t left = full_items * layout.item_size;
    while (left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, block_size));
        if (std::fread(block.data(), 1, n, in) != n) return Convert::ReadError;
        char* end = put_items(layout, lines, block.data(), n / layout.item_size, text.data());
        std::fwrite(text.data(), 1, static_cast<std::size_t>(end - text.data()), out);
        if (std::ferror(out)) return Convert::WriteError;
        left -= static_cast<std::int64_t>(n);
    }
    if (rest != 0) {
        std::uint8_t tail[4];
        if (std::fread(tail, 1, static_cast<std::size_t>(rest), in) != static_cast<std::size_t>(rest))
            return Convert::ReadError;
        char* end = put_last_item(layout, tail, rest, text.data());
        std::fwrite(text.data(), 1, static_cast<std::size_t>(end - text.data()), out);
    }
    return std::ferror(out) ? Convert::WriteError : Convert::Ok;
}

// Full items, and one more for a rest that does not fill an item.
static std::int64_t items_of(std::int64_t data_length, int item_size)
{
    return data_length / item_size + (data_length % item_size != 0);
}

// The whole text for the data_length bytes at the input's position: the
// head and the closing with an array name, the item lines between them.
static Convert write_text(std::FILE* in, std::FILE* out, const Settings& s, std::int64_t data_length,
                          std::size_t block_size = kBlock)
{
    if (s.array_name)
        std::fprintf(out, "%s %s[%ld] = {%c\n", head_type(s.item_size), s.array_name,
                     static_cast<long>(items_of(data_length, s.item_size)), s.slash ? '\\' : ' ');
    const std::uint64_t period = static_cast<std::uint64_t>(s.break_period);
    const Layout layout{.item_size = s.item_size,
                        .per_line = static_cast<int>(s.per_line),
                        .break_every = s.break_period < 0 ? 0 - period : period,
                        .slash = s.slash};
    Convert result = write_items(in, out, layout, data_length, block_size);
    if (result == Convert::ReadError) return result;
    if (s.array_name) std::fputs("};\n", out);
    return std::ferror(out) ? Convert::WriteError : result;
}

static int fail_read(const char* name)
{
    zk::eprint("ERROR: cannot read inputfile %s\n", name);
    return 1;
}

static int run(const Settings& s)
{
    zk::File in = zk::open_file(s.infile, "rb");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
        return 1;
    }
    const bool to_stdout = std::strcmp(s.outfile, "-") == 0;
    zk::File file;
    if (!to_stdout) {
        if (!s.quiet) zk::print_banner(kId);
        if (zk::output_is_input(in.get(), s.outfile)) return 1;
        file = zk::open_file(s.outfile, "w");
        if (!file) {
            zk::eprint("ERROR: cannot open outputfile %s\n", s.outfile);
            return 1;
        }
    }
    std::FILE* out = to_stdout ? stdout : file.get();

    // A directory or a pipe opens for reading but has no size to seek to.
    if (fseeko(in.get(), 0, SEEK_END) != 0) return fail_read(s.infile);
    const std::int64_t input_size = ftello(in.get());
    if (input_size < 0) return fail_read(s.infile);
    if (s.start_skip > input_size || s.end_skip > input_size - s.start_skip) {
        zk::eprint("ERROR: no bytes left to process\n");
        return 1;
    }
    const std::int64_t data_length = input_size - s.start_skip - s.end_skip;
    if (fseeko(in.get(), s.start_skip, SEEK_SET) != 0) return fail_read(s.infile);
    const std::int64_t item_count = items_of(data_length, s.item_size);
    Convert result = write_text(in.get(), out, s, data_length);
    if (result == Convert::ReadError) return fail_read(s.infile);

    if (to_stdout) return 0;  // a failed standard output is reported on the way out
    if (result == Convert::WriteError || !zk::close_checked(file)) return zk::fail_output(s.outfile);
    if (!s.quiet)
        std::printf("%ld items with %d byte(s) written to %s\n", static_cast<long>(item_count),
                    s.item_size, s.outfile);
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
        if (std::strcmp(arg, "-quiet") == 0) {
            s.quiet = true;
        } else if (std::strcmp(arg, "-slash") == 0) {
            s.slash = true;
        } else if (std::strcmp(arg, "-b1") == 0) {
            s.item_size = 1;
        } else if (std::strcmp(arg, "-b2") == 0) {
            s.item_size = 2;
        } else if (std::strcmp(arg, "-b4") == 0) {
            s.item_size = 4;
        } else if (std::strcmp(arg, "-a") == 0) {
            if (++i == argc) return Scan::Usage;
            s.array_name = argv[i];
        } else if (std::strcmp(arg, "-c") == 0) {
            number = &s.per_line;
        } else if (std::strcmp(arg, "-ss") == 0) {
            number = &s.start_skip;
        } else if (std::strcmp(arg, "-se") == 0) {
            number = &s.end_skip;
        } else if (std::strcmp(arg, "-lb") == 0) {
            number = &s.break_period;
        } else if (!s.infile) {
            s.infile = arg;
        } else if (!s.outfile) {
            s.outfile = arg;
        } else {
            return Scan::Usage;
        }
        if (!number) continue;
        if (++i == argc || !read_number(argv[i], *number)) return Scan::Usage;
        if (number == &s.per_line && (s.per_line < 1 || s.per_line > 200)) {
            zk::eprint("ERROR: invalid size for items per line (must be >=1 and <=200)\n");
            return Scan::Refused;
        }
        if (number == &s.start_skip && s.start_skip < 0) {
            zk::eprint("ERROR: invalid count for option -ss\n");
            return Scan::Refused;
        }
        if (number == &s.end_skip && s.end_skip < 0) {
            zk::eprint("ERROR: invalid count for option -se\n");
            return Scan::Refused;
        }
    }
    return s.infile && s.outfile ? Scan::Ok : Scan::Usage;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    Scan scan = argc < 3 ? Scan::Usage : scan_arguments(argc, argv, s);
    if (scan == Scan::Usage) zk::print_usage(kId, kUsage);
    if (scan != Scan::Ok) return zk::finish(1);
    return zk::finish(run(s));
}
