#include "frame.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace zk {

// __DATE__ and __TIME__ follow SOURCE_DATE_EPOCH when the build sets it.
static constexpr const char kBuildStamp[] = __DATE__ " " __TIME__;

void print_banner(const ToolId& id)
{
    std::printf("\n%s %s - Vardelle %s\n", id.display_name, id.version, kSuiteVersion);
    std::printf("TI-89/TI-92 Plus build tools, built %s\n\n", kBuildStamp);
}

void print_usage(const ToolId& id, const char* usage_text)
{
    if (id.quiet_capable) print_banner(id);
    std::fputs(usage_text, stdout);
}

void start(const ToolId& id, const char* usage_text, int argc, char** argv)
{
    hold_std_streams();
    if (argc != 2) return;
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage_text, stdout);
        std::exit(finish(0));
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s - Vardelle %s\n", id.display_name, id.version, kSuiteVersion);
        std::exit(finish(0));
    }
}

int finish(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail_stdout();
    return status;
}

void eprint(const char* format, ...)
{
    std::fflush(stdout);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

int fail(const char* format, ...)
{
    std::fflush(stdout);
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    return 1;
}

int fail_output(const char* name)
{
    return fail("ERROR: cannot write outputfile %s\n", name);
}

int fail_stdout()
{
    return fail("ERROR: cannot write to stdout\n");
}

File open_file(const char* name, const char* mode)
{
    return File(std::fopen(name, mode));
}

File open_input(const char* name, const char* message)
{
    File f = open_file(name, "rb");
    if (!f) eprint(message, name);
    return f;
}

File open_output(const char* name, const char* mode, const char* message)
{
    File f = open_file(name, mode);
    if (!f) eprint(message, name);
    return f;
}

bool close_checked(File& f)
{
    std::FILE* stream = f.release();
    if (!stream) return false;
    bool ok = std::fflush(stream) == 0 && !std::ferror(stream);
    return std::fclose(stream) == 0 && ok;
}

bool output_is_input(const std::optional<FileId>& input, const char* name)
{
    if (!input || file_id(name) != input) return false;
    eprint("ERROR: outputfile %s is the inputfile\n", name);
    return true;
}

bool output_is_input(std::FILE* input, const char* name)
{
    return output_is_input(file_id(input), name);
}

std::optional<std::int64_t> file_size(std::FILE* stream)
{
    const std::optional<FileId> id = file_id(stream);
    if (!id) return std::nullopt;
    const std::int64_t here = tell(stream);
    if (here < 0 || !seek(stream, 0, SEEK_END)) return std::nullopt;
    const std::int64_t size = tell(stream);
    if (!seek(stream, here, SEEK_SET)) return std::nullopt;
    return size < 0 ? std::nullopt : std::optional<std::int64_t>(size);
}

bool Buffer::resize(std::size_t size)
{
    if (size > capacity_) {
        // Room to grow by half again, so that filling a buffer in blocks
        // moves its bytes a few times, not once per block.
        std::size_t capacity = std::max(size, capacity_ + capacity_ / 2);
        void* grown = std::realloc(bytes_.get(), capacity == 0 ? 1 : capacity);
        if (!grown && capacity > size) grown = std::realloc(bytes_.get(), capacity = size);
        if (!grown) return false;
        (void)bytes_.release();
        bytes_.reset(static_cast<std::uint8_t*>(grown));
        capacity_ = capacity;
    }
    size_ = size;
    return true;
}

ReadAll read_all(std::FILE* in, std::size_t limit, Buffer& out)
{
    static constexpr std::size_t kReadBlock = 64 * 1024;
    if (!out.resize(0)) return ReadAll::NoMemory;
    for (;;) {
        const std::size_t have = out.size();
        const std::size_t want = std::min(kReadBlock, limit - have + 1);
        if (!out.resize(have + want)) return ReadAll::NoMemory;
        const std::size_t got = std::fread(out.data() + have, 1, want, in);
        out.resize(have + got);
        if (out.size() > limit) return ReadAll::TooLong;
        if (got < want) return std::ferror(in) ? ReadAll::ReadError : ReadAll::Ok;
    }
}

Copy copy_range(std::FILE* in, std::int64_t start, std::int64_t length, std::FILE* out)
{
    if (!seek(in, start, SEEK_SET)) return Copy::ReadError;
    char block[64 * 1024];
    while (length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, sizeof block));
        const std::size_t got = std::fread(block, 1, want, in);
        if (std::fwrite(block, 1, got, out) != got) return Copy::WriteError;
        if (got < want) return std::ferror(in) ? Copy::ReadError : Copy::InputEnded;
        length -= static_cast<std::int64_t>(got);
    }
    return Copy::Ok;
}

Copy copy_to_end(std::FILE* in, std::int64_t start, std::FILE* out)
{
    const Copy c = copy_range(in, start, INT64_MAX, out);
    return c == Copy::InputEnded ? Copy::Ok : c;
}

std::optional<std::int64_t> parse_integer(const char* text, std::int64_t min, std::int64_t max, Overflow overflow)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (*text < '0' || *text > '9') return std::nullopt;
    // The magnitude is gathered exactly up to 2^63 and stops growing one
    // past it: enough to tell every 64-bit value from those beyond.
    constexpr std::uint64_t kBeyond = static_cast<std::uint64_t>(INT64_MAX) + 2;
    std::uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        magnitude = std::min(magnitude > kBeyond / 10 ? kBeyond : magnitude * 10 + static_cast<unsigned>(*text - '0'),
                             kBeyond);
    const std::uint64_t largest = negative ? kBeyond - 1 : kBeyond - 2;  // 2^63 below zero, 2^63 - 1 above
    std::int64_t value = negative ? min : max;  // where a value beyond 64 bits lies
    if (magnitude <= largest)
        value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    if (magnitude <= largest && value >= min && value <= max) return value;
    if (overflow == Overflow::Refuse) return std::nullopt;
    return std::clamp(value, min, max);
}

LineReader::LineReader(std::FILE* in, std::size_t block_size)
    : in_(in), block_(new char[block_size]), block_size_(block_size)
{
}

bool LineReader::next(std::string_view& piece)
{
    if (pos_ == end_) {
        if (read_failed_) return false;
        pos_ = 0;
        end_ = std::fread(block_.get(), 1, block_size_, in_);
        if (end_ == 0) {
            read_failed_ = std::ferror(in_) != 0;
            return false;
        }
    }
    const char* start = block_.get() + pos_;
    const void* feed = std::memchr(start, '\n', end_ - pos_);
    const std::size_t length = feed ? static_cast<std::size_t>(static_cast<const char*>(feed) - start) + 1 : end_ - pos_;
    piece = std::string_view(start, length);
    pos_ += length;
    return true;
}

// ---------------------------------------------------------------------------
// Additions for the calculator variable file tools

Copy copy_rest(std::FILE* in, std::FILE* out)
{
    char block[64 * 1024];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0)
        if (std::fwrite(block, 1, got, out) != got) return Copy::WriteError;
    return std::ferror(in) ? Copy::ReadError : Copy::Ok;
}

}  // namespace zk
