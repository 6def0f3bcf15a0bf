// Any input up to 65535 bytes, packed with the parameters that its first two
// bytes fix or leave to the encoder, decodes back to itself through a buffer
// of exactly its size, or is refused for its length.
#include "pack.h"
#include "unpack.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // Each choice left to the encoder costs a dozen parses or more, so most
    // inputs fix G and X, and only a few small ones take the best effort.
    zk::PackOptions options;
    options.escape_bits = data[0] % 10 == 9 ? -1 : data[0] % 10;
    if (data[1] < 0xE0) {
        options.gamma_limit = 5 + data[1] % 3;
        options.extra_offset_bits = data[1] / 3 % 5;
    } else if (data[1] >= 0xF8 && size < 1024) {
        options.effort = zk::PackEffort::Best;
    }
    const std::uint8_t* plain = data + 2;
    const std::size_t plain_size = size - 2;

    std::vector<std::uint8_t> stream;
    const zk::PackResult result = zk::pack_stream(plain, plain_size, options, stream);
    if (result != zk::PackResult::Ok) {
        const bool expected = plain_size > zk::kPackMaxOrigSize
                                  ? result == zk::PackResult::InputTooLong
                                  : result == zk::PackResult::StreamTooLong && plain_size > 60000;
        if (!expected || !stream.empty()) std::abort();
        return 0;
    }
    if (stream.size() > zk::kPackMaxStreamSize || zk::pack_csize(stream.data()) != stream.size() ||
        zk::pack_orig_size(stream.data()) != plain_size)
        std::abort();
    std::vector<std::uint8_t> out(plain_size);
    if (zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size()) != zk::kUnpackOk) std::abort();
    if (!std::equal(out.begin(), out.end(), plain)) std::abort();
    return 0;
}
