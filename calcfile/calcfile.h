// Calculator variable files: one TI-89 or TI-92 Plus variable as the link
// software sends it. An 88-byte header, the variable's memory image (a
// big-endian data size word, then that many data bytes ending with the type
// tag) and a little-endian 16-bit checksum over the memory image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

namespace zk {

// Layout of the file. The memory image runs from kCalcImageOffset through
// the byte before the checksum; it is length - kCalcHeaderSize bytes long.
inline constexpr std::size_t kCalcHeaderSize = 88;
inline constexpr std::size_t kCalcImageOffset = 86;
inline constexpr std::size_t kCalcChecksumSize = 2;

// A string variable file is its content plus these many bytes; its data
// size word (content + 3) must fit in 16 bits.
inline constexpr std::int32_t kCalcStringOverhead = 93;
inline constexpr std::int32_t kCalcMaxStringLength = 65535 - 3;

// Type tags, the last byte of the data.
inline constexpr std::uint8_t kCalcTagString = 0x2D;
inline constexpr std::uint8_t kCalcTagAsm = 0xF3;
inline constexpr std::uint8_t kCalcTagOther = 0xF8;

enum class CalcKind { Ti89, Ti92Plus };

// "**TI89**" or "**TI92P*": eight characters, no terminator in the file.
std::string_view calc_signature(CalcKind kind);

// The first 88 bytes of a file as read, with views of its fields.
struct CalcHeader {
    std::uint8_t bytes[kCalcHeaderSize] = {};

    std::string_view signature() const { return text(0, 8, false); }
    std::string_view folder() const { return text(10, 8, true); }
    std::string_view desc() const { return text(18, 40, true); }
    std::string_view varname() const { return text(64, 8, true); }
    // Length of the whole file as the header states it (little-endian).
    std::uint32_t size() const
    {
        return bytes[76] | bytes[77] << 8 | bytes[78] << 16 | std::uint32_t{bytes[79]} << 24;
    }
    // Bytes from offset 88 through the type tag (big-endian).
    std::uint16_t datasize() const { return static_cast<std::uint16_t>(bytes[86] << 8 | bytes[87]); }

    // The field at offset of width bytes, ending early at its first 0x00
    // when stop_at_zero is set.
    std::string_view text(std::size_t offset, std::size_t width, bool stop_at_zero) const
    {
        std::string_view field(reinterpret_cast<const char*>(bytes) + offset, width);
        return stop_at_zero ? field.substr(0, field.find('\0')) : field;
    }
};

// What the last three bytes of a file say.
struct CalcTrailer {
    std::uint8_t filetype = 0;
    std::uint8_t checksum_low = 0;
    std::uint8_t checksum_high = 0;
    std::uint16_t stored_checksum = 0;
    long file_length = 0;  // the real length: the read position after the last byte
};

// Reads the 88 header bytes from the current position; false unless all arrived.
bool read_calc_header(std::FILE* in, CalcHeader& header);

// Reads the tag and the two checksum bytes at the end of the file; false
// when the file cannot be positioned there or the three bytes cannot be read.
bool read_calc_trailer(std::FILE* in, CalcTrailer& trailer);

// "STR", "ASM" or "OTH" for the three known tags, else nullptr.
const char* calc_type_name(std::uint8_t tag);

// Sum modulo 65536 of the bytes from offset 86 up to size - 2, size being
// the file's length as the caller confirmed it; 0 for a size of 88 or less.
// Empty when the stream cannot be moved to offset 86 or those bytes cannot
// all be read, so that a failed read never passes for a checksum.
std::optional<std::uint16_t> calc_checksum(std::FILE* in, std::uint32_t size);

// Writes one complete string variable file holding the length bytes of
// content, in the folder ("main" when folder is null) and under the name
// given (each field keeps the first 8 bytes). Prints a warning once per
// process at the first 0x00 content byte unless allow_zero is set. Returns
// the bytes written, length + 93, or -1 and writes nothing when the length
// is negative or above kCalcMaxStringLength. Write failures are left to the
// caller's check of the stream.
std::int32_t write_string_file(std::FILE* out, CalcKind kind, const char* folder, const char* name,
                               const std::uint8_t* content, std::int32_t length, bool allow_zero);

}  // namespace zk
