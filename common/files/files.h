// The ground floor's second layer: files. Opening and checked closing of
// stdio streams, what makes two names the same file, 64-bit positions,
// whole-stream reads, byte-range copies, a line reader, and outputs that
// appear whole or not at all.
//
// Contract: nothing here prints a message; every routine reports by its
// result and leaves the words to the tool. The operating-system calls live
// behind the functions marked [os]: they have one body for POSIX systems
// (os_posix.cpp) and one for Windows (os_windows.cpp), so that no tool
// needs a platform test of its own.
#pragma once

#include "bytes.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zk {

// ---------------------------------------------------------------------------
// The standard streams

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

// ---------------------------------------------------------------------------
// Streams

// A stdio stream that is closed on every path.
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const char* name, const char* mode);

// Flushes and closes the stream; false when any write to it or the close
// itself failed, so that data lost on a full disk is never reported as
// written.
bool close_checked(File& f);

// [os] What makes two names the same file: the device (volume) and the
// file's number on it (inode, file index).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> file_id(std::FILE* stream);  // [os]
std::optional<FileId> file_id(const char* name);   // [os] links followed

// Whether two output names lead to one file, whether or not it is there
// yet: the same file, or, where neither is, the same name in the same
// directory once links are followed (on Windows, where a name's case does
// not matter, without regard to it).
bool same_output(const char* a, const char* b);

enum class FileKind { Regular, Directory, Other };

std::optional<FileKind> file_kind(const char* name);  // [os] links followed; empty when it does not exist
std::optional<FileKind> file_kind(std::FILE* stream);  // [os]

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
// Outputs that are whole or absent

// An output file as a build wants it: a regular file (or a name that does
// not exist yet) is written under a temporary name in the same directory
// and renamed over the output name only once every byte was written and
// the file closed without error, keeping the permission bits an existing
// output had. A failed run, or one ended by SIGINT, SIGTERM, SIGHUP,
// SIGPIPE or SIGXFSZ, removes the temporary file, so that the previous
// output stays as it was and two runs at once leave one complete file
// (SIGABRT, and an end through discard_unfinished_outputs, do so too). An
// output that is a link to a regular file replaces the link's target, and
// one that leads nowhere yet is made whole where it leads. Devices and
// FIFOs are written in place, and nothing the output did not create is
// ever removed.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    ~OutputFile() { discard(); }

    // Opens name for writing in mode ("wb", or "w" for text); false, and
    // nothing created, when it cannot be opened.
    bool open(const char* name, const char* mode);

    std::FILE* get() const { return stream_.get(); }
    explicit operator bool() const { return stream_ != nullptr; }

    // Flushes and closes the stream and puts the file in place; false, and
    // the temporary file removed, when a write, the close or the rename
    // failed (close_checked's promise).
    bool commit();

    // Closes the stream and removes the temporary file, leaving the output
    // name as it was; an output written in place keeps what it received.
    void discard();

private:
    File stream_;
    std::string target_;  // the file put in place: the output name, or the target of its link
    std::string staged_;  // the temporary file beside it; empty when written in place
    int guard_ = -1;      // its entry among the files a fatal signal removes
};

// Removes the temporary file of every OutputFile not yet committed, for a
// process that ends without running their destructors.
void discard_unfinished_outputs();

// [os] True for a file name that the system takes for a device rather than
// a file: on Windows CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9,
// with any extension and in any case; nothing on POSIX systems.
bool is_device_name(std::string_view file_name);

// ---------------------------------------------------------------------------
// Whole-stream reads

enum class ReadAll { Ok, TooLong, ReadError, NoMemory };

// Reads the stream from its position to its end into out, in blocks, so
// that a long input costs no more than limit + 1 bytes and one read past
// the limit before TooLong.
ReadAll read_all(std::FILE* in, std::size_t limit, Buffer& out);

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
// Path names

// [os] The characters that end a directory part of a path name: "/" on
// POSIX systems; "/", "\\" and ":" (a drive) on Windows.
std::string_view path_separators();

// The file name of a path: what follows the last of path_separators().
std::string_view base_name(std::string_view path);

// The file a tool names after a thing it was given the name of (a
// variable's name argument, say): the argument, which may hold a
// directory part, with extension added. The thing's own name is the
// argument's base_name.
enum class NamedFile {
    Ok,
    NoName,  // nothing after the directory part
    Device,  // the file name is a device name (is_device_name)
};
NamedFile file_named_after(std::string_view name, std::string_view extension, std::string& file);

}  // namespace zk
