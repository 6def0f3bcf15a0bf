#include "frame.h"

#include <cstdarg>
#include <cstring>
#include <exception>
#include <new>

namespace zk {

// __DATE__ and __TIME__ follow SOURCE_DATE_EPOCH when the build sets it.
static constexpr const char kBuildStamp[] = __DATE__ " " __TIME__;

// The project's version, "v" and its two numbers, from the build.
static constexpr const char kSuiteVersion[] = "v" ZK_SUITE_VERSION;

// "<name> <version> - Vardelle <suite version>", the line --version prints.
static void print_version(const ToolId& id)
{
    std::printf("%s %s - Vardelle %s\n", id.display_name, id.version, kSuiteVersion);
}

bool quiet_environment()
{
    static const bool quiet = [] {
        const char* value = std::getenv("ZKTOOLS_QUIET");
        return value && *value && std::strcmp(value, "0") != 0;
    }();
    return quiet;
}

void print_banner(const ToolId& id)
{
    if (quiet_environment()) return;
    std::putchar('\n');
    print_version(id);
    std::printf("TI-89/TI-92 Plus build tools, built %s\n\n", kBuildStamp);
}

void print_usage(const ToolId& id, const char* usage_text)
{
    if (id.quiet_capable) print_banner(id);
    std::fputs(usage_text, stdout);
}

// An exception nothing caught: memory ran out where no routine of the
// tool's could say how much. The outputs begun go, as for a fatal signal.
[[noreturn]] static void end_uncaught()
{
    discard_unfinished_outputs();
    try {
        if (const std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        eprint("ERROR: cannot allocate memory\n");
        std::_Exit(1);
    } catch (...) {
    }
    std::abort();
}

void start(const ToolId& id, const char* usage_text, int argc, char** argv)
{
    hold_std_streams();
    std::set_terminate(end_uncaught);
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

void note(const char* format, ...)
{
    if (quiet_environment()) return;
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

void enote(const char* format, ...)
{
    if (quiet_environment()) return;
    std::va_list args;
    va_start(args, format);
    veprint(format, args);
    va_end(args);
}

bool ArgScan::flag(const char* name) const
{
    return std::strcmp(word(), name) == 0;
}

bool ArgScan::value(const char* name, const char*& value)
{
    if (!flag(name)) return false;
    if (++at_ == argc_)
        scan_ = Scan::Usage;
    else
        value = argv_[at_];
    return true;
}

bool ArgScan::number(const char* name, int lo, int hi, int& value)
{
    const char* text = nullptr;
    if (!this->value(name, text)) return false;
    if (!text) return true;  // no value: a usage error already
    int v = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9' && v <= hi; ++p) v = v * 10 + (*p - '0');
    if (p == text || *p != '\0' || v < lo || v > hi) {
        eprint("ERROR: invalid value %s for option %s (must be >=%d and <=%d)\n", text, name, lo, hi);
        scan_ = Scan::Refused;
    } else {
        value = v;
    }
    return true;
}

bool ArgScan::unknown_flag()
{
    const char* w = word();
    if (w[0] != '-' || w[1] == '\0') return false;
    eprint("ERROR: invalid option %s\n", w);
    scan_ = Scan::Refused;
    return true;
}

void ArgScan::positional(std::initializer_list<const char**> slots)
{
    if (unknown_flag()) return;
    for (const char** slot : slots) {
        if (*slot) continue;
        *slot = word();
        return;
    }
    scan_ = Scan::Usage;
}

void ArgScan::positional(std::vector<const char*>& list)
{
    if (!unknown_flag()) list.push_back(word());
}

int finish_scan(const ToolId& id, const char* usage_text, Scan scan)
{
    if (scan == Scan::Usage) print_usage(id, usage_text);
    return finish(1);
}

bool output_named_after(const char* name, std::string_view extension, std::string& file)
{
    switch (file_named_after(name, extension, file)) {
    case NamedFile::Ok:
        return true;
    case NamedFile::NoName:
        eprint("ERROR: no variable name in \"%s\"\n", name);
        return false;
    case NamedFile::Device:
        eprint("ERROR: %s is a device name, not a file\n", file.c_str());
        return false;
    }
    return false;
}

int fail_output(const char* name)
{
    return fail("ERROR: cannot write outputfile %s\n", name);
}

bool write_whole_file(const char* name, std::span<const std::uint8_t> bytes, const char* open_message)
{
    OutputFile out;
    if (!open_output(out, name, "wb", open_message)) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), out.get());
    if (out.commit()) return true;
    fail_output(name);
    return false;
}

int fail_stdout()
{
    return fail("ERROR: cannot write to stdout\n");
}

File open_input(const char* name, const char* message)
{
    File f = open_file(name, "rb");
    if (!f) eprint(message, name);
    return f;
}

bool open_output(OutputFile& out, const char* name, const char* mode, const char* message)
{
    if (out.open(name, mode)) return true;
    eprint(message, name);
    return false;
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

}  // namespace zk
