// zkhex2bin: turns a text of "0x" (or "0b") numbers of one length into the
// bytes of a binary file, most significant byte first.
#include "frame.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkhex2bin");

static constexpr const char kUsage[] =
    "Usage: zkhex2bin [flags] <infile> <outfile>\n"
    "\n"
    "       -quiet      ....  don't output standard messages\n"
    "       -binary     ....  infile contains binary numbers\n"
    "       infile      ....  name of input file (use '-' for stdin)\n"
    "       outfile     ....  name of output file\n"
    "\n"
    "       Converts text file with hex data to binary file. The numbers\n"
    "       in the inputfile must be prefixed with \"0x\" and must have\n"
    "       ALL the same length (2,4 or 8 hexdigits). Valid separators are\n"
    "       spaces, commas, linebreaks and TABs.\n"
    "       Empty lines are valid. Lines starting with \"//\" or \"#\" are\n"
    "       ignored (comment lines). Example of an inputline:\n"
    "           0x1234,0x5678,0x9ABC,0xdfab\n"
    "       Binary mode: binary numbers have to be prefixed with \"0b\".\n"
    "       Only binary numbers with 8, 16 or 32 digits are valid.\n"
    "       You cannot mix binary and hexnumbers in one inputfile. Example:\n"
    "           0b11110000 0b10101010 0b11111111\n"
    "\n";

struct Settings {
    bool binary = false;
    bool quiet = false;
    const char* infile = nullptr;
    const char* outfile = nullptr;
};

enum class LineError { None, MissingPrefix, OddDigits, BinaryLength, Mismatch, BadLength };

// What a failed line reports: the error, the digit count of the number at
// fault, and where in the line the token without prefix begins.
struct LineResult {
    LineError error = LineError::None;
    std::size_t digits = 0;
    std::size_t token_at = 0;
};

// The digit value of every character: 0..15 for hexadecimal digits, -1 for
// any other; and which characters separate numbers.
struct CharTables {
    std::int8_t hex[256];
    bool separator[256];
};

static constexpr CharTables make_char_tables()
{
    CharTables t{};
    for (int c = 0; c < 256; ++c) {
        t.hex[c] = static_cast<std::int8_t>(zk::hex_digit_value(static_cast<unsigned char>(c)));
        t.separator[c] = c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n';
    }
    return t;
}

static constexpr CharTables kChars = make_char_tables();

template <bool Binary>
static bool is_digit(unsigned char c)
{
    if constexpr (Binary)
        return c == '0' || c == '1';
    else
        return kChars.hex[c] >= 0;
}

// The byte spelt by the digits of one byte of a number.
template <bool Binary>
static std::uint8_t byte_of(const unsigned char* d)
{
    if constexpr (Binary) {
        unsigned value = 0;
        for (int bit = 0; bit < 8; ++bit) value = value << 1 | (d[bit] - '0');
        return static_cast<std::uint8_t>(value);
    } else {
        return static_cast<std::uint8_t>(kChars.hex[d[0]] << 4 | kChars.hex[d[1]]);
    }
}

// The numbers of a line from its first non-separator on.
template <bool Binary>
static LineResult convert_numbers(const unsigned char* line, const unsigned char* end, const unsigned char* at,
                                  int& item_bytes, std::uint8_t*& put)
{
    constexpr unsigned char prefix = Binary ? 'b' : 'x';
    constexpr std::size_t digits_per_byte = Binary ? 8 : 2;
    for (;;) {
        while (at != end && kChars.separator[*at]) ++at;
        if (at == end) return {};
        if (end - at < 2 || at[0] != '0' || at[1] != prefix)
            return {.error = LineError::MissingPrefix, .token_at = static_cast<std::size_t>(at - line)};
        at += 2;
        const unsigned char* first = at;
        while (at != end && is_digit<Binary>(*at)) ++at;
        const std::size_t digits = static_cast<std::size_t>(at - first);
        const std::size_t bytes = digits / digits_per_byte;
        if (bytes == static_cast<std::size_t>(item_bytes) && digits % digits_per_byte == 0 && digits != 0) {
            for (std::size_t b = 0; b < bytes; ++b, first += digits_per_byte) *put++ = byte_of<Binary>(first);
            continue;
        }
        // Not a number of the input's length: the checks in their order.
        if (digits % digits_per_byte != 0)
            return {.error = Binary ? LineError::BinaryLength : LineError::OddDigits, .digits = digits};
        if (digits == 0) return {};  // a bare prefix ends the work on its line
        if (item_bytes != 0) return {.error = LineError::Mismatch, .digits = digits};
        if (bytes != 1 && bytes != 2 && bytes != 4) return {.error = LineError::BadLength, .digits = digits};
        item_bytes = static_cast<int>(bytes);
        for (std::size_t b = 0; b < bytes; ++b, first += digits_per_byte) *put++ = byte_of<Binary>(first);
    }
}

