#include "calc_builder.h"
#include "calcfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

using namespace zktest;
using zk::CalcKind;

namespace {

// A read-only stream over a copy of bytes.
struct MemFile {
    Bytes data;
    std::FILE* f;
    explicit MemFile(Bytes b) : data(std::move(b)), f(fmemopen(data.data(), data.size(), "rb")) {}
    ~MemFile() { std::fclose(f); }
};

struct Written {
    std::int32_t result;
    Bytes bytes;
    std::string err;
};

Written write_string(CalcKind kind, const char* folder, const char* name, const Bytes& content,
                     bool allow_zero = true)
{
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* f = open_memstream(&buf, &len);
    testing::internal::CaptureStderr();
    Written w;
    w.result = zk::write_string_file(f, kind, folder, name, content.data(),
                                     static_cast<std::int32_t>(content.size()), allow_zero);
    w.err = testing::internal::GetCapturedStderr();
    std::fclose(f);
    w.bytes.assign(buf, buf + len);
    std::free(buf);
    return w;
}

}  // namespace

TEST(WriteStringFile, WorkedExampleAbc)
{
    Written w = write_string(CalcKind::Ti89, nullptr, "x", bytes_of("abc"));
    EXPECT_EQ(w.result, 96);
    EXPECT_EQ(w.err, "");
    EXPECT_EQ(w.bytes, calc_file(string_data(bytes_of("abc"))));
    ASSERT_EQ(w.bytes.size(), 96u);
    EXPECT_EQ(std::string(w.bytes.begin() + 10, w.bytes.begin() + 18), std::string("main\0\0\0\0", 8));
    EXPECT_EQ(Bytes(w.bytes.begin() + 76, w.bytes.begin() + 80), (Bytes{0x60, 0, 0, 0}));
    EXPECT_EQ(Bytes(w.bytes.begin() + 86, w.bytes.end()),
              (Bytes{0x00, 0x06, 0x00, 0x61, 0x62, 0x63, 0x00, 0x2D, 0x59, 0x01}));
    EXPECT_EQ(checksum_of(w.bytes), 345u);
}

TEST(WriteStringFile, EmptyContent)
{
    Written w = write_string(CalcKind::Ti89, nullptr, "x", {});
    EXPECT_EQ(w.result, 93);
    EXPECT_EQ(Bytes(w.bytes.begin() + 86, w.bytes.end()), (Bytes{0x00, 0x03, 0x00, 0x00, 0x2D, 0x30, 0x00}));
    expect_valid_calc_file(w.bytes);
}

TEST(WriteStringFile, Ti92PlusTwinDiffersOnlyInSignature)
{
    Bytes content = bytes_of("hello, world");
    Written a = write_string(CalcKind::Ti89, "games", "hello", content);
    Written b = write_string(CalcKind::Ti92Plus, "games", "hello", content);
    ASSERT_EQ(a.bytes.size(), b.bytes.size());
    EXPECT_EQ(std::string(b.bytes.begin(), b.bytes.begin() + 8), kSig92);
    for (std::size_t i = 0; i < a.bytes.size(); ++i)
        EXPECT_TRUE((i >= 4 && i <= 7) || a.bytes[i] == b.bytes[i]) << i;
    expect_valid_calc_file(b.bytes);
}

TEST(WriteStringFile, LongNamesKeepEightCharactersWithoutTerminator)
{
    Written w = write_string(CalcKind::Ti89, "folder123456", "variable12", bytes_of("z"));
    EXPECT_EQ(w.bytes, calc_file(string_data(bytes_of("z")), kSig89, "folder12", "variable"));
    MemFile m(w.bytes);
    zk::CalcHeader h;
    ASSERT_TRUE(zk::read_calc_header(m.f, h));
    EXPECT_EQ(h.folder(), "folder12");
    EXPECT_EQ(h.varname(), "variable");

    Written empty = write_string(CalcKind::Ti89, "", "", bytes_of("z"));
    EXPECT_EQ(empty.bytes, calc_file(string_data(bytes_of("z")), kSig89, "", ""));
}

