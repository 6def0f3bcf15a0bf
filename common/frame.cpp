#include "frame.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace zk {

// __DATE__ and __TIME__ follow SOURCE_DATE_EPOCH when the build sets it.
static constexpr const char kBuildStamp[] = __DATE__ " " __TIME__;

// "<name> <version> - Vardelle <suite version>", the line --version prints.
static void print_version(const ToolId& id)
{
    std::printf("%s %s - Vardelle %s\n", id.display_name, id.version, kSuiteVersion);
}

void print_banner(const ToolId& id)
{
    std::putchar('\n');
    print_version(id);
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
        print_version(id);
        std::exit(finish(0));
    }
}

int finish(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return fail_stdout();
    return status;
}

int finish_with_usage(const ToolId& id, const char* usage_text)
{
    print_usage(id, usage_text);
    return finish(1);
}

// Standard output goes first, so that a log that merges both streams shows
// the lines in the order they were written.
static void veprint(const char* format, std::va_list args)
{
    std::fflush(stdout);
    std::vfprintf(stderr, format, args);
}

void eprint(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    veprint(format, args);
    va_end(args);
}

int fail(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    veprint(format, args);
    va_end(args);
    return 1;
}

int fail_output(const char* name)
{
    return fail("ERROR: cannot write outputfile %s\n", name);
}

bool write_whole_file(const char* name, const void* data, std::size_t size)
{
    File out = open_output(name, "wb");
    if (!out) return false;
    std::fwrite(data, 1, size, out.get());
    if (close_checked(out)) return true;
    discard_output(out, name);
    fail_output(name);
    return false;
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

ReadAll read_input(const char* name, std::size_t limit, Buffer& out, std::optional<FileId>& id)
{
    File in = open_input(name);
    if (!in) return ReadAll::ReadError;
    id = file_id(in.get());
    const ReadAll result = read_all(in.get(), limit, out);
    if (result == ReadAll::ReadError) eprint("ERROR: cannot read inputfile %s\n", name);
    if (result == ReadAll::NoMemory) eprint("ERROR: cannot allocate memory (%zu bytes)\n", limit + 1);
    return result;
}

Copy copy_range(std::FILE* in, std::int64_t start, std::int64_t length, std::FILE* out)
{
    if (length > 0 && std::fflush(out) == 0) {
        const KernelCopy k = kernel_copy(in, start, length, out);
        if (k.done) return k.copied < length ? Copy::InputEnded : Copy::Ok;
        start += k.copied;
        length -= k.copied;
    }
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

Copy copy_rest(std::FILE* in, std::FILE* out)
{
    char block[64 * 1024];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0)
        if (std::fwrite(block, 1, got, out) != got) return Copy::WriteError;
    return std::ferror(in) ? Copy::ReadError : Copy::Ok;
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

// How common a byte tends to be in the files searched (text, C source,
// compiled code and its data): the skip looks for the token's least
// common byte.
static int commonness(std::uint8_t b)
{
    if (b == 0x00 || b == 0xFF || b == ' ') return 4;
    if ((b >= 'a' && b <= 'z') || b == '\n' || b == '\t' || b == '\r') return 3;
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z')) return 2;
    if (b > ' ' && b < 0x80) return 1;
    return 0;
}

StreamSearch::StreamSearch(const void* token, std::size_t size)
    : size_(size), token_(new std::uint8_t[size + 1]), fallback_(new std::size_t[size + 1])
{
    if (size > 0) std::memcpy(token_.get(), token, size);
    fallback_[0] = 0;
    if (size > 0) fallback_[1] = 0;
    for (std::size_t m = 2; m <= size; ++m) {
        std::size_t k = fallback_[m - 1];
        while (k > 0 && token_[k] != token_[m - 1]) k = fallback_[k];
        fallback_[m] = token_[k] == token_[m - 1] ? k + 1 : 0;
    }
    for (std::size_t i = 1; i < size; ++i)
        if (commonness(token_[i]) < commonness(token_[rare_])) rare_ = i;
    reset();
}

void StreamSearch::reset()
{
    matched_ = 0;
    found_ = false;
    credit_ = 8 * static_cast<std::int64_t>(size_);
}

std::size_t StreamSearch::step(std::uint8_t byte)
{
    std::size_t k = matched_;
    while (k > 0 && token_[k] != byte) k = fallback_[k];
    if (token_[k] == byte) ++k;
    return matched_ = k;
}

// With no partial match open at `at`, tries the starts whose occurrence
// would lie inside the block, at those that hold the rare byte in its
// place: the end of the first occurrence, or empty with `at` past every
// start ruled out.
std::optional<std::size_t> StreamSearch::skip(const std::uint8_t* block, std::size_t size, std::size_t& at)
{
    const std::size_t last = size - size_;
    while (at <= last && credit_ >= 0) {
        const void* hit = std::memchr(block + at + rare_, token_[rare_], last - at + 1);
        if (!hit) {
            at = last + 1;
            break;
        }
        const std::size_t start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - block) - rare_;
        std::size_t k = 0;
        while (k < size_ && block[start + k] == token_[k]) ++k;
        if (k == size_) return start + size_;
        // Every start passed over pays for four compared bytes, so that an
        // input that keeps almost matching turns the skip off and the
        // search stays linear.
        credit_ += 4 * static_cast<std::int64_t>(start + 1 - at) - static_cast<std::int64_t>(k + 1);
        at = start + 1;
    }
    return std::nullopt;
}

std::optional<std::size_t> StreamSearch::feed(const void* data, std::size_t size)
{
    if (found_) return std::nullopt;
    if (size_ == 0) {
        found_ = true;
        return 0;
    }
    const auto* block = static_cast<const std::uint8_t*>(data);
    std::size_t at = 0;
    for (;;) {
        for (; matched_ > 0 && at < size; ++at) {
            if (step(block[at]) == size_) {
                found_ = true;
                return at + 1;
            }
        }
        if (at == size) return std::nullopt;
        // No partial match is open: no occurrence begins before at.
        if (credit_ >= 0 && size - at >= size_) {
            const std::optional<std::size_t> end = skip(block, size, at);
            found_ = end.has_value();
            if (found_) return end;
            continue;
        }
        const void* first = std::memchr(block + at, token_[0], size - at);
        if (!first) return std::nullopt;
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(first) - block);
        if (step(block[at++]) == size_) {
            found_ = true;
            return at;
        }
    }
}

}  // namespace zk
