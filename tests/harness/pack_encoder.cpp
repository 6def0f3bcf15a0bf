#include "pack_encoder.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace zktest {

PackWriter::PackWriter(const PackParams& p) : p_(p), esc_(p.escape_code) {}

void PackWriter::bits(unsigned value, unsigned n)
{
    for (unsigned i = n; i-- > 0;) {
        if (nbits_ % 8 == 0) {
            out_.push_back(0);
            nbits_ = 0;
        }
        if (value >> i & 1) out_.back() |= static_cast<std::uint8_t>(0x80 >> nbits_);
        ++nbits_;
    }
}

void PackWriter::gamma(unsigned v)
{
    if (v < 1 || v > gamma_max()) throw std::logic_error("gamma value out of range");
    unsigned i = static_cast<unsigned>(std::bit_width(v)) - 1;
    bits((1u << i) - 1, i);
    if (i < p_.gamma_limit) bits(0, 1);
    bits(v, i);
}

void PackWriter::escape_prefix()
{
    if (p_.escape_bits > 0) bits(esc_, p_.escape_bits);
}

void PackWriter::literal(std::uint8_t b)
{
    unsigned E = p_.escape_bits;
    if (E > 0 && (b >> (8 - E) & 0xFFu) != esc_)
        plain_literal(b);
    else
        escaped_literal(b, esc_);
}

void PackWriter::plain_literal(std::uint8_t b)
{
    unsigned E = p_.escape_bits;
    if (E == 0 || (b >> (8 - E) & 0xFFu) == esc_) throw std::logic_error("not a plain literal");
    bits(b, 8);
}

void PackWriter::escaped_literal(std::uint8_t b, unsigned next_esc)
{
    unsigned E = p_.escape_bits;
    if (E > 0 && (b >> (8 - E) & 0xFFu) != esc_) throw std::logic_error("not an escaped literal");
    escape_prefix();
    gamma(1);
    bits(0b10, 2);
    bits(next_esc, E);
    bits(b, 8 - E);
    esc_ = next_esc;
}

void PackWriter::short_copy(unsigned dist)
{
    escape_prefix();
    gamma(1);
    bits(0, 1);
    bits((dist - 1) ^ 0xFF, 8);
}

unsigned long PackWriter::max_long_distance() const
{
    unsigned long X = p_.extra_bits;
    unsigned long pmax = ((gamma_max() - 2ul) << X) | ((1ul << X) - 1);
    return (pmax << 8 | 0xFF) + 1;
}

void PackWriter::long_copy(unsigned dist, unsigned len)
{
    unsigned long v = dist - 1ul;
    unsigned long P = v >> 8;
    unsigned X = p_.extra_bits;
    escape_prefix();
    gamma(len - 1);
    gamma(static_cast<unsigned>((P >> X) + 1));
    bits(static_cast<unsigned>(P & ((1u << X) - 1)), X);
    bits(static_cast<unsigned>((v & 0xFF) ^ 0xFF), 8);
}

void PackWriter::delta_copy(unsigned dist, unsigned len, std::uint8_t delta)
{
    escape_prefix();
    gamma(len - 1);
    gamma(gamma_max());
    bits(delta, 8);
    bits((dist - 1) ^ 0xFF, 8);
}

void PackWriter::run(std::uint8_t b, unsigned count, unsigned table_index, bool long_form, unsigned alias)
{
    unsigned G = p_.gamma_limit;
    unsigned n = count - 1;
    escape_prefix();
    gamma(1);
    bits(0b11, 2);
    if (!long_form && n < (1u << G)) {
        gamma(n);
    } else {
        gamma((1u << G) + ((n & 0xFF) >> (8 - G)));
        bits(n & ((1u << (8 - G)) - 1), 8 - G);
        gamma((n >> 8) + 1);
    }
    if (table_index > 0) {
        gamma(table_index);
    } else {
        gamma(32 + (b >> 3) + 32 * alias);
        bits(b & 7, 3);
    }
}

void PackWriter::end_marker(unsigned L)
{
    escape_prefix();
    gamma(L);
    gamma(gamma_max());
}

Bytes PackWriter::finish(unsigned orig_size) const
{
    Bytes s(16, 0);
    s[0] = orig_size & 0xFF;
    s[1] = orig_size >> 8 & 0xFF;
    s[2] = 'Z';
    s[3] = 'P';
    s[6] = static_cast<std::uint8_t>(p_.escape_code);
    s[7] = 0xA7;  // not interpreted
    s[8] = 0x7A;
    s[9] = static_cast<std::uint8_t>(p_.escape_bits);
    s[10] = static_cast<std::uint8_t>(p_.gamma_limit + 1);
    s[11] = static_cast<std::uint8_t>(1u << p_.gamma_limit);
    s[12] = static_cast<std::uint8_t>(p_.extra_bits);
    s[13] = 0x13;
    s[14] = 0x14;
    s[15] = static_cast<std::uint8_t>(p_.run_table.size());
    s.insert(s.end(), p_.run_table.begin(), p_.run_table.end());
    s.insert(s.end(), out_.begin(), out_.end());
    s[4] = s.size() & 0xFF;
    s[5] = s.size() >> 8 & 0xFF;
    return s;
}

