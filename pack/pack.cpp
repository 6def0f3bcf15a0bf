#include "pack.h"

#include "unpack.h"

#include <algorithm>
#include <array>
#include <bit>
#include <new>

namespace zk {
namespace {

// ---------------------------------------------------------------------------
// The format's numbers.

constexpr unsigned kMaxCopyLen = 256;    // 2^(G+1) with the largest G
constexpr unsigned kShortCopyLen = 2;
constexpr unsigned kMinLongCopyLen = 3;
constexpr unsigned kMinDeltaLen = 5;
constexpr unsigned kNearReach = 256;     // distances of short and delta copies
constexpr unsigned kRunTableMax = 31;    // run table entries a run can name
constexpr unsigned kDirectRunByte = 32;  // first gamma value that codes a run byte directly
constexpr unsigned kMinGamma = kPackMinGammaLimit, kMaxGamma = kPackMaxGammaLimit;
constexpr unsigned kMaxEscapeBits = kPackMaxEscapeBits, kMaxExtraBits = kPackMaxExtraOffsetBits;

constexpr std::uint16_t kUnreachable = 0xFFFF;

// Deeper searches of the match finder found nothing more on test data.
constexpr unsigned kTreeDepth = 256;
// Lengths a parse tries one by one; past them only the longest of each
// cost. Visiting every length up to 256 gained nothing on test data.
constexpr unsigned kDenseLengths = 64;

// ---------------------------------------------------------------------------
// Match finding, independent of the parameters. For every position: the
// nearest earlier position of every match length (as pairs of increasing
// length and distance), the longest delta copy from the last 256 bytes,
// and the number of equal bytes that start there.

struct Pair {
    std::uint16_t len;
    std::uint16_t dist;
};

struct Matches {
    std::vector<std::uint32_t> first;  // the pairs of position i are [first[i], first[i + 1])
    std::vector<Pair> pairs;
    std::vector<std::uint16_t> delta_len;
    std::vector<std::uint16_t> run_len;
};

// Binary search trees of the suffixes, ordered by their bytes and with
// newer positions nearer the root: the search for a new suffix passes, for
// every length, the nearest earlier position that matches that long, and
// the new position then becomes the root. Suffixes are compared over at
// most kMaxCopyLen bytes; of two that are equal so far the older leaves the
// tree. A search deeper than max_depth cuts off the older positions below
// it. The trees are chosen by a hash of the first two bytes, into as many
// trees as the input has bytes (one per 2-byte prefix for the largest).
static void find_copies(const std::uint8_t* data, std::size_t n, unsigned max_depth, Matches& m)
{
    m.first.assign(n + 1, 0);
    m.pairs.clear();
    m.pairs.reserve(n * 4);
    const unsigned tree_bits = static_cast<unsigned>(std::bit_width(std::clamp<std::size_t>(n, 256, 65535)));
    std::vector<std::int32_t> head(std::size_t{1} << tree_bits, -1);
    std::vector<std::int32_t> smaller(n), larger(n);
    for (std::size_t i = 0; i < n; ++i) {
        m.first[i] = static_cast<std::uint32_t>(m.pairs.size());
        if (i + 2 > n) continue;
        // An odd factor mixes the prefix and keeps all 16 bits distinct.
        const unsigned key = ((data[i] << 8 | data[i + 1]) * 40503u & 0xFFFF) >> (16 - tree_bits);
        std::int32_t cur = head[key];
        head[key] = static_cast<std::int32_t>(i);
        const unsigned limit = static_cast<unsigned>(std::min<std::size_t>(kMaxCopyLen, n - i));
        const std::uint8_t* const here = data + i;
        std::int32_t* smaller_link = &smaller[i];
        std::int32_t* larger_link = &larger[i];
        unsigned smaller_len = 0, larger_len = 0;
        unsigned best = 1;
        for (unsigned depth = 0;; ++depth) {
            if (cur < 0 || depth == max_depth) {
                *smaller_link = -1;
                *larger_link = -1;
                break;
            }
            const std::uint8_t* const there = data + cur;
            unsigned len = std::min(smaller_len, larger_len);
            while (len < limit && there[len] == here[len]) ++len;
            if (len > best) {
                best = len;
                m.pairs.push_back({static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(i - cur)});
            }
            if (len == limit) {
                *smaller_link = smaller[cur];
                *larger_link = larger[cur];
                break;
            }
            if (there[len] < here[len]) {
                *smaller_link = cur;
                smaller_link = &larger[cur];
                cur = *smaller_link;
                smaller_len = len;
            } else {
                *larger_link = cur;
                larger_link = &smaller[cur];
                cur = *larger_link;
                larger_len = len;
            }
        }
    }
    m.first[n] = static_cast<std::uint32_t>(m.pairs.size());
}

// For every distance up to 256, the runs of equal differences between a
// byte and the byte that distance before it.
static void find_delta_lengths(const std::uint8_t* data, std::size_t n, std::vector<std::uint16_t>& delta_len)
{
    delta_len.assign(n, 0);
    for (std::size_t d = 1; d <= kNearReach && d < n; ++d) {
        unsigned run = 0;
        std::uint8_t next_diff = 0;
        for (std::size_t i = n; i-- > d;) {
            const std::uint8_t diff = static_cast<std::uint8_t>(data[i] - data[i - d]);
            run = run != 0 && diff == next_diff ? run + 1 : 1;
            next_diff = diff;
            const unsigned len = std::min(run, kMaxCopyLen);
            if (len > delta_len[i]) delta_len[i] = static_cast<std::uint16_t>(len);
        }
    }
}

static void find_runs(const std::uint8_t* data, std::size_t n, std::vector<std::uint16_t>& run_len)
{
    run_len.assign(n, 0);
    for (std::size_t i = n; i-- > 0;)
        run_len[i] = static_cast<std::uint16_t>(i + 1 < n && data[i + 1] == data[i] ? run_len[i + 1] + 1 : 1);
}

// ---------------------------------------------------------------------------
// Parameters and the exact bit cost of every token under them.

struct Coding {
    unsigned E = 0, G = kMinGamma, X = 0;
    std::vector<std::uint8_t> run_table;
};

static unsigned gamma_bits(unsigned v, unsigned G)
{
    const unsigned i = static_cast<unsigned>(std::bit_width(v)) - 1;
    return i < G ? 2 * i + 1 : 2 * G;
}

struct CostModel {
    unsigned E, G, X;
    unsigned gamma_max;      // 2^(G+1) - 1, also the mark of end markers and delta copies
    unsigned max_copy;       // 2^(G+1)
    unsigned max_run;        // gamma_max * 256
    unsigned delta_fixed;    // a delta copy's bits after its length
    unsigned end_marker;
    std::uint8_t gamma[256];  // bits of the gamma value v, 1 <= v <= gamma_max
    std::uint16_t dist[256];  // a long copy's distance bits by (distance - 1) >> 8
    std::uint8_t run_byte[256];
    std::uint32_t copy_ends[16];   // copy lengths after which the next costs more, ascending, then a stop
    std::uint32_t run_ends[24];    // the same for runs

