// zksplit's library: the offset parser, fed in blocks of any size, must
// agree with a reading by strtoll of the same tokens; the stream search
// with a search of the whole text; and a tag split, read in blocks of any size,
// must give the lines without the tag, each in its piece.
#include "files.h"
#include "split.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace split = zk::split;

static void check_offsets(std::string_view text, std::size_t block)
{
    split::OffsetParser parser;
    for (std::size_t at = 0; at < text.size() && parser.feed(text.substr(at, block)); at += block) {
    }
    const split::OffsetList list = parser.finish();

    // Reference: white-space separated tokens, each an optional sign and digits.
    std::vector<std::int32_t> expect;
    split::OffsetError error = split::OffsetError::None;
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
        if (at == text.size()) break;
        std::size_t start = at;
        if (text[at] == '+' || text[at] == '-') ++at;
        std::size_t digits = at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
        if (at == digits) {
            error = split::OffsetError::NotANumber;
            break;
        }
        errno = 0;
        long long v = std::strtoll(std::string(text.substr(start, at - start)).c_str(), nullptr, 10);
        if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
            error = split::OffsetError::NotANumber;
            break;
        }
        if (!expect.empty() && v < expect.back()) {
            error = split::OffsetError::NotAscending;
            break;
        }
        if (v == 0) {
            error = split::OffsetError::Zero;
            break;
        }
        expect.push_back(static_cast<std::int32_t>(v));
        if (expect.size() == split::kMaxOffsets) break;
    }
    if (list.values != expect || list.error != error) std::abort();
    if (list.dropped_rest != (expect.size() == split::kMaxOffsets)) std::abort();
}

// The frame's stream search, fed in blocks, must report the end of the
// first occurrence in the block that completes it, and nothing after.
static void check_stream_search(std::string_view tag, std::string_view text, std::size_t block)
{
    const std::size_t first = text.find(tag);
    zk::StreamSearch search(tag);
    bool reported = false;
    for (std::size_t at = 0; at < text.size(); at += block) {
        const std::string_view part = text.substr(at, block);
        const std::optional<std::size_t> end = search.feed(part.data(), part.size());
        if (!end) continue;
        if (reported || first == std::string_view::npos || at + *end != first + tag.size()) std::abort();
        reported = true;
    }
    if (!text.empty() && reported != (first != std::string_view::npos)) std::abort();
}

static void check_tag_split(std::string_view tag, std::string_view text, std::size_t block)
{
    // Reference: whole lines, a new piece at each line holding the tag.
    std::vector<std::string> expect(1);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        const std::string_view line = text.substr(at, end - at);
        if (line.find(tag) != std::string_view::npos)
            expect.emplace_back();
        else
            expect.back() += line;
        at = end;
    }

    static char empty;  // fmemopen of zero bytes fails; no byte of this one is read
    zk::File in(text.empty() ? fmemopen(&empty, 1, "rb") : fmemopen(const_cast<char*>(text.data()), text.size(), "rb"));
    if (text.empty()) std::fgetc(in.get());
    zk::LineReader lines(in.get(), block);
    split::Splitter splitter = split::Splitter::at_tag(tag);
    std::vector<std::string> pieces(1);
    std::string_view piece;
    while (lines.next(piece)) {
        const split::Step step = splitter.next(piece);
        if (step.cut_back_to >= 0) {
            if (static_cast<std::size_t>(step.cut_back_to) >= pieces.back().size()) std::abort();
            pieces.back().resize(static_cast<std::size_t>(step.cut_back_to));
        }
        if (step.next_piece) pieces.emplace_back();
        pieces.back() += step.write;
    }
    if (pieces != expect) std::abort();
}

// The first byte chooses the block size; a tag of up to 7 bytes follows,
// ended by a NUL; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t block = data[0] % 64 + 1;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    check_offsets(rest, block);
    const std::size_t nul = rest.find('\0');
    if (nul == std::string_view::npos || nul > 7) return 0;
    const std::string_view tag = rest.substr(0, nul), text = rest.substr(nul + 1);
    check_stream_search(tag, text, block);
    check_tag_split(tag, text, block);
    return 0;
}
