// The frame's operating-system calls on Windows.
#include "frame.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

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

static std::optional<FileId> id_of_handle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return std::nullopt;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
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

std::optional<FileKind> file_kind(const char* name)
{
    HANDLE h = open_attributes(name);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info;
    FileKind kind = FileKind::Other;
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info))
        kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::Directory : FileKind::Regular;
    CloseHandle(h);
    return kind;
}

void discard_output(File& out, const char* name)
{
    const std::optional<FileId> written = out ? file_id(out.get()) : std::nullopt;
    out.reset();
    const DWORD attributes = GetFileAttributesA(name);
    const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (written && !link && file_id(name) == written) std::remove(name);
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

}  // namespace zk

// Added for zksplit's piece names.
namespace zk {

std::string_view path_separators()
{
    return "/\\:";
}

}  // namespace zk