    explicit CostModel(const Coding& c) : E(c.E), G(c.G), X(c.X)
    {
        gamma_max = (1u << (G + 1)) - 1;
        max_copy = gamma_max + 1;
        max_run = gamma_max * 256;
        gamma[0] = 0;
        for (unsigned v = 1; v < 256; ++v) gamma[v] = static_cast<std::uint8_t>(v <= gamma_max ? gamma_bits(v, G) : 0);
        delta_fixed = gamma[gamma_max] + 16;
        end_marker = E + gamma[2] + gamma[gamma_max];
        for (unsigned block = 0; block < 256; ++block) {
            const unsigned h = (block >> X) + 1;
            dist[block] = h < gamma_max ? static_cast<std::uint16_t>(gamma[h] + X + 8) : kUnreachable;
        }
        for (unsigned b = 0; b < 256; ++b) run_byte[b] = static_cast<std::uint8_t>(gamma[kDirectRunByte + (b >> 3)] + 3);
        for (std::size_t t = c.run_table.size(); t-- > 0;)
            run_byte[c.run_table[t]] = std::min(run_byte[c.run_table[t]], gamma[t + 1]);
        unsigned k = 0;
        for (unsigned len = 4; len < max_copy; len *= 2) copy_ends[k++] = len;
        copy_ends[k] = UINT32_MAX;
        // Runs: the short form's gamma steps, then the long form's steps of n / 256.
        k = 0;
        for (unsigned len = 4; len <= 1u << G; len *= 2) run_ends[k++] = len;
        for (unsigned hi = 1; hi < gamma_max; hi = hi * 2 + 1) run_ends[k++] = hi * 256;
        run_ends[k] = UINT32_MAX;
    }

