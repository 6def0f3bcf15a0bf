// The decoder against a plain bit-by-bit reading of the format: both must
// agree on every input, and the decoder must stay inside buffers of the
// exact sizes it is given.
#include "unpack.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct RefBits {
    const std::uint8_t* s;
    std::size_t len;
    std::size_t bit = 0;  // index of the next bit
    bool past_end = false;

    unsigned get(unsigned n)
    {
        unsigned v = 0;
        for (unsigned k = 0; k < n; ++k, ++bit) {
            if (bit / 8 >= len) {
                past_end = true;
                v <<= 1;
                continue;
            }
            v = v << 1 | (s[bit / 8] >> (7 - bit % 8) & 1);
        }
        return v;
    }
    unsigned gamma(unsigned g)
    {
        unsigned i = 0;
        while (i < g && get(1)) ++i;
        return (1u << i) + get(i);
    }
};

// Returns true and fills out (of capacity cap) when the stream decodes.
bool reference_decode(const std::uint8_t* s, std::size_t len, std::size_t cap, std::vector<std::uint8_t>& out)
{
    if (len < 16 || s[2] != 'Z' || s[3] != 'P' || s[9] > 8 || s[10] < 6 || s[10] > 8 ||
        s[11] != 1u << (s[10] - 1) || s[12] > 4 || 16u + s[15] > len)
        return false;
    const unsigned E = s[9], G = s[10] - 1u, X = s[12], gmax = (1u << (G + 1)) - 1;
    unsigned esc = s[6];
    RefBits b{s + 16 + s[15], len - 16 - s[15]};
    out.clear();
    auto emit = [&](unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); return out.size() <= cap; };
    auto copy = [&](std::size_t dist, std::size_t n, unsigned d) {
        if (dist > out.size()) return false;
        for (std::size_t k = 0; k < n; ++k)
            if (!emit(out[out.size() - dist] + d)) return false;
        return true;
    };
    while (!b.past_end) {
        if (E > 0) {
            unsigned p = b.get(E);
            if (p != esc) {
                if (!emit(p << (8 - E) | b.get(8 - E))) return false;
                continue;
            }
        }
        unsigned L = b.gamma(G);
        bool ok;
        if (L == 1) {
            if (b.get(1) == 0) {
                ok = copy((b.get(8) ^ 0xFF) + 1, 2, 0);
            } else if (b.get(1) == 0) {
                unsigned next = b.get(E);
                ok = emit((esc << (8 - E) | b.get(8 - E)) & 0xFF);
                esc = next;
            } else {
                std::size_t n = b.gamma(G);
                if (n >= 1u << G) {
                    unsigned lo = b.get(8 - G);
                    unsigned hi = b.gamma(G);
                    n = (hi - 1) << 8 | (n - (1u << G)) << (8 - G) | lo;
                }
                unsigned t = b.gamma(G), byte;
                if (t <= 31) {
                    if (15 + t >= len) return false;
                    byte = s[15 + t];
                } else {
                    byte = (8 * t + b.get(3)) & 0xFF;
                }
                ok = !b.past_end;
                for (std::size_t k = 0; ok && k <= n; ++k) ok = emit(byte);
            }
        } else {
            unsigned h = b.gamma(G);
            if (h == gmax && L <= 3) {
                if (b.past_end) return false;
                out.resize(cap, 0);
                return true;
            }
            if (h == gmax) {
                unsigned d = b.get(8);
                ok = copy((b.get(8) ^ 0xFF) + 1, L + 1, d);
            } else {
                std::size_t P = h - 1;
                if (X) P = P << X | b.get(X);
                ok = copy((P << 8 | (b.get(8) ^ 0xFF)) + 1, L + 1, 0);
            }
        }
        if (!ok) return false;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    // The first two bytes give the capacity, so that it can differ from orig_size.
    const std::size_t cap = data[0] | (data[1] & 0x0F) << 8;
    std::vector<std::uint8_t> stream(data + 2, data + size);
    std::vector<std::uint8_t> out(cap);
    int code = zk::unpack_stream(stream.data(), stream.size(), out.data(), cap);

    std::vector<std::uint8_t> expect;
    bool ref_ok = reference_decode(stream.data(), stream.size(), cap, expect);
    if ((code == 0) != ref_ok) std::abort();
    if (code == 0 && out != expect) std::abort();
    if (code != 0 && (code < 249 || code > 255)) std::abort();
    return 0;
}
