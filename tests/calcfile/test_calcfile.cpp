// The calculator variable file library in process: the writer, the readers
// over bytes and over streams, and every truncation of a file as the tools
// meet it.
#include "calc_builder.h"
#include "calcfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace zktest;
using zk::CalcKind;

namespace {

// A stream over a copy of bytes, in mode (none for no bytes).
struct MemFile {
    Bytes data;
    std::FILE* f;
    explicit MemFile(Bytes b, const char* mode = "rb")
        : data(std::move(b)), f(data.empty() ? nullptr : fmemopen(data.data(), data.size(), mode))
    {
    }
    ~MemFile()
    {
        if (f) std::fclose(f);
    }
};

Bytes bytes_of(const zk::Buffer& b) { return Bytes(b.data(), b.data() + b.size()); }

Bytes string_file(CalcKind kind, std::string_view folder, std::string_view name, const Bytes& text)
{
    zk::Buffer out;
    EXPECT_EQ(zk::build_string_file(kind, folder, name, text, out), zk::CalcBuild::Ok);
    return bytes_of(out);
}

// A 98-byte string variable file holding "hello".
Bytes hello_file() { return calc_file(string_data(zktest::bytes_of("hello"))); }

}  // namespace

TEST(BuildStringFile, WorkedExampleAbc)
{
    const Bytes f = string_file(CalcKind::Ti89, "main", "x", zktest::bytes_of("abc"));
    EXPECT_EQ(f, calc_file(string_data(zktest::bytes_of("abc"))));
    ASSERT_EQ(f.size(), 96u);
    EXPECT_EQ(std::string(f.begin() + 10, f.begin() + 18), std::string("main\0\0\0\0", 8));
    EXPECT_EQ(Bytes(f.begin() + 76, f.begin() + 80), (Bytes{0x60, 0, 0, 0}));
    EXPECT_EQ(Bytes(f.begin() + 86, f.end()), (Bytes{0x00, 0x06, 0x00, 0x61, 0x62, 0x63, 0x00, 0x2D, 0x59, 0x01}));
    EXPECT_EQ(checksum_of(f), 345u);
}

TEST(BuildStringFile, EmptyContent)
{
    const Bytes f = string_file(CalcKind::Ti89, "main", "x", {});
    ASSERT_EQ(f.size(), 93u);
    EXPECT_EQ(Bytes(f.begin() + 86, f.end()), (Bytes{0x00, 0x03, 0x00, 0x00, 0x2D, 0x30, 0x00}));
    expect_valid_calc_file(f);
}

TEST(BuildStringFile, Ti92PlusTwinDiffersOnlyInSignature)
{
    const Bytes content = zktest::bytes_of("hello, world");
    const Bytes a = string_file(CalcKind::Ti89, "games", "hello", content);
    const Bytes b = string_file(CalcKind::Ti92Plus, "games", "hello", content);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::string(b.begin(), b.begin() + 8), kSig92);
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE((i >= 4 && i <= 7) || a[i] == b[i]) << i;
    expect_valid_calc_file(b);
}

TEST(BuildStringFile, LongNamesKeepEightCharactersWithoutTerminator)
{
    const Bytes f = string_file(CalcKind::Ti89, "folder123456", "variable12", zktest::bytes_of("z"));
    EXPECT_EQ(f, calc_file(string_data(zktest::bytes_of("z")), kSig89, "folder12", "variable"));
    const std::optional<zk::CalcHeader> h = zk::CalcView{f}.header();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->folder(), "folder12");
    EXPECT_EQ(h->varname(), "variable");

    EXPECT_EQ(string_file(CalcKind::Ti89, "", "", zktest::bytes_of("z")),
              calc_file(string_data(zktest::bytes_of("z")), kSig89, "", ""));
}

TEST(BuildStringFile, PrintsNothingWhateverTheContent)
{
    const Bytes content{'a', 0, 'b', 0, 0};
    testing::internal::CaptureStderr();
    const Bytes f = string_file(CalcKind::Ti89, "main", "z", content);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(f, calc_file(string_data(content), kSig89, "main", "z"));
}

