#include "files.h"

#include "os.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zk {

File open_file(const char* name, const char* mode)
{
    return File(std::fopen(name, mode));
}

bool close_checked(File& f)
{
    std::FILE* stream = f.release();
    if (!stream) return false;
    bool ok = std::fflush(stream) == 0 && !std::ferror(stream);
    return std::fclose(stream) == 0 && ok;
}

bool same_output(const char* a, const char* b)
{
    if (std::strcmp(a, b) == 0) return true;
    const std::optional<FileId> id_a = file_id(a), id_b = file_id(b);
    if (id_a || id_b) return id_a == id_b;
    const std::optional<os::Place> place_a = os::place_of(a);
    return place_a && place_a == os::place_of(b);
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

std::string_view base_name(std::string_view path)
{
    const std::size_t cut = path.find_last_of(path_separators());
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

NamedFile file_named_after(std::string_view name, std::string_view extension, std::string& file)
{
    if (base_name(name).empty()) return NamedFile::NoName;
    file.assign(name).append(extension);
    return is_device_name(base_name(file)) ? NamedFile::Device : NamedFile::Ok;
}

namespace os {

File create_staged(const std::string& target, const char* mode, const std::optional<std::uint32_t>& keep,
                   std::string& staged, int& guarded)
{
    // ".<name>.<six letters>" beside the target: hidden from listings, and
    // on the target's file system, so that the rename is one step.
    const std::string_view name = base_name(target);
    const std::string dir(target.substr(0, target.size() - name.size()));
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t seed = random_seed();
    for (int attempt = 0; attempt < 100; ++attempt) {
        staged = dir + "." + std::string(name.substr(0, 200)) + ".";
        for (int i = 0; i < 6; ++i) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            staged += kLetters[(seed >> 33) % (sizeof kLetters - 1)];
        }
        // Guarded before it is made, so that no signal finds it made and
        // not yet guarded.
        guarded = guard(staged);
        bool taken = false;
        if (File f = create_new(staged, mode, keep, taken)) return f;
        unguard(std::exchange(guarded, -1));
        if (!taken) return nullptr;
    }
    return nullptr;
}

// The files a fatal signal removes: copies of their names, so that the
// handler reads nothing that may be freed under it.
static constexpr int kGuards = 8;
static std::atomic<char*> g_guarded[kGuards];

int guard(const std::string& path)
{
    static bool caught = false;
    if (!caught) {
        catch_fatal_signals();
        caught = true;
    }
    for (int i = 0; i < kGuards; ++i) {
        if (g_guarded[i].load()) continue;
        auto* copy = static_cast<char*>(std::malloc(path.size() + 1));
        if (!copy) return -1;
        std::memcpy(copy, path.c_str(), path.size() + 1);
        g_guarded[i].store(copy);
        return i;
    }
    return -1;
}

void unguard(int guard)
{
    if (guard >= 0) std::free(g_guarded[guard].exchange(nullptr));
}

void remove_guarded()
{
    for (std::atomic<char*>& slot : g_guarded)
        if (const char* path = slot.load()) remove_now(path);
}

}  // namespace os

void discard_unfinished_outputs() { os::remove_guarded(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : stream_(std::move(other.stream_)),
      target_(std::move(other.target_)),
      staged_(std::move(other.staged_)),
      guard_(std::exchange(other.guard_, -1))
{
    other.staged_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        discard();
        stream_ = std::move(other.stream_);
        target_ = std::move(other.target_);
        staged_ = std::move(other.staged_);
        guard_ = std::exchange(other.guard_, -1);
        other.staged_.clear();
    }
    return *this;
}

bool OutputFile::open(const char* name, const char* mode)
{
    discard();
    os::OutputPlan plan = os::plan_output(name);
    if (!plan.staged) {
        stream_ = open_file(name, mode);
        return stream_ != nullptr;
    }
    target_ = std::move(plan.target);
    stream_ = os::create_staged(target_, mode, plan.keep, staged_, guard_);
    if (stream_) return true;
    // A directory this run may not add to still lets it write a file
    // that is there: in place, as it always could.
    staged_.clear();
    stream_ = open_file(name, mode);
    return stream_ != nullptr;
}

bool OutputFile::commit()
{
    if (!stream_) return false;
    const bool written = close_checked(stream_);
    if (staged_.empty()) return written;
    if (!written || !os::replace_file(staged_, target_)) {
        discard();
        return false;
    }
    os::unguard(std::exchange(guard_, -1));
    staged_.clear();
    return true;
}

void OutputFile::discard()
{
    stream_.reset();
    if (!staged_.empty()) std::remove(staged_.c_str());
    os::unguard(std::exchange(guard_, -1));
    staged_.clear();
}

}  // namespace zk
