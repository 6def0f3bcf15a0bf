// The number text converter in process. Every case is converted whole and
// in chunks of one and of three characters (long ones in chunks of a few
// kilobytes), which must agree, so that each rule is also checked where a
// number, a prefix or a comment mark is cut between two chunks.
#include "convert_data.h"
#include "number_text.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zktest;

namespace {

struct Converted {
    Bytes bytes;
    zk::NumberError error = zk::NumberError::None;
    std::uint64_t digits = 0;
    std::string quote;
    bool operator==(const Converted&) const = default;
};

Converted convert_in_chunks(const std::string& text, bool binary, std::size_t chunk)
{
    zk::NumberConverter numbers(binary);
    Converted c;
    std::vector<std::uint8_t> room(zk::NumberConverter::byte_room(chunk));
    for (std::size_t at = 0; at < text.size() && !numbers.done(); at += chunk) {
        const std::string_view piece = std::string_view(text).substr(at, chunk);
        c.bytes.insert(c.bytes.end(), room.data(), numbers.convert(piece, room.data()));
    }
    c.bytes.insert(c.bytes.end(), room.data(), numbers.finish(room.data()));
    c.error = numbers.error();
    if (numbers.failed()) c.bytes.clear();  // a failed text gives no file
    if (c.error != zk::NumberError::MissingPrefix) c.digits = numbers.digits();
    c.quote = numbers.quote();
    return c;
}

Converted convert(const std::string& text, bool binary = false)
{
    const Converted whole = convert_in_chunks(text, binary, std::max<std::size_t>(text.size(), 1));
    // Long texts are cut every few kilobytes instead, to stay quick.
    for (std::size_t chunk : text.size() < 10000 ? std::vector<std::size_t>{1, 3} : std::vector<std::size_t>{4093})
        EXPECT_EQ(convert_in_chunks(text, binary, chunk), whole) << text.substr(0, 100);
    return whole;
}

Bytes converted(const std::string& text, bool binary = false)
{
    const Converted c = convert(text, binary);
    EXPECT_EQ(c.error, zk::NumberError::None) << text;
    return c.bytes;
}

zk::NumberError refused(const std::string& text, bool binary = false)
{
    return convert(text, binary).error;
}

// The quote of a text that lacks a "0x" prefix.
std::string quote_of(const std::string& text)
{
    const Converted c = convert(text);
    EXPECT_EQ(c.error, zk::NumberError::MissingPrefix) << text;
    return c.quote;
}

using E = zk::NumberError;

}  // namespace

TEST(NumberText, WorkedExamples)
{
    EXPECT_EQ(converted("0x1234,0x5678,0x9ABC,0xdfab\n"), (Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDF, 0xAB}));
    EXPECT_EQ(converted("0b11110000 0b10101010 0b11111111", true), (Bytes{0xF0, 0xAA, 0xFF}));
    EXPECT_EQ(converted("0b0000000111111111\n", true), (Bytes{0x01, 0xFF}));
    EXPECT_EQ(converted("0xDEADbeef 0x00000001"), (Bytes{0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 1}));
}

TEST(NumberText, SeparatorsCommentsAndEmptyLines)
{
    EXPECT_EQ(converted("\t,0x01 ,\t0x02,,0x03\r\n\n  \r\n# 0x99\n  // 0x99\n,//\n0x04"), (Bytes{1, 2, 3, 4}));
    // Comments are whole lines only; one slash makes none.
    EXPECT_EQ(converted("0x01\n#\n//x 0x02\n"), Bytes{1});
    EXPECT_EQ(converted("\n \t,\r\n# only comments\n//\n"), Bytes{});
    EXPECT_EQ(converted(""), Bytes{});
}

TEST(NumberText, BarePrefixEndsItsLine)
{
    EXPECT_EQ(converted("0x12,0x,0x34\n0x56"), (Bytes{0x12, 0x56}));
    EXPECT_EQ(converted("0b11111111 0b x\n", true), Bytes{0xFF});
    EXPECT_EQ(converted("0x12 0x"), Bytes{0x12});
}

TEST(NumberText, LinesOfAnyLengthAreOneLine)
{
    // Far beyond any read block: no number and no comment is cut in two.
    std::string numbers;
    Bytes expected;
    for (int i = 0; i < 30000; ++i) {
        numbers += "0x1234,";
        expected.insert(expected.end(), {0x12, 0x34});
    }
    const std::string comment = "//" + std::string(70000, ' ') + "0x99\n";
    EXPECT_EQ(converted(comment + numbers + "\n" + comment), expected);
}

