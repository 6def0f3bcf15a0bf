// zkhex2bin: turns a text of "0x" (or "0b") numbers of one length into the
// bytes of a binary file, most significant byte first (number_text.h).
#include "frame.h"
#include "number_text.h"

#include <cstdint>
#include <cstring>
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
    bool quiet = zk::quiet_environment();  // "-quiet", or ZKTOOLS_QUIET
    const char* infile = nullptr;
    const char* outfile = nullptr;
};

enum class Outcome { Ok, Failed, ReadError, WriteError };

// Converts the whole input into out, a piece of a line at a time, so that
// memory stays the same whatever the length of a line; written counts
// the bytes.
static Outcome convert(std::FILE* in, std::FILE* out, zk::NumberConverter& numbers, std::int64_t& written)
{
    static constexpr std::size_t kFlushAt = 64 * 1024;
    std::vector<std::uint8_t> bytes(kFlushAt + zk::NumberConverter::byte_room(zk::LineReader::kBlock));
    std::uint8_t* put = bytes.data();
    auto flush = [&] {
        const std::size_t n = static_cast<std::size_t>(put - bytes.data());
        written += static_cast<std::int64_t>(n);
        put = bytes.data();
        return std::fwrite(bytes.data(), 1, n, out) == n;
    };
    zk::LineReader lines(in);
    std::string_view piece;
    while (!numbers.done() && lines.next(piece)) {
        put = numbers.convert(piece, put);
        if (static_cast<std::size_t>(put - bytes.data()) >= kFlushAt && !flush()) return Outcome::WriteError;
    }
    if (lines.read_failed() && !numbers.failed()) return Outcome::ReadError;
    put = numbers.finish(put);
    if (numbers.failed()) return Outcome::Failed;
    return flush() ? Outcome::Ok : Outcome::WriteError;
}

static void report(const zk::NumberConverter& numbers, bool binary)
{
    const unsigned long long digits = numbers.digits();
    switch (numbers.error()) {
    case zk::NumberError::None:
        break;
    case zk::NumberError::MissingPrefix:
        if (binary) {
            zk::eprint("ERROR: missing prefix \"0b\" of binary number\n");
        } else {
            // The quote is bytes of the input, zero bytes included.
            zk::eprint("ERROR: missing prefix \"0x\" of hexnumber at: ");
            std::fwrite(numbers.quote().data(), 1, numbers.quote().size(), stderr);
            std::fputc('\n', stderr);
        }
        break;
    case zk::NumberError::OddDigits:
        zk::eprint("ERROR: odd numbers (%llu) of digits not allowed in hexnumber\n", digits);
        break;
    case zk::NumberError::BinaryLength:
        zk::eprint("ERROR: length of binary number (%llu) not a multiple of 8\n", digits);
        break;
    case zk::NumberError::Mismatch:
        zk::eprint("ERROR: missmatch in length of hexnumbers\n");
        break;
    case zk::NumberError::BadLength:
        zk::eprint("%s", binary ? "ERROR: only binarynumbers with 8, 16, or 32 digits are valid\n"
                                : "ERROR: only hexnumbers with 2, 4, or 8 digits are valid\n");
        break;
    }
}

static int run(const Settings& s)
{
    const bool from_stdin = std::strcmp(s.infile, "-") == 0;
    zk::File file;
    if (from_stdin) {
        zk::set_binary_mode(stdin);  // carriage returns are separators: the text is read as it is
        if (!s.quiet) std::fputs("using stdin as input\n", stdout);
    } else if (!(file = zk::open_input(s.infile))) {
        return 1;
    }
    std::FILE* in = from_stdin ? stdin : file.get();
    if (!s.quiet) zk::print_banner(kId);

    if (zk::output_is_input(in, s.outfile)) return 1;
    zk::OutputFile out;
    if (!zk::open_output(out, s.outfile, "wb")) return 1;
    zk::NumberConverter numbers(s.binary);
    std::int64_t written = 0;
    Outcome outcome = convert(in, out.get(), numbers, written);
    // A text that did not convert whole gives no file (out's destructor).
    if (outcome == Outcome::Ok && !out.commit()) outcome = Outcome::WriteError;
    switch (outcome) {
    case Outcome::Ok: break;
    case Outcome::Failed: report(numbers, s.binary); return 1;
    case Outcome::ReadError: return zk::fail("ERROR: cannot read inputfile %s\n", s.infile);
    case Outcome::WriteError: return zk::fail_output(s.outfile);
    }
    if (!s.quiet) std::printf("%lld bytes written to %s\n", static_cast<long long>(written), s.outfile);
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
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(s));
}
