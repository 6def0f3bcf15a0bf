// zkextract: copies the bytes that follow the first occurrence of a start
// token, up to the first occurrence of an end token or the end of the file.
#include "frame.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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
    Level level = Level::Normal;
};

using Bytes = std::vector<std::uint8_t>;

enum class HexToken { Ok, OddLength, BadCharacter };

// The bytes spelt by pairs of hexadecimal digits, high half first.
HexToken parse_hex_token(const char* text, Bytes& bytes)
{
    const std::size_t len = std::strlen(text);
    if (len % 2 != 0) return HexToken::OddLength;
    bytes.clear();
    for (std::size_t i = 0; i < len; i += 2) {
        int high = zk::hex_digit_value(static_cast<unsigned char>(text[i]));
        int low = zk::hex_digit_value(static_cast<unsigned char>(text[i + 1]));
        if (high < 0 || low < 0) return HexToken::BadCharacter;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return HexToken::Ok;
}

// A search for the first occurrence of a token in bytes that arrive in
// blocks. After a mismatch it falls back to the longest part of the match
// that can still begin an occurrence, so no occurrence is passed over and
// no byte is read twice.
struct TokenSearch {
    Bytes token;
    std::vector<std::size_t> fallback;  // fallback[m]: the match left after m bytes matched and a mismatch
    std::size_t matched = 0;
    std::int64_t fed = 0;

    explicit TokenSearch(Bytes t) : token(std::move(t)), fallback(token.size() + 1, 0)
    {
        for (std::size_t m = 2; m <= token.size(); ++m) {
            std::size_t k = fallback[m - 1];
            while (k > 0 && token[k] != token[m - 1]) k = fallback[k];
            if (token[k] == token[m - 1]) ++k;
            fallback[m] = k;
        }
    }

    // The offset of the first byte after the occurrence once the bytes fed
    // so far hold one, else -1. A token of no bytes is never found.
    std::int64_t feed(const std::uint8_t* bytes, std::size_t n)
    {
        if (token.empty()) return -1;
        for (std::size_t i = 0; i < n; ++i) {
            while (matched > 0 && bytes[i] != token[matched]) matched = fallback[matched];
            if (bytes[i] == token[matched] && ++matched == token.size()) {
                fed += static_cast<std::int64_t>(i + 1);
                return fed;
            }
        }
        fed += static_cast<std::int64_t>(n);
        return -1;
    }
};

enum class Search { Found, NotFound, ReadError };

static constexpr std::size_t kBlock = 64 * 1024;

// Searches the token from the start of the input, read in blocks of
// block_size bytes; at is the offset of the first byte after its first
// occurrence.
static Search find_token(std::FILE* in, const Bytes& token, std::int64_t& at, std::size_t block_size = kBlock)
{
    if (fseeko(in, 0, SEEK_SET) != 0) return Search::ReadError;
    TokenSearch search(token);
    std::vector<std::uint8_t> block(block_size);
    for (;;) {
        std::size_t n = std::fread(block.data(), 1, block.size(), in);
        if (n == 0) return std::ferror(in) ? Search::ReadError : Search::NotFound;
        at = search.feed(block.data(), n);
        if (at >= 0) return Search::Found;
    }
}

// Copies count bytes from the input's position; false on a short read.
static bool copy_bytes(std::FILE* in, std::FILE* out, std::int64_t count)
{
    std::vector<std::uint8_t> block(kBlock);
    while (count > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(count, kBlock));
        if (std::fread(block.data(), 1, n, in) != n) return false;
        if (std::fwrite(block.data(), 1, n, out) != n) return true;  // reported when closing
        count -= static_cast<std::int64_t>(n);
    }
    return true;
}

static int fail_read(const char* name)
{
    zk::eprint("ERROR: cannot read inputfile %s\n", name);
    return 1;
}

// The bytes of a token argument, or false after its message.
static bool token_bytes(const char* text, bool is_hex, Bytes& bytes)
{
    if (!is_hex) {
        bytes.assign(text, text + std::strlen(text));
        return true;
    }
    switch (parse_hex_token(text, bytes)) {
    case HexToken::Ok:
        return true;
    case HexToken::OddLength:
        zk::eprint("ERROR: invalid length (%zu) for hextoken (%s)\n", std::strlen(text), text);
        return false;
    case HexToken::BadCharacter:
        zk::eprint("ERROR: invalid character in hextoken (%s)\n", text);
        return false;
    }
    return false;
}

static int run(const Settings& s)
{
    const bool verbose = s.level == Level::Verbose;
    if (s.level != Level::Quiet) zk::print_banner(kId);
    if (verbose) std::printf("opening input file %s ...\n", s.infile);
    zk::File in = zk::open_file(s.infile, "rb");
    if (!in) {
        zk::eprint("ERROR: cannot open inputfile %s\n", s.infile);
        return 1;
    }

    Bytes token;
    if (!token_bytes(s.start_token, s.start_is_hex, token)) return 1;
    std::int64_t start = 0;
    Search found = find_token(in.get(), token, start);
    if (found == Search::ReadError) return fail_read(s.infile);
    if (found == Search::NotFound) {
        zk::eprint("ERROR: position of start token not found\n");
        return 1;
    }
    if (verbose) std::printf("starttoken (%s) found at position=%ld\n", s.start_token, static_cast<long>(start));

    std::int64_t end = 0;
    if (s.end_token) {
        if (!token_bytes(s.end_token, s.end_is_hex, token)) return 1;
        found = find_token(in.get(), token, end);
        if (found == Search::ReadError) return fail_read(s.infile);
        if (found == Search::NotFound) {
            zk::eprint("ERROR: position of end token not found\n");
            return 1;
        }
        if (verbose) std::printf("endtoken (%s) found at position=%ld\n", s.end_token, static_cast<long>(end));
        end -= static_cast<std::int64_t>(token.size());
        if (end <= start) {
            zk::eprint("ERROR: endpos <= startpos\n");
            return 1;
        }
    } else {
        if (fseeko(in.get(), 0, SEEK_END) != 0 || (end = ftello(in.get())) < 0) return fail_read(s.infile);
        if (verbose) std::printf("using end-of-file as endposition (%ld)\n", static_cast<long>(end));
    }
    if (verbose) std::printf("opening output file %s ...\n", s.outfile);

    if (zk::output_is_input(in.get(), s.outfile)) return 1;
    zk::File out = zk::open_file(s.outfile, "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outfile %s\n", s.outfile);
        return 1;
    }
    const std::int64_t count = end - start;
    if (fseeko(in.get(), start, SEEK_SET) != 0) return fail_read(s.infile);
    if (verbose) std::printf("extracting %ld bytes ...\n", static_cast<long>(count));
    if (!copy_bytes(in.get(), out.get(), count)) return fail_read(s.infile);
    if (!zk::close_checked(out)) return zk::fail_output(s.outfile);
    if (s.level != Level::Quiet) std::printf("%ld bytes written to %s\n", static_cast<long>(count), s.outfile);
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
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
