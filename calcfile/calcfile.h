// Calculator variable files: one TI-89 or TI-92 Plus variable as the link
// software sends it. An 88-byte header, the variable's memory image (a
// big-endian data size word, then that many data bytes ending with the type
// tag) and a little-endian 16-bit checksum over the memory image.
//
// Contract: the readers take bytes in memory (a whole file, or its first and
// last bytes) and the writer builds a whole file in memory; none of them
// prints anything or touches the console. The few routines that take a
// stream read or patch a file whose length is not bounded, so that no tool
// has to hold such a file whole; they report failure by their result and
// leave the messages to the tool.
#pragma once

#include "files.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zk {

// ---------------------------------------------------------------------------
// Layout

// The header, and where its fields lie.
inline constexpr std::size_t kCalcHeaderSize = 88;
inline constexpr std::size_t kCalcSignatureSize = 8;
inline constexpr std::size_t kCalcFolderOffset = 10;
inline constexpr std::size_t kCalcNameSize = 8;  // folder and variable name
inline constexpr std::size_t kCalcDescOffset = 18;
inline constexpr std::size_t kCalcDescSize = 40;
inline constexpr std::size_t kCalcEntryCountOffset = 58;
inline constexpr std::size_t kCalcDataOffsetOffset = 60;  // 4 bytes, little-endian: kCalcDataBlockOffset
inline constexpr std::size_t kCalcVarnameOffset = 64;
inline constexpr std::size_t kCalcTypeIdOffset = 72;
inline constexpr std::size_t kCalcSizeOffset = 76;  // the whole file's length, little-endian
inline constexpr std::size_t kCalcSizeFieldSize = 4;
inline constexpr std::size_t kCalcDataBlockOffset = 82;  // four 0x00 bytes, then the memory image
inline constexpr std::size_t kCalcImageOffset = 86;  // the data size word, first byte of the memory image
inline constexpr std::size_t kCalcDataStart = 88;    // the data, after the data size word

// The checksum closes the file; with the header it is all of a file that
// is not its memory image, so an image is length - kCalcHeaderSize bytes.
inline constexpr std::size_t kCalcChecksumSize = 2;

// The file's length is its data size plus this: the header before the data
// size word, the word itself and the checksum.
inline constexpr std::uint32_t kCalcFraming = kCalcImageOffset + 2 + kCalcChecksumSize;  // 90

// The data size word counts the data with its tag, so this much at most.
inline constexpr std::uint32_t kCalcMaxDataSize = 0xFFFF;

// The last bytes of a file that the readers look at: an OTH variable's
// extension (7, 6 and 5 bytes before the end), the type tag and the checksum.
inline constexpr std::size_t kCalcTailSize = 7;
inline constexpr std::size_t kCalcTrailerSize = 3;  // tag and checksum

// The header's type identifiers of the variables the suite writes.
inline constexpr std::uint8_t kCalcTypeIdString = 0x0C;
inline constexpr std::uint8_t kCalcTypeIdOther = 0x1C;
inline constexpr std::uint8_t kCalcTypeIdAsm = 0x21;  // a program in machine code

// Type tags, the last byte of the data.
inline constexpr std::uint8_t kCalcTagString = 0x2D;
inline constexpr std::uint8_t kCalcTagAsm = 0xF3;
inline constexpr std::uint8_t kCalcTagOther = 0xF8;

// A string variable's data: 0x00, the string, 0x00, the tag. So a file is
// its string plus 93 bytes, and a string holds at most 65532.
inline constexpr std::int32_t kCalcStringOverhead = static_cast<std::int32_t>(kCalcFraming) + 3;
inline constexpr std::int32_t kCalcMaxStringLength = static_cast<std::int32_t>(kCalcMaxDataSize) - 3;

// A custom type's (OTH) data: the content, 0x00, the type's name of 1 to 4
// letters or digits, 0x00, the tag 0xF8. The calculator shows the type;
// readers take the three bytes before the 0x00 that precedes the tag.
inline constexpr std::size_t kCalcMaxOtherTypeSize = 4;

inline constexpr std::string_view kCalcDefaultFolder = "main";

// The calculator's rule for the names of variables and folders, in words.
inline constexpr char kCalcNameRule[] = "1 to 8 characters: a letter, then letters, digits or _";

// The calculator's names of variables and folders: 1 to 8 characters, a
// letter first, then letters, digits or "_", stored in lower case.
inline constexpr std::size_t kCalcMaxNameLength = 8;

enum class CalcKind { Ti89, Ti92Plus };

// "**TI89**" or "**TI92P*": eight characters, no terminator in the file.
std::string_view calc_signature(CalcKind kind);

// The calculator whose signature the first 8 of bytes are; empty for any
// other bytes and for fewer than 8.
std::optional<CalcKind> calc_kind(std::span<const std::uint8_t> bytes);

// A file's name ends in a dot, the calculator's prefix and one letter for
// the kind of variable: ".89s", ".9xz".
inline constexpr std::size_t kCalcExtensionSize = 4;