TEST(BuildStringFile, LengthLimitOfTheDataSizeWord)
{
    std::mt19937 rng(7);
    Bytes content(65532);
    for (auto& b : content) b = static_cast<std::uint8_t>(rng() | 0x80);  // the sum wraps many times
    const Bytes f = string_file(CalcKind::Ti92Plus, "main", "big", content);
    ASSERT_EQ(f.size(), 65625u);
    EXPECT_EQ(f[86], 0xFF);
    EXPECT_EQ(f[87], 0xFF);
    expect_valid_calc_file(f);

    content.push_back(1);
    zk::Buffer over;
    ASSERT_TRUE(over.resize(10));
    EXPECT_EQ(zk::build_string_file(CalcKind::Ti89, "main", "big", content, over), zk::CalcBuild::TooLong);
    EXPECT_EQ(over.size(), 0u);
}

// The same writer makes a custom type's file: its own type identifier and
// tag, and its data in pieces.
TEST(BuildCalcFile, AnyTypeIdentifierTagAndPieces)
{
    const Bytes content{1, 2, 3}, type{0, 'p', 'i', 'c', 0};
    const std::span<const std::uint8_t> data[] = {content, {}, type};
    zk::Buffer out;
    ASSERT_EQ(zk::build_calc_file({CalcKind::Ti92Plus, "pics", "pic1", zk::kCalcTypeIdOther, data, zk::kCalcTagOther},
                                  out),
              zk::CalcBuild::Ok);
    Bytes expected = calc_file({1, 2, 3, 0, 'p', 'i', 'c', 0, 0xF8}, kSig92, "pics", "pic1");
    expected[72] = 0x1C;
    EXPECT_EQ(bytes_of(out), expected);

    const std::optional<zk::CalcTrailer> t = zk::CalcView{bytes_of(out)}.trailer();
    ASSERT_TRUE(t && t->has_extension);
    EXPECT_EQ(std::string(t->extension.begin(), t->extension.end()), "pic");

    // Data and tag fill the data size word exactly, one byte more is refused.
    const Bytes most(65534, 0xF8);
    const std::span<const std::uint8_t> full[] = {most};
    ASSERT_EQ(zk::build_calc_file({.name = "x", .data = full, .tag = zk::kCalcTagOther}, out), zk::CalcBuild::Ok);
    expect_valid_calc_file(bytes_of(out));
    const std::span<const std::uint8_t> over[] = {most, std::span(most).first(1)};
    EXPECT_EQ(zk::build_calc_file({.name = "x", .data = over, .tag = zk::kCalcTagOther}, out), zk::CalcBuild::TooLong);
}

TEST(BuildOtherFile, ContentTypeAndTagUnderTheOtherTypeIdentifier)
{
    zk::Buffer out;
    ASSERT_EQ(zk::build_other_file(CalcKind::Ti92Plus, "pics", "pic1", "zka", zktest::bytes_of("abc"), out),
              zk::CalcBuild::Ok);
    EXPECT_EQ(bytes_of(out),
              calc_file(other_data(zktest::bytes_of("abc"), "zka"), kSig92, "pics", "pic1", kTypeIdOther));

    // Content, type and the three framing bytes fill the data size word.
    const std::size_t most = zk::calc_max_other_content(4);
    EXPECT_EQ(most, 65528u);
    ASSERT_EQ(zk::build_other_file(CalcKind::Ti89, "main", "x", "abcd", Bytes(most, 7), out), zk::CalcBuild::Ok);
    expect_valid_calc_file(bytes_of(out));
    EXPECT_EQ(zk::build_other_file(CalcKind::Ti89, "main", "x", "abcd", Bytes(most + 1, 7), out),
              zk::CalcBuild::TooLong);
}

