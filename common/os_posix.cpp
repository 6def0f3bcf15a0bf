// The frame's operating-system calls on POSIX systems.
#include "frame.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace zk {

void hold_std_streams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        // The lowest free descriptor is the closed one.
        int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held != fd && held >= 0) close(held);
    }
}

void set_binary_mode(std::FILE*) {}

static FileId id_of(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FileId> file_id(std::FILE* stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return id_of(st);
}

std::optional<FileId> file_id(const char* name)
{
    struct stat st;
    if (stat(name, &st) != 0) return std::nullopt;
    return id_of(st);
}

std::optional<FileKind> file_kind(const char* name)
{
    struct stat st;
    if (stat(name, &st) != 0) return std::nullopt;
    return S_ISREG(st.st_mode) ? FileKind::Regular : S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
}

void discard_output(File& out, const char* name)
{
    struct stat written, named;
    const bool regular = out && fstat(fileno(out.get()), &written) == 0 && S_ISREG(written.st_mode);
    out.reset();
    // lstat: a link given as the output name is not what was written.
    if (regular && lstat(name, &named) == 0 && S_ISREG(named.st_mode) && id_of(named) == id_of(written))
        std::remove(name);
}

bool seek(std::FILE* stream, std::int64_t offset, int whence)
{
    return fseeko(stream, static_cast<off_t>(offset), whence) == 0;
}

std::int64_t tell(std::FILE* stream)
{
    return static_cast<std::int64_t>(ftello(stream));
}

bool truncate_file(std::FILE* stream, std::int64_t size)
{
    return std::fflush(stream) == 0 && ftruncate(fileno(stream), static_cast<off_t>(size)) == 0 &&
           seek(stream, size, SEEK_SET);
}

#if defined(__linux__)
KernelCopy kernel_copy(std::FILE* in, std::int64_t start, std::int64_t length, std::FILE* out)
{
    KernelCopy k;
    const int out_fd = fileno(out);
    loff_t from = start;
    while (k.copied < length) {
        const std::int64_t left = length - k.copied;
        const ssize_t n = copy_file_range(fileno(in), &from, out_fd, nullptr,
                                          static_cast<std::size_t>(left < (1 << 30) ? left : 1 << 30), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;  // another file system, a device, no support: the caller reads and writes
        if (n == 0) {
            k.done = true;  // the input's end
            break;
        }
        k.copied += n;
    }
    if (k.copied == length) k.done = true;
    // The kernel moved the output's descriptor; the stream follows it.
    if (k.copied > 0) seek(out, static_cast<std::int64_t>(lseek(out_fd, 0, SEEK_CUR)), SEEK_SET);
    return k;
}
#else
KernelCopy kernel_copy(std::FILE*, std::int64_t, std::int64_t, std::FILE*)
{
    return {};
}
#endif

}  // namespace zk

// Added for zksplit's piece names.
namespace zk {

std::string_view path_separators()
{
    return "/";
}

}  // namespace zk
