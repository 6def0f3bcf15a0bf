// A writer of packed streams for the tests. It aims at covering every
// token of the format, not at compressing well.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace zktest {

using Bytes = std::vector<std::uint8_t>;

struct PackParams {
    unsigned escape_bits = 2;   // E, 0..8
    unsigned escape_code = 3;   // the initial escape code, E bits
    unsigned gamma_limit = 5;   // G, 5..7
    unsigned extra_bits = 0;    // X, 0..4
    Bytes run_table;            // at most 31 entries are addressable
};

// Emits the tokens of one stream, MSB-first, and keeps the decoded view of
// what it has emitted so far (the escape code in particular).
class PackWriter {
public:
    explicit PackWriter(const PackParams& p);

    void literal(std::uint8_t b);             // plain when it can be, else escaped
    void plain_literal(std::uint8_t b);       // top E bits must differ from esc
    void escaped_literal(std::uint8_t b, unsigned next_esc);  // top E bits must equal esc
    void short_copy(unsigned dist);           // 2 bytes, dist 1..256
    void long_copy(unsigned dist, unsigned len);              // len 3..2^(G+1)
    void delta_copy(unsigned dist, unsigned len, std::uint8_t delta);  // len 5..2^(G+1), dist 1..256
    // count bytes (2 or more); by run table index when table_index > 0, else
    // the byte directly with the gamma value chosen by alias (0 or 1).
    void run(std::uint8_t b, unsigned count, unsigned table_index = 0, bool long_form = false,
             unsigned alias = 0);
    void end_marker(unsigned L = 2);          // L is 2 or 3

    // The complete stream: header, run table, bits. orig_size is taken as
    // given so that tests can claim other sizes than the tokens write.
    Bytes finish(unsigned orig_size) const;

    unsigned esc() const { return esc_; }
    unsigned gamma_max() const { return (1u << (p_.gamma_limit + 1)) - 1; }
    unsigned long max_long_distance() const;

    void bits(unsigned value, unsigned n);
    void gamma(unsigned v);
    void escape_prefix();

private:
    PackParams p_;
    unsigned esc_;
    Bytes out_;
    unsigned nbits_ = 0;  // bits used in the last byte of out_
};

struct TokenCounts {
    unsigned plain = 0, escaped = 0, short_copy = 0, long_copy = 0, delta = 0,
             run_table = 0, run_direct = 0, run_long = 0, esc_change = 0;
};

// Encodes data with randomly chosen tokens wherever several fit; the
// result always decodes back to data.
Bytes pack_random(const Bytes& data, const PackParams& p, std::mt19937& rng, TokenCounts* counts = nullptr);

// Test data with runs, repeats and shifted repeats to give every token a chance.
Bytes structured_data(std::size_t n, std::mt19937& rng);

}  // namespace zktest