    // Bits of the count n (a run of n + 1 bytes): the short form below 2^G,
    // else 2^G plus the high bits of n's low byte, its low bits and n / 256.
    unsigned run_count(unsigned n) const
    {
        return n < 1u << G ? gamma[n] : G + 8 + gamma[(n >> 8) + 1];
    }
};

// ---------------------------------------------------------------------------
// Tokens.

enum class Kind : std::uint8_t { Literal, ShortCopy, LongCopy, DeltaCopy, Run };

struct Token {
    Kind kind;
    std::uint16_t len;
    std::uint16_t dist;  // copies: the distance; literals: the escape code after it
};

// Lengths from..to: every one up to kDenseLengths, then only the longest
// length of each cost (ends, ascending) and to itself.
template <typename Visit>
static void for_each_length(unsigned from, unsigned to, const std::uint32_t* ends, Visit&& visit)
{
    unsigned len = from;
    for (; len <= to && len <= kDenseLengths; ++len) visit(len);
    if (len > to) return;
    while (*ends < len) ++ends;
    for (; *ends < to; ++ends) visit(*ends);
    visit(to);
}

// Every token but a literal that may start at position i, with its bits.
template <typename Visit>
static void for_each_token(const std::uint8_t* data, const Matches& m, const CostModel& cm, std::size_t i,
                           Visit&& visit)
{
    const Pair* p = m.pairs.data() + m.first[i];
    const Pair* const end = m.pairs.data() + m.first[i + 1];
    if (p != end && p->dist <= kNearReach) visit(Token{Kind::ShortCopy, kShortCopyLen, p->dist}, cm.E + 10);
    unsigned from = kMinLongCopyLen;
    for (; p != end; ++p) {
        const unsigned dist_bits = cm.dist[(p->dist - 1u) >> 8];
        if (dist_bits == kUnreachable) break;
        const unsigned to = std::min<unsigned>(p->len, cm.max_copy);
        if (to < from) continue;
        const unsigned fixed = cm.E + dist_bits;
        for_each_length(from, to, cm.copy_ends, [&](unsigned len) {
            visit(Token{Kind::LongCopy, static_cast<std::uint16_t>(len), p->dist}, fixed + cm.gamma[len - 1]);
        });
        from = to + 1;
    }
    // A plain copy of the same length always costs less than a delta copy.
    const unsigned delta_to = std::min<unsigned>(m.delta_len[i], cm.max_copy);
    if (delta_to >= std::max(from, kMinDeltaLen)) {
        const unsigned fixed = cm.E + cm.delta_fixed;
        for_each_length(std::max(from, kMinDeltaLen), delta_to, cm.copy_ends, [&](unsigned len) {
            visit(Token{Kind::DeltaCopy, static_cast<std::uint16_t>(len), 0}, fixed + cm.gamma[len - 1]);
        });
    }
    const unsigned run = std::min<unsigned>(m.run_len[i], cm.max_run);
    if (run >= 2) {
        const unsigned fixed = cm.E + 3 + cm.run_byte[data[i]];
        for_each_length(2, run, cm.run_ends, [&](unsigned len) {
            visit(Token{Kind::Run, static_cast<std::uint16_t>(len), 0}, fixed + cm.run_count(len - 1));
        });
    }
}

// ---------------------------------------------------------------------------
// The shortest path, with the escape code as part of the state. best[i] is
// the least number of bits that code the bytes from i on, the end marker
// included, and best[i] + rel[i * S + e] the least when the escape code at
// i is e (S = 2^E). A byte whose top E bits equal the escape code is not a
// plain literal: as a literal it is an escaped one, after which any escape
// code may follow.
//
// rel never exceeds E + 3, so it fits a byte: from any state, follow the
// best path; it stays legal until a plain literal of the path has the top
// bits of our escape code, and there an escaped literal (E + 3 bits more)
// switches to the path's own state. Where the path escapes instead, we
// code a plain literal and fall behind by nothing.

struct Input {
    const std::uint8_t* data;
    std::size_t n;
    const Matches& m;
};

struct Parse {
    std::vector<std::uint32_t> best;
    std::vector<std::uint8_t> rel;
};

template <unsigned S>
static void parse_costs(const Input& in, const CostModel& cm, Parse& w)
{
    const std::size_t n = in.n;
    w.best.resize(n + 1);
    w.rel.resize((n + 1) * S);
    std::uint32_t* const best = w.best.data();
    std::uint8_t* const rel = w.rel.data();
    best[n] = cm.end_marker;
    std::fill_n(rel + n * S, S, 0);
    const unsigned shift = 8 - cm.E;
    for (std::size_t i = n; i-- > 0;) {
        const std::int32_t base = static_cast<std::int32_t>(best[i + 1] + 8);
        std::int32_t cur[S];
        const std::uint8_t* const next = rel + (i + 1) * S;
        for (unsigned s = 0; s < S; ++s) cur[s] = next[s];
        // The escape code that this byte's top bits equal cannot code it plain.
        cur[cm.E == 0 ? 0 : in.data[i] >> shift] = static_cast<std::int32_t>(cm.E + 3);
        std::int32_t bound = cur[0];
        for (unsigned s = 1; s < S; ++s) bound = std::max(bound, cur[s]);
        for_each_token(in.data, in.m, cm, i, [&](Token t, unsigned bits) {
            const std::size_t j = i + t.len;
            const std::int32_t offset = static_cast<std::int32_t>(bits + best[j]) - base;
            if (offset >= bound) return;
            const std::uint8_t* const to = rel + j * S;
            for (unsigned s = 0; s < S; ++s) cur[s] = std::min(cur[s], offset + to[s]);
        });
        std::int32_t least = cur[0];
        for (unsigned s = 1; s < S; ++s) least = std::min(least, cur[s]);
        best[i] = static_cast<std::uint32_t>(base + least);
        for (unsigned s = 0; s < S; ++s) rel[i * S + s] = static_cast<std::uint8_t>(cur[s] - least);
    }
}

static void parse_costs(const Input& in, const CostModel& cm, Parse& w)
{
    switch (cm.E) {
    case 0: return parse_costs<1>(in, cm, w);
    case 1: return parse_costs<2>(in, cm, w);
    case 2: return parse_costs<4>(in, cm, w);
    case 3: return parse_costs<8>(in, cm, w);
    case 4: return parse_costs<16>(in, cm, w);
    case 5: return parse_costs<32>(in, cm, w);
    case 6: return parse_costs<64>(in, cm, w);
    case 7: return parse_costs<128>(in, cm, w);
    default: return parse_costs<256>(in, cm, w);
    }
}

// The first escape code of least cost.
static unsigned first_least(const std::uint8_t* rel, unsigned count)
{
    return static_cast<unsigned>(std::find(rel, rel + count, 0) - rel);
}

// Walks the costs from the start and picks, at every step, a token that
// keeps to the least total; returns the initial escape code.
static unsigned trace_tokens(const Input& in, const CostModel& cm, const Parse& w, std::vector<Token>& tokens)
{
    const unsigned S = 1u << cm.E;
    const auto cost = [&](std::size_t i, unsigned e) { return w.best[i] + w.rel[i * S + e]; };
    tokens.clear();
    unsigned esc = first_least(w.rel.data(), S);
    const unsigned initial = esc;
    std::size_t i = 0;
    while (i < in.n) {
        const std::uint32_t target = cost(i, esc);
        const unsigned prefix = cm.E == 0 ? 0 : in.data[i] >> (8 - cm.E);
        if (prefix != esc) {
            if (cost(i + 1, esc) + 8 == target) {
                tokens.push_back({Kind::Literal, 1, static_cast<std::uint16_t>(esc)});
                ++i;
                continue;
            }
        } else if (w.best[i + 1] + cm.E + 11 == target) {
            esc = first_least(&w.rel[(i + 1) * S], S);
            tokens.push_back({Kind::Literal, 1, static_cast<std::uint16_t>(esc)});
            ++i;
            continue;
        }
        // Some token reaches the target: the costs were made of these.
        Token found{};
        bool have = false;
        for_each_token(in.data, in.m, cm, i, [&](Token t, unsigned bits) {
            if (!have && bits + cost(i + t.len, esc) == target) {
                found = t;
                have = true;
            }
        });
        tokens.push_back(found);
        i += found.len;
    }
    return initial;
}

// ---------------------------------------------------------------------------
// Writing the stream.

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void put(unsigned value, unsigned n)
    {
        while (n > 0) {
            if (free_ == 0) {
                out_.push_back(0);
                free_ = 8;
            }
            const unsigned take = std::min(n, free_);
            const unsigned chunk = value >> (n - take) & ((1u << take) - 1);
            out_.back() = static_cast<std::uint8_t>(out_.back() | chunk << (free_ - take));
            free_ -= take;
            n -= take;
        }
    }