// The content comes back from the memory image of what build_other_file
// wrote, under its own type only.
TEST(CalcOtherContent, MirrorOfTheWriter)
{
    for (const Bytes& content : {Bytes{}, zktest::bytes_of("ZP packed"), Bytes(300, 0)}) {
        zk::Buffer out;
        ASSERT_EQ(zk::build_other_file(CalcKind::Ti89, "main", "x", "ppg", content, out), zk::CalcBuild::Ok);
        const std::span<const std::uint8_t> image(out.data() + 86, out.size() - 88);
        const auto read = zk::calc_other_content(image, "ppg");
        ASSERT_TRUE(read);
        EXPECT_EQ(Bytes(read->begin(), read->end()), content);
        EXPECT_FALSE(zk::calc_other_content(image, "pp"));
        EXPECT_FALSE(zk::calc_other_content(image, "zka"));
    }
    const Bytes image = {0, 5, 0, 'p', 'p', 'g', 0, 0xF8};
    EXPECT_TRUE(zk::calc_other_content(image, "ppg"));
    for (std::size_t at : {2, 3, 6, 7}) {
        Bytes damaged = image;
        damaged[at] ^= 1;
        EXPECT_FALSE(zk::calc_other_content(damaged, "ppg")) << at;
    }
    EXPECT_FALSE(zk::calc_other_content(Bytes(image.begin() + 1, image.end()), "ppg"));
}

TEST(CalcNames, StoredAsTheCalculatorStoresThem)
{
    EXPECT_EQ(zk::calc_stored_name("Level_2"), "level_2");
    EXPECT_EQ(zk::calc_stored_name("ABCDEFGH"), "abcdefgh");
    EXPECT_EQ(zk::calc_stored_name("z"), "z");
    for (const char* bad : {"", "abcdefghi", "2nd", "_x", "a-b", "a b", "caf\xc3\xa9"})
        EXPECT_EQ(zk::calc_stored_name(bad), std::nullopt) << bad;

    for (const char* type : {"a", "zka", "Lvl2", "0000"}) EXPECT_TRUE(zk::calc_other_type_valid(type)) << type;
    for (const char* type : {"", "abcde", "a_b", "a.b", "a b"}) EXPECT_FALSE(zk::calc_other_type_valid(type)) << type;

    zk::CalcHeader h = *zk::CalcView{hello_file()}.header();
    h.set_folder("games");
    h.set_varname("longername");
    h.set_varname("ab");
    EXPECT_EQ(h.folder(), "games");
    EXPECT_EQ(h.varname(), "ab");
    const Bytes renamed = calc_file(string_data(zktest::bytes_of("hello")), kSig89, "games", "ab");
    EXPECT_EQ(Bytes(h.bytes, h.bytes + 88), Bytes(renamed.begin(), renamed.begin() + 88));
}

TEST(CalcKindOf, ExactSignaturesOnly)
{
    EXPECT_EQ(zk::calc_kind(zktest::bytes_of("**TI89**")), CalcKind::Ti89);
    EXPECT_EQ(zk::calc_kind(zktest::bytes_of("**TI92P*rest")), CalcKind::Ti92Plus);
    EXPECT_EQ(zk::calc_kind(zktest::bytes_of("**TI89*")), std::nullopt);
    EXPECT_EQ(zk::calc_kind(zktest::bytes_of("**TI92p*")), std::nullopt);
    EXPECT_EQ(zk::calc_kind(Bytes{'*', '*', 'T', 'I', '8', '9', '*', 0}), std::nullopt);
}

TEST(CalcFileNames, ExtensionNamesTheCalculatorExactly)
{
    EXPECT_EQ(zk::calc_name_prefix(CalcKind::Ti89), "89");
    EXPECT_EQ(zk::calc_name_prefix(CalcKind::Ti92Plus), "9x");
    EXPECT_EQ(zk::calc_kind_of_name("a.89z"), CalcKind::Ti89);
    EXPECT_EQ(zk::calc_kind_of_name("dir.9xs/prog.9xq"), CalcKind::Ti92Plus);
    EXPECT_EQ(zk::calc_kind_of_name(".89.9xs"), CalcKind::Ti92Plus);  // the last four characters count
    for (const char* name : {"", "x.89", ".89z", "prog.89", "PROG.9XZ", "prog.9Xz", "prog_89z", "-quiet"})
        EXPECT_EQ(zk::calc_kind_of_name(name), std::nullopt) << name;
}

