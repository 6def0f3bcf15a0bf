// Any data, packed by the test encoder with parameters taken from the
// input, must decode back to itself.
#include "pack_encoder.h"
#include "unpack.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Longer inputs add nothing the encoder's choices have not shown, and
    // the encoder's match search would slow every run down.
    if (size < 4 || size > 512) return 0;
    zktest::PackParams p;
    p.escape_bits = data[0] % 9;
    p.escape_code = p.escape_bits ? data[1] % (1u << p.escape_bits) : 0;
    p.gamma_limit = 5 + data[2] % 3;
    p.extra_bits = data[2] / 3 % 5;
    for (unsigned k = 0; k < data[3] % 8; ++k) p.run_table.push_back(static_cast<std::uint8_t>(k * 37));
    std::mt19937 rng(data[1] << 8 | data[3]);
    zktest::Bytes plain(data + 4, data + size);
    zktest::Bytes stream = zktest::pack_random(plain, p, rng);
    if (stream.size() > 65535) return 0;
    zktest::Bytes out(plain.size());
    if (zk::unpack_stream(stream.data(), stream.size(), out.data(), out.size()) != 0) std::abort();
    if (out != plain) std::abort();
    return 0;
}
