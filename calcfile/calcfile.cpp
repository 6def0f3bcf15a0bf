#include "calcfile.h"

#include <algorithm>
#include <cstring>

namespace zk {

std::string_view calc_signature(CalcKind kind)
{
    return kind == CalcKind::Ti89 ? "**TI89**" : "**TI92P*";
}

std::optional<CalcKind> calc_kind(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kCalcSignatureSize) return std::nullopt;
    const std::string_view signature(reinterpret_cast<const char*>(bytes.data()), kCalcSignatureSize);
    for (CalcKind kind : {CalcKind::Ti89, CalcKind::Ti92Plus})
        if (signature == calc_signature(kind)) return kind;
    return std::nullopt;
}

std::string_view calc_name_prefix(CalcKind kind)
{
    return kind == CalcKind::Ti89 ? "89" : "9x";
}

std::string calc_extension(CalcKind kind, char letter)
{
    return std::string(".").append(calc_name_prefix(kind)).append(1, letter);
}

std::optional<CalcKind> calc_kind_of_name(std::string_view name)
{
    if (name.size() <= kCalcExtensionSize) return std::nullopt;
    const std::string_view extension = name.substr(name.size() - kCalcExtensionSize);
    for (CalcKind kind : {CalcKind::Ti89, CalcKind::Ti92Plus})
        if (extension[0] == '.' && extension.substr(1, 2) == calc_name_prefix(kind)) return kind;
    return std::nullopt;
}

std::optional<CalcKind> calc_kind_of_flag(std::string_view flag)
{
    if (flag == "-s89") return CalcKind::Ti89;
    if (flag == "-s92") return CalcKind::Ti92Plus;
    return std::nullopt;
}

const char* calc_type_name(std::uint8_t tag)
{
    switch (tag) {
    case kCalcTagString: return "STR";
    case kCalcTagAsm: return "ASM";
    case kCalcTagOther: return "OTH";
    default: return nullptr;
    }
}

std::optional<std::string> calc_stored_name(std::string_view text)
{
    auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (text.empty() || text.size() > kCalcMaxNameLength || !is_letter(text[0])) return std::nullopt;
    std::string stored(text);
    for (char& c : stored) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        else if (!is_letter(c) && !(c >= '0' && c <= '9') && c != '_') return std::nullopt;
    }
    return stored;
}

bool calc_other_type_valid(std::string_view type)
{
    auto alnum = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    return !type.empty() && type.size() <= kCalcMaxOtherTypeSize && std::ranges::all_of(type, alnum);
}

// The first 8 bytes of text in a name field, the rest of it 0x00.
static void put_name(std::uint8_t* field, std::string_view text)
{
    std::memset(field, 0, kCalcNameSize);
    if (!text.empty()) std::memcpy(field, text.data(), std::min(text.size(), kCalcNameSize));
}

void CalcHeader::set_name(std::size_t offset, std::string_view text) { put_name(bytes + offset, text); }

std::optional<CalcHeader> calc_header(std::span<const std::uint8_t> start)
{
    if (start.size() < kCalcHeaderSize) return std::nullopt;
    CalcHeader header;
    std::memcpy(header.bytes, start.data(), kCalcHeaderSize);
    return header;
}

std::optional<CalcTrailer> calc_trailer(std::span<const std::uint8_t> end, std::int64_t length)
{
    if (end.size() < kCalcTrailerSize) return std::nullopt;
    const std::uint8_t* last = end.data() + end.size() - kCalcTrailerSize;
    CalcTrailer t;
    t.filetype = last[0];
    t.checksum_low = last[1];
    t.checksum_high = last[2];
    t.stored_checksum = static_cast<std::uint16_t>(last[1] | last[2] << 8);
    t.file_length = length;
    t.has_extension = end.size() >= kCalcTailSize;
    if (t.has_extension) std::memcpy(t.extension.data(), end.data() + end.size() - kCalcTailSize, 3);
    return t;
}

std::uint32_t calc_sum(std::span<const std::uint8_t> bytes, std::uint32_t sum)
{
    for (std::uint8_t b : bytes) sum += b;
    return sum;
}

std::optional<CalcTrailer> CalcView::trailer() const
{
    return calc_trailer(file.last(std::min(file.size(), kCalcTailSize)), static_cast<std::int64_t>(file.size()));
}

std::optional<std::uint16_t> CalcView::checksum(std::uint32_t size) const
{
    if (size <= kCalcHeaderSize) return 0;
    const std::size_t end = size - kCalcChecksumSize;
    if (file.size() < end) return std::nullopt;
    return static_cast<std::uint16_t>(calc_sum(file.subspan(kCalcImageOffset, end - kCalcImageOffset)));
}