// Every number takes at least one character more than twice its bytes, so
// a line never gives more than this many bytes.
static std::size_t max_bytes_of(std::size_t line_length) { return line_length / 2; }

// Converts the numbers of one line (its line end may be included) and puts
// their bytes at put, which has room for max_bytes_of(line.size()) bytes.
// item_bytes is the byte length that the first number of the input fixed,
// 0 before it; the first number sets it.
LineResult convert_line(bool binary, int& item_bytes, std::string_view line, std::uint8_t*& put)
{
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    const auto* end = p + line.size();
    const unsigned char* at = p;
    while (at != end && kChars.separator[*at]) ++at;
    if (at == end || at[0] == '#' || (at[0] == '/' && end - at > 1 && at[1] == '/')) return {};
    return binary ? convert_numbers<true>(p, end, at, item_bytes, put)
                  : convert_numbers<false>(p, end, at, item_bytes, put);
}

static constexpr std::size_t kBlock = 256 * 1024;

// Hands out the lines of a stream, line end included, each whole whatever
// its length; lines that fit a block are not copied.
struct LineReader {
    explicit LineReader(std::FILE* stream, std::size_t block_size = kBlock) : in(stream), block(block_size) {}

    std::FILE* in;
    std::vector<char> block;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool at_end = false;
    std::string long_line;  // a line that crosses the end of a block

    bool next(std::string_view& line)
    {
        long_line.clear();
        for (;;) {
            const char* start = block.data() + pos;
            const char* nl = static_cast<const char*>(std::memchr(start, '\n', end - pos));
            if (nl) {
                std::size_t len = static_cast<std::size_t>(nl + 1 - start);
                pos += len;
                if (long_line.empty()) {
                    line = std::string_view(start, len);
                } else {
                    long_line.append(start, len);
                    line = long_line;
                }
                return true;
            }
            long_line.append(start, end - pos);
            pos = 0;
            end = at_end ? 0 : std::fread(block.data(), 1, block.size(), in);
            if (end == 0) {
                // A read error ends the input as its end does; the caller asks the stream which.
                at_end = true;
                line = long_line;
                return !long_line.empty();
            }
        }
    }
};

// The text of a line from index at on, without its line end.
static std::string_view rest_of_line(std::string_view line, std::size_t at)
{
    std::string_view rest = line.substr(at);
    if (!rest.empty() && rest.back() == '\n') rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
    return rest;
}

// The message of a failed line; token is the text from the failed token to
// the end of its line.
static void report(const LineResult& r, bool binary, std::string_view token)
{
    switch (r.error) {
    case LineError::None:
        break;
    case LineError::MissingPrefix:
        if (binary) {
            zk::eprint("ERROR: missing prefix \"0b\" of binary number\n");
        } else {
            zk::eprint("ERROR: missing prefix \"0x\" of hexnumber at: ");
            std::fwrite(token.data(), 1, token.size(), stderr);
            std::fputc('\n', stderr);
        }
        break;
    case LineError::OddDigits:
        zk::eprint("ERROR: odd numbers (%zu) of digits not allowed in hexnumber\n", r.digits);
        break;
    case LineError::BinaryLength:
        zk::eprint("ERROR: length of binary number (%zu) not a multiple of 8\n", r.digits);
        break;
    case LineError::Mismatch:
        zk::eprint("ERROR: missmatch in length of hexnumbers\n");
        break;
    case LineError::BadLength:
        zk::eprint("%s", binary ? "ERROR: only binarynumbers with 8, 16, or 32 digits are valid\n"
                                : "ERROR: only hexnumbers with 2, 4, or 8 digits are valid\n");
        break;
    }
}

