// zkunpack: unpacks one packed stream, raw or written as hex text, into a
// file of raw bytes or of hex text; in test mode only decodes it.
#include "frame.h"
#include "hextext.h"
#include "unpack.h"

#include <cstdint>
#include <cstring>
#include <string>

static constexpr const zk::ToolId& kId = zk::tool("zkunpack");

static constexpr const char kUsage[] =
    "Usage: zkunpack [-<flags>] <infile> <outfile>\n"
    "       -hti      treat input as hex-text input\n"
    "       -hto      generate hex-text output\n"
    "       -t        just test (generates no outfile)\n";

static constexpr std::size_t kMaxInput = zk::kPackMaxStreamSize;
static constexpr std::size_t kReadBlock = 64 * 1024;

struct Settings {
    const char* infile = nullptr;
    const char* outfile = nullptr;
    bool hex_in = false;
    bool hex_out = false;
    bool test_only = false;
};

// Reads hex text in blocks and converts each where it lies, just after the
// bytes converted so far. Stops as soon as more than kMaxInput bytes have
// arrived, or more text than any hex text of them holds (text_too_long),
// so that a huge input costs neither memory nor a full read.
static zk::ReadAll read_hex_text(std::FILE* in, zk::Buffer& data, bool& text_too_long)
{
    if (!data.resize(kMaxInput + kReadBlock)) return zk::ReadAll::NoMemory;
    zk::HexTextReader reader;
    std::size_t length = 0;
    std::size_t text = 0;
    for (;;) {
        std::uint8_t* at = data.data() + length;
        const std::size_t got = std::fread(at, 1, kReadBlock, in);
        if (got == 0) break;
        text += got;
        length += reader.feed({at, got}, at);
        if (length > kMaxInput) return zk::ReadAll::TooLong;
        if ((text_too_long = text > zk::hex_text_limit(kMaxInput))) return zk::ReadAll::TooLong;
    }
    data.resize(length);
    return std::ferror(in) ? zk::ReadAll::ReadError : zk::ReadAll::Ok;
}

static int run(const Settings& s)
{
    zk::Buffer input;
    std::optional<zk::FileId> input_id;
    {
        zk::File in = zk::open_input(s.infile, "ERROR: cannot open input file %s\n");
        if (!in) return 1;
        input_id = zk::file_id(in.get());
        bool text_too_long = false;
        switch (s.hex_in ? read_hex_text(in.get(), input, text_too_long) : zk::read_all(in.get(), kMaxInput, input)) {
        case zk::ReadAll::Ok:
            break;
        case zk::ReadAll::TooLong:
            if (text_too_long)
                return zk::fail("ERROR: hex text is too long (more than %zu characters)\n",
                                zk::hex_text_limit(kMaxInput));
            return zk::fail("ERROR: inputdata is too long (>65535 bytes)\n");
        case zk::ReadAll::ReadError:
            return zk::fail("ERROR: cannot read input file %s\n", s.infile);
        case zk::ReadAll::NoMemory:
            return zk::fail("ERROR: cannot allocate buffer\n");
        }
    }
    const std::size_t length = input.size();
    if (length < zk::kPackHeaderSize)
        return zk::fail("ERROR: inputdata is too short (%zu bytes, the header needs %zu)\n", length,
                        zk::kPackHeaderSize);
    const std::uint8_t* src = input.data();
    if (length != zk::pack_csize(src) || !zk::pack_has_magic(src))
        return zk::fail("ERROR: format mismatch in input (csize=%d|m1=%c|m2=%c)\n", static_cast<int>(length),
                        src[zk::kPackMagicOffset], src[zk::kPackMagicOffset + 1]);
    if (zk::kPackHeaderSize + src[zk::kPackRunTableSizeOffset] > length)
        return zk::fail("ERROR: inputdata is too short for its run table (%zu bytes)\n", length);

    const unsigned orig_size = zk::pack_orig_size(src);
    zk::Buffer output;
    if (!output.resize(orig_size)) return zk::fail("ERROR: cannot allocate output buffer\n");
    const int code = zk::unpack_stream(src, length, output.data(), orig_size);
    if (code != zk::kUnpackOk) return zk::fail("ERROR: cannot decompress (code %03d)\n", code);
    if (s.test_only) return 0;

    if (zk::output_is_input(input_id, s.outfile)) return 1;
    std::string text;
    const auto bytes = zk::raw_or_hex_text({output.data(), orig_size}, s.hex_out, text);
    if (!bytes) return zk::fail("ERROR: cannot allocate output buffer\n");
    if (!zk::write_whole_file(s.outfile, *bytes, "ERROR: cannot open outputfile %s\n\n")) return 1;
    if (!s.hex_out) zk::enote("Decompressed %u bytes.\n\n", orig_size);
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
            return zk::finish_with_usage(kId, kUsage);
        }
    }
    if (!s.infile || (!s.outfile && !s.test_only)) {
        return zk::finish_with_usage(kId, kUsage);
    }
    return zk::finish(run(s));
}
