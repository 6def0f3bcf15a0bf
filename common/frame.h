// The outer shape every tool of the suite shares, and the few things every
// tool does with files: its identity and banner, the usage text, messages
// on standard error, checked output, whole-file reads, byte-range copies,
// number parsing and line reading. A tool's own file keeps only what is
// its own: identity, usage, settings, argument scan, work and messages.
//
// The operating-system calls live behind the functions marked [os]: they
// have one body for POSIX systems (os_posix.cpp) and one for Windows
// (os_windows.cpp), so that no tool needs a platform test of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace zk {

// ---------------------------------------------------------------------------
// Identity, banner and usage

struct ToolId {
    const char* command;
    const char* display_name;
    const char* version;  // a string: "1.10" follows "1.8"
    bool quiet_capable;   // banner after the scan unless "-quiet"; usage text after a banner of its own
};

inline constexpr const char* kSuiteVersion = "v1.40";

inline constexpr ToolId kTools[] = {
    {"zktiler", "ZKTiler", "1.7", false},
    {"zksplit", "ZKSplit", "1.7", false},
    {"zkunpack", "ZKUnpack", "1.8", false},
    {"zkunarchive", "ZKUnArchive", "1.3", false},
    {"zkarchive", "ZKArchive", "1.0", false},
    {"zkpack", "ZKPack", "1.0", true},
    {"zkbin2hex", "ZKBin2Hex", "1.10", true},
    {"zkhex2bin", "ZKHex2Bin", "1.3", true},
    {"zkextract", "ZKExtract", "1.8", true},
    {"zkbin2str", "ZKBin2Str", "1.8", false},
    {"zkbin2oth", "ZKBin2Oth", "1.0", false},
    {"zksetname", "ZKSetName", "1.0", false},
    {"zkinfo", "ZKInfo", "1.6", false},
    {"zkbin2bin", "ZKBin2Bin", "1.7", true},
    {"zkstrip", "ZKStrip", "1.8", true},
    {"zkchecksum", "ZKChecksum", "1.7", false},
    {"zkhelp", "ZKHelp", "1.12", false},
};

// The identity of a command of the table; an unknown command does not
// compile when the lookup is evaluated at compile time.
consteval const ToolId& tool(std::string_view command)
{
    for (const ToolId& t : kTools)
        if (command == t.command) return t;
    throw "unknown tool";
}

// Empty line, "<name> <version> - Vardelle v1.40", credit line with the
// build's date and time, empty line; all on standard output.
void print_banner(const ToolId& id);

// The usage text on standard output; quiet-capable tools print their
// banner first, the others printed it at entry.
void print_usage(const ToolId& id, const char* usage_text);

// ---------------------------------------------------------------------------
// Start and end of a run

// The first call of every tool's main. It holds the standard descriptors
// (hold_std_streams), and answers "--help" (the usage text) and
// "--version" (one line: name, version and suite version) given as the
// only argument, on standard output with status 0, ending the process.
void start(const ToolId& id, const char* usage_text, int argc, char** argv);

// [os] A tool started with a standard descriptor closed would hand it to
// the first file it opens, and its messages would land in that file, or
// it would read its own output as input. The closed slots are held by the
// null device, opened so that every use fails as it would have: standard
// input for writing only (a read is a read error, never an empty file),
// standard output and error for reading only (a write is a write error).
void hold_std_streams();

// [os] Standard input or output carries bytes, not text, from here on (no
// line-end translation and no end at a 0x1A byte on Windows).
void set_binary_mode(std::FILE* stream);

// The last step of every tool's main: standard output is flushed, and a
// failure to write it turns the status into 1 with its error line.
int finish(int status);

// A tool's answer to a command line it cannot read: the usage text
// (print_usage), then finish(1).
int finish_with_usage(const ToolId& id, const char* usage_text);

// ---------------------------------------------------------------------------
// Messages

// The formats are checked as the C library's printf reads them: on
// Windows that is MinGW's own printf, which knows %zu and %lld.
#if defined(__MINGW32__)
#define ZK_PRINTF_LIKE [[gnu::format(gnu_printf, 1, 2)]]
#else
#define ZK_PRINTF_LIKE [[gnu::format(printf, 1, 2)]]
#endif