std::optional<CalcRange> calc_image_range(std::int64_t length)
{
    if (length < static_cast<std::int64_t>(kCalcHeaderSize)) return std::nullopt;
    return CalcRange{static_cast<std::int64_t>(kCalcImageOffset), length - static_cast<std::int64_t>(kCalcHeaderSize)};
}

bool read_calc_header(std::FILE* in, CalcHeader& header)
{
    return std::fread(header.bytes, kCalcHeaderSize, 1, in) == 1;
}

bool read_calc_trailer(std::FILE* in, CalcTrailer& trailer)
{
    if (!seek(in, 0, SEEK_END)) return false;
    const std::int64_t length = tell(in);
    if (length < static_cast<std::int64_t>(kCalcTrailerSize)) return false;
    std::uint8_t end[kCalcTailSize];
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(length, kCalcTailSize));
    if (!seek(in, length - static_cast<std::int64_t>(count), SEEK_SET) || std::fread(end, 1, count, in) != count)
        return false;
    trailer = *calc_trailer(std::span(end, count), length);
    return true;
}

std::optional<std::uint16_t> calc_checksum(std::FILE* in, std::uint32_t size)
{
    const bool positioned = seek(in, static_cast<std::int64_t>(kCalcImageOffset), SEEK_SET);
    if (size <= kCalcHeaderSize) return 0;
    // A stream that cannot be moved to the image would be summed from
    // wherever it stands.
    if (!positioned) return std::nullopt;
    std::uint32_t remaining = size - static_cast<std::uint32_t>(kCalcImageOffset + kCalcChecksumSize);
    std::uint32_t sum = 0;
    std::uint8_t block[64 * 1024];
    while (remaining > 0) {
        const std::size_t want = std::min<std::size_t>(remaining, sizeof block);
        if (std::fread(block, 1, want, in) != want) return std::nullopt;
        sum = calc_sum(std::span(block, want), sum);
        remaining -= static_cast<std::uint32_t>(want);
    }
    return static_cast<std::uint16_t>(sum);
}

bool write_calc_checksum(std::FILE* file, std::uint16_t checksum)
{
    const std::uint8_t bytes[kCalcChecksumSize] = {static_cast<std::uint8_t>(checksum),
                                                   static_cast<std::uint8_t>(checksum >> 8)};
    if (!seek(file, -static_cast<std::int64_t>(kCalcChecksumSize), SEEK_END)) return false;
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes && std::fflush(file) == 0 &&
           !std::ferror(file);
}

// The checks that follow the header and the trailer, in their order;
// checksum gives the memory image's, or nothing when it cannot be read.
template <class Checksum>
static CalcCheckResult check_rest(CalcCheckResult r, std::optional<std::uint8_t> tag, Checksum checksum)
{
    auto stop = [&r](CalcCheck status) {
        r.status = status;
        return r;
    };
    if (static_cast<std::int64_t>(r.header.size()) != r.trailer.file_length) return stop(CalcCheck::LengthMismatch);
    if (tag ? r.trailer.filetype != *tag : !calc_type_name(r.trailer.filetype)) return stop(CalcCheck::UnknownType);
    const std::optional<std::uint16_t> computed = checksum(r.header.size());
    if (!computed) return stop(CalcCheck::ReadError);
    r.computed = *computed;
    return stop(*computed == r.trailer.stored_checksum ? CalcCheck::Ok : CalcCheck::WrongChecksum);
}

CalcCheckResult check_calc_file(std::FILE* file, std::optional<std::uint8_t> tag)
{
    CalcCheckResult r;
    if (!seek(file, 0, SEEK_SET) || !read_calc_header(file, r.header)) return r;
    r.status = CalcCheck::NotTi;
    if (!r.header.is_ti()) return r;
    r.status = CalcCheck::NoTrailer;
    if (!read_calc_trailer(file, r.trailer)) return r;
    return check_rest(r, tag, [file](std::uint32_t size) { return calc_checksum(file, size); });
}

CalcCheckResult check_calc_file(std::span<const std::uint8_t> file, std::optional<std::uint8_t> tag)
{
    const CalcView view{file};
    CalcCheckResult r;
    const std::optional<CalcHeader> header = view.header();
    if (!header) return r;
    r.header = *header;
    r.status = CalcCheck::NotTi;
    if (!r.header.is_ti()) return r;
    // A file of 88 bytes or more has its last three.
    r.trailer = *view.trailer();
    return check_rest(r, tag, [&view](std::uint32_t size) { return view.checksum(size); });
}

