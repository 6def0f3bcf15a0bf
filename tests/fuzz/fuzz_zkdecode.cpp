// The calculator decoder (runtime/zkdecode.c, built natively) against the
// desktop decoder and zkunarchive's reading of archives: the same result
// and bytes on every input, from buffers of exactly the sizes it is given,
// a stream's bytes past its csize made unreadable.
//
// Input: a mode byte, a room byte, then the stream or archive. Mode bit 0
// takes it as an archive (with the magic put in front unless bit 1 is
// set; the entry is mode / 4 - 8); else as a stream (bit 1 puts in the
// magic and a csize of its length, so that most inputs reach the tokens).
// The output's room is the size the answer needs plus the room byte less
// 128.
#include "decode_answers.h"

extern "C" {
#include "zkdecode.h"
}

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdlib>

namespace {

void require(bool holds)
{
    if (!holds) std::abort();
}

// The output as the answer has it, and untouched (fill) from where the
// decoder may not write on. Its last byte lies past the room the decoder
// is given, so that no room is never a null pointer.
void require_output(const zkrt::Answer& answer, bool wrote, std::size_t may_write, const zkrt::Bytes& out,
                    std::uint8_t fill)
{
    const std::size_t from = wrote ? answer.out.size() : std::min(may_write, out.size() - 1);
    require(!wrote || std::equal(answer.out.begin(), answer.out.end(), out.begin()));
    require(std::all_of(out.begin() + static_cast<long>(from), out.end(), [&](std::uint8_t b) { return b == fill; }));
}

std::size_t room_of(long needs, std::uint8_t room_byte)
{
    return static_cast<std::size_t>(std::max(0L, std::max(needs, 0L) + room_byte - 128));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const unsigned mode = data[0];
    zkrt::Bytes in(data + 2, data + size);
    constexpr std::uint8_t kFill = 0xE5;

    if (mode & 1) {
        if (!(mode & 2)) in.insert(in.begin(), {'z', 'k', 'a', 0});
        const std::uint8_t* arc = in.data();
        const std::uint8_t* end = arc + in.size();
        const long index = static_cast<long>(mode / 4) - 8;
        require(zka_count(arc, end) == zkrt::expect_count(arc, in.size()));
        const long size_answer = zkrt::expect_entry(arc, in.size(), index, 0, true).result;
        require(zka_size(arc, end, index) == size_answer);
        zkrt::Bytes out(room_of(size_answer, data[1]) + 1, kFill);
        const zkrt::Answer answer = zkrt::expect_entry(arc, in.size(), index, out.size() - 1, false);
        const long r = zka_extract(arc, end, index, out.data(), out.data() + out.size() - 1);
        require(r == answer.result);
        require_output(answer, r >= 0, static_cast<std::size_t>(std::max(size_answer, 0L)), out, kFill);
        return 0;
    }

    if (mode & 2 && in.size() >= zk::kPackCsizeEnd) {
        in[zk::kPackMagicOffset] = 'Z';
        in[zk::kPackMagicOffset + 1] = 'P';
        in[zk::kPackCsizeOffset] = static_cast<std::uint8_t>(in.size());
        in[zk::kPackCsizeOffset + 1] = static_cast<std::uint8_t>(in.size() >> 8);
    }
    const long orig_size = in.size() >= 2 ? zk::pack_orig_size(in.data()) : 0;
    zkrt::Bytes out(room_of(orig_size, data[1]) + 1, kFill);
    const zkrt::Answer answer = zkrt::expect_unpack(in.data(), in.size(), out.size() - 1);
    const std::size_t reach = zkrt::unpack_reach(in.data(), in.size());
    ASAN_POISON_MEMORY_REGION(in.data() + reach, in.size() - reach);
    const int r = zk_unpack(in.data(), in.data() + in.size(), out.data(), out.data() + out.size() - 1);
    ASAN_UNPOISON_MEMORY_REGION(in.data(), in.size());
    require(r == answer.result);
    require_output(answer, r == 0, r == -1 || r == -2 ? 0 : static_cast<std::size_t>(orig_size), out, kFill);
    return 0;
}