TEST(ReadCalcHeader, NeedsAllEightyEightBytes)
{
    MemFile shorter(Bytes(87, '*'));
    zk::CalcHeader h;
    EXPECT_FALSE(zk::read_calc_header(shorter.f, h));
    EXPECT_FALSE(zk::CalcView{shorter.data}.header());

    Bytes f = calc_file(Bytes{0xF3}, kSig92, "", "prog");
    f[18] = 'D';
    f[19] = 'e';
    MemFile m(f);
    ASSERT_TRUE(zk::read_calc_header(m.f, h));
    EXPECT_EQ(h.signature(), kSig92);
    EXPECT_TRUE(h.is_ti());
    EXPECT_EQ(h.folder(), "");
    EXPECT_EQ(h.varname(), "prog");
    EXPECT_EQ(h.desc(), "De");
    EXPECT_EQ(h.size(), 91u);
    EXPECT_EQ(h.datasize(), 1u);
    const std::optional<zk::CalcHeader> v = zk::CalcView{f}.header();
    ASSERT_TRUE(v);
    EXPECT_EQ(Bytes(v->bytes, v->bytes + 88), Bytes(h.bytes, h.bytes + 88));
}

TEST(ReadCalcHeader, NumbersInTheirByteOrders)
{
    Bytes f(88, 0);
    f[76] = 0x04;
    f[77] = 0x03;
    f[78] = 0x02;
    f[79] = 0xF1;
    f[86] = 0xAB;
    f[87] = 0xCD;
    const std::optional<zk::CalcHeader> h = zk::CalcView{f}.header();
    ASSERT_TRUE(h);
    EXPECT_EQ(h->size(), 0xF1020304u);
    EXPECT_EQ(h->datasize(), 0xABCDu);
    EXPECT_FALSE(h->is_ti());
}

TEST(ReadCalcTrailer, TagChecksumExtensionAndRealLength)
{
    // One byte longer than its header says: the trailer is read from the real end.
    Bytes f = calc_file(Bytes(300, 0xFF));
    f.push_back(0x12);
    f[f.size() - 3] = 0xF3;
    f[f.size() - 2] = 0x9A;
    f[f.size() - 7] = 'e';
    MemFile m(f);
    zk::CalcTrailer t;
    ASSERT_TRUE(zk::read_calc_trailer(m.f, t));
    EXPECT_EQ(t.filetype, 0xF3);
    EXPECT_EQ(t.checksum_low, 0x9A);
    EXPECT_EQ(t.checksum_high, 0x12);
    EXPECT_EQ(t.stored_checksum, 0x129A);
    EXPECT_EQ(t.file_length, 391);
    EXPECT_TRUE(t.has_extension);
    EXPECT_EQ(std::string(t.extension.begin(), t.extension.end()), "e\xff\xff");
    const std::optional<zk::CalcTrailer> v = zk::CalcView{f}.trailer();
    ASSERT_TRUE(v);
    EXPECT_EQ(v->stored_checksum, t.stored_checksum);
    EXPECT_EQ(v->extension, t.extension);
    EXPECT_EQ(v->file_length, 391);

    // A file of 3 to 6 bytes has a trailer but no room for an extension.
    MemFile three(Bytes{0x2D, 1, 2});
    ASSERT_TRUE(zk::read_calc_trailer(three.f, t));
    EXPECT_EQ(t.stored_checksum, 0x0201);
    EXPECT_FALSE(t.has_extension);
    MemFile tiny(Bytes{1, 2});
    EXPECT_FALSE(zk::read_calc_trailer(tiny.f, t));
    EXPECT_FALSE(zk::CalcView{tiny.data}.trailer());
}