    // i one-bits, a zero-bit when i < G, then the i low bits of v.
    void gamma(unsigned v, unsigned G)
    {
        const unsigned i = static_cast<unsigned>(std::bit_width(v)) - 1;
        put((1u << i) - 1, i);
        if (i < G) put(0, 1);
        put(v, i);
    }

private:
    std::vector<std::uint8_t>& out_;
    unsigned free_ = 0;
};

// The distance of a delta copy of len bytes at i, and the difference it adds.
static void find_delta(const std::uint8_t* data, std::size_t i, unsigned len, unsigned& dist, unsigned& diff)
{
    for (dist = 1; dist <= kNearReach && dist <= i; ++dist) {
        diff = static_cast<std::uint8_t>(data[i] - data[i - dist]);
        unsigned k = 1;
        while (k < len && static_cast<std::uint8_t>(data[i + k] - data[i + k - dist]) == diff) ++k;
        if (k == len) return;
    }
}

static void write_stream(const std::uint8_t* data, std::size_t n, const Coding& c, unsigned escape_code,
                         const std::vector<Token>& tokens, std::vector<std::uint8_t>& out)
{
    out.assign(kPackHeaderSize, 0);
    put_pack_field(out.data(), kPackOrigSizeOffset, static_cast<unsigned>(n));
    std::copy(std::begin(kPackMagic), std::end(kPackMagic), out.begin() + kPackMagicOffset);
    out[kPackEscapeCodeOffset] = static_cast<std::uint8_t>(escape_code);
    out[kPackEscapeBitsOffset] = static_cast<std::uint8_t>(c.E);
    out[kPackGammaBitsOffset] = static_cast<std::uint8_t>(c.G + 1);
    out[kPackGammaTopOffset] = static_cast<std::uint8_t>(1u << c.G);
    out[kPackExtraBitsOffset] = static_cast<std::uint8_t>(c.X);
    out[kPackRunTableSizeOffset] = static_cast<std::uint8_t>(c.run_table.size());
    out.insert(out.end(), c.run_table.begin(), c.run_table.end());

    const unsigned E = c.E, G = c.G, X = c.X;
    const unsigned gamma_max = (1u << (G + 1)) - 1;
    std::array<unsigned, 256> table_index{};
    for (std::size_t t = c.run_table.size(); t-- > 0;) table_index[c.run_table[t]] = static_cast<unsigned>(t + 1);

    BitWriter bits(out);
    unsigned esc = escape_code;
    std::size_t i = 0;
    for (const Token& t : tokens) {
        if (t.kind == Kind::Literal) {
            const unsigned b = data[i];
            if (E > 0 && b >> (8 - E) != esc) {
                bits.put(b, 8);
            } else {
                bits.put(esc, E);
                bits.gamma(1, G);
                bits.put(0b10, 2);
                bits.put(t.dist, E);
                bits.put(b, 8 - E);
                esc = t.dist;
            }
            ++i;
            continue;
        }
        bits.put(esc, E);
        switch (t.kind) {
        case Kind::ShortCopy:
            bits.gamma(1, G);
            bits.put(0, 1);
            bits.put((t.dist - 1u) ^ 0xFF, 8);
            break;
        case Kind::LongCopy: {
            const unsigned v = t.dist - 1u;
            const unsigned P = v >> 8;
            bits.gamma(t.len - 1u, G);
            bits.gamma((P >> X) + 1, G);
            bits.put(P, X);
            bits.put((v & 0xFF) ^ 0xFF, 8);
            break;
        }
        case Kind::DeltaCopy: {
            unsigned dist = 0, diff = 0;
            find_delta(data, i, t.len, dist, diff);
            bits.gamma(t.len - 1u, G);
            bits.gamma(gamma_max, G);
            bits.put(diff, 8);
            bits.put((dist - 1) ^ 0xFF, 8);
            break;
        }
        case Kind::Run: {
            const unsigned count = t.len - 1u;
            bits.gamma(1, G);
            bits.put(0b11, 2);
            if (count < 1u << G) {
                bits.gamma(count, G);
            } else {
                bits.gamma((1u << G) + ((count & 0xFF) >> (8 - G)), G);
                bits.put(count, 8 - G);
                bits.gamma((count >> 8) + 1, G);
            }
            const unsigned b = data[i];
            const unsigned index = table_index[b];
            if (index != 0 && gamma_bits(index, G) <= gamma_bits(kDirectRunByte + (b >> 3), G) + 3) {
                bits.gamma(index, G);
            } else {
                bits.gamma(kDirectRunByte + (b >> 3), G);
                bits.put(b, 3);
            }
            break;
        }
        case Kind::Literal:
            break;
        }
        i += t.len;
    }
    bits.put(esc, E);
    bits.gamma(2, G);
    bits.gamma(gamma_max, G);
    put_pack_field(out.data(), kPackCsizeOffset, static_cast<unsigned>(out.size()));
}

// ---------------------------------------------------------------------------
// Choosing the run table: the byte values that runs use most, in the
// order of their use, as long as an entry saves more than its 8 bits.

static std::vector<std::uint8_t> fit_run_table(const std::array<std::uint32_t, 256>& runs, unsigned G)
{
    std::vector<std::uint8_t> order;
    for (unsigned b = 0; b < 256; ++b)
        if (runs[b] > 0) order.push_back(static_cast<std::uint8_t>(b));
    std::stable_sort(order.begin(), order.end(), [&](unsigned a, unsigned b) { return runs[a] > runs[b]; });
    std::int64_t gain = 0, best_gain = 0;  // bits saved less the table's bytes
    unsigned best_size = 0;
    for (unsigned t = 1; t <= kRunTableMax && t <= order.size(); ++t) {
        const unsigned b = order[t - 1];
        const int direct = static_cast<int>(gamma_bits(kDirectRunByte + (b >> 3), G)) + 3;
        const int indexed = static_cast<int>(gamma_bits(t, G));
        gain += std::int64_t{runs[b]} * std::max(direct - indexed, 0) - 8;
        if (gain > best_gain) {
            best_gain = gain;
            best_size = t;
        }
    }
    order.resize(best_size);
    return order;
}

static std::array<std::uint32_t, 256> runs_in_data(const std::uint8_t* data, std::size_t n)
{
    std::array<std::uint32_t, 256> runs{};
    for (std::size_t i = 0; i + 1 < n;) {
        std::size_t j = i + 1;
        while (j < n && data[j] == data[i]) ++j;
        if (j - i >= 3) ++runs[data[i]];
        i = j;
    }
    return runs;
}

static std::array<std::uint32_t, 256> runs_in_tokens(const std::uint8_t* data, const std::vector<Token>& tokens)
{
    std::array<std::uint32_t, 256> runs{};
    std::size_t i = 0;
    for (const Token& t : tokens) {
        if (t.kind == Kind::Run) ++runs[data[i]];
        i += t.len;
    }
    return runs;
}

// ---------------------------------------------------------------------------
// The search over the parameters. Every candidate is measured by an exact
// parse. The size is nearly unimodal in each parameter, so the normal
// effort walks E down or up while the size falls, tries every G and X at
// that E, fits the run table to the runs the best parse uses, and repeats
// while anything changes. The best effort then also parses every G and X
// with E up to 2 away, each with a run table fitted to its own parse.

struct Range {
    unsigned lo, hi;
};

static Range range_of(int fixed, unsigned lo, unsigned hi)
{
    return fixed >= 0 ? Range{static_cast<unsigned>(fixed), static_cast<unsigned>(fixed)} : Range{lo, hi};
}

class Packer {
public:
    Packer(const Input& in, const PackOptions& options)
        : in_(in),
          best_effort_(options.effort == PackEffort::Best),
          e_(range_of(options.escape_bits, 0, kMaxEscapeBits)),
          g_(range_of(options.gamma_limit, kMinGamma, kMaxGamma)),
          x_(range_of(options.extra_offset_bits, 0, kMaxExtraBits)),
          runs_(runs_in_data(in.data, in.n))
    {
    }

