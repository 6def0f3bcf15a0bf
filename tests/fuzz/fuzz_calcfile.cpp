// The calculator variable file readers on arbitrary bytes, and the writer
// read back through them. The view must give exactly the bytes at their
// offsets and a checksum only when every byte it covers is there (and then
// the plain sum of those bytes); the stream readers must agree with it, and
// so must the check of a file in memory; a written file must be valid and
// hold its data unchanged.
#include "calcfile.h"
#include "files.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// What a checksum must be for these bytes and a claimed length.
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
    require(h.is_ti() == (std::memcmp(data, "**TI", 4) == 0));
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
    require(t.file_length == static_cast<std::int64_t>(size));
    require(t.has_extension == (size >= 7));
    if (t.has_extension) require(std::memcmp(t.extension.data(), data + size - 7, 3) == 0);
}

// The view over the bytes, then the stream readers in the order the tools
// call them, with the checksum for several claimed lengths on streams left
// where those reads left them.
void check_readers(const std::uint8_t* data, std::size_t size)
{
    const zk::CalcView view{std::span(data, size)};
    const std::optional<zk::CalcHeader> h = view.header();
    require(h.has_value() == (size >= 88));
    if (h) check_header(data, *h);
    const std::optional<zk::CalcTrailer> t = view.trailer();
    require(t.has_value() == (size >= 3));
    if (t) check_trailer(data, size, *t);
    require(zk::calc_image_range(static_cast<std::int64_t>(size)).has_value() == (size >= 88));
    require(zk::calc_kind(std::span(data, size)).has_value() ==
            (size >= 8 && (std::memcmp(data, "**TI89**", 8) == 0 || std::memcmp(data, "**TI92P*", 8) == 0)));

    zk::File f(memory_file(data, size));
    zk::CalcHeader read_h;
    require(zk::read_calc_header(f.get(), read_h) == h.has_value());
    if (h) require(std::memcmp(read_h.bytes, h->bytes, 88) == 0);
    zk::CalcTrailer read_t;
    require(zk::read_calc_trailer(f.get(), read_t) == t.has_value());
    if (t) check_trailer(data, size, read_t);

    std::uint32_t claims[] = {static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size + 2),
                              static_cast<std::uint32_t>(size + 3), h ? h->size() : 0,
                              size >= 2 ? static_cast<std::uint32_t>(data[0] | data[1] << 8) : 89u};
    for (std::uint32_t claimed : claims) {
        const std::optional<std::uint16_t> expected = expected_checksum(data, size, claimed);
        require(view.checksum(claimed) == expected);
        require(zk::calc_checksum(f.get(), claimed) == expected);
        zk::File fresh(memory_file(data, size));
        if (size) std::fgetc(fresh.get());  // not at the start, as after a failed read
        require(zk::calc_checksum(fresh.get(), claimed) == expected);
    }

    // The checks of a file in memory find what those on a stream find, and
    // a custom type's content is the image between its length word and its type.
    zk::File again(memory_file(data, size));
    const zk::CalcCheckResult memory = zk::check_calc_file(std::span(data, size));
    require(memory.status == zk::check_calc_file(again.get()).status);
    const std::span<const std::uint8_t> image = size >= 88 ? std::span(data + 86, size - 88) : std::span(data, 0);
    if (const auto content = zk::calc_other_content(image, "ppg"))
        require(content->data() == image.data() + 2 && content->size() + 8 == image.size() &&
                std::memcmp(image.data() + image.size() - 5, "ppg", 3) == 0);
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

// A written file read back through the view: header fields, trailer and
// checksum, and the data unchanged.
void check_file(const zk::Buffer& out, const zk::CalcVariable& var, std::span<const std::uint8_t> data)
{
    const zk::CalcView view{std::span(out.data(), out.size())};
    require(out.size() == data.size() + 91);
    const std::optional<zk::CalcHeader> h = view.header();
    require(h && h->signature() == zk::calc_signature(var.kind));
    require(h->folder() == field(reinterpret_cast<const std::uint8_t*>(var.folder.data()), 0,
                                 std::min<std::size_t>(var.folder.size(), 8)));
    require(h->varname() == field(reinterpret_cast<const std::uint8_t*>(var.name.data()), 0,
                                  std::min<std::size_t>(var.name.size(), 8)));
    require(h->desc().empty());
    require(h->bytes[72] == var.type_id);
    require(h->size() == out.size());
    require(h->datasize() == static_cast<std::uint16_t>(data.size() + 1));
    const std::optional<zk::CalcTrailer> t = view.trailer();
    require(t && t->filetype == var.tag);
    require(view.checksum(h->size()) == t->stored_checksum);
    require(expected_checksum(out.data(), out.size(), h->size()) == t->stored_checksum);
    require(std::memcmp(out.data() + 88, data.data(), data.size()) == 0);
}

// Control bytes: flags (calculator, string or any type), the lengths of
// the folder and variable names, a type identifier and a tag; then the
// names, then the content.
void check_written(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return;
    const unsigned flags = data[0], folder_len = data[1], name_len = data[2];
    const std::uint8_t type_id = data[3], tag = data[4];
    data += 5;
    size -= 5;
    const zk::CalcKind kind = flags & 1 ? zk::CalcKind::Ti92Plus : zk::CalcKind::Ti89;
    const std::string folder = take_name(data, size, folder_len);
    const std::string name = take_name(data, size, name_len);
    const std::span<const std::uint8_t> content(data, std::min<std::size_t>(size, zk::kCalcMaxStringLength));

    zk::Buffer out;
    if (flags & 2) {
        require(zk::build_string_file(kind, folder, name, content, out) == zk::CalcBuild::Ok);
        std::string data_bytes(1, '\0');
        data_bytes.append(reinterpret_cast<const char*>(content.data()), content.size());
        data_bytes.push_back('\0');
        const std::span<const std::uint8_t> expected(reinterpret_cast<const std::uint8_t*>(data_bytes.data()),
                                                     data_bytes.size());
        check_file(out, {kind, folder, name, zk::kCalcTypeIdString, {}, zk::kCalcTagString}, expected);
        return;
    }
    // The content cut in two pieces at a place the input chooses.
    const std::size_t cut = content.empty() ? 0 : flags % content.size();
    const std::span<const std::uint8_t> pieces[] = {content.first(cut), content.subspan(cut)};
    const zk::CalcVariable var{kind, folder, name, type_id, pieces, tag};
    require(zk::build_calc_file(var, out) == zk::CalcBuild::Ok);
    check_file(out, var, content);

    // Data the data size word cannot count with its tag write nothing.
    static const std::vector<std::uint8_t> most(zk::kCalcMaxDataSize, 0);
    const std::span<const std::uint8_t> over[] = {content.first(std::min<std::size_t>(content.size(), 1)),
                                                  std::span(most).subspan(content.empty() ? 0 : 1)};
    require(zk::build_calc_file({kind, folder, name, type_id, over, tag}, out) == zk::CalcBuild::TooLong);
    require(out.size() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    check_readers(data, size);
    check_written(data, size);
    return 0;
}
