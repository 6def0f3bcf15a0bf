// zkextract: copies the bytes that follow the first occurrence of a start
// token, up to the first occurrence of an end token or the end of the file
// (extract_token.h).
#include "extract_token.h"
#include "frame.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

static constexpr const zk::ToolId& kId = zk::tool("zkextract");

static constexpr const char kUsage[] =
    "Usage: zkextract [flags] <infile> <outfile> <starttoken> [<endtoken>]\n"
    "\n"
    "       -quiet .... don't output standard messages (unsets -v)\n"
    "       -v     .... output additional messages (unsets -quiet)\n"
    "       -sh    .... treat start token as hexcode\n"
    "       -eh    .... treat end token as hexcode\n"
    "\n"
    "       Extract part of infile which starts right after the start token.\n"
    "       If an endtoken is given it ends just before the end token.\n"
    "       NOTE1: If you use -sh or -eh the given tokens have to be plain\n"
    "              hexcodes WITHOUT any prefix like \"0x\" or \"0h\"\n"
    "       NOTE2: if you want the extracted data to be correct, you have to\n"
    "              use -fno-unit-at-a-time, as long as this switch is\n"
    "              supported by GCC\n"
    "\n";

enum class Level { Quiet, Normal, Verbose };

struct Settings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    const char* start_token = nullptr;
    const char* end_token = nullptr;
    bool start_is_hex = false;
    bool end_is_hex = false;
    Level level = zk::quiet_environment() ? Level::Quiet : Level::Normal;
};

enum class Search { Found, NotFound, ReadError };

// Searches the token from the start of the input; at is the offset of the
// first byte after its first occurrence.
static Search find_token(std::FILE* in, const std::string& token, std::int64_t& at)
{
    static constexpr std::size_t kBlock = 256 * 1024;
    if (!zk::seek(in, 0, SEEK_SET)) return Search::ReadError;
    zk::TokenFinder finder(token);
    auto block = std::make_unique<std::uint8_t[]>(kBlock);
    for (;;) {
        const std::size_t n = std::fread(block.get(), 1, kBlock, in);
        if (n == 0) return std::ferror(in) ? Search::ReadError : Search::NotFound;
        if (const std::optional<std::int64_t> end = finder.feed(block.get(), n)) {
            at = *end;
            return Search::Found;
        }
    }
}

// The bytes of a token argument, or false after its message.
static bool token_bytes(const char* text, bool is_hex, std::string& bytes)
{
    if (!is_hex) {
        bytes = text;
        return true;
    }
    switch (zk::parse_hex_token(text, bytes)) {
    case zk::HexToken::Ok:
        return true;
    case zk::HexToken::OddLength:
        zk::eprint("ERROR: invalid length (%zu) for hextoken (%s)\n", std::strlen(text), text);
        return false;
    case zk::HexToken::BadCharacter:
        zk::eprint("ERROR: invalid character in hextoken (%s)\n", text);
        return false;
    }
    return false;
}

static int fail_read(const char* name)
{
    return zk::fail("ERROR: cannot read inputfile %s\n", name);
}

static int run(const Settings& s)
{
    const bool verbose = s.level == Level::Verbose;
    if (s.level != Level::Quiet) zk::print_banner(kId);
    if (verbose) std::printf("opening input file %s ...\n", s.infile);
    zk::File in = zk::open_input(s.infile);
    if (!in) return 1;

    std::string token;
    if (!token_bytes(s.start_token, s.start_is_hex, token)) return 1;
    std::int64_t start = 0;
    Search found = find_token(in.get(), token, start);
    if (found == Search::ReadError) return fail_read(s.infile);
    if (found == Search::NotFound) return zk::fail("ERROR: position of start token not found\n");
    if (verbose) std::printf("starttoken (%s) found at position=%lld\n", s.start_token, static_cast<long long>(start));

    std::int64_t end = 0;
    if (s.end_token) {
        // Searched from the start of the input too, not from the start token.
        if (!token_bytes(s.end_token, s.end_is_hex, token)) return 1;
        found = find_token(in.get(), token, end);
        if (found == Search::ReadError) return fail_read(s.infile);
        if (found == Search::NotFound) return zk::fail("ERROR: position of end token not found\n");
        if (verbose) std::printf("endtoken (%s) found at position=%lld\n", s.end_token, static_cast<long long>(end));
        end -= static_cast<std::int64_t>(token.size());
        if (end <= start) return zk::fail("ERROR: endpos <= startpos\n");
    } else {
        const std::optional<std::int64_t> size = zk::file_size(in.get());
        if (!size) return fail_read(s.infile);
        end = *size;
        if (verbose) std::printf("using end-of-file as endposition (%lld)\n", static_cast<long long>(end));
    }
    if (verbose) std::printf("opening output file %s ...\n", s.outfile);

    if (zk::output_is_input(in.get(), s.outfile)) return 1;
    zk::OutputFile out;
    if (!zk::open_output(out, s.outfile, "wb", "ERROR: cannot open outfile %s\n")) return 1;
    const std::int64_t count = end - start;
    if (verbose) std::printf("extracting %lld bytes ...\n", static_cast<long long>(count));
    const zk::Copy copied = zk::copy_range(in.get(), start, count, out.get());
    if (copied == zk::Copy::InputEnded || copied == zk::Copy::ReadError) return fail_read(s.infile);
    if (!out.commit()) return zk::fail_output(s.outfile);
    if (s.level != Level::Quiet) std::printf("%lld bytes written to %s\n", static_cast<long long>(count), s.outfile);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    Settings s;
    bool usage = argc < 4;
    const char** positional[] = {&s.infile, &s.outfile, &s.start_token, &s.end_token};
    std::size_t given = 0;
    for (int i = 1; i < argc && !usage; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-quiet") == 0)
            s.level = Level::Quiet;
        else if (std::strcmp(arg, "-v") == 0)
            s.level = Level::Verbose;
        else if (std::strcmp(arg, "-sh") == 0)
            s.start_is_hex = true;
        else if (std::strcmp(arg, "-eh") == 0)
            s.end_is_hex = true;
        else if (given < std::size(positional))
            *positional[given++] = arg;
        else
            usage = true;
    }
    if (usage || !s.start_token) {
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(s));
}
