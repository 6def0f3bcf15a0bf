// The item text library in process: every layout rule, array heads, the
// data between the skips, and blocks of any size.
#include "convert_data.h"
#include "item_text.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

const Bytes kSix{1, 2, 3, 4, 5, 6};

// The text of data with items per line and break period, all else default.
std::string lines_of(const Bytes& data, int per_line, std::int64_t break_period, int item_size = 1)
{
    return library_text(data, {.item_size = item_size, .per_line = per_line, .break_period = break_period});
}

}  // namespace

TEST(ItemText, WorkedExamples)
{
    EXPECT_EQ(library_text({1, 2, 3, 4, 5}, {.item_size = 2, .per_line = 2}, "data"),
              "unsigned short data[3] = { \n0x0102,0x0304,\n0x0500\n};\n");
    const Bytes three{1, 2, 3};
    EXPECT_EQ(library_text(three, {}), "0x01,0x02,0x03");
    EXPECT_EQ(library_text(three, {}, "t"), "unsigned char t[3] = { \n0x01,0x02,0x03};\n");
    const Bytes ten{0, 1, 2, 3, 4, 5, 6, 7, 8, 0xff};
    EXPECT_EQ(library_text(ten, {}), "0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0xff\n");
    EXPECT_EQ(library_text(ten, {}, "t"),
              "unsigned char t[10] = { \n0x00,0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0xff\n};\n");
}

TEST(ItemText, ItemsPerLine)
{
    EXPECT_EQ(lines_of(kSix, 3, 0), "0x01,0x02,0x03,\n0x04,0x05,0x06\n");
    EXPECT_EQ(lines_of(kSix, 2, 0), "0x01,0x02,\n0x03,0x04,\n0x05,0x06\n");
    EXPECT_EQ(lines_of(kSix, 200, 0), "0x01,0x02,0x03,0x04,0x05,0x06");
    EXPECT_EQ(lines_of(kSix, 4, 0), "0x01,0x02,0x03,0x04,\n0x05,0x06");
    EXPECT_EQ(lines_of(kSix, 1, 0), "0x01,\n0x02,\n0x03,\n0x04,\n0x05,\n0x06\n");
}

TEST(ItemText, FourByteItemsAndZeroFilledLastItem)
{
    const Bytes seven{0xde, 0xad, 0xbe, 0xef, 0x12, 0x34, 0x56};
    EXPECT_EQ(library_text(seven, {.item_size = 4}, "w"), "unsigned long w[2] = { \n0xdeadbeef,0x12345600\n};\n");
    EXPECT_EQ(library_text(seven, {.item_size = 4, .per_line = 1}), "0xdeadbeef,\n0x12345600\n");
    EXPECT_EQ(library_text(seven, {.item_size = 2}), "0xdead,0xbeef,0x1234,0x5600\n");
    EXPECT_EQ(library_text({0xab}, {.item_size = 2}), "0xab00\n");
}

TEST(ItemText, ExtraLineBreaks)
{
    EXPECT_EQ(lines_of(kSix, 3, 6), "0x01,0x02,0x03,\n0x04,0x05,0x06\n\n");
    EXPECT_EQ(lines_of(kSix, 10, 4), "0x01,0x02,0x03,0x04,\n0x05,0x06");
    EXPECT_EQ(lines_of(kSix, 10, -4), "0x01,0x02,0x03,0x04,\n0x05,0x06");
    EXPECT_EQ(lines_of(kSix, 10, 0), "0x01,0x02,0x03,0x04,0x05,0x06");
    // A break restarts the line count.
    EXPECT_EQ(lines_of(kSix, 4, 3), "0x01,0x02,0x03,\n0x04,0x05,0x06\n");
    // The zero-filled last item is no item for the break period.
    EXPECT_EQ(lines_of({1, 2, 3}, 10, 2, 2), "0x0102,0x0300\n");
    // A period of any size is taken; the extremes never fire on ten items.
    const std::string ten_items = "0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01,0x01\n";
    for (std::int64_t period : {INT64_MAX, -INT64_MAX, INT64_MIN})
        EXPECT_EQ(lines_of(Bytes(10, 1), 10, period), ten_items) << period;
}

TEST(ItemText, BackslashBeforeEveryLineEndButTheClosing)
{
    EXPECT_EQ(library_text(kSix, {.per_line = 3, .break_period = 6, .slash = true}, "t"),
              "unsigned char t[6] = {\\\n0x01,0x02,0x03,\\\n0x04,0x05,0x06\\\n\\\n};\n");
    EXPECT_EQ(library_text({1, 2, 3}, {.item_size = 2, .slash = true}, "t"),
              "unsigned short t[2] = {\\\n0x0102,0x0300\\\n};\n");
    EXPECT_EQ(library_text({1, 2}, {.slash = true}), "0x01,0x02");
}

TEST(ItemText, DataBetweenTheSkips)
{
    EXPECT_EQ(zk::data_length(6, 1, 2), 3);
    EXPECT_EQ(zk::data_length(6, 6, 0), 0);
    EXPECT_EQ(zk::data_length(6, 0, 6), 0);
    EXPECT_EQ(zk::data_length(6, 4, 3), std::nullopt);
    EXPECT_EQ(zk::data_length(6, 7, 0), std::nullopt);
    EXPECT_EQ(zk::data_length(6, INT64_MAX, INT64_MAX), std::nullopt);
    EXPECT_EQ(zk::data_length(6, 1, INT64_MAX), std::nullopt);
    EXPECT_EQ(library_text({}, {}, "t"), "unsigned char t[0] = { \n};\n");

    // Skips of five bytes at both ends against every input length: no
    // data below ten bytes, then a head that counts the partial last item.
    for (std::int64_t n = 0; n <= 13; ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const std::optional<std::int64_t> length = zk::data_length(n, 5, 5);
        ASSERT_EQ(length.has_value(), n >= 10);
        if (!length) continue;
        EXPECT_EQ(zk::item_count(*length, 4), (n - 10 + 3) / 4);
        const std::string text = library_text(Bytes(static_cast<std::size_t>(*length), 0xA5), {.item_size = 4}, "t");
        EXPECT_EQ(text.rfind("unsigned long t[" + std::to_string((n - 10 + 3) / 4) + "] = { \n", 0), 0u) << text;
        EXPECT_TRUE(text.ends_with("};\n"));
    }
}

TEST(ItemText, BlocksOfAnySizeGiveTheItemRules)
{
    const Bytes data = random_bytes(3001, 7);
    for (const ItemText& r : std::vector<ItemText>{{},
                                                   {.item_size = 2, .per_line = 7, .break_period = 5},
                                                   {.item_size = 4, .per_line = 200, .slash = true},
                                                   {.item_size = 4, .per_line = 16, .break_period = -16},
                                                   {.item_size = 4, .per_line = 3, .break_period = 2}}) {
        const zk::ItemLayout layout{
            .item_size = r.item_size, .per_line = r.per_line, .break_period = r.break_period, .slash = r.slash};
        const std::string expected = item_text(data, r);
        for (std::size_t block : {1, 3, 4, 1000, 4096}) {
            SCOPED_TRACE("size " + std::to_string(r.item_size) + ", block " + std::to_string(block));
            EXPECT_EQ(library_text(data, layout, nullptr, block), expected);
        }
    }
}