TEST(WriteStringFile, ZeroWarningOncePerProcessAndSameBytes)
{
    Bytes content{'a', 0, 'b', 0, 0};
    Written quiet = write_string(CalcKind::Ti89, nullptr, "z", content, true);
    EXPECT_EQ(quiet.err, "");
    Written warned = write_string(CalcKind::Ti89, nullptr, "z", content, false);
    EXPECT_EQ(warned.err, "WARNING: string contains 0x00: TI-Connect may truncate the string\n");
    Written again = write_string(CalcKind::Ti89, nullptr, "z", content, false);
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(quiet.bytes, warned.bytes);
    EXPECT_EQ(quiet.bytes, again.bytes);
    EXPECT_EQ(quiet.bytes, calc_file(string_data(content), kSig89, "main", "z"));
}

TEST(WriteStringFile, LengthLimitOfTheDataSizeWord)
{
    std::mt19937 rng(7);
    Bytes content(65532);
    for (auto& b : content) b = static_cast<std::uint8_t>(rng() | 0x80);  // sum wraps many times
    Written w = write_string(CalcKind::Ti92Plus, nullptr, "big", content);
    EXPECT_EQ(w.result, 65625);
    EXPECT_EQ(w.bytes[86], 0xFF);
    EXPECT_EQ(w.bytes[87], 0xFF);
    expect_valid_calc_file(w.bytes);

    content.push_back(1);
    Written over = write_string(CalcKind::Ti89, nullptr, "big", content);
    EXPECT_EQ(over.result, -1);
    EXPECT_TRUE(over.bytes.empty());
}

TEST(ReadCalcHeader, NeedsAllEightyEightBytes)
{
    MemFile shorter(Bytes(87, '*'));
    zk::CalcHeader h;
    EXPECT_FALSE(zk::read_calc_header(shorter.f, h));

    Bytes f = calc_file(Bytes{0xF3}, kSig92, "", "prog");
    f[18] = 'D';
    f[19] = 'e';
    MemFile m(f);
    ASSERT_TRUE(zk::read_calc_header(m.f, h));
    EXPECT_EQ(h.signature(), kSig92);
    EXPECT_EQ(h.folder(), "");
    EXPECT_EQ(h.varname(), "prog");
    EXPECT_EQ(h.desc(), "De");
    EXPECT_EQ(h.size(), 91u);
    EXPECT_EQ(h.datasize(), 1u);
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
    MemFile m(f);
    zk::CalcHeader h;
    ASSERT_TRUE(zk::read_calc_header(m.f, h));
    EXPECT_EQ(h.size(), 0xF1020304u);
    EXPECT_EQ(h.datasize(), 0xABCDu);
}

TEST(ReadCalcTrailer, TagChecksumAndRealLength)
{
    // One byte longer than its header says: the trailer is read from the real end.
    Bytes f = calc_file(Bytes(300, 0xFF));
    f.push_back(0x12);
    f[f.size() - 3] = 0xF3;
    f[f.size() - 2] = 0x9A;
    MemFile m(f);
    zk::CalcTrailer t;
    ASSERT_TRUE(zk::read_calc_trailer(m.f, t));
    EXPECT_EQ(t.filetype, 0xF3);
    EXPECT_EQ(t.checksum_low, 0x9A);
    EXPECT_EQ(t.checksum_high, 0x12);
    EXPECT_EQ(t.stored_checksum, 0x129A);
    EXPECT_EQ(t.file_length, 391);

    MemFile tiny(Bytes{1, 2});
    EXPECT_FALSE(zk::read_calc_trailer(tiny.f, t));
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
        std::optional<std::uint16_t> sum = zk::calc_checksum(m.f, static_cast<std::uint32_t>(f.size()));
        ASSERT_TRUE(sum) << n;
        EXPECT_EQ(*sum, checksum_of(f)) << n;
    }
}

TEST(CalcChecksum, StoredValueOfAWrittenFile)
{
    Written w = write_string(CalcKind::Ti89, nullptr, "x", bytes_of("abc"));
    MemFile m(w.bytes);
    EXPECT_EQ(zk::calc_checksum(m.f, 96), 345);
}

TEST(CalcChecksum, EmptyImageAndShortStream)
{
    MemFile m(Bytes(88, 0xFF));
    EXPECT_EQ(zk::calc_checksum(m.f, 88), 0);
    // A stream that ends before the length given must not pass for a sum.
    EXPECT_EQ(zk::calc_checksum(m.f, 100), std::nullopt);
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