Bytes pack_random(const Bytes& data, const PackParams& p, std::mt19937& rng, TokenCounts* counts)
{
    TokenCounts dummy;
    TokenCounts& c = counts ? *counts : dummy;
    PackWriter w(p);
    const unsigned G = p.gamma_limit;
    const unsigned max_len = 1u << (G + 1);
    const unsigned max_run = (w.gamma_max() - 1) * 256 + 255 + 1;
    const unsigned long max_dist = w.max_long_distance();
    auto coin = [&](unsigned in) { return rng() % in == 0; };

    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t left = data.size() - i;

        // Run of one byte.
        std::size_t same = 1;
        while (same < left && data[i + same] == data[i] && same < max_run) ++same;
        if (same >= 2 && !coin(4)) {
            unsigned count = static_cast<unsigned>(same);
            auto slot = std::find(p.run_table.begin(), p.run_table.end(), data[i]);
            unsigned index = 0;
            if (slot != p.run_table.end() && slot - p.run_table.begin() < 31 && !coin(3))
                index = static_cast<unsigned>(slot - p.run_table.begin()) + 1;
            bool long_form = count - 1 >= (1u << G) || coin(4);
            unsigned alias = (G >= 6 && coin(3)) ? 1 : 0;
            w.run(data[i], count, index, long_form, alias);
            (index ? c.run_table : c.run_direct)++;
            if (long_form) c.run_long++;
            i += count;
            continue;
        }

        // Longest plain and delta matches in a small window of distances.
        unsigned best_len = 0, best_dist = 0, delta_len = 0, delta_dist = 0;
        std::uint8_t delta = 0;
        for (unsigned tries = 0; tries < 48; ++tries) {
            if (i == 0) break;
            unsigned long limit = std::min<unsigned long>(i, max_dist);
            unsigned dist = static_cast<unsigned>(tries < 16 ? tries + 1 : 1 + rng() % limit);
            if (dist > limit) continue;
            unsigned len = 0;
            while (len < left && len < max_len && data[i + len] == data[i + len - dist]) ++len;
            if (len > best_len) best_len = len, best_dist = dist;
            if (dist <= 256) {
                std::uint8_t d = static_cast<std::uint8_t>(data[i] - data[i - dist]);
                unsigned dl = 0;
                while (dl < left && dl < max_len &&
                       data[i + dl] == static_cast<std::uint8_t>(data[i + dl - dist] + d))
                    ++dl;
                if (dl > delta_len && d != 0) delta_len = dl, delta_dist = dist, delta = d;
            }
        }
        if (delta_len >= 5 && !coin(3)) {
            w.delta_copy(delta_dist, delta_len, delta);
            c.delta++;
            i += delta_len;
            continue;
        }
        if (best_len >= 3 && !coin(4)) {
            w.long_copy(best_dist, best_len);
            c.long_copy++;
            i += best_len;
            continue;
        }
        if (best_len >= 2 && best_dist <= 256 && !coin(3)) {
            w.short_copy(best_dist);
            c.short_copy++;
            i += 2;
            continue;
        }

        // A literal; now and then an escaped one that changes the escape code.
        const unsigned E = p.escape_bits;
        std::uint8_t b = data[i];
        if (E == 0 || (b >> (8 - E) & 0xFFu) == w.esc()) {
            unsigned next = E == 0 ? w.esc() : (coin(3) ? static_cast<unsigned>(rng() % (1u << E)) : w.esc());
            if (next != w.esc()) c.esc_change++;
            w.escaped_literal(b, next);
            c.escaped++;
        } else {
            w.plain_literal(b);
            c.plain++;
        }
        ++i;
    }
    w.end_marker(coin(2) ? 2 : 3);
    return w.finish(static_cast<unsigned>(data.size()));
}

Bytes structured_data(std::size_t n, std::mt19937& rng)
{
    Bytes d;
    d.reserve(n);
    while (d.size() < n) {
        switch (rng() % 5) {
        case 0:  // fresh random bytes
            for (unsigned k = rng() % 12 + 1; k-- > 0;) d.push_back(static_cast<std::uint8_t>(rng()));
            break;
        case 1:  // a run, sometimes very long
            d.insert(d.end(), rng() % 8 == 0 ? rng() % 700 + 2 : rng() % 40 + 2,
                     static_cast<std::uint8_t>(rng() % 4 == 0 ? rng() : rng() % 3));
            break;
        case 2:
        case 3:  // a repeat, plain or shifted by a constant
            if (!d.empty()) {
                std::size_t dist = rng() % std::min<std::size_t>(d.size(), 300) + 1;
                std::uint8_t shift = rng() % 2 ? 0 : static_cast<std::uint8_t>(rng());
                for (unsigned k = rng() % 70 + 2; k-- > 0;)
                    d.push_back(static_cast<std::uint8_t>(d[d.size() - dist] + shift));
            }
            break;
        default:  // text-like bytes
            for (unsigned k = rng() % 20 + 1; k-- > 0;) d.push_back(static_cast<std::uint8_t>('a' + rng() % 26));
        }
    }
    d.resize(n);
    return d;
}

}  // namespace zktest