enum class Convert { Ok, Failed, ReadError, WriteError };

// What a whole conversion gives: the outcome, the bytes written, and for a
// failed line its result and the text from the failed token on.
struct Conversion {
    Convert outcome = Convert::Ok;
    std::int64_t written = 0;
    LineResult failed_line;
    std::string failed_token;
};

// Converts the whole input line by line into out, reading and writing in
// blocks of block_size bytes (a line longer than that is held whole).
static Conversion convert(std::FILE* in, std::FILE* out, bool binary, std::size_t block_size = kBlock)
{
    Conversion c;
    LineReader lines(in, block_size);
    std::vector<std::uint8_t> bytes(block_size);
    std::uint8_t* put = bytes.data();
    auto flush = [&] {
        std::size_t n = static_cast<std::size_t>(put - bytes.data());
        c.written += static_cast<std::int64_t>(n);
        put = bytes.data();
        return std::fwrite(bytes.data(), 1, n, out) == n;
    };
    int item_bytes = 0;
    std::string_view line;
    while (lines.next(line)) {
        const std::size_t room = max_bytes_of(line.size());
        if (static_cast<std::size_t>(bytes.data() + bytes.size() - put) < room) {
            if (!flush()) {
                c.outcome = Convert::WriteError;
                return c;
            }
            if (bytes.size() < room) {
                bytes.resize(room);  // a line too long for the block: grows with the line
                put = bytes.data();
            }
        }
        c.failed_line = convert_line(binary, item_bytes, line, put);
        if (c.failed_line.error != LineError::None) {
            c.outcome = Convert::Failed;
            c.failed_token = rest_of_line(line, c.failed_line.token_at);
            return c;
        }
    }
    if (std::ferror(in))
        c.outcome = Convert::ReadError;
    else if (!flush())
        c.outcome = Convert::WriteError;
    return c;
}

static int run(const Settings& s)
{
    const bool from_stdin = std::strcmp(s.infile, "-") == 0;
    zk::File file;
    if (from_stdin) {
        if (!s.quiet) std::fputs("using stdin as input\n", stdout);
    } else {
        file = zk::open_file(s.infile, "r");
        if (!file) {
            zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
            return 1;
        }
    }
    std::FILE* in = from_stdin ? stdin : file.get();
    if (!s.quiet) zk::print_banner(kId);

    if (zk::output_is_input(in, s.outfile)) return 1;
    zk::File out = zk::open_file(s.outfile, "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outputfile %s\n", s.outfile);
        return 1;
    }
    Conversion c = convert(in, out.get(), s.binary);
    file.reset();
    if (!zk::close_checked(out) && c.outcome == Convert::Ok) c.outcome = Convert::WriteError;
    if (c.outcome != Convert::Ok) std::remove(s.outfile);  // a text that did not convert whole gives no file
    switch (c.outcome) {
    case Convert::Ok:
        break;
    case Convert::Failed:
        report(c.failed_line, s.binary, c.failed_token);
        return 1;
    case Convert::ReadError:
        zk::eprint("ERROR: cannot read inputfile %s\n", s.infile);
        return 1;
    case Convert::WriteError:
        return zk::fail_output(s.outfile);
    }
    if (!s.quiet) std::printf("%ld bytes written to %s\n", static_cast<long>(c.written), s.outfile);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    bool usage = argc < 3;
    for (int i = 1; i < argc && !usage; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-quiet") == 0)
            s.quiet = true;
        else if (std::strcmp(arg, "-binary") == 0)
            s.binary = true;
        else if (!s.infile)
            s.infile = arg;
        else if (!s.outfile)
            s.outfile = arg;
        else
            usage = true;
    }
    if (usage || !s.infile || !s.outfile) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