    // The chosen coding; its parse is left in tokens.
    Coding search(std::vector<Token>& tokens, unsigned& escape_code)
    {
        best_.E = std::clamp(kStartE, e_.lo, e_.hi);
        best_.G = std::clamp(kStartG, g_.lo, g_.hi);
        best_.X = std::clamp(kStartX, x_.lo, x_.hi);
        best_.run_table = fit_run_table(runs_, best_.G);
        best_size_ = measure(best_);
        for (unsigned round = 0; round < kMaxRounds; ++round) {
            const Coding before = best_;
            walk_escape_bits();
            try_gamma_and_extra_bits();
            refit_run_table();
            if (best_.E == before.E && best_.G == before.G && best_.X == before.X &&
                best_.run_table == before.run_table)
                break;
        }
        if (best_effort_) search_around_escape_bits();
        measure(best_);
        escape_code = trace(best_, tokens);
        return best_;
    }

private:
    static constexpr unsigned kStartE = 2, kStartG = 6, kStartX = 0, kMaxRounds = 4;
    static constexpr unsigned kEscapeReach = 2;  // of the best effort's search around E

    std::size_t measure(const Coding& c)
    {
        parse_costs(in_, CostModel(c), work_);
        return kPackHeaderSize + c.run_table.size() + (work_.best[0] + 7) / 8;
    }

