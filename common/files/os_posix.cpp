// The files layer's operating-system calls on POSIX systems.
#include "files.h"
#include "os.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

static FileKind kind_of(const struct stat& st)
{
    return S_ISREG(st.st_mode) ? FileKind::Regular : S_ISDIR(st.st_mode) ? FileKind::Directory : FileKind::Other;
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
    return kind_of(st);
}

std::optional<FileKind> file_kind(std::FILE* stream)
{
    struct stat st;
    if (fstat(fileno(stream), &st) != 0) return std::nullopt;
    return kind_of(st);
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

std::string_view path_separators()
{
    return "/";
}

bool is_device_name(std::string_view)
{
    return false;
}

namespace os {

// The name a chain of links ends at, whether or not a file is there, as the
// kernel follows them, up to its own limit of links in a row; a link that
// cannot be read ends the chain.
static std::string follow_links(std::string path)
{
    struct stat st;
    for (int hops = 0; hops < 40 && lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
        std::string link(static_cast<std::size_t>(st.st_size) + 1, '\0');
        const ssize_t n = readlink(path.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) break;
        link.resize(static_cast<std::size_t>(n));
        const std::size_t slash = path.rfind('/');
        path = link[0] == '/' || slash == std::string::npos ? link : path.substr(0, slash + 1) + link;
    }
    return path;
}

OutputPlan plan_output(const char* name)
{
    const OutputPlan in_place{false, name, std::nullopt};
    struct stat st, link;
    if (stat(name, &st) != 0) {
        if (lstat(name, &link) != 0) return {true, name, std::nullopt};  // nothing there yet
        // A link that leads nowhere yet: its file is made whole where it
        // leads, unless the chain does not end at a name free for it.
        std::string end = follow_links(name);
        return lstat(end.c_str(), &link) != 0 && errno == ENOENT ? OutputPlan{true, std::move(end), std::nullopt}
                                                                 : in_place;
    }
    // A file this run may not write is opened in place, to be refused as
    // it always was, rather than replaced behind its permissions.
    if (!S_ISREG(st.st_mode) || access(name, W_OK) != 0) return in_place;
    OutputPlan plan{true, name, static_cast<std::uint32_t>(st.st_mode & 07777)};
    if (lstat(name, &link) == 0 && S_ISLNK(link.st_mode)) {
        char* real = realpath(name, nullptr);
        if (!real) return in_place;
        plan.target = real;
        std::free(real);
    }
    return plan;
}

File create_new(const std::string& path, const char* mode, const std::optional<std::uint32_t>& keep, bool& taken)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    taken = fd < 0 && errno == EEXIST;
    if (fd < 0) return nullptr;
    if (keep) fchmod(fd, static_cast<mode_t>(*keep));
    File f(fdopen(fd, mode));
    if (!f) {
        close(fd);
        unlink(path.c_str());
    }
    return f;
}

std::optional<Place> place_of(const char* name)
{
    const std::string path = follow_links(name);
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::optional<FileId> id = file_id(directory.c_str());
    if (!id) return std::nullopt;
    return Place{*id, slash == std::string::npos ? path : path.substr(slash + 1)};
}

std::uint64_t random_seed()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_nsec) ^ static_cast<std::uint64_t>(now.tv_sec) << 20 ^
           static_cast<std::uint64_t>(getpid()) << 40;
}

bool replace_file(const std::string& staged, const std::string& target)
{
    return std::rename(staged.c_str(), target.c_str()) == 0;
}

static constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ, SIGABRT};

extern "C" void remove_guarded_and_die(int signal)
{
    remove_guarded();
    // The signal ends the process as it would have without this handler.
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void catch_fatal_signals()
{
    for (int signal : kFatalSignals) {
        struct sigaction old;
        if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action = {};
        action.sa_handler = remove_guarded_and_die;
        sigemptyset(&action.sa_mask);
        for (int other : kFatalSignals) sigaddset(&action.sa_mask, other);
        sigaction(signal, &action, nullptr);
    }
}

void remove_now(const char* path)
{
    unlink(path);
}

}  // namespace os
}  // namespace zk
