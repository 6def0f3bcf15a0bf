#include "calcfile.h"

#include <algorithm>
#include <cstring>

namespace zk {

std::string_view calc_signature(CalcKind kind)
{
    return kind == CalcKind::Ti89 ? "**TI89**" : "**TI92P*";
}

bool read_calc_header(std::FILE* in, CalcHeader& header)
{
    return std::fread(header.bytes, kCalcHeaderSize, 1, in) == 1;
}

bool read_calc_trailer(std::FILE* in, CalcTrailer& trailer)
{
    if (std::fseek(in, -3, SEEK_END) != 0) return false;
    int tag = std::getc(in);
    int low = std::getc(in);
    int high = std::getc(in);
    if (tag == EOF || low == EOF || high == EOF) return false;
    trailer.filetype = static_cast<std::uint8_t>(tag);
    trailer.checksum_low = static_cast<std::uint8_t>(low);
    trailer.checksum_high = static_cast<std::uint8_t>(high);
    trailer.stored_checksum = static_cast<std::uint16_t>(low | high << 8);
    trailer.file_length = std::ftell(in);
    return trailer.file_length >= 0;
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

std::optional<std::uint16_t> calc_checksum(std::FILE* in, std::uint32_t size)
{
    const bool positioned = std::fseek(in, static_cast<long>(kCalcImageOffset), SEEK_SET) == 0;
    if (size <= kCalcHeaderSize) return 0;
    // A stream that cannot be moved to the image would be summed from
    // wherever it stands.
    if (!positioned) return std::nullopt;
    std::uint32_t remaining = size - static_cast<std::uint32_t>(kCalcImageOffset + kCalcChecksumSize);
    std::uint32_t sum = 0;
    std::uint8_t chunk[4096];
    while (remaining > 0) {
        std::size_t want = std::min<std::size_t>(remaining, sizeof chunk);
        if (std::fread(chunk, 1, want, in) != want) return std::nullopt;
        for (std::size_t i = 0; i < want; ++i) sum += chunk[i];
        remaining -= static_cast<std::uint32_t>(want);
    }
    return static_cast<std::uint16_t>(sum);
}

// Set once the 0x00 warning has been printed, for the rest of the process.
static bool zero_warning_printed = false;

// The first 8 bytes of text at field, the rest of the field left 0x00.
static void put_name(std::uint8_t* field, const char* text)
{
    std::memcpy(field, text, strnlen(text, 8));
}

std::int32_t write_string_file(std::FILE* out, CalcKind kind, const char* folder, const char* name,
                               const std::uint8_t* content, std::int32_t length, bool allow_zero)
{
    if (length < 0 || length > kCalcMaxStringLength) return -1;
    const std::uint32_t total = static_cast<std::uint32_t>(length + kCalcStringOverhead);
    const std::uint16_t datasize = static_cast<std::uint16_t>(total - 90);

    std::uint8_t header[kCalcHeaderSize + 1] = {};  // the header and the content's leading 0x00
    std::memcpy(header, calc_signature(kind).data(), 8);
    header[8] = 0x01;
    put_name(header + 10, folder ? folder : "main");
    header[58] = 1;      // entry count
    header[60] = 0x52;   // data offset
    put_name(header + 64, name);
    header[72] = 0x0C;   // type identifier of a string
    header[74] = 0x03;
    for (int i = 0; i < 4; ++i) header[76 + i] = static_cast<std::uint8_t>(total >> (8 * i));
    header[80] = 0xA5;
    header[81] = 0x5A;
    header[86] = static_cast<std::uint8_t>(datasize >> 8);
    header[87] = static_cast<std::uint8_t>(datasize);
    std::fwrite(header, 1, sizeof header, out);

    std::uint32_t sum = header[86] + header[87];
    for (std::int32_t i = 0; i < length; ++i) sum += content[i];
    if (length > 0) {
        const std::size_t count = static_cast<std::size_t>(length);
        if (!allow_zero && !zero_warning_printed && std::memchr(content, 0, count)) {
            std::fputs("WARNING: string contains 0x00: TI-Connect may truncate the string\n", stderr);
            zero_warning_printed = true;
        }
        std::fwrite(content, 1, count, out);
    }

    sum += kCalcTagString;
    const std::uint8_t trailer[] = {0x00, kCalcTagString, static_cast<std::uint8_t>(sum),
                                    static_cast<std::uint8_t>(sum >> 8)};
    std::fwrite(trailer, 1, sizeof trailer, out);
    return static_cast<std::int32_t>(total);
}

}  // namespace zk
