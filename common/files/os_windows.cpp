// The files layer's operating-system calls on Windows.
#include "files.h"
#include "os.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

// cmd.exe hands a program its wildcards as typed. Set so, the MinGW-w64
// runtime expands them before main, as a POSIX shell does, so that
// "zkarchive -s89 levels *.lvl" works there too; a pattern that matches
// nothing stays as it is.
extern "C" {
int _dowildcard = -1;
}

namespace zk {

void hold_std_streams()
{
    std::FILE* streams[] = {stdin, stdout, stderr};
    for (int fd = 0; fd <= 2; ++fd) {
        std::FILE* s = streams[fd];
        if (_fileno(s) >= 0 && _get_osfhandle(_fileno(s)) != -1) continue;
        std::freopen("NUL", fd == 0 ? "wb" : "rb", s);
    }
}

void set_binary_mode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

// The identity of what h is open on; a directory's only when asked for.
static std::optional<FileId> id_of_handle(HANDLE h, bool directory = false)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return std::nullopt;
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != directory) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber,
                  static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

static HANDLE handle_of(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

std::optional<FileId> file_id(std::FILE* stream)
{
    HANDLE h = handle_of(stream);
    if (GetFileType(h) != FILE_TYPE_DISK) return std::nullopt;
    return id_of_handle(h);
}

// The named file opened for its attributes only, sharing every access, so
// that looking at it never disturbs another user of it.
static HANDLE open_attributes(const char* name)
{
    return CreateFileA(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<FileId> file_id(const char* name)
{
    HANDLE h = open_attributes(name);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<FileId> id = GetFileType(h) == FILE_TYPE_DISK ? id_of_handle(h) : std::nullopt;
    CloseHandle(h);
    return id;
}

static FileKind kind_of_handle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info)) return FileKind::Other;
    return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::Directory : FileKind::Regular;
}

std::optional<FileKind> file_kind(const char* name)
{
    HANDLE h = open_attributes(name);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    const FileKind kind = kind_of_handle(h);
    CloseHandle(h);
    return kind;
}

std::optional<FileKind> file_kind(std::FILE* stream)
{
    HANDLE h = handle_of(stream);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    return kind_of_handle(h);
}

bool seek(std::FILE* stream, std::int64_t offset, int whence)
{
    return _fseeki64(stream, offset, whence) == 0;
}

std::int64_t tell(std::FILE* stream)
{
    return _ftelli64(stream);
}

bool truncate_file(std::FILE* stream, std::int64_t size)
{
    return std::fflush(stream) == 0 && _chsize_s(_fileno(stream), size) == 0 && seek(stream, size, SEEK_SET);
}

// Windows copies whole files only; ranges go through the caller's reads.
KernelCopy kernel_copy(std::FILE*, std::int64_t, std::int64_t, std::FILE*)
{
    return {};
}

std::string_view path_separators()
{
    return "/\\:";
}

bool is_device_name(std::string_view file_name)
{
    // The device is the name up to its first dot, with any blanks before
    // that dot: "aux", "Aux.89y", "com1 .txt".
    std::string_view stem = file_name.substr(0, file_name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    auto is = [&](std::string_view device) {
        if (stem.size() != device.size()) return false;
        for (std::size_t i = 0; i < device.size(); ++i)
            if (upper(stem[i]) != device[i]) return false;
        return true;
    };
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL"})
        if (is(device)) return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
        for (std::string_view device : {"COM", "LPT"})
            if (is(std::string(device) + stem[3])) return true;
    return false;
}

namespace os {

OutputPlan plan_output(const char* name)
{
    const std::optional<FileKind> kind = file_kind(name);
    // A read-only file is opened in place, to be refused as it always was.
    const bool read_only = kind && (GetFileAttributesA(name) & FILE_ATTRIBUTE_READONLY);
    return {!(kind && kind != FileKind::Regular) && !read_only, name, std::nullopt};
}

File create_new(const std::string& path, const char* mode, const std::optional<std::uint32_t>&, bool& taken)
{
    // Shared for deletion, so that a signal handler can remove it while it
    // is still open.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    taken = h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    const bool text = std::string_view(mode).find('b') == std::string_view::npos;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | (text ? _O_TEXT : _O_BINARY));
    if (fd < 0) {
        CloseHandle(h);
        DeleteFileA(path.c_str());
        return nullptr;
    }
    File f(_fdopen(fd, mode));
    if (!f) {
        _close(fd);
        DeleteFileA(path.c_str());
    }
    return f;
}

std::optional<Place> place_of(const char* name)
{
    // The full path settles ".", ".." and the drive's own directory.
    char full[MAX_PATH];
    char* file = nullptr;
    const DWORD n = GetFullPathNameA(name, MAX_PATH, full, &file);
    if (n == 0 || n >= MAX_PATH || !file) return std::nullopt;
    std::string lower(file);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    *file = '\0';
    HANDLE h = open_attributes(full);
    const std::optional<FileId> id = id_of_handle(h, true);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!id) return std::nullopt;
    return Place{*id, lower};
}

std::uint64_t random_seed()
{
    std::uint64_t seed = GetTickCount64() ^ static_cast<std::uint64_t>(GetCurrentProcessId()) << 32;
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter)) seed ^= static_cast<std::uint64_t>(counter.QuadPart) << 7;
    return seed;
}

bool replace_file(const std::string& staged, const std::string& target)
{
    // Another program that has the target open (a second run replacing
    // it, a virus scanner, an indexer) holds the rename off for a moment:
    // it is tried again for about a second before it counts as failed.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(staged.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 50) return false;
        Sleep(20);
    }
}

static constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGBREAK, SIGABRT};

extern "C" void remove_guarded_and_die(int signal)
{
    remove_guarded();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void catch_fatal_signals()
{
    for (int signal : kFatalSignals) {
        void (*old)(int) = std::signal(signal, remove_guarded_and_die);
        if (old != SIG_DFL) std::signal(signal, old);
    }
}

void remove_now(const char* path)
{
    // The staged file was opened shared for deletion, so this works while
    // it is still open; it goes when its last handle closes.
    DeleteFileA(path);
}

}  // namespace os
}  // namespace zk