// A line to standard error, formatted as printf does. Standard output is
// flushed first, so that a build log that merges the two streams shows the
// lines in the order the tool made them.
ZK_PRINTF_LIKE void eprint(const char* format, ...);

// eprint, then the status 1: "return zk::fail(...)" at the point of failure.
ZK_PRINTF_LIKE int fail(const char* format, ...);

// The suite's messages for an output that could not be written; both return 1.
int fail_output(const char* name);  // "ERROR: cannot write outputfile %s\n"
int fail_stdout();                  // "ERROR: cannot write to stdout\n"

// ---------------------------------------------------------------------------
// Files

// A stdio stream that is closed on every path.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const char* name, const char* mode);

// The named file opened for binary reading, or null after message (a
// format that takes the name) on standard error.
File open_input(const char* name, const char* message = "ERROR: cannot open inputfile %s\n");

// The named file created (replaced) in mode, or null after message.
File open_output(const char* name, const char* mode, const char* message = "ERROR: cannot open outputfile %s\n");

// Flushes and closes the stream; false when any write to it or the close
// itself failed, so that data lost on a full disk is never reported as
// written.
bool close_checked(File& f);

// Closes an output whose run failed and removes it, but only when it is a
// regular file that name still names directly: a device, a FIFO, or the
// target of a link given as the output name is never removed.
void discard_output(File& out, const char* name);

// Writes size bytes as the whole of the new or replaced file name, for a
// tool that builds its output in memory; a failed write or close removes
// the broken file (discard_output). False after the message.
bool write_whole_file(const char* name, const void* data, std::size_t size);

// [os] What makes two names the same file: the device (volume) and the
// file's number on it (inode, file index).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(std::FILE* stream);  // [os]
std::optional<FileId> file_id(const char* name);   // [os] links followed

// True, after "ERROR: outputfile %s is the inputfile\n", when name is the
// input file, however it is named (a link, another path): creating that
// output would empty the input before it has been read. Called before the
// output is created; an input read whole and closed keeps its FileId.
bool output_is_input(const std::optional<FileId>& input, const char* name);
bool output_is_input(std::FILE* input, const char* name);

enum class FileKind { Regular, Directory, Other };

std::optional<FileKind> file_kind(const char* name);  // [os] links followed; empty when it does not exist

// [os] 64-bit positions on every platform. seek returns false on failure;
// tell returns -1.
bool seek(std::FILE* stream, std::int64_t offset, int whence);
std::int64_t tell(std::FILE* stream);

// The size of an open file, its position unchanged; empty for a directory
// and for a stream without a size (a pipe, a terminal).
std::optional<std::int64_t> file_size(std::FILE* stream);

// [os] Cuts a file open for writing back to size bytes, and places the
// stream there.
bool truncate_file(std::FILE* stream, std::int64_t size);

// ---------------------------------------------------------------------------
// Buffers and whole-file reads