TEST(NumberText, NumberGrammar)
{
    EXPECT_EQ(refused("0x12\n\n0x1234\n"), E::Mismatch);
    EXPECT_EQ(refused("0x123456"), E::BadLength);
    EXPECT_EQ(refused("0x1234567890"), E::BadLength);
    EXPECT_EQ(convert("0x123"), (Converted{.error = E::OddDigits, .digits = 3}));
    // The mismatch is found before the invalid length.
    EXPECT_EQ(refused("0x12 0x123456"), E::Mismatch);
    EXPECT_EQ(convert("0b1010", true), (Converted{.error = E::BinaryLength, .digits = 4}));
    EXPECT_EQ(refused("0x12", true), E::MissingPrefix);
    EXPECT_EQ(refused("0b11110000 0b1111000011110000", true), E::Mismatch);
    EXPECT_EQ(refused("0b111100001111000011110000", true), E::BadLength);
    // A prefix right after the digits has its "0" taken as a digit.
    EXPECT_EQ(convert("0x120x34"), (Converted{.error = E::OddDigits, .digits = 3}));
    EXPECT_EQ(convert("0b111100000b11110000", true), (Converted{.error = E::BinaryLength, .digits = 9}));
}

TEST(NumberText, MissingPrefixQuotesTheRestOfTheLine)
{
    EXPECT_EQ(quote_of("0X12\n"), "0X12");
    EXPECT_EQ(quote_of("0x12 // note\r\n0x34"), "// note");
    EXPECT_EQ(quote_of("0x12;0x34"), ";0x34");
    EXPECT_EQ(quote_of("0x12 12"), "12");
    EXPECT_EQ(quote_of("  /0x12"), "/0x12");
    EXPECT_EQ(quote_of("0x01\n0"), "0");
    EXPECT_EQ(quote_of("/\r\n"), "/");
    EXPECT_EQ(quote_of("x\r\r\n"), "x\r");
    EXPECT_EQ(quote_of(std::string("0x12 \0z\n", 8)), std::string("\0z", 2));
}

TEST(NumberText, QuoteOfALongLineIsItsFirstKilobyte)
{
    const std::size_t limit = zk::NumberConverter::kQuoteLimit;
    const std::string exact = "z" + std::string(limit - 1, 'q');
    EXPECT_EQ(quote_of(exact + "\r\n0x12"), exact);
    EXPECT_EQ(quote_of(exact + "Q\r\n"), exact);
    EXPECT_EQ(quote_of(exact + std::string(100000, 'Q')), exact);

    // The rest of the line is not read beyond the quote.
    zk::NumberConverter numbers(false);
    std::vector<std::uint8_t> room(zk::NumberConverter::byte_room(limit));
    numbers.convert("0x12 z", room.data());
    EXPECT_FALSE(numbers.done());
    numbers.convert(std::string(limit, 'q'), room.data());
    EXPECT_TRUE(numbers.done());
}

TEST(NumberText, EveryTruncationOfTheText)
{
    const std::string text = "0x1234,0x5678\n// note\n#x\n  0xabcd\t0xef01 ,\r\n0x0000\n";
    const Bytes whole{0x12, 0x34, 0x56, 0x78, 0xAB, 0xCD, 0xEF, 0x01, 0x00, 0x00};
    for (std::size_t n = 0; n <= text.size(); ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const Converted c = convert(text.substr(0, n));
        // The numbers that were cut off are not there, and no others are
        // (a cut may leave a shorter first number, which is valid).
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), whole.begin()));
    }
    EXPECT_EQ(converted(text), whole);
}

TEST(NumberText, HugeNumbersAndLines)
{
    EXPECT_EQ(refused("0x" + std::string(100000, 'f') + "\n"), E::BadLength);
    EXPECT_EQ(convert("0x" + std::string(100001, 'f') + "\n"), (Converted{.error = E::OddDigits, .digits = 100001}));
    EXPECT_EQ(refused("0b" + std::string(1000000, '1'), true), E::BadLength);
    std::string line;
    for (int i = 0; i < 800000; ++i) line += "0x5a ";
    EXPECT_EQ(converted(line), Bytes(800000, 0x5A));
}

TEST(NumberText, RoundTripOfBareItemText)
{
    const Bytes data = random_bytes(100000, 11);
    for (int size : {1, 2, 4}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(converted(library_text(data, {.item_size = size, .per_line = 13})), data);
    }
    // A partial last item comes back filled with zero bytes.
    EXPECT_EQ(converted(library_text({1, 2, 3, 4, 5}, {.item_size = 4})), (Bytes{1, 2, 3, 4, 5, 0, 0, 0}));
}