TEST(CalcTypeName, ExactlyThreeTags)
{
    EXPECT_STREQ(zk::calc_type_name(0x2D), "STR");
    EXPECT_STREQ(zk::calc_type_name(0xF3), "ASM");
    EXPECT_STREQ(zk::calc_type_name(0xF8), "OTH");
    int named = 0;
    for (int tag = 0; tag < 256; ++tag) named += zk::calc_type_name(static_cast<std::uint8_t>(tag)) != nullptr;
    EXPECT_EQ(named, 3);
}

TEST(CalcChecksum, MatchesAnIndependentSum)
{
    std::mt19937 rng(11);
    for (std::size_t n : {0, 1, 4095, 4096, 4097, 70000}) {
        Bytes data(n);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        data.push_back(0xF8);
        Bytes f = calc_file(data);
        f[f.size() - 2] ^= 0x55;  // the stored value is not read
        MemFile m(f);
        const std::uint32_t size = static_cast<std::uint32_t>(f.size());
        const std::optional<std::uint16_t> sum = zk::calc_checksum(m.f, size);
        ASSERT_TRUE(sum) << n;
        EXPECT_EQ(*sum, checksum_of(f)) << n;
        EXPECT_EQ(zk::CalcView{f}.checksum(size), sum) << n;
    }
}

TEST(CalcChecksum, StoredValueOfAWrittenFile)
{
    MemFile m(string_file(CalcKind::Ti89, "main", "x", zktest::bytes_of("abc")));
    EXPECT_EQ(zk::calc_checksum(m.f, 96), 345);
}

TEST(CalcChecksum, EmptyImageAndShortFile)
{
    MemFile m(Bytes(88, 0xFF));
    EXPECT_EQ(zk::calc_checksum(m.f, 88), 0);
    EXPECT_EQ(zk::CalcView{m.data}.checksum(88), 0);
    // A file that ends before the length given must not pass for a sum.
    EXPECT_EQ(zk::calc_checksum(m.f, 100), std::nullopt);
    EXPECT_EQ(zk::CalcView{m.data}.checksum(100), std::nullopt);
}

TEST(CalcChecksum, StreamThatCannotReachTheImage)
{
    // A memory stream of 20 bytes cannot be moved to offset 86; summing
    // two bytes from where a reader left it would pass for the checksum of
    // a 90-byte file.
    MemFile m(Bytes(20, 0x11));
    std::fgetc(m.f);
    EXPECT_EQ(zk::calc_checksum(m.f, 90), std::nullopt);
    EXPECT_EQ(zk::calc_checksum(m.f, 88), 0);
}

// A file whose stated length is its real length but shorter than a header
// and a checksum: the checksum overlaps the data size word, and nothing is
// read or written outside the file.
TEST(CalcChecksum, FilesBarelyLongerThanTheHeader)
{
    const Bytes full = hello_file();
    for (std::uint32_t n : {88u, 89u, 90u}) {
        MemFile m(Bytes(full.begin(), full.begin() + n), "rb+");
        const std::optional<std::uint16_t> sum = zk::calc_checksum(m.f, n);
        ASSERT_TRUE(sum) << n;
        EXPECT_EQ(*sum, n == 90 ? 8 : 0) << n;  // 90: the data size word 0x00 0x08
        EXPECT_TRUE(zk::write_calc_checksum(m.f, 0xBEEF));
        EXPECT_EQ(m.data[n - 2], 0xEF);
        EXPECT_EQ(m.data[n - 1], 0xBE);
    }
}

TEST(WriteCalcChecksum, LastTwoBytesLowFirstOrFailure)
{
    Bytes f = calc_file(string_data(zktest::bytes_of("abc")));
    {
        MemFile read_only(f);
        EXPECT_FALSE(zk::write_calc_checksum(read_only.f, 0x1234));
        EXPECT_EQ(read_only.data, f);
    }
    MemFile writable(f, "rb+");
    EXPECT_TRUE(zk::write_calc_checksum(writable.f, 0x1234));
    f[94] = 0x34;
    f[95] = 0x12;
    EXPECT_EQ(writable.data, f);
}