// A heap buffer of bytes whose allocation may fail without an exception,
// so that every tool can report "cannot allocate" in its own words.
class Buffer {
public:
    // False, and the buffer unchanged, when the memory cannot be had.
    bool resize(std::size_t size);
    std::uint8_t* data() { return bytes_.get(); }
    const std::uint8_t* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

enum class ReadAll { Ok, TooLong, ReadError, NoMemory };

// Reads the stream from its position to its end into out, in blocks, so
// that a long input costs no more than limit + 1 bytes and one read past
// the limit before TooLong.
ReadAll read_all(std::FILE* in, std::size_t limit, Buffer& out);

// Opens the file name and reads it whole with read_all, for a tool that
// works on its input in memory; id receives the file's identity, for the
// output-is-input check. Ok and TooLong print nothing (the limit means
// something different to each tool); every other result comes after its
// line: the open message, "ERROR: cannot read inputfile %s\n" or
// "ERROR: cannot allocate memory (%zu bytes)\n".
ReadAll read_input(const char* name, std::size_t limit, Buffer& out, std::optional<FileId>& id);

// ---------------------------------------------------------------------------
// Byte ranges

enum class Copy { Ok, InputEnded, ReadError, WriteError };

// Copies length bytes of the input from offset start to the output's
// position. InputEnded when the input holds fewer; the bytes before the
// end are copied. Write errors may also surface only at close_checked.
Copy copy_range(std::FILE* in, std::int64_t start, std::int64_t length, std::FILE* out);

// Copies the input from where it stands to its end, without moving it
// first, so that a pipe or a FIFO is copied as well as a file.
Copy copy_rest(std::FILE* in, std::FILE* out);

// [os] The kernel's file copy, where the platform has one, so that the
// bytes never pass through user space: copies up to length bytes of the
// input from offset start to the output's position. done when it copied
// them all or reached the input's end (copied tells how many); otherwise
// the kernel stopped or cannot copy between these two files, and the
// caller copies what is left by reading and writing. The output's stdio
// buffer must be empty.
struct KernelCopy {
    std::int64_t copied = 0;
    bool done = false;
};
KernelCopy kernel_copy(std::FILE* in, std::int64_t start, std::int64_t length, std::FILE* out);

// ---------------------------------------------------------------------------
// Numbers

// What a number beyond [min, max] gives: the nearest bound, or no number.
enum class Overflow { Saturate, Refuse };

// A signed decimal number at the start of text, read as a "%d" scan reads
// one: leading white space, an optional sign, at least one digit; what
// follows the digits is not looked at, so "12abc" reads as 12.
std::optional<std::int64_t> parse_integer(const char* text, std::int64_t min, std::int64_t max,
                                          Overflow overflow);

// The value of a hexadecimal digit (0-9, a-f, A-F), or -1 for any other character.
constexpr int hex_digit_value(unsigned char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// ---------------------------------------------------------------------------
// Lines

// Hands out the lines of a stream read as bytes, in pieces of at most one
// block: a piece ends just after a line feed or where the block ends, so
// memory stays one block whatever the length of a line. A line ends at a
// line feed; a carriage return before it is part of the line.
class LineReader {
public:
    static constexpr std::size_t kBlock = 64 * 1024;

    explicit LineReader(std::FILE* in, std::size_t block_size = kBlock);

    // The next piece; false at the end of the input and after a read
    // error, which read_failed() tells apart. A piece that does not end
    // with a line feed is followed by more of its line, unless it is the
    // input's last.
    bool next(std::string_view& piece);
    bool read_failed() const { return read_failed_; }

private:
    std::FILE* in_;
    std::unique_ptr<char[]> block_;
    std::size_t block_size_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool read_failed_ = false;
};

// ---------------------------------------------------------------------------
// Searching a stream

// Finds the first occurrence of a byte string in bytes that arrive in
// blocks of any size, such as the blocks of a file or the pieces of a
// LineReader: also an occurrence that straddles blocks, or one that begins
// inside a partial match that broke off. The time is linear in the bytes
// fed, whatever they hold; where the string's rarest byte is rare in the
// input, most bytes are passed over at the speed of memchr. An empty
// string occurs before the first byte.
class StreamSearch {
public:
    StreamSearch(const void* token, std::size_t size);
    explicit StreamSearch(std::string_view token) : StreamSearch(token.data(), token.size()) {}

    // The index in block just past the end of the first occurrence, when
    // these bytes complete it; empty before. Once the occurrence has been
    // reported, nothing more is until reset().
    std::optional<std::size_t> feed(const void* block, std::size_t size);

    // Forgets the bytes fed so far: the next byte fed is the first.
    void reset();

private:
    std::size_t step(std::uint8_t byte);
    std::optional<std::size_t> skip(const std::uint8_t* block, std::size_t size, std::size_t& at);

    std::size_t size_;
    std::unique_ptr<std::uint8_t[]> token_;
    std::unique_ptr<std::size_t[]> fallback_;  // [m]: the match left when the byte after m matched ones differs
    std::size_t rare_ = 0;                     // the token byte looked for with memchr
    std::size_t matched_ = 0;                  // token bytes matched by the last bytes fed
    std::int64_t credit_ = 0;                  // comparisons the memchr skip may still spend ahead of its progress
    bool found_ = false;
};

}  // namespace zk

// ---------------------------------------------------------------------------
// Path names

namespace zk {

// [os] The characters that end a directory part of a path name: "/" on
// POSIX systems; "/", "\\" and ":" (a drive) on Windows. The file name is
// what follows the last of them.
std::string_view path_separators();

}  // namespace zk
