// The hex text of packed data: the reader's rules, fed whole and in every
// split, and the writer's exact text.
#include "hextext.h"
#include "pack_inputs.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

Bytes read_text(const std::string& text)
{
    Bytes out(text.size());
    zk::HexTextReader reader;
    out.resize(reader.feed(bytes_of(text), out.data()));
    return out;
}

}  // namespace

TEST(HexTextReader, DigitPairsDroppedDigitsAndComments)
{
    EXPECT_EQ(read_text("0x41"), Bytes{0x41});  // the 0 is dropped at the x
    EXPECT_EQ(read_text("0A1B"), (Bytes{0x0A, 0x1B}));
    EXPECT_EQ(read_text("123"), Bytes{0x12});
    EXPECT_EQ(read_text("0x12, 0x34 // comment 0x56\n0xAB"), (Bytes{0x12, 0x34, 0xAB}));
    EXPECT_EQ(read_text("ab/cd/ef/"), (Bytes{0xAB, 0xCD, 0xEF}));  // a lone slash drops nothing more
    EXPECT_EQ(read_text("a/b"), Bytes{});
    EXPECT_EQ(read_text("//12\r\n34//"), Bytes{0x34});  // a comment runs through the line feed
    EXPECT_EQ(read_text(std::string("fF\0" "1\0" "2", 6)), (Bytes{0xFF}));  // a NUL drops a digit too
}

TEST(HexTextReader, PiecesGiveWhatTheWholeTextGives)
{
    const std::string text = "// head 01\n0x12,0x3/4 5// x\n//\n6789 ab";
    const Bytes whole = read_text(text);
    ASSERT_EQ(whole, (Bytes{0x12, 0x67, 0x89, 0xAB}));
    for (std::size_t split = 0; split <= text.size(); ++split) {
        Bytes out(text.size());
        zk::HexTextReader reader;
        std::size_t n = reader.feed(bytes_of(text.substr(0, split)), out.data());
        n += reader.feed(bytes_of(text.substr(split)), out.data() + n);
        out.resize(n);
        EXPECT_EQ(out, whole) << "split at " << split;
    }
    // Converted where the text lies.
    Bytes in_place = bytes_of(text);
    zk::HexTextReader reader;
    in_place.resize(reader.feed(in_place, in_place.data()));
    EXPECT_EQ(in_place, whole);
}

TEST(HexTextWriter, ElevenValuesThenTenPerLine)
{
    EXPECT_EQ(zk::hex_text({}), "");
    EXPECT_EQ(zk::hex_text(Bytes{0xAB}), "0xab");
    EXPECT_EQ(zk::hex_text(counting(12)), "0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0x09,0x0a,\n0x0b");
    EXPECT_EQ(zk::hex_text(counting(21)),
              "0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0x09,0x0a,\n"
              "0x0b,0x0c,0x0d,0x0e,0x0f,0x10,0x11,0x12,0x13,0x14\n");
}

TEST(HexTextWriter, ReadsBackThroughTheReader)
{
    Bytes all = counting(256);
    all.insert(all.end(), all.rbegin(), all.rend());
    EXPECT_EQ(read_text(zk::hex_text(all)), all);
}
