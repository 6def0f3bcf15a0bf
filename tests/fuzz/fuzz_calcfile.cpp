// The calculator variable file readers on arbitrary bytes, and the string
// file writer read back through them. The readers must give exactly the
// bytes at their offsets, a checksum only when every byte it covers was
// read (and then the plain sum of those bytes), and a written file must be
// valid and hold its content unchanged.
#include "calcfile.h"
#include "frame.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::FILE* memory_file(const std::uint8_t* data, std::size_t size)
{
    // fmemopen of zero bytes fails; an empty stream is one byte read past.
    static char empty;
    if (!size) {
        std::FILE* f = fmemopen(&empty, 1, "rb");
        std::fgetc(f);
        return f;
    }
    return fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
}

void require(bool holds)
{
    if (!holds) std::abort();
}

std::string_view field(const std::uint8_t* data, std::size_t at, std::size_t width)
{
    std::string_view f(reinterpret_cast<const char*>(data) + at, width);
    return f.substr(0, f.find('\0'));
}

// What calc_checksum must answer for a stream of these bytes and a claimed length.
std::optional<std::uint16_t> expected_checksum(const std::uint8_t* data, std::size_t size, std::uint32_t claimed)
{
    if (claimed <= 88) return 0;
    if (claimed - 2 > size) return std::nullopt;
    std::uint32_t sum = 0;
    for (std::size_t i = 86; i < claimed - 2; ++i) sum += data[i];
    return static_cast<std::uint16_t>(sum);
}

void check_header(const std::uint8_t* data, const zk::CalcHeader& h)
{
    require(std::memcmp(h.bytes, data, 88) == 0);
    require(h.signature() == std::string_view(reinterpret_cast<const char*>(data), 8));
    require(h.folder() == field(data, 10, 8));
    require(h.desc() == field(data, 18, 40));
    require(h.varname() == field(data, 64, 8));
    require(h.size() == (data[76] | data[77] << 8 | data[78] << 16 | std::uint32_t{data[79]} << 24));
    require(h.datasize() == (data[86] << 8 | data[87]));
}

void check_trailer(const std::uint8_t* data, std::size_t size, const zk::CalcTrailer& t)
{
    require(t.filetype == data[size - 3]);
    require(t.checksum_low == data[size - 2] && t.checksum_high == data[size - 1]);
    require(t.stored_checksum == (data[size - 2] | data[size - 1] << 8));
    require(t.file_length == static_cast<long>(size));
}

// The readers in the order the tools call them, then the checksum for
// several claimed lengths on streams left where those reads left them.
void check_readers(const std::uint8_t* data, std::size_t size)
{
    zk::File f(memory_file(data, size));
    zk::CalcHeader h;
    const bool have_header = zk::read_calc_header(f.get(), h);
    require(have_header == (size >= 88));
    if (have_header) check_header(data, h);

    zk::CalcTrailer t;
    const bool have_trailer = zk::read_calc_trailer(f.get(), t);
    require(have_trailer == (size >= 3));
    if (have_trailer) check_trailer(data, size, t);

    std::uint32_t claims[] = {static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size + 2),
                              static_cast<std::uint32_t>(size + 3), have_header ? h.size() : 0,
                              size >= 2 ? static_cast<std::uint32_t>(data[0] | data[1] << 8) : 89u};
    for (std::uint32_t claimed : claims) {
        require(zk::calc_checksum(f.get(), claimed) == expected_checksum(data, size, claimed));
        zk::File fresh(memory_file(data, size));
        if (size) std::fgetc(fresh.get());  // not at the start, as after a failed read
        require(zk::calc_checksum(fresh.get(), claimed) == expected_checksum(data, size, claimed));
    }
}

// Text of up to 11 bytes for a name field, taken from the input.
std::string take_name(const std::uint8_t*& data, std::size_t& size, unsigned length_byte)
{
    std::size_t n = std::min<std::size_t>(length_byte % 12, size);
    std::string s(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return s;
}

struct MemoryOutput {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* f = open_memstream(&buf, &len);
    ~MemoryOutput()
    {
        if (f) std::fclose(f);
        std::free(buf);
    }
    void close()
    {
        std::fclose(f);
        f = nullptr;
    }
};

// Control bytes: flags (calculator, folder given, zero warning allowed),
// the lengths of the folder and variable names; then the names, then the
// string's content.
void check_written(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return;
    const unsigned flags = data[0], folder_len = data[1], name_len = data[2];
    data += 3;
    size -= 3;
    const zk::CalcKind kind = flags & 1 ? zk::CalcKind::Ti92Plus : zk::CalcKind::Ti89;
    const std::string folder = take_name(data, size, folder_len);
    const std::string name = take_name(data, size, name_len);
    const std::int32_t length = static_cast<std::int32_t>(std::min<std::size_t>(size, zk::kCalcMaxStringLength));
    const char* folder_arg = flags & 2 ? folder.c_str() : nullptr;

    MemoryOutput out;
    const std::int32_t total = zk::write_string_file(out.f, kind, folder_arg, name.c_str(), data, length, flags & 4);
    out.close();
    require(total == length + 93);
    require(out.len == static_cast<std::size_t>(total));
    const auto* file = reinterpret_cast<const std::uint8_t*>(out.buf);

    zk::File in(memory_file(file, out.len));
    zk::CalcHeader h;
    require(zk::read_calc_header(in.get(), h));
    require(h.signature() == zk::calc_signature(kind));
    const std::string_view c_folder = folder_arg ? std::string_view(folder.c_str()) : "main";
    require(h.folder() == c_folder.substr(0, 8));
    require(h.varname() == std::string_view(name.c_str()).substr(0, 8));
    require(h.desc().empty());
    require(h.size() == static_cast<std::uint32_t>(total));
    require(h.datasize() == length + 3);

    zk::CalcTrailer t;
    require(zk::read_calc_trailer(in.get(), t));
    require(t.filetype == zk::kCalcTagString);
    require(t.file_length == total);
    std::optional<std::uint16_t> sum = zk::calc_checksum(in.get(), h.size());
    require(sum && *sum == t.stored_checksum && sum == expected_checksum(file, out.len, h.size()));

    require(file[88] == 0 && file[total - 4] == 0);
    require(std::memcmp(file + 89, data, static_cast<std::size_t>(length)) == 0);

    // Lengths the data size word cannot hold write nothing.
    const std::int32_t bad = flags & 8 ? -1 - static_cast<std::int32_t>(name_len)
                                       : zk::kCalcMaxStringLength + 1 + static_cast<std::int32_t>(name_len);
    MemoryOutput refused;
    require(zk::write_string_file(refused.f, kind, folder_arg, name.c_str(), data, bad, true) == -1);
    refused.close();
    require(refused.len == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    check_readers(data, size);
    check_written(data, size);
    return 0;
}