    // Follows the parse that measure left behind.
    unsigned trace(const Coding& c, std::vector<Token>& tokens) const
    {
        return trace_tokens(in_, CostModel(c), work_, tokens);
    }

    // Measures c with the run table fitted to the best parse so far; true
    // when it becomes the best.
    bool try_coding(unsigned E, unsigned G, unsigned X)
    {
        const std::size_t before = best_size_;
        const Coding c{E, G, X, fit_run_table(runs_, G)};
        consider(c, measure(c));
        return best_size_ < before;
    }

    void walk_escape_bits()
    {
        const unsigned start = best_.E;
        for (unsigned E = start; E > e_.lo && try_coding(E - 1, best_.G, best_.X);) --E;
        if (best_.E != start) return;
        for (unsigned E = start; E < e_.hi && try_coding(E + 1, best_.G, best_.X);) ++E;
    }

    void try_gamma_and_extra_bits()
    {
        const Coding at = best_;
        for (unsigned G = g_.lo; G <= g_.hi; ++G)
            for (unsigned X = x_.lo; X <= x_.hi; ++X)
                if (G != at.G || X != at.X) try_coding(at.E, G, X);
    }

    // Fits the run table to the runs of the best parse and keeps it when it
    // pays; those runs then guide the tables of later candidates.
    void refit_run_table()
    {
        std::vector<Token> tokens;
        measure(best_);
        trace(best_, tokens);
        runs_ = runs_in_tokens(in_.data, tokens);
        Coding c = best_;
        c.run_table = fit_run_table(runs_, c.G);
        if (c.run_table == best_.run_table) return;
        consider(c, measure(c));
    }