// "89" or "9x".
std::string_view calc_name_prefix(CalcKind kind);

// The extension of a variable's file: ".", the prefix and the letter of
// the kind of variable (".89y", ".9xs").
std::string calc_extension(CalcKind kind, char letter);

// The calculator that the last four characters of name name: ".89" or
// ".9x" and any letter, exactly; empty for other names and for names of
// four characters or fewer.
std::optional<CalcKind> calc_kind_of_name(std::string_view name);

// The calculator a writer's command-line flag names: "-s89" or "-s92";
// empty for any other text.
std::optional<CalcKind> calc_kind_of_flag(std::string_view flag);

// "STR", "ASM" or "OTH" for the three known tags, else nullptr.
const char* calc_type_name(std::uint8_t tag);

// text as the calculator stores a variable or folder name (upper-case
// letters in lower case); empty when it is not such a name.
std::optional<std::string> calc_stored_name(std::string_view text);

// True for a custom type's name: 1 to 4 ASCII letters or digits.
bool calc_other_type_valid(std::string_view type);

// A custom type's file is its content and type name plus the framing and
// these: the two 0x00 bytes and the tag.
inline constexpr std::size_t kCalcOtherExtra = 3;

constexpr std::size_t calc_other_file_size(std::size_t content_size, std::size_t type_size)
{
    return content_size + type_size + kCalcFraming + kCalcOtherExtra;
}

// The longest content a variable of a custom type of type_size characters
// holds: what the data size word counts, less the type and the extra bytes.
constexpr std::size_t calc_max_other_content(std::size_t type_size)
{
    return kCalcMaxDataSize - kCalcOtherExtra - type_size;
}

// The longest file the data size word allows: 65625 bytes.
inline constexpr std::size_t kCalcMaxFileSize = kCalcMaxDataSize + kCalcFraming;

// ---------------------------------------------------------------------------
// Reading

// The first 88 bytes of a file, with views of its fields.
struct CalcHeader {
    std::uint8_t bytes[kCalcHeaderSize] = {};

    std::string_view signature() const { return text(0, kCalcSignatureSize, false); }
    std::string_view folder() const { return text(kCalcFolderOffset, kCalcNameSize, true); }
    std::string_view desc() const { return text(kCalcDescOffset, kCalcDescSize, true); }
    std::string_view varname() const { return text(kCalcVarnameOffset, kCalcNameSize, true); }
    // The readers take any signature that begins so.
    bool is_ti() const { return signature().starts_with("**TI"); }
    // Length of the whole file as the header states it (little-endian).
    std::uint32_t size() const
    {
        const std::uint8_t* s = bytes + kCalcSizeOffset;
        return s[0] | s[1] << 8 | s[2] << 16 | std::uint32_t{s[3]} << 24;
    }
    // Bytes from offset 88 through the type tag (big-endian).
    std::uint16_t datasize() const
    {
        return static_cast<std::uint16_t>(bytes[kCalcImageOffset] << 8 | bytes[kCalcImageOffset + 1]);
    }
    std::uint8_t type_id() const { return bytes[kCalcTypeIdOffset]; }

    // A name field set to the first 8 bytes of text, 0x00 after them.
    void set_folder(std::string_view text) { set_name(kCalcFolderOffset, text); }
    void set_varname(std::string_view text) { set_name(kCalcVarnameOffset, text); }
    void set_name(std::size_t offset, std::string_view text);

    // The field at offset of width bytes, ending early at its first 0x00
    // when stop_at_zero is set.
    std::string_view text(std::size_t offset, std::size_t width, bool stop_at_zero) const
    {
        std::string_view field(reinterpret_cast<const char*>(bytes) + offset, width);
        return stop_at_zero ? field.substr(0, field.find('\0')) : field;
    }
};

// What the last bytes of a file say.
struct CalcTrailer {
    std::uint8_t filetype = 0;
    std::uint8_t checksum_low = 0;
    std::uint8_t checksum_high = 0;
    std::uint16_t stored_checksum = 0;
    std::int64_t file_length = 0;  // the real length of the file
    // An OTH variable's custom type: the three bytes 7, 6 and 5 before the
    // end; there when the file has 7 bytes or more.
    bool has_extension = false;
    std::array<char, 3> extension = {};
};

// The header at the start of bytes; empty when they are fewer than 88.
std::optional<CalcHeader> calc_header(std::span<const std::uint8_t> start);

// The trailer of a file of length bytes whose last bytes are end (as many
// as the file has, up to kCalcTailSize); empty when they are fewer than 3.
std::optional<CalcTrailer> calc_trailer(std::span<const std::uint8_t> end, std::int64_t length);

// Adds bytes to a checksum being gathered; its low 16 bits are the checksum.
std::uint32_t calc_sum(std::span<const std::uint8_t> bytes, std::uint32_t sum = 0);

// A calculator variable file held whole in memory.
struct CalcView {
    std::span<const std::uint8_t> file;

