// zkunpack: unpacks one packed stream, raw or written as hex text, into a
// file of raw bytes or of hex text; in test mode only decodes it.
#include "frame.h"
#include "unpack.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

static constexpr const zk::ToolId& kId = zk::tool("zkunpack");

static constexpr const char kUsage[] =
    "Usage: zkunpack [-<flags>] <infile> <outfile>\n"
    "       -hti      treat input as hex-text input\n"
    "       -hto      generate hex-text output\n"
    "       -t        just test (generates no outfile)\n";

// A packed stream never exceeds 16 bits of length.
static constexpr std::size_t kMaxInput = 65535;

struct Settings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    bool hex_in = false;
    bool hex_out = false;
    bool test_only = false;
};

// Turns hex text into bytes as it arrives: two adjacent hex digits make a
// byte, any other character drops a single pending digit, and "//" starts
// a comment that runs through the next line feed.
struct HexTextReader {
    int pending = -1;
    bool after_slash = false;
    bool in_comment = false;

    template <typename Emit>
    void feed(const std::uint8_t* text, std::size_t len, Emit emit)
    {
        for (std::size_t i = 0; i < len; ++i) {
            const std::uint8_t c = text[i];
            if (in_comment) {
                in_comment = c != '\n';
                continue;
            }
            int digit = zk::hex_digit_value(c);
            if (digit < 0) {
                pending = -1;
                in_comment = c == '/' && after_slash;
                after_slash = c == '/' && !in_comment;
                continue;
            }
            after_slash = false;
            if (pending < 0) {
                pending = digit;
            } else {
                emit(static_cast<std::uint8_t>(pending << 4 | digit));
                pending = -1;
            }
        }
    }
};

enum class ReadResult { Ok, TooLong, ReadError };

// Reads the input, converting hex text on the way, into data. Stops as soon
// as more than kMaxInput bytes have arrived, so a huge input costs neither
// memory nor a full read.
static ReadResult read_input(std::FILE* f, bool hex_in, std::vector<std::uint8_t>& data)
{
    std::uint8_t chunk[1 << 16];
    HexTextReader text;
    data.reserve(kMaxInput + 1);
    for (;;) {
        std::size_t got = std::fread(chunk, 1, sizeof chunk, f);
        if (got == 0) break;
        if (hex_in) {
            text.feed(chunk, got, [&](std::uint8_t b) {
                if (data.size() <= kMaxInput) data.push_back(b);
            });
        } else {
            std::size_t take = std::min(got, kMaxInput + 1 - data.size());
            data.insert(data.end(), chunk, chunk + take);
        }
        if (data.size() > kMaxInput) return ReadResult::TooLong;
    }
    return std::ferror(f) ? ReadResult::ReadError : ReadResult::Ok;
}

// "0x%02x" per byte, comma-separated, a line feed after every index that is
// a non-zero multiple of 10.
static void write_hex_text(std::FILE* out, const std::vector<std::uint8_t>& bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 6);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += "0x";
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 15];
        if (i + 1 < bytes.size()) text += ',';
        if (i != 0 && i % 10 == 0) text += '\n';
    }
    std::fwrite(text.data(), 1, text.size(), out);
}

static int run(const Settings& s)
{
    std::vector<std::uint8_t> input;
    {
        zk::File in = zk::open_file(s.infile, "rb");
        if (!in) {
            zk::eprint("ERROR: cannot open input file %s\n", s.infile);
            return 1;
        }
        switch (read_input(in.get(), s.hex_in, input)) {
        case ReadResult::Ok:
            break;
        case ReadResult::TooLong:
            zk::eprint("ERROR: inputdata is too long (>65535 bytes)\n");
            return 1;
        case ReadResult::ReadError:
            zk::eprint("ERROR: cannot read input file %s\n", s.infile);
            return 1;
        }
    }
    const std::size_t length = input.size();
    if (length < zk::kPackHeaderSize) {
        zk::eprint("ERROR: inputdata is too short (%zu bytes, the header needs 16)\n", length);
        return 1;
    }
    const std::uint8_t* src = input.data();
    if (length != zk::pack_csize(src) || !zk::pack_has_magic(src)) {
        zk::eprint("ERROR: format mismatch in input (csize=%d|m1=%c|m2=%c)\n",
                     static_cast<int>(length), src[2], src[3]);
        return 1;
    }
    if (zk::kPackHeaderSize + src[15] > length) {
        zk::eprint("ERROR: inputdata is too short for its run table (%zu bytes)\n", length);
        return 1;
    }

    const unsigned orig_size = zk::pack_orig_size(src);
    std::vector<std::uint8_t> output(orig_size);
    int code = zk::unpack_stream(src, length, output.data(), output.size());
    if (code != zk::kUnpackOk) {
        zk::eprint("ERROR: cannot decompress (code %03d)\n", code);
        return 1;
    }
    if (s.test_only) return 0;

    zk::File out = zk::open_file(s.outfile, "wb");
    if (!out) {
        zk::eprint("ERROR: cannot open outputfile %s\n\n", s.outfile);
        return 1;
    }
    if (s.hex_out)
        write_hex_text(out.get(), output);
    else
        std::fwrite(output.data(), 1, output.size(), out.get());
    if (!zk::close_checked(out)) return zk::fail_output(s.outfile);
    if (!s.hex_out) zk::eprint("Decompressed %u bytes.\n\n", orig_size);
    return 0;
}

int main(int argc, char** argv)
{
    zk::start(kId, kUsage, argc, argv);
    zk::print_banner(kId);
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-hti") == 0) {
            s.hex_in = true;
        } else if (std::strcmp(arg, "-hto") == 0) {
            s.hex_out = true;
        } else if (std::strcmp(arg, "-t") == 0) {
            s.test_only = true;
        } else if (!s.infile) {
            s.infile = arg;
        } else if (!s.outfile) {
            s.outfile = arg;
        } else {
            zk::print_usage(kId, kUsage);
            return zk::finish(1);
        }
    }
    if (!s.infile || (!s.outfile && !s.test_only)) {
        zk::print_usage(kId, kUsage);
        return zk::finish(1);
    }
    return zk::finish(run(s));
}