static void put_le32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

namespace {

// The bytes every file holds at the same places: after the signature, after
// the attribute byte, and the mark before the data block.
struct FixedByte {
    std::size_t offset;
    std::uint8_t value;
};

}  // namespace

static constexpr FixedByte kFixedBytes[] = {{8, 0x01}, {74, 0x03}, {80, 0xA5}, {81, 0x5A}};

CalcBuild build_calc_file(const CalcVariable& var, Buffer& out)
{
    std::size_t data_size = 0;
    for (std::span<const std::uint8_t> piece : var.data) data_size += piece.size();
    if (data_size >= kCalcMaxDataSize) {  // the tag must fit too
        out.resize(0);
        return CalcBuild::TooLong;
    }
    const std::uint16_t datasize = static_cast<std::uint16_t>(data_size + 1);
    const std::uint32_t total = datasize + kCalcFraming;
    if (!out.resize(total)) return CalcBuild::NoMemory;

    std::uint8_t* f = out.data();
    std::memset(f, 0, kCalcDataStart);
    std::memcpy(f, calc_signature(var.kind).data(), kCalcSignatureSize);
    for (const FixedByte& fixed : kFixedBytes) f[fixed.offset] = fixed.value;
    put_name(f + kCalcFolderOffset, var.folder);
    f[kCalcEntryCountOffset] = 1;
    f[kCalcDataOffsetOffset] = kCalcDataBlockOffset;
    put_name(f + kCalcVarnameOffset, var.name);
    f[kCalcTypeIdOffset] = var.type_id;
    put_le32(f + kCalcSizeOffset, total);
    f[kCalcImageOffset] = static_cast<std::uint8_t>(datasize >> 8);
    f[kCalcImageOffset + 1] = static_cast<std::uint8_t>(datasize);

    std::uint8_t* at = f + kCalcDataStart;
    for (std::span<const std::uint8_t> piece : var.data) {
        if (!piece.empty()) std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
    }
    *at++ = var.tag;
    const std::uint32_t sum = calc_sum(std::span(f + kCalcImageOffset, at));
    at[0] = static_cast<std::uint8_t>(sum);
    at[1] = static_cast<std::uint8_t>(sum >> 8);
    return CalcBuild::Ok;
}

CalcBuild build_string_file(CalcKind kind, std::string_view folder, std::string_view name,
                            std::span<const std::uint8_t> text, Buffer& out)
{
    static constexpr std::uint8_t kZero[] = {0x00};
    const std::span<const std::uint8_t> data[] = {kZero, text, kZero};
    return build_calc_file({kind, folder, name, kCalcTypeIdString, data, kCalcTagString}, out);
}

CalcBuild build_other_file(CalcKind kind, std::string_view folder, std::string_view name, std::string_view type,
                           std::span<const std::uint8_t> content, Buffer& out)
{
    static constexpr std::uint8_t kZero[] = {0x00};
    const std::span<const std::uint8_t> data[] = {
        content, kZero, {reinterpret_cast<const std::uint8_t*>(type.data()), type.size()}, kZero};
    return build_calc_file({kind, folder, name, kCalcTypeIdOther, data, kCalcTagOther}, out);
}

void carry_calc_header(const CalcHeader& from, std::span<std::uint8_t> file)
{
    const std::uint8_t* h = from.bytes;
    const auto carry = [&](std::size_t begin, std::size_t end) { std::copy(h + begin, h + end, file.begin() + begin); };
    carry(0, kCalcTypeIdOffset);
    carry(kCalcTypeIdOffset + 1, kCalcSizeOffset);
    carry(kCalcSizeOffset + kCalcSizeFieldSize, kCalcImageOffset);
}

std::optional<std::span<const std::uint8_t>> calc_other_content(std::span<const std::uint8_t> image,
                                                                std::string_view type)
{
    const std::size_t tail = type.size() + kCalcOtherExtra;
    if (image.size() < 2 + tail) return std::nullopt;
    const std::span<const std::uint8_t> end = image.last(tail);
    if (end.front() != 0x00 || !std::equal(type.begin(), type.end(), end.begin() + 1) || end[tail - 2] != 0x00 ||
        end[tail - 1] != kCalcTagOther)
        return std::nullopt;
    return image.subspan(2, image.size() - 2 - tail);
}

}  // namespace zk