TEST(CalcImageRange, FromTheDataSizeWordThroughTheTag)
{
    EXPECT_FALSE(zk::calc_image_range(0));
    EXPECT_FALSE(zk::calc_image_range(87));
    ASSERT_TRUE(zk::calc_image_range(88));
    EXPECT_EQ(zk::calc_image_range(88)->offset, 86);
    EXPECT_EQ(zk::calc_image_range(88)->length, 0);
    EXPECT_EQ(zk::calc_image_range(5'000'000'000)->length, 4'999'999'912);
}

// What the tools meet in a file cut short at any length (and, for the
// copying tools, the whole file): zkinfo and zkchecksum read the header
// and the trailer, zkstrip the image range, zkbin2bin the signature.
TEST(CalcTruncations, EveryCutAsTheToolsReadIt)
{
    const Bytes full = hello_file();
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
        MemFile m(cut);
        zk::CalcHeader h;
        const bool have_header = m.f && zk::read_calc_header(m.f, h);
        EXPECT_EQ(have_header, n >= 88);
        EXPECT_EQ(zk::CalcView{cut}.header().has_value(), n >= 88);
        if (have_header) {
            // zkchecksum: the stated length is the whole file's, 98.
            EXPECT_EQ(h.size() == n, n == full.size());
            zk::CalcTrailer t;
            ASSERT_TRUE(zk::read_calc_trailer(m.f, t));
            EXPECT_EQ(t.file_length, static_cast<std::int64_t>(n));
            EXPECT_EQ(t.filetype, cut[n - 3]);
            // zkinfo: no cut leaves a known tag where the tag should be.
            EXPECT_EQ(zk::calc_type_name(t.filetype) != nullptr, n == full.size());
        }

        // zkstrip copies bytes 86 up to the checksum, and nothing of a
        // file without a whole header.
        const std::optional<zk::CalcRange> image = zk::calc_image_range(static_cast<std::int64_t>(n));
        EXPECT_EQ(image.has_value(), n >= 88);
        if (image) {
            char* copied = nullptr;
            std::size_t copied_size = 0;
            std::FILE* out = open_memstream(&copied, &copied_size);
            EXPECT_EQ(zk::copy_range(m.f, image->offset, image->length, out), zk::Copy::Ok);
            std::fclose(out);
            EXPECT_EQ(Bytes(copied, copied + copied_size), Bytes(cut.begin() + 86, cut.end() - 2));
            std::free(copied);
        }

        // zkbin2bin needs the whole signature.
        EXPECT_EQ(zk::calc_kind(cut), n >= 8 ? std::optional(CalcKind::Ti89) : std::nullopt);
    }
}

// The check of a file in memory finds what the check on a stream finds, at
// every cut of a file and in every way a whole file can be wrong.
TEST(CheckCalcFile, InMemoryAsOnAStream)
{
    const Bytes full = hello_file();
    std::vector<Bytes> files;
    for (std::size_t n = 0; n <= full.size(); ++n) files.emplace_back(full.begin(), full.begin() + static_cast<long>(n));
    for (std::size_t at : {0, 3, 77, 86, 90, 95, 96, 97}) {
        files.push_back(full);
        files.back()[at] ^= 0x40;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const Bytes& f = files[i];
        const zk::CalcCheckResult memory = zk::check_calc_file(f);
        MemFile m(f);
        const zk::CalcCheck stream = m.f ? zk::check_calc_file(m.f).status : zk::CalcCheck::NoHeader;
        EXPECT_EQ(memory.status, stream);
        if (memory.status == zk::CalcCheck::WrongChecksum) {
            EXPECT_EQ(memory.computed, checksum_of(f));
        }
    }
    EXPECT_EQ(zk::check_calc_file(full).status, zk::CalcCheck::Ok);
    EXPECT_EQ(zk::check_calc_file(files[90]).status, zk::CalcCheck::LengthMismatch);
    EXPECT_EQ(zk::check_calc_file(files.back()).status, zk::CalcCheck::WrongChecksum);
}
