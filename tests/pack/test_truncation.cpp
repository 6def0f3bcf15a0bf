// Packed streams, their hex text and archives cut at every length, read
// through the libraries from exact-size buffers: each cut gives the right
// bytes or a refusal, and no read leaves its buffer.
#include "archive.h"
#include "hextext.h"
#include "pack_inputs.h"
#include "unpack.h"

#include <gtest/gtest.h>

using namespace zktest;

namespace {

Bytes prefix_of(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); }

// The decoder's code for the whole of stream, into out of orig_size bytes.
int decode(const Bytes& stream, Bytes& out)
{
    out.assign(zk::pack_orig_size(stream.data()), 0xEE);
    return zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size());
}

}  // namespace

// zkunpack takes a stream whose length is its csize and decodes it: a cut
// of the stream fails the csize test, and a cut whose csize is made to
// agree meets the missing bytes in the decoder.
TEST(TruncatedStream, EveryCutIsRefusedOrDecodesRight)
{
    const Bytes full = sample_stream();
    for (std::size_t n = zk::kPackHeaderSize; n < full.size(); ++n) {
        EXPECT_NE(zk::pack_csize(full.data()), n);
        Bytes cut = prefix_of(full, n);
        put_le16(cut, 4, static_cast<unsigned>(n));
        Bytes out;
        if (decode(cut, out) == zk::kUnpackOk) {
            EXPECT_EQ(out, kSampleData) << "length " << n;
        }
    }
}

TEST(TruncatedStream, HeaderNumbersThatClaimTooMuch)
{
    const Bytes full = sample_stream();
    Bytes out;
    Bytes big = full;  // the end marker comes early: the unwritten tail is zero
    put_le16(big, 0, 0xFFFF);
    ASSERT_EQ(decode(big, out), zk::kUnpackOk);
    Bytes expected = kSampleData;
    expected.resize(0xFFFF, 0);
    EXPECT_EQ(out, expected);

    Bytes small = full;
    put_le16(small, 0, 3);
    EXPECT_EQ(decode(small, out), zk::kUnpackOverflow);

    struct Field {
        std::size_t at;
        std::uint8_t value;
        int code;
    };
    for (const Field& f : {Field{9, 9, 249}, Field{9, 0xFF, 249}, Field{10, 0, 250}, Field{10, 9, 250},
                           Field{10, 0xFF, 250}, Field{11, 0, 250}, Field{12, 5, 251}, Field{12, 0xFF, 251}}) {
        Bytes bad = full;
        bad[f.at] = f.value;
        EXPECT_EQ(decode(bad, out), f.code) << "byte " << f.at << " = " << int(f.value);
    }
}

TEST(TruncatedHexText, OnlyTheWholeTextHoldsTheWholeStream)
{
    const Bytes full = sample_stream();
    const std::string text = zk::hex_text(full);
    const std::size_t last_digit_end = text.find_last_of("0123456789abcdef") + 1;
    for (std::size_t n = 0; n <= text.size(); ++n) {
        Bytes bytes(n);
        zk::HexTextReader reader;
        bytes.resize(reader.feed(bytes_of(text.substr(0, n)), bytes.data()));
        // Short of the whole, fewer bytes than csize: zkunpack refuses them.
        EXPECT_EQ(bytes == full, n >= last_digit_end) << "length " << n;
        EXPECT_EQ(bytes, prefix_of(full, bytes.size())) << "length " << n;
    }
}

// Every cut of an archive file from the first length that holds part of
// the image: the archive is refused, or each entry is refused as outside
// or gives its own bytes; a listed entry shows the sizes of the whole.
TEST(TruncatedArchive, EveryCutOfTheFile)
{
    const Bytes stored = bytes_of("stored");
    const Bytes data = bytes_of("packed packed packed");
    const Bytes file = archive_of({stored, sample_stream(data)});
    const std::vector<Bytes> contents{stored, data};
    const Bytes whole_image(file.begin() + 86, file.end() - 2);
    const zk::Archive whole = zk::open_archive(whole_image).value();

    for (std::size_t n = 88; n < file.size(); ++n) {
        SCOPED_TRACE("length " + std::to_string(n));
        const Bytes image(file.begin() + 86, file.begin() + static_cast<long>(n) - 2);
        const std::optional<zk::Archive> a = zk::open_archive(image);
        ASSERT_EQ(a.has_value(), image.size() >= 8 + 2 * 16);
        if (!a) continue;
        for (int i = 0; i < 2; ++i) {
            const zk::ArchiveEntry e = zk::archive_entry(*a, i);
            const zk::ArchiveEntry w = zk::archive_entry(whole, i);
            if (!e.inside) continue;
            EXPECT_EQ(e.archive_size, w.archive_size);
            EXPECT_EQ(e.orig_size, w.orig_size);
            if (!e.packed) {
                const std::span<const std::uint8_t> bytes = zk::stored_bytes(*a, e);
                EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), contents[i]);
                continue;
            }
            Bytes out(e.orig_size);
            if (zk::unpack_entry(*a, e, out.data()) == zk::kUnpackOk) {
                EXPECT_EQ(out, contents[i]);
            }
        }
    }
}