    // Every combination with E near the one found, first with the run
    // table fitted to the runs in the data, then with one fitted to the
    // runs of its own parse.
    void search_around_escape_bits()
    {
        const std::array<std::uint32_t, 256> data_runs = runs_in_data(in_.data, in_.n);
        const unsigned e_lo = std::max(e_.lo, best_.E >= kEscapeReach ? best_.E - kEscapeReach : 0);
        const unsigned e_hi = std::min(e_.hi, best_.E + kEscapeReach);
        std::vector<Token> tokens;
        for (unsigned E = e_lo; E <= e_hi; ++E)
            for (unsigned G = g_.lo; G <= g_.hi; ++G)
                for (unsigned X = x_.lo; X <= x_.hi; ++X) {
                    Coding c{E, G, X, fit_run_table(data_runs, G)};
                    consider(c, measure(c));
                    trace(c, tokens);
                    std::vector<std::uint8_t> table = fit_run_table(runs_in_tokens(in_.data, tokens), G);
                    if (table == c.run_table) continue;
                    c.run_table = std::move(table);
                    consider(c, measure(c));
                }
        for (unsigned round = 0; round < kMaxRounds; ++round) {
            const std::vector<std::uint8_t> before = best_.run_table;
            refit_run_table();
            if (best_.run_table == before) break;
        }
    }