    std::optional<CalcHeader> header() const { return calc_header(file); }
    std::optional<CalcTrailer> trailer() const;
    // The checksum of the memory image of a file that is size bytes long
    // (bytes 86 up to size - 2), size being the length the caller
    // confirmed: 0 for a size of 88 or less, empty when the file holds
    // fewer bytes than size - 2.
    std::optional<std::uint16_t> checksum(std::uint32_t size) const;
};

// Where the memory image of a file of length bytes lies: from offset 86,
// length - 88 bytes (through the type tag); empty below 88 bytes.
struct CalcRange {
    std::int64_t offset;
    std::int64_t length;
};
std::optional<CalcRange> calc_image_range(std::int64_t length);

// ---------------------------------------------------------------------------
// Streams, for files of any length

// Reads the 88 header bytes from the current position; false unless all arrived.
bool read_calc_header(std::FILE* in, CalcHeader& header);

// Reads the last bytes of the file; false when the stream cannot be
// positioned there (a pipe) or the file has fewer than 3 bytes.
bool read_calc_trailer(std::FILE* in, CalcTrailer& trailer);

// calc_checksum of a file on a stream. Empty also when the stream cannot
// be moved to offset 86 or a read fails, so that a failed read never
// passes for a checksum.
std::optional<std::uint16_t> calc_checksum(std::FILE* in, std::uint32_t size);

// Writes checksum into the last two bytes of a file open for update, low
// byte first, and flushes it; false when the bytes did not reach the file.
bool write_calc_checksum(std::FILE* file, std::uint16_t checksum);

// The checks a file must pass before a tool trusts it as a variable file,
// in the order they are made; each result names the first that failed.
enum class CalcCheck {
    Ok,
    NoHeader,        // fewer than 88 bytes
    NotTi,           // the signature does not begin "**TI"
    NoTrailer,       // the end cannot be read (a pipe, fewer than 3 bytes)
    LengthMismatch,  // the header's size is not the file's real length
    UnknownType,     // the tag is none of STR, ASM and OTH (or not the one tag asked for)
    ReadError,       // the data could not be read for the checksum
    WrongChecksum,   // the stored checksum is not the one computed
};

struct CalcCheckResult {
    CalcCheck status = CalcCheck::NoHeader;
    CalcHeader header;      // read from NotTi on
    CalcTrailer trailer;    // read from LengthMismatch on
    std::uint16_t computed = 0;  // the checksum of the memory image, from WrongChecksum on
};

// Checks the file on the stream from its start, as zkchecksum does. The
// stream's position is left anywhere. A tool that reads a variable of
// another type names its tag, which is then the one accepted.
CalcCheckResult check_calc_file(std::FILE* file, std::optional<std::uint8_t> tag = std::nullopt);

// The same checks of a whole file held in memory; NoTrailer and ReadError
// cannot happen there.
CalcCheckResult check_calc_file(std::span<const std::uint8_t> file, std::optional<std::uint8_t> tag = std::nullopt);

// ---------------------------------------------------------------------------
// Writing

// One variable as the writer takes it. Its data, the bytes between the
// data size word and the tag, come in pieces that are written in order, so
// that the bytes a type puts around its content need no copy of it.
struct CalcVariable {
    CalcKind kind = CalcKind::Ti89;
    std::string_view folder = kCalcDefaultFolder;  // the header keeps the first 8 bytes
    std::string_view name;                          // the same
    std::uint8_t type_id = 0;
    std::span<const std::span<const std::uint8_t>> data;
    std::uint8_t tag = 0;
};

enum class CalcBuild { Ok, TooLong, NoMemory };

// The whole file of var in out: header, data size word, data, tag and
// checksum. TooLong, and out empty, when the data and tag exceed what the
// data size word counts (65535 bytes).
CalcBuild build_calc_file(const CalcVariable& var, Buffer& out);

// A string variable: 0x00, the text, 0x00 and the tag 0x2D, under the
// type identifier 0x0C; a file of text's length + 93 bytes.
CalcBuild build_string_file(CalcKind kind, std::string_view folder, std::string_view name,
                            std::span<const std::uint8_t> text, Buffer& out);

// A variable of a custom type: the content, 0x00, type, 0x00 and the tag
// 0xF8, under the type identifier 0x1C; a file of content's length +
// type's length + 93 bytes. type is taken as it is (calc_other_type_valid
// is the caller's check).
CalcBuild build_other_file(CalcKind kind, std::string_view folder, std::string_view name, std::string_view type,
                           std::span<const std::uint8_t> content, Buffer& out);

// Gives a built file the header of another variable: every byte before
// the memory image (names, description, attribute and the rest) but those
// the file fixes itself, its type identifier and its length. The file is at
// least kCalcImageOffset bytes long; its checksum, over the image, holds.
void carry_calc_header(const CalcHeader& from, std::span<std::uint8_t> file);

// The content of a custom type's variable of the type type, read back from
// its memory image (data size word, data, tag) as build_other_file lays it
// out; empty when the image does not end with 0x00, type, 0x00 and 0xF8.
std::optional<std::span<const std::uint8_t>> calc_other_content(std::span<const std::uint8_t> image,
                                                                std::string_view type);

}  // namespace zk