    void consider(const Coding& c, std::size_t size)
    {
        if (size >= best_size_) return;
        best_ = c;
        best_size_ = size;
    }

    const Input& in_;
    const bool best_effort_;
    const Range e_, g_, x_;
    std::array<std::uint32_t, 256> runs_;
    Coding best_;
    std::size_t best_size_ = 0;
    Parse work_;
};

}  // namespace

static PackResult pack_in_memory(const std::uint8_t* data, std::size_t size, const PackOptions& options,
                                 std::vector<std::uint8_t>& stream, PackChoice* choice)
{
    if (size > kPackMaxOrigSize) return PackResult::InputTooLong;
    const auto in_range = [](int v, unsigned lo, unsigned hi) {
        return v == -1 || (v >= static_cast<int>(lo) && v <= static_cast<int>(hi));
    };
    if (!in_range(options.escape_bits, 0, kMaxEscapeBits) || !in_range(options.gamma_limit, kMinGamma, kMaxGamma) ||
        !in_range(options.extra_offset_bits, 0, kMaxExtraBits))
        return PackResult::BadOption;

    Matches matches;
    find_copies(data, size, kTreeDepth, matches);
    find_delta_lengths(data, size, matches.delta_len);
    find_runs(data, size, matches.run_len);
    const Input in{data, size, matches};

    Packer packer(in, options);
    std::vector<Token> tokens;
    unsigned escape_code = 0;
    const Coding coding = packer.search(tokens, escape_code);
    write_stream(data, size, coding, escape_code, tokens, stream);
    if (stream.size() > kPackMaxStreamSize) {
        stream.clear();
        return PackResult::StreamTooLong;
    }
    if (choice)
        *choice = PackChoice{coding.E, escape_code, coding.G, coding.X, static_cast<unsigned>(coding.run_table.size())};
    return PackResult::Ok;
}

PackResult pack_stream(const std::uint8_t* data, std::size_t size, const PackOptions& options,
                       std::vector<std::uint8_t>& stream, PackChoice* choice)
{
    stream.clear();
    // The working memory comes from the heap in many pieces, in containers
    // that throw when one cannot be had: here that becomes a result.
    try {
        return pack_in_memory(data, size, options, stream, choice);
    } catch (const std::bad_alloc&) {
        std::vector<std::uint8_t>().swap(stream);
        return PackResult::NoMemory;
    }
}

}  // namespace zk
